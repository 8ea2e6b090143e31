// RegFile.h: a registry tree in memory and its REGEDIT4 text form, the format
// of the POSIX settings store (readable and editable by hand).
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryBackend.h"

// A key: its values in enumeration (insertion) order and its subkeys. Names
// compare case-insensitively (ASCII), as registry names do, and keep the case
// they were created with.
struct TRegKeyNode {
    std::string name;
    std::vector<std::pair<std::string, TRegRawValue>> values;
    std::vector<std::unique_ptr<TRegKeyNode>> children;

    TRegKeyNode* Child(std::string_view childName) const;
    TRegKeyNode& ChildOrCreate(std::string_view childName);
    bool RemoveChild(std::string_view childName);
    const TRegRawValue* Value(std::string_view valueName) const;
    void SetValue(std::string_view valueName, TRegRawValue value);
    bool RemoveValue(std::string_view valueName);
};

// The whole store: one node per predefined root ("HKEY_CURRENT_USER", ...).
class TRegTree {
public:
    TRegTree();
    TRegTree(const TRegTree& other);
    TRegTree& operator=(const TRegTree& other);
    TRegTree(TRegTree&&) noexcept = default;
    TRegTree& operator=(TRegTree&&) noexcept = default;

    // None when a key on the path is missing (and create is false).
    TRegKeyNode* Find(TRootKey root, std::string_view path) const;
    TRegKeyNode& Create(TRootKey root, std::string_view path);
    // Removes the key and its subtree; false when it did not exist. A root itself is never removed.
    bool Remove(TRootKey root, std::string_view path);

    const TRegKeyNode& Top() const { return *top_; }
    TRegKeyNode& Top() { return *top_; }

private:
    std::unique_ptr<TRegKeyNode> top_;  // children are the roots; never null
};

// Why a text could not be read, with the 1-based line where it went wrong.
class TRegParseError : public std::runtime_error {
public:
    TRegParseError(size_t line, const std::string& reason);
    size_t Line() const { return line_; }

private:
    size_t line_;
};

// Largest store text read; anything bigger is not a settings file.
constexpr size_t kMaxRegFileBytes = 16u * 1024u * 1024u;

// Reads REGEDIT4 text: "REGEDIT4" first, then [key] sections (a leading "-"
// deletes the key), "name"= or @= values as "text", dword:, hex:, hex(N):,
// or - to delete; ";" comments; a trailing backslash continues hex lines.
// Raises TRegParseError.
TRegTree ParseRegFile(std::string_view text);
// Writes the tree back: every key as a section, strings quoted where they can
// be, hex(N) otherwise, long hex lines wrapped.
std::string SerializeRegFile(const TRegTree& tree);

// Splits a backslash-separated key path, skipping empty names.
std::vector<std::string_view> SplitKeyPath(std::string_view path);
const char* RootKeyName(TRootKey root);
// Names the text form can hold: no control characters in key names (which
// are never empty), no line breaks or NUL in value names.
bool IsStorableKeyName(std::string_view name);
bool IsStorableValueName(std::string_view name);
