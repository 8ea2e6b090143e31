// Registry.cpp: TRegistry's type rules and errors over the platform's store.
#include "platform/Registry.h"

#include <cstring>
#include <utility>

#include "platform/Exceptions.h"

namespace {

[[noreturn]] void dataTypeError(const std::string& name)
{
    throw ERegistryException(Format("'%s' のデータ型が不正です", {name}));
}

[[noreturn]] void getDataError(const std::string& name)
{
    throw ERegistryException(Format("'%s' の取得に失敗しました", {name}));
}

[[noreturn]] void setDataError(const std::string& name)
{
    throw ERegistryException(Format("'%s' の設定に失敗しました", {name}));
}

std::vector<uint8_t> littleEndian(uint64_t v, size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(v >> (8 * i));
    return bytes;
}

uint64_t fromLittleEndian(const std::vector<uint8_t>& bytes)
{
    uint64_t v = 0;
    for (size_t i = bytes.size(); i-- > 0;)
        v = (v << 8) | bytes[i];
    return v;
}

TRegRawValue textValue(uint32_t type, const std::string& text)
{
    return TRegRawValue{type, std::vector<uint8_t>(text.begin(), text.end())};
}

TRegRawValue doubleValue(double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return TRegRawValue{RegType::Binary, littleEndian(bits, 8)};
}

std::string joinPath(const std::string& base, const std::string& key)
{
    std::string path = base;
    for (const char c : key) {
        if (c == '\\' && (path.empty() || path.back() == '\\'))
            continue;
        path.push_back(c);
    }
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

}  // namespace

TRegDataType RegDataTypeOf(uint32_t rawType)
{
    switch (rawType) {
    case RegType::String: return TRegDataType::rdString;
    case RegType::ExpandString: return TRegDataType::rdExpandString;
    case RegType::Dword: return TRegDataType::rdInteger;
    case RegType::Binary: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

TRegistry::TRegistry() : TRegistry(CreateRegistryBackend()) {}

TRegistry::TRegistry(std::unique_ptr<TRegistryBackend> backend) : backend_(std::move(backend)) {}

TRegistry::~TRegistry()
{
    CloseKey();
}

void TRegistry::SetRootKey(TRootKey root)
{
    CloseKey();
    rootKey_ = root;
}

std::string TRegistry::ResolvePath(const std::string& key) const
{
    if (!key.empty() && key.front() == '\\')
        return joinPath("", key);
    if (currentKey_ && !currentPath_.empty())
        return joinPath(currentPath_ + '\\', key);
    return joinPath("", key);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    const std::string path = ResolvePath(key);
    auto handle = backend_->OpenKey(rootKey_, path, canCreate);
    if (!handle)
        return false;
    currentKey_ = std::move(handle);
    currentPath_ = path;
    return true;
}

void TRegistry::CloseKey()
{
    currentKey_.reset();
    currentPath_.clear();
}

bool TRegistry::KeyExists(const std::string& key)
{
    return backend_->OpenKey(rootKey_, ResolvePath(key), false) != nullptr;
}

bool TRegistry::DeleteKey(const std::string& key)
{
    const std::string path = ResolvePath(key);
    return !path.empty() && backend_->DeleteKey(rootKey_, path);
}

bool TRegistry::ValueExists(const std::string& name)
{
    return currentKey_ && currentKey_->QueryValue(name, nullptr) == TRegStatus::Ok;
}

bool TRegistry::DeleteValue(const std::string& name)
{
    return currentKey_ && currentKey_->DeleteValue(name);
}

bool TRegistry::GetDataInfo(const std::string& name, TRegDataInfo& info)
{
    TRegRawValue value;
    if (!currentKey_ || currentKey_->QueryValue(name, &value) != TRegStatus::Ok) {
        info = TRegDataInfo{};
        return false;
    }
    const bool text = value.type == RegType::String || value.type == RegType::ExpandString;
    info.RegData = RegDataTypeOf(value.type);
    info.RawType = value.type;
    info.DataSize = static_cast<int32_t>(value.data.size() + (text ? 1 : 0));
    return true;
}

TRegDataType TRegistry::GetDataType(const std::string& name)
{
    TRegDataInfo info;
    GetDataInfo(name, info);
    return info.RegData;
}

int32_t TRegistry::GetDataSize(const std::string& name)
{
    TRegDataInfo info;
    return GetDataInfo(name, info) ? info.DataSize : -1;
}

void TRegistry::GetValueNames(std::vector<std::string>& names)
{
    names.clear();
    if (currentKey_)
        currentKey_->ValueNames(names);
}

void TRegistry::GetKeyNames(std::vector<std::string>& names)
{
    names.clear();
    if (currentKey_)
        currentKey_->SubKeyNames(names);
}

TRegRawValue TRegistry::GetData(const std::string& name)
{
    TRegRawValue value;
    if (!currentKey_ || currentKey_->QueryValue(name, &value) != TRegStatus::Ok)
        getDataError(name);
    return value;
}

void TRegistry::PutData(const std::string& name, TRegRawValue value)
{
    if (!currentKey_ || !currentKey_->SetValue(name, value))
        setDataError(name);
}

int32_t TRegistry::ReadInteger(const std::string& name)
{
    const TRegRawValue value = GetData(name);
    if (value.type != RegType::Dword || value.data.size() != 4)
        dataTypeError(name);
    return static_cast<int32_t>(static_cast<uint32_t>(fromLittleEndian(value.data)));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value)
{
    PutData(name, TRegRawValue{RegType::Dword, littleEndian(static_cast<uint32_t>(value), 4)});
}

bool TRegistry::ReadBool(const std::string& name)
{
    return ReadInteger(name) != 0;
}

void TRegistry::WriteBool(const std::string& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

std::string TRegistry::ReadString(const std::string& name)
{
    const TRegRawValue value = GetData(name);
    // An empty value reads as the empty string whatever its type, as the
    // framework's reader did.
    if (value.data.empty())
        return std::string();
    if (value.type != RegType::String && value.type != RegType::ExpandString)
        dataTypeError(name);
    return std::string(value.data.begin(), value.data.end());
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    PutData(name, textValue(RegType::String, value));
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value)
{
    PutData(name, textValue(RegType::ExpandString, value));
}

double TRegistry::ReadFloat(const std::string& name)
{
    const TRegRawValue value = GetData(name);
    if (value.type != RegType::Binary || value.data.size() != 8)
        dataTypeError(name);
    const uint64_t bits = fromLittleEndian(value.data);
    double result = 0;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

void TRegistry::WriteFloat(const std::string& name, double value)
{
    PutData(name, doubleValue(value));
}

TDateTime TRegistry::ReadDateTime(const std::string& name)
{
    return ReadFloat(name);
}

void TRegistry::WriteDateTime(const std::string& name, TDateTime value)
{
    PutData(name, doubleValue(value));
}

int32_t TRegistry::ReadBinaryData(const std::string& name, void* buffer, int32_t bufferSize)
{
    const TRegRawValue value = GetData(name);
    const TRegDataType type = RegDataTypeOf(value.type);
    if ((type != TRegDataType::rdBinary && type != TRegDataType::rdUnknown) || bufferSize < 0
        || value.data.size() > static_cast<size_t>(bufferSize))
        dataTypeError(name);
    if (!value.data.empty())
        std::memcpy(buffer, value.data.data(), value.data.size());
    return static_cast<int32_t>(value.data.size());
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int32_t size)
{
    if (size < 0 || (size > 0 && buffer == nullptr))
        setDataError(name);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    PutData(name, TRegRawValue{RegType::Binary, std::vector<uint8_t>(bytes, bytes + size)});
}
