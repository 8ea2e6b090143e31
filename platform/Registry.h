// Registry.h: TRegistry, typed access to the per-user hierarchical settings
// store (the Windows registry, or its stand-in on other systems).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Classes.h"
#include "platform/RegistryBackend.h"

// How a value's type reads to TRegistry; rdUnknown covers every other
// registry type (its number is in TRegDataInfo::RawType).
enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
    TRegDataType RegData = TRegDataType::rdUnknown;
    int32_t DataSize = 0;  // bytes; strings count their terminating NUL, as the registry does
    uint32_t RawType = RegType::None;
};

// Opens one key at a time relative to RootKey (HKEY_CURRENT_USER unless set).
// Typed reads raise ERegistryException: "'%s' のデータ型が不正です" when the
// stored type (or size) does not fit, "'%s' の取得に失敗しました" when the value
// cannot be read; writes raise "'%s' の設定に失敗しました". The value name takes
// the place of %s.
class TRegistry {
public:
    TRegistry();  // the platform's store
    explicit TRegistry(std::unique_ptr<TRegistryBackend> backend);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    TRootKey RootKey() const { return rootKey_; }
    void SetRootKey(TRootKey root);  // closes the open key
    // The open key's path relative to the root; empty when none is open.
    const std::string& CurrentPath() const { return currentPath_; }
    bool HasCurrentKey() const { return currentKey_ != nullptr; }

    // A key starting with "\" is taken from the root, any other from the open
    // key (or the root when none is open). On failure the open key stays open.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool KeyExists(const std::string& key);
    // Deletes the key with its subkeys, relative as for OpenKey.
    bool DeleteKey(const std::string& key);

    bool ValueExists(const std::string& name);
    bool DeleteValue(const std::string& name);
    // False when there is no open key or no such value.
    bool GetDataInfo(const std::string& name, TRegDataInfo& info);
    TRegDataType GetDataType(const std::string& name);  // rdUnknown when missing
    int32_t GetDataSize(const std::string& name);  // -1 when missing
    // Every value name of the open key, in the store's order.
    void GetValueNames(std::vector<std::string>& names);
    void GetKeyNames(std::vector<std::string>& names);

    int32_t ReadInteger(const std::string& name);  // REG_DWORD of 4 bytes only
    void WriteInteger(const std::string& name, int32_t value);
    bool ReadBool(const std::string& name);  // a DWORD; any non-zero value is true
    void WriteBool(const std::string& name, bool value);
    // REG_SZ or REG_EXPAND_SZ, not expanded; any zero-length value reads as "".
    std::string ReadString(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    // REG_BINARY of exactly 8 bytes: a little-endian IEEE 754 double.
    double ReadFloat(const std::string& name);
    void WriteFloat(const std::string& name, double value);
    TDateTime ReadDateTime(const std::string& name);
    void WriteDateTime(const std::string& name, TDateTime value);
    // REG_BINARY or an unknown type no larger than bufferSize; returns its size.
    int32_t ReadBinaryData(const std::string& name, void* buffer, int32_t bufferSize);
    void WriteBinaryData(const std::string& name, const void* buffer, int32_t size);

private:
    TRegRawValue GetData(const std::string& name);
    void PutData(const std::string& name, TRegRawValue value);
    std::string ResolvePath(const std::string& key) const;

    std::unique_ptr<TRegistryBackend> backend_;
    std::unique_ptr<TRegistryKeyHandle> currentKey_;  // none when no key is open
    std::string currentPath_;
    TRootKey rootKey_ = TRootKey::CurrentUser;
};

TRegDataType RegDataTypeOf(uint32_t rawType);
