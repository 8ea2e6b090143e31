// Tests of the UTF-8 / UTF-16 conversions at the Windows boundary.
#include <gtest/gtest.h>

#include "platform/win32/WinText.h"

TEST(WinText, RoundTripsEveryPlane)
{
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"", std::wstring()},  // (L"" trips a false array-bounds warning of GCC 12)
        {"C:\\TEMP\\lurva\\back0.bmp", L"C:\\TEMP\\lurva\\back0.bmp"},
        {"\xC3\xA9", L"\u00E9"},                      // two bytes
        {"ファイル", L"\u30D5\u30A1\u30A4\u30EB"},    // three bytes each
        {"\xF0\x9F\x8E\xB5", L"\xD83C\xDFB5"},        // four bytes: a surrogate pair
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},  // embedded NUL kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(win32::toWide(c.utf8), c.wide);
        EXPECT_EQ(win32::toUtf8(c.wide), c.utf8);
    }
}

TEST(WinText, InvalidInputBecomesReplacementCharacters)
{
    // A Shift-JIS byte pair is not UTF-8: it must not vanish or stop the text.
    const std::wstring wide = win32::toWide("a\x83\x65z");
    ASSERT_GE(wide.size(), 3u);
    EXPECT_EQ(wide.front(), L'a');
    EXPECT_EQ(wide.back(), L'z');
    EXPECT_NE(wide.find(L'\xFFFD'), std::wstring::npos);

    EXPECT_EQ(win32::toUtf8(std::wstring(L"x\xD800y")), "x\xEF\xBF\xBDy");  // lone surrogate
}

TEST(WinText, NullAndTerminatedPointers)
{
    EXPECT_EQ(win32::toUtf8(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(win32::toUtf8(L"\u6F22\u5B57"), "漢字");
}
