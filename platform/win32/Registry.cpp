// Registry.cpp: the settings store on Windows, the real registry (UTF-16
// names and strings, UTF-8 inside).
#include <windows.h>

#include <string_view>

#include "platform/RegistryBackend.h"
#include "platform/win32/WinText.h"

namespace {
// Keys are opened for reading and writing, also for reads.
constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

HKEY predefinedKey(TRootKey root)
{
    return root == TRootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// The path with empty names (leading, doubled or trailing backslashes) left out.
std::wstring keyPath(const std::string& path)
{
    std::string clean;
    for (const char c : path) {
        if (c == '\\' && (clean.empty() || clean.back() == '\\'))
            continue;
        clean.push_back(c);
    }
    if (!clean.empty() && clean.back() == '\\')
        clean.pop_back();
    return win32::toWide(clean);
}

bool isText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// A string value's UTF-16 bytes as UTF-8, up to its first NUL (the stored
// size may or may not count a terminator; an odd last byte is no character).
std::vector<uint8_t> textOf(const std::vector<uint8_t>& bytes)
{
    std::wstring wide(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    const size_t end = wide.find(L'\0');
    if (end != std::wstring::npos)
        wide.resize(end);
    const std::string text = win32::toUtf8(wide);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// UTF-8 text as the registry keeps a string: UTF-16 with its terminating NUL.
std::vector<uint8_t> storedText(const std::vector<uint8_t>& utf8)
{
    const std::wstring wide = win32::toWide(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    std::vector<uint8_t> bytes;
    bytes.reserve((wide.size() + 1) * 2);
    for (const wchar_t c : wide) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

class TWin32RegistryKey : public TRegistryKeyHandle {
public:
    explicit TWin32RegistryKey(HKEY key) : key_(key) {}
    ~TWin32RegistryKey() override { RegCloseKey(key_); }

    TRegStatus QueryValue(const std::string& name, TRegRawValue* out) override
    {
        const std::wstring valueName = win32::toWide(name);
        DWORD type = REG_NONE;
        DWORD size = 0;
        LSTATUS status = RegQueryValueExW(key_, valueName.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return TRegStatus::Missing;
        if (status != ERROR_SUCCESS)
            return TRegStatus::Failed;
        if (out == nullptr)
            return TRegStatus::Ok;
        std::vector<uint8_t> bytes;
        // The value may grow between the two queries: ask again until it fits.
        for (int attempt = 0; attempt < 8; ++attempt) {
            bytes.resize(size);
            status = RegQueryValueExW(key_, valueName.c_str(), nullptr, &type, bytes.empty() ? nullptr : bytes.data(),
                                      &size);
            if (status != ERROR_MORE_DATA)
                break;
        }
        if (status == ERROR_FILE_NOT_FOUND)
            return TRegStatus::Missing;
        if (status != ERROR_SUCCESS)
            return TRegStatus::Failed;
        bytes.resize(size);
        out->type = type;
        out->data = isText(type) ? textOf(bytes) : std::move(bytes);
        return TRegStatus::Ok;
    }

    bool SetValue(const std::string& name, const TRegRawValue& value) override
    {
        const std::vector<uint8_t> bytes = isText(value.type) ? storedText(value.data) : value.data;
        if (bytes.size() > MAXDWORD)
            return false;
        return RegSetValueExW(key_, win32::toWide(name).c_str(), 0, value.type, bytes.data(),
                              static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    }

    bool DeleteValue(const std::string& name) override
    {
        return RegDeleteValueW(key_, win32::toWide(name).c_str()) == ERROR_SUCCESS;
    }

    bool ValueNames(std::vector<std::string>& names) override
    {
        return enumerate(names, [this](DWORD index, wchar_t* name, DWORD* length) {
            return RegEnumValueW(key_, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

    bool SubKeyNames(std::vector<std::string>& names) override
    {
        return enumerate(names, [this](DWORD index, wchar_t* name, DWORD* length) {
            return RegEnumKeyExW(key_, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

private:
    // Collects the names an enumeration function gives for index 0, 1, ...
    template <typename Enumerate>
    bool enumerate(std::vector<std::string>& names, Enumerate next)
    {
        std::vector<std::string> found;
        std::vector<wchar_t> buffer(256);
        for (DWORD index = 0;;) {
            DWORD length = static_cast<DWORD>(buffer.size());
            const LSTATUS status = next(index, buffer.data(), &length);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status == ERROR_MORE_DATA && buffer.size() < 65536) {
                buffer.resize(buffer.size() * 2);
                continue;
            }
            if (status != ERROR_SUCCESS)
                return false;
            found.push_back(win32::toUtf8(std::wstring_view(buffer.data(), length)));
            ++index;
        }
        names = std::move(found);
        return true;
    }

    HKEY key_;
};

class TWin32RegistryStore : public TRegistryBackend {
public:
    std::unique_ptr<TRegistryKeyHandle> OpenKey(TRootKey root, const std::string& path, bool canCreate) override
    {
        const std::wstring subKey = keyPath(path);
        HKEY key = nullptr;
        const LSTATUS status =
            canCreate ? RegCreateKeyExW(predefinedKey(root), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        kAccess, nullptr, &key, nullptr)
                      : RegOpenKeyExW(predefinedKey(root), subKey.c_str(), 0, kAccess, &key);
        if (status != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<TWin32RegistryKey>(key);
    }

    bool DeleteKey(TRootKey root, const std::string& path) override
    {
        const std::wstring subKey = keyPath(path);
        if (subKey.empty())
            return false;  // never the predefined key itself
        return RegDeleteTreeW(predefinedKey(root), subKey.c_str()) == ERROR_SUCCESS;
    }
};
}  // namespace

std::unique_ptr<TRegistryBackend> CreateRegistryBackend()
{
    return std::make_unique<TWin32RegistryStore>();
}
