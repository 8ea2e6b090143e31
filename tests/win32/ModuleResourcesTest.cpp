// Tests of the Windows module's resources: what Windows reads from Lurva.scr
// without running it (version, icon, manifest, the screen saver's name).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/WinText.h"
#include "res/LurvaResources.h"

namespace {
class ModuleResources : public testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExW(win32::toWide(LURVA_SCR_PATH).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << LURVA_SCR_PATH;
    }
    void TearDown() override
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    std::string_view resource(const wchar_t* type, const wchar_t* name)
    {
        HRSRC found = FindResourceW(module_, name, type);
        if (found == nullptr)
            return {};
        HGLOBAL loaded = LoadResource(module_, found);
        return std::string_view(static_cast<const char*>(LockResource(loaded)), SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

std::string versionString(const std::string_view block, const wchar_t* name)
{
    void* value = nullptr;
    UINT length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    std::string copy(block);  // VerQueryValueW wants writable memory
    if (!VerQueryValueW(copy.data(), query.c_str(), &value, &length) || length == 0)
        return {};
    return win32::toUtf8(static_cast<const wchar_t*>(value));
}
}  // namespace

TEST_F(ModuleResources, ManifestAsksForCommonControlsSixAndPerMonitorDpi)
{
    const std::string_view manifest = resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string_view::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string_view::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string_view::npos);
}

TEST_F(ModuleResources, IconHasSmallAndLargeImages)
{
    HICON small = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(IDI_LURVA), IMAGE_ICON, 16, 16, 0));
    HICON large = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(IDI_LURVA), IMAGE_ICON, 48, 48, 0));
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(large, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 48);
    EXPECT_EQ(bitmap.bmBitsPixel, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(small);
    DestroyIcon(large);
}

TEST_F(ModuleResources, VersionNamesTheModule)
{
    const std::string_view block = resource(MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(versionString(block, L"OriginalFilename"), "Lurva.scr");
    EXPECT_EQ(versionString(block, L"FileVersion"), LURVA_VERSION);
    EXPECT_EQ(versionString(block, L"ProductName"), "Lurva");
}

TEST_F(ModuleResources, ScreenSaverListNameIsStringOne)
{
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(module_, IDS_DESCRIPTION, text, 64), 0);
    EXPECT_EQ(win32::toUtf8(text), "Lurva");
}
