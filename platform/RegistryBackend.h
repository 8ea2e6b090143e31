// RegistryBackend.h: the store behind TRegistry, replaced whole per platform
// (a per-user REGEDIT4 file on POSIX, the real registry on Windows).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The predefined keys a path is opened relative to.
enum class TRootKey : uint32_t {
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};

// Registry value types as stored (the numbers are the registry's own, so a
// type this program does not know survives unchanged).
namespace RegType {
constexpr uint32_t None = 0;
constexpr uint32_t String = 1;        // REG_SZ
constexpr uint32_t ExpandString = 2;  // REG_EXPAND_SZ
constexpr uint32_t Binary = 3;        // REG_BINARY
constexpr uint32_t Dword = 4;         // REG_DWORD, little-endian
constexpr uint32_t MultiString = 7;   // REG_MULTI_SZ
}  // namespace RegType

// One value: its type and its bytes. For the two string types the bytes are
// the UTF-8 text without a terminating NUL; every other type holds its bytes
// exactly as the registry keeps them.
struct TRegRawValue {
    uint32_t type = RegType::None;
    std::vector<uint8_t> data;
    bool operator==(const TRegRawValue&) const = default;
};

enum class TRegStatus { Ok, Missing, Failed };

// An open key. Handles stay valid while the backend that made them lives.
class TRegistryKeyHandle {
public:
    TRegistryKeyHandle() = default;
    TRegistryKeyHandle(const TRegistryKeyHandle&) = delete;
    TRegistryKeyHandle& operator=(const TRegistryKeyHandle&) = delete;
    virtual ~TRegistryKeyHandle() = default;

    // Fills *out (when given) with the value; Missing when there is no such value.
    virtual TRegStatus QueryValue(const std::string& name, TRegRawValue* out) = 0;
    // Creates or replaces the value whatever its type was.
    virtual bool SetValue(const std::string& name, const TRegRawValue& value) = 0;
    virtual bool DeleteValue(const std::string& name) = 0;
    // Names in the store's enumeration order; false when the key is gone.
    virtual bool ValueNames(std::vector<std::string>& names) = 0;
    virtual bool SubKeyNames(std::vector<std::string>& names) = 0;
};

class TRegistryBackend {
public:
    TRegistryBackend() = default;
    TRegistryBackend(const TRegistryBackend&) = delete;
    TRegistryBackend& operator=(const TRegistryBackend&) = delete;
    virtual ~TRegistryBackend() = default;

    // path: key names separated by backslashes, relative to root; empty names
    // (a leading, doubled or trailing backslash) are skipped. canCreate makes
    // the key and any missing parents. None when the key cannot be opened.
    virtual std::unique_ptr<TRegistryKeyHandle> OpenKey(TRootKey root, const std::string& path, bool canCreate) = 0;
    // Deletes the key with everything under it; false when it did not exist or
    // could not be deleted.
    virtual bool DeleteKey(TRootKey root, const std::string& path) = 0;
};

// The platform's per-user store (POSIX: $XDG_CONFIG_HOME/lurva/registry.reg).
std::unique_ptr<TRegistryBackend> CreateRegistryBackend();
