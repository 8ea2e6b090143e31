// Profile files: editing the text line by line, and "System.ini" on POSIX.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/IniFiles.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

TEST(IniText, SetValueKeepsEveryOtherLine)
{
    const std::string kOddBytes("[x]\n\xff\x00\x01=\xfe\n", 10);
    struct Row {
        const char* name;
        std::string before;
        std::string after;
    };
    const Row rows[] = {
        {"empty file", "", "[boot]\nSCRNSAVE.EXE=/x\n"},
        {"replaces the key, any case, blanks round it",
         "[Boot]\n  scrnsave.exe = old ; c\nshell=a\n", "[Boot]\nSCRNSAVE.EXE=/x\nshell=a\n"},
        {"after the section's last entry, before blank lines",
         "[boot]\nshell=a\n\n[drivers]\nwave=b\n", "[boot]\nshell=a\nSCRNSAVE.EXE=/x\n\n[drivers]\nwave=b\n"},
        {"new section at the end of a file without a last line ending",
         "[drivers]\nwave=b", "[drivers]\nwave=b\n[boot]\nSCRNSAVE.EXE=/x\n"},
        {"keeps the file's CRLF", "; comment\r\n[ boot ]\r\nshell=a\r\n",
         "; comment\r\n[ boot ]\r\nshell=a\r\nSCRNSAVE.EXE=/x\r\n"},
        {"only the first matching section", "[boot]\na=1\n[boot]\nSCRNSAVE.EXE=keep\n",
         "[boot]\na=1\nSCRNSAVE.EXE=/x\n[boot]\nSCRNSAVE.EXE=keep\n"},
        {"a key of another section is not it", "[other]\nSCRNSAVE.EXE=y\n",
         "[other]\nSCRNSAVE.EXE=y\n[boot]\nSCRNSAVE.EXE=/x\n"},
        {"bytes that are not text stay", kOddBytes, kOddBytes + "[boot]\nSCRNSAVE.EXE=/x\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IniText::setValue(row.before, "boot", "SCRNSAVE.EXE", "/x"), row.after);
        EXPECT_EQ(IniText::getValue(row.after, "boot", "SCRNSAVE.EXE"), std::optional<std::string>("/x"));
    }
    EXPECT_EQ(IniText::getValue("[boot]\nshell=a\n", "boot", "SCRNSAVE.EXE"), std::nullopt);
    EXPECT_EQ(IniText::getValue("shell=a\n", "", "shell"), std::nullopt);  // outside any section
}

class IniFileTest : public ::testing::Test {
protected:
    std::filesystem::path ini() const { return dir_.path() / "lurva" / "System.ini"; }
    std::string read(const std::filesystem::path& path) const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir dir_;
    ScopedEnv config_{"XDG_CONFIG_HOME", dir_.str()};
};

TEST_F(IniFileTest, ABareNameLivesInTheConfigFolder)
{
    EXPECT_EQ(ProfileFilePath("System.ini"), ini().string());
    EXPECT_EQ(ProfileFilePath("/etc/other.ini"), "/etc/other.ini");
    TIniFile file("System.ini");
    EXPECT_EQ(file.ReadString("boot", "SCRNSAVE.EXE", "none"), "none");
    file.WriteString("boot", "SCRNSAVE.EXE", "/usr/bin/lurva");
    EXPECT_EQ(read(ini()), "[boot]\nSCRNSAVE.EXE=/usr/bin/lurva\n");
    EXPECT_EQ(file.ReadString("boot", "SCRNSAVE.EXE", "none"), "/usr/bin/lurva");
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ini().parent_path()), {}), 1);
}

TEST_F(IniFileTest, WithoutXdgConfigHomeTheHomeConfigFolder)
{
    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", dir_.str());
    EXPECT_EQ(ProfileFilePath("System.ini"), (dir_.path() / ".config" / "lurva" / "System.ini").string());
}

TEST_F(IniFileTest, AFileReachedThroughALinkStaysALink)
{
    std::filesystem::create_directories(ini().parent_path());
    const auto real = dir_.path() / "dotfiles-system.ini";
    std::ofstream(real) << "[boot]\nshell=a\n";
    std::filesystem::create_symlink(real, ini());
    TIniFile("System.ini").WriteString("boot", "SCRNSAVE.EXE", "/p");
    EXPECT_TRUE(std::filesystem::is_symlink(ini()));
    EXPECT_EQ(read(real), "[boot]\nshell=a\nSCRNSAVE.EXE=/p\n");
}

TEST_F(IniFileTest, AFileThatCannotBeWrittenRaises)
{
    std::ofstream(dir_.path() / "lurva") << "a file where the folder should be";
    EXPECT_THROW_MSG(TIniFile("System.ini").WriteString("boot", "SCRNSAVE.EXE", "/p"), EIniFileException,
                     "System.ini に書き込めません");
}

TEST_F(IniFileTest, AnUnreadableFileIsNeverReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    std::filesystem::create_directories(ini().parent_path());
    std::ofstream(ini()) << "[boot]\nsecret=1\n";
    ::chmod(ini().c_str(), 0200);
    EXPECT_THROW(TIniFile("System.ini").WriteString("boot", "SCRNSAVE.EXE", "/p"), EIniFileException);
    ::chmod(ini().c_str(), 0600);
    EXPECT_EQ(read(ini()), "[boot]\nsecret=1\n");
}
