// Tests of profile files on Windows: the system's profile functions, a bare
// name meaning the Windows folder's file.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "platform/win32/WinText.h"
#include "support/TestSupport.h"

namespace {
std::string readFile(const std::string& path)
{
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

TEST(Win32ProfileFile, AFileByPathKeepsItsOtherLines)
{
    TempDir dir;
    const std::string path = dir.str() + "\\設定.ini";
    std::ofstream(pathFromUtf8(path), std::ios::binary) << "[boot]\r\nshell=Explorer.exe\r\n[other]\r\nx=1\r\n";
    TIniFile file(path);
    EXPECT_EQ(file.ReadString("boot", "SCRNSAVE.EXE", "none"), "none");
    file.WriteString("boot", "SCRNSAVE.EXE", "C:\\Lurva\\Lurva.scr");
    EXPECT_EQ(file.ReadString("BOOT", "scrnsave.exe", "none"), "C:\\Lurva\\Lurva.scr");  // names match in any case
    const std::string text = readFile(path);
    EXPECT_NE(text.find("shell=Explorer.exe"), std::string::npos) << text;
    EXPECT_NE(text.find("SCRNSAVE.EXE=C:\\Lurva\\Lurva.scr"), std::string::npos) << text;
    EXPECT_NE(text.find("[other]\r\nx=1"), std::string::npos) << text;
    file.WriteString("boot", "empty", "");
    EXPECT_EQ(file.ReadString("boot", "empty", "none"), "");
}

TEST(Win32ProfileFile, ABareNameIsTheWindowsFoldersFile)
{
    // Only the name is checked: writing would change the system's own file.
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(ProfileFilePath("System.ini"), win32::toUtf8(std::wstring_view(folder, length)) + "\\System.ini");
    EXPECT_EQ(ProfileFilePath("C:\\other.ini"), "C:\\other.ini");
    EXPECT_EQ(ProfileFilePath("sub/other.ini"), "sub/other.ini");
}

TEST(Win32ProfileFile, AFileThatCannotBeWrittenRaises)
{
    TempDir dir;
    const std::string path = dir.str() + "\\missing\\System.ini";
    EXPECT_THROW_MSG(TIniFile(path).WriteString("boot", "SCRNSAVE.EXE", "x"), EIniFileException,
                     path + " に書き込めません");
}
