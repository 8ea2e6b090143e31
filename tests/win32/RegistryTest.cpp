// Tests of the settings store on the real Windows registry: the value types
// and texts the authoring tool shares, read back through the native API.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/CRegManage.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/win32/WinText.h"
#include "support/TestSupport.h"

namespace {
constexpr const wchar_t* kMain = L"Software\\Kelvo\\rororade\\main";

struct NativeValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
};

NativeValue queryNative(const wchar_t* key, const wchar_t* name)
{
    NativeValue value;
    BYTE buffer[512];
    DWORD size = sizeof buffer;
    value.status = RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, buffer, &size);
    if (value.status == ERROR_SUCCESS)
        value.bytes.assign(buffer, buffer + size);
    return value;
}

void setNative(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(handle);
}

bool keyExists(const wchar_t* key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::vector<uint8_t> utf16Bytes(const std::wstring& text)
{
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.c_str()),
                               reinterpret_cast<const uint8_t*>(text.c_str() + text.size() + 1));
    return bytes;
}

// HKEY_CURRENT_USER is this test process's own (see TestMain.cpp); each
// test starts without the application's keys.
class Win32Registry : public testing::Test {
protected:
    Win32Registry() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kelvo"); }
    ~Win32Registry() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kelvo"); }
};
}  // namespace

TEST_F(Win32Registry, StoreWritesTheRegistrysOwnTypes)
{
    TRegManage store;
    store.init("rororade");
    store.writeString("main", "filename0", "C:\\ショー\\春.sdt");
    store.writeBool("main", "ignoreMouseMove", true);
    store.writeInteger("main", "count", -2);
    store.writeDouble("main", "ratio", 0.5);
    store.writeString("main", "empty", "");

    const NativeValue name = queryNative(kMain, L"filename0");
    ASSERT_EQ(name.status, ERROR_SUCCESS);
    EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(name.bytes, utf16Bytes(L"C:\\\x30B7\x30E7\x30FC\\\x6625.sdt")) << "UTF-16 with its terminator";

    const NativeValue flag = queryNative(kMain, L"ignoreMouseMove");
    EXPECT_EQ(flag.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(flag.bytes, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(queryNative(kMain, L"count").bytes, (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));

    const NativeValue ratio = queryNative(kMain, L"ratio");
    EXPECT_EQ(ratio.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(ratio.bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));

    const NativeValue empty = queryNative(kMain, L"empty");
    EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(empty.bytes, (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(store.readString("main", "empty", "default"), "");
}

TEST_F(Win32Registry, StoreReadsWhatOthersWrote)
{
    const std::wstring expandable = L"%TEMP%\\\x58C1\x7D19.sdt";
    setNative(kMain, L"filename0", REG_EXPAND_SZ, expandable.c_str(),
              static_cast<DWORD>((expandable.size() + 1) * sizeof(wchar_t)));
    const std::wstring unterminated = L"abc";  // a string stored without its NUL
    setNative(kMain, L"makepath", REG_SZ, unterminated.c_str(), 3 * sizeof(wchar_t));
    const DWORD five = 5;
    setNative(kMain, L"ignoreMouseMove", REG_DWORD, &five, sizeof five);
    const uint64_t quad = 0x0102030405060708;
    setNative(kMain, L"quad", REG_QWORD, &quad, sizeof quad);
    setNative(kMain, L"asText", REG_SZ, L"1", 2 * sizeof(wchar_t));

    TRegManage store;
    store.init("rororade");
    EXPECT_EQ(store.readString("main", "filename0", ""), "%TEMP%\\壁紙.sdt") << "never expanded";
    EXPECT_EQ(store.readString("main", "makepath", ""), "abc");
    EXPECT_TRUE(store.readBool("main", "ignoreMouseMove", false));
    uint8_t buffer[8] = {};
    EXPECT_EQ(store.readBinaryData("main", "quad", buffer, 8), 8);  // a type of no read of its own
    EXPECT_EQ(std::memcmp(buffer, &quad, 8), 0);
    EXPECT_THROW_MSG(store.readBool("main", "asText", false), ERegistryException, "'asText' のデータ型が不正です");
    EXPECT_THROW_MSG(store.readDouble("main", "quad", 0), ERegistryException, "'quad' のデータ型が不正です");
}

TEST_F(Win32Registry, ReadsCreateNoKeyAndWritesCreateTheParents)
{
    TRegManage store;
    store.init("rororade");
    EXPECT_EQ(store.readString("main", "filename0", "none"), "none");
    EXPECT_FALSE(store.readBool("main", "ignoreMouseMove", false));
    EXPECT_FALSE(keyExists(L"Software\\Kelvo"));
    store.writeBool("main", "ignoreMouseMove", false);
    EXPECT_TRUE(keyExists(kMain));
}

TEST_F(Win32Registry, KeysValueNamesAndDeletion)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\\\Kelvo\\rororade\\main\\", true));  // empty names are skipped
    EXPECT_EQ(reg.CurrentPath(), "Software\\Kelvo\\rororade\\main");
    reg.WriteString("ファイル名", "x");
    reg.WriteInteger("b", 2);
    reg.WriteInteger("a", 1);
    std::vector<std::string> names;
    reg.GetValueNames(names);
    std::sort(names.begin(), names.end());  // the order is the registry's own
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "ファイル名"}));
    EXPECT_TRUE(queryNative(kMain, L"\x30D5\x30A1\x30A4\x30EB\x540D").status == ERROR_SUCCESS);
    EXPECT_TRUE(reg.DeleteValue("b"));
    EXPECT_FALSE(reg.DeleteValue("b"));
    EXPECT_FALSE(reg.ValueExists("b"));

    ASSERT_TRUE(reg.OpenKey("\\Software\\Kelvo\\rororade\\sub\\deeper", true));
    reg.CloseKey();
    std::vector<std::string> keys;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Kelvo\\rororade", false));
    reg.GetKeyNames(keys);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"main", "sub"}));
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("\\Software\\Kelvo\\rororade\\sub"));
    EXPECT_FALSE(keyExists(L"Software\\Kelvo\\rororade\\sub"));
    EXPECT_FALSE(reg.DeleteKey("\\Software\\Kelvo\\rororade\\sub"));
    EXPECT_FALSE(reg.OpenKey("\\Software\\Kelvo\\missing", false));
    EXPECT_TRUE(keyExists(kMain));
}
