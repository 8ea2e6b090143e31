// SysUtilsTest.cpp: path helpers, file-system queries and the private-folder rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/SysUtils.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

TEST(PathParts, SplitAtBackslashSlashAndColon)
{
    struct Case {
        std::string path, name, folder, extension;
    };
    const Case cases[] = {
        {"C:\\TEMP\\lurva\\back.bmp", "back.bmp", "C:\\TEMP\\lurva\\", ".bmp"},
        {"C:\\a.b\\bgm", "bgm", "C:\\a.b\\", ""},
        {"/tmp/a.b/bgm", "bgm", "/tmp/a.b/", ""},
        {"C:back.jpg", "back.jpg", "C:", ".jpg"},
        {"back0.bmp", "back0.bmp", "", ".bmp"},
        {"dir/archive.tar.gz", "archive.tar.gz", "dir/", ".gz"},
        {"dir/.hidden", ".hidden", "dir/", ".hidden"},
        {"dir/name.", "name.", "dir/", "."},
        {"dir/", "", "dir/", ""},
        {"", "", "", ""},
        {"写真/画像.jpeg", "画像.jpeg", "写真/", ".jpeg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFileName(c.path), c.name);
        EXPECT_EQ(ExtractFilePath(c.path), c.folder);
        EXPECT_EQ(ExtractFileExt(c.path), c.extension);
    }
}

TEST(PathParts, TrailingDelimiters)
{
    EXPECT_EQ(IncludeTrailingPathDelimiter("a"), std::string("a") + PathDelim);
    EXPECT_EQ(IncludeTrailingPathDelimiter("a/"), "a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("a\\"), "a\\");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("a//"), "a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("a"), "a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

#ifndef _WIN32
// Symbolic links are POSIX matters (Windows links need rights tests lack).
TEST(FileSystem, QueriesFollowLinksUnlessSaidOtherwise)
{
    TempDir dir;
    const fs::path d = dir.path();
    writeTextFile(d / "file", "x");
    fs::create_directory(d / "folder");
    fs::create_symlink(d / "file", d / "linkToFile");
    fs::create_symlink(d / "folder", d / "linkToFolder");
    fs::create_symlink(d / "nothing", d / "dangling");

    struct Case {
        const char* name;
        bool file, folder, entry;
    };
    const Case cases[] = {
        {"file", true, false, true},         {"folder", false, true, true},
        {"linkToFile", true, false, true},   {"linkToFolder", false, true, true},
        {"dangling", false, false, true},    {"missing", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (d / c.name).string();
        EXPECT_EQ(FileExists(path), c.file);
        EXPECT_EQ(DirectoryExists(path), c.folder);
        EXPECT_EQ(EntryExists(path), c.entry);
    }
    EXPECT_EQ(ListFiles(dir.str()), (std::vector<std::string>{"dangling", "file", "linkToFile", "linkToFolder"}));
    EXPECT_EQ(ListFiles(dir.str() + "/"), ListFiles(dir.str()));
    EXPECT_TRUE(ListFiles((d / "missing").string()).empty());
}
#endif

TEST(FileSystem, QueriesAndListingWithJapaneseNames)
{
    TempDir dir;
    const std::string d = dir.str() + "/";
    writeTextFile(dir.path() / fs::path(u8"背景.bmp"), "x");
    writeTextFile(dir.path() / "b.txt", "y");
    fs::create_directory(dir.path() / fs::path(u8"フォルダ"));
    EXPECT_TRUE(FileExists(d + "背景.bmp"));
    EXPECT_FALSE(DirectoryExists(d + "背景.bmp"));
    EXPECT_TRUE(DirectoryExists(d + "フォルダ"));
    EXPECT_FALSE(FileExists(d + "フォルダ"));
    EXPECT_TRUE(EntryExists(d + "フォルダ"));
    EXPECT_FALSE(EntryExists(d + "missing"));
    // Folders are not listed; names are sorted by their bytes.
    EXPECT_EQ(ListFiles(dir.str()), (std::vector<std::string>{"b.txt", "背景.bmp"}));
    EXPECT_TRUE(CreateDir(d + "写真"));
    EXPECT_TRUE(fs::is_directory(dir.path() / fs::path(u8"写真")));
    EXPECT_TRUE(DeleteFile(d + "背景.bmp"));
    EXPECT_FALSE(fs::exists(dir.path() / fs::path(u8"背景.bmp")));
}

#ifndef _WIN32
// Folders of other users and permission bits are POSIX matters.
namespace {
// A folder owned by another user can only be made by root; elsewhere those
// cases are skipped.
bool giveToSomeoneElse(const fs::path& path)
{
    return ::geteuid() == 0 && ::lchown(path.c_str(), 65534, 65534) == 0;
}
}  // namespace
#endif

TEST(FileSystem, CreatingAndDeleting)
{
    TempDir dir;
    const fs::path d = dir.path();
    EXPECT_FALSE(CreateDir((d / "a/b").string()));  // one level only
    EXPECT_TRUE(CreateDir((d / "a").string()));
    EXPECT_FALSE(CreateDir((d / "a").string()));
    EXPECT_TRUE(ForceDirectories((d / "x/y/z/").string()));
    EXPECT_TRUE(fs::is_directory(d / "x/y/z"));
    EXPECT_TRUE(ForceDirectories((d / "x/y/z").string()));  // already there

    writeTextFile(d / "target", "keep");
#ifndef _WIN32
    fs::create_symlink(d / "target", d / "link");
    EXPECT_TRUE(DeleteFile((d / "link").string()));  // the link, not its target
    EXPECT_FALSE(fs::exists(fs::symlink_status(d / "link")));
    EXPECT_EQ(readTextFile(d / "target"), "keep");
#endif
    EXPECT_FALSE(DeleteFile((d / "a").string()));  // never a folder
    EXPECT_FALSE(DeleteFile((d / "missing").string()));
    EXPECT_TRUE(DeleteFile((d / "target").string()));
    EXPECT_FALSE(fs::exists(d / "target"));

    EXPECT_FALSE(RemoveDir((d / "x").string()));  // not empty
    EXPECT_TRUE(RemoveDir((d / "a").string()));
}

#ifndef _WIN32
TEST(FileSystem, TemporaryFolders)
{
    TempDir dir;
    const std::string uid = std::to_string(::geteuid());
    {
        ScopedEnv tmp("TMPDIR", dir.str());
        ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(GetTempDirectory(), dir.str() + "/");
        EXPECT_EQ(GetPrivateTempDirectory("lurva"), dir.str() + "/lurva-" + uid);
    }
    {
        ScopedEnv tmp("TMPDIR", std::nullopt);
        ScopedEnv runtime("XDG_RUNTIME_DIR", dir.str() + "/run/");
        EXPECT_EQ(GetTempDirectory(), "/tmp/");
        EXPECT_EQ(GetPrivateTempDirectory("lurva"), dir.str() + "/run/lurva");
    }
    {
        ScopedEnv tmp("TMPDIR", "");
        ScopedEnv runtime("XDG_RUNTIME_DIR", "relative/run");  // not absolute: ignored
        EXPECT_EQ(GetTempDirectory(), "/tmp/");
        EXPECT_EQ(GetPrivateTempDirectory("lurva"), "/tmp/lurva-" + uid);
    }
    ScopedEnv tmp("TMPDIR", dir.str());
    const auto first = CreateUniqueTempDirectory("sdtool-");
    const auto second = CreateUniqueTempDirectory("sdtool-");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->rfind(dir.str() + "/sdtool-", 0), 0u);
    EXPECT_TRUE(fs::is_directory(*first));
    EXPECT_EQ(modeOf(*first), 0700u);
}
#else
TEST(FileSystem, TemporaryFolders)
{
    // Windows takes the temporary folder from TMP (then TEMP); it lies in
    // the user's profile, so the private folder needs no user id.
    TempDir dir;
    ScopedEnv tmp("TMP", dir.str());
    EXPECT_EQ(GetTempDirectory(), dir.str() + "\\");
    EXPECT_EQ(GetPrivateTempDirectory("lurva"), dir.str() + "\\lurva");
    const auto first = CreateUniqueTempDirectory("sdtool-");
    const auto second = CreateUniqueTempDirectory("sdtool-");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->rfind(dir.str() + "\\sdtool-", 0), 0u);
    EXPECT_TRUE(fs::is_directory(*first));
}
#endif

TEST(FileSystem, ProgramPath)
{
    const std::string path = GetProgramPath();
#ifdef _WIN32
    EXPECT_EQ(ExtractFileName(path), "test_platform.exe");
#else
    EXPECT_EQ(ExtractFileName(path), "test_platform");
#endif
    EXPECT_TRUE(FileExists(path));
}

TEST(PrivateFolder, CreatedAndTightened)
{
    TempDir dir;
    const fs::path work = dir.path() / "work";
    EXPECT_TRUE(ForcePrivateDirectory(work.string()));
    EXPECT_TRUE(fs::is_directory(work));
#ifndef _WIN32
    EXPECT_EQ(modeOf(work), 0700u);
#endif
    EXPECT_TRUE(ForcePrivateDirectory(work.string() + "/"));

#ifndef _WIN32
    fs::permissions(work, fs::perms::all);  // ours, but open to everyone
    EXPECT_TRUE(ForcePrivateDirectory(work.string()));
    EXPECT_EQ(modeOf(work), 0700u);
#endif

    EXPECT_FALSE(ForcePrivateDirectory((dir.path() / "no/such").string()));  // one level only
}

TEST(PrivateFolder, NeverTakesAFile)
{
    TempDir dir;
    writeTextFile(dir.path() / "file", "x");
    EXPECT_FALSE(ForcePrivateDirectory((dir.path() / "file").string()));
    EXPECT_EQ(readTextFile(dir.path() / "file"), "x");
}

#ifndef _WIN32
TEST(PrivateFolder, NeverTakesALinkAFileOrSomeoneElsesFolder)
{
    TempDir dir;
    const fs::path victim = dir.path() / "victim";
    fs::create_directory(victim);
    fs::permissions(victim, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory_symlink(victim, dir.path() / "link");
    EXPECT_FALSE(ForcePrivateDirectory((dir.path() / "link").string()));
    EXPECT_FALSE(ForcePrivateDirectory((dir.path() / "link/").string()));
    EXPECT_EQ(modeOf(victim), 0744u);  // the target is left as it was

    writeTextFile(dir.path() / "file", "x");
    EXPECT_FALSE(ForcePrivateDirectory((dir.path() / "file").string()));

    const fs::path foreign = dir.path() / "foreign";
    fs::create_directory(foreign);
    fs::permissions(foreign, fs::perms::all);
    if (!giveToSomeoneElse(foreign))
        GTEST_SKIP() << "needs root to make a folder of another user";
    EXPECT_FALSE(ForcePrivateDirectory(foreign.string()));
    EXPECT_EQ(modeOf(foreign), 0777u);
}
#endif

TEST(PrivateFolder, CreateNewFileMakesOnlyNewFiles)
{
    TempDir dir;
    const fs::path d = dir.path();
    {
        auto file = CreateNewFile((d / "new.bin").string(), ExistingEntry::Keep);
        ASSERT_TRUE(file);
        file->WriteBuffer("abc", 3);
        EXPECT_EQ(file->FileName(), (d / "new.bin").string());
    }
    EXPECT_EQ(readTextFile(d / "new.bin"), "abc");
#ifndef _WIN32
    EXPECT_EQ(modeOf(d / "new.bin"), 0600u);
#endif

    // Whatever is there is kept: a file, a folder, a dangling link.
    EXPECT_EQ(CreateNewFile((d / "new.bin").string(), ExistingEntry::Keep), nullptr);
    EXPECT_EQ(readTextFile(d / "new.bin"), "abc");
    fs::create_directory(d / "folder");
    EXPECT_EQ(CreateNewFile((d / "folder").string(), ExistingEntry::Keep), nullptr);
#ifndef _WIN32
    fs::create_symlink(d / "planted-target", d / "dangling");
    EXPECT_EQ(CreateNewFile((d / "dangling").string(), ExistingEntry::Keep), nullptr);
    EXPECT_FALSE(fs::exists(d / "planted-target"));

    // Replacing removes a link itself and writes a new file in its place.
    writeTextFile(d / "secret", "secret");
    fs::create_symlink(d / "secret", d / "link");
    {
        auto file = CreateNewFile((d / "link").string(), ExistingEntry::Replace);
        ASSERT_TRUE(file);
        file->WriteBuffer("new", 3);
    }
    EXPECT_FALSE(fs::is_symlink(d / "link"));
    EXPECT_EQ(readTextFile(d / "link"), "new");
    EXPECT_EQ(readTextFile(d / "secret"), "secret");
#endif
    {
        auto file = CreateNewFile((d / "new.bin").string(), ExistingEntry::Replace);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->Size(), 0);
    }
    EXPECT_EQ(readTextFile(d / "new.bin"), "");
    const std::string folder = (d / "folder").string();
    EXPECT_THROW_MSG(CreateNewFile(folder, ExistingEntry::Replace), EFCreateError, "ファイル " + folder + " を作成できません");
    EXPECT_TRUE(fs::is_directory(d / "folder"));
}

TEST(PrivateFolder, CreateNewFileRefusesAMissingFolder)
{
    TempDir dir;
    const std::string path = (dir.path() / "missing" / "a.bin").string();
    EXPECT_THROW_MSG(CreateNewFile(path, ExistingEntry::Keep), EFCreateError, "ファイル " + path + " を作成できません");
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

#ifndef _WIN32
TEST(PrivateFolder, CreateNewFileRefusesFoldersItCannotTrust)
{
    TempDir dir;
    const fs::path victim = dir.path() / "victim";
    fs::create_directory(victim);
    fs::create_directory_symlink(victim, dir.path() / "link");
    const std::string throughLink = (dir.path() / "link/a.bin").string();
    EXPECT_THROW_MSG(CreateNewFile(throughLink, ExistingEntry::Keep), EFCreateError,
                     "ファイル " + throughLink + " を作成できません");
    EXPECT_THROW(CreateNewFile(throughLink, ExistingEntry::Replace), EFCreateError);
    EXPECT_TRUE(fs::is_empty(victim));
    EXPECT_THROW(CreateNewFile((dir.path() / "missing/a.bin").string(), ExistingEntry::Keep), EFCreateError);

    const fs::path foreign = dir.path() / "foreign";
    fs::create_directory(foreign);
    fs::permissions(foreign, fs::perms::all);
    if (!giveToSomeoneElse(foreign))
        GTEST_SKIP() << "needs root to make a folder of another user";
    EXPECT_THROW(CreateNewFile((foreign / "a.bin").string(), ExistingEntry::Keep), EFCreateError);
    EXPECT_TRUE(fs::is_empty(foreign));
}
#endif

TEST(PrivateFolder, DeleteFilesKeepsFoldersAndNeverFollowsLinks)
{
    TempDir dir;
    const fs::path outside = dir.path() / "outside";
    fs::create_directory(outside);
    writeTextFile(outside / "precious", "p");
    const fs::path work = dir.path() / "work";
    fs::create_directory(work);
    writeTextFile(work / "back0.bmp", "b");
    writeTextFile(work / "bgm0.mid", "m");
    fs::create_directory(work / "sub");
    writeTextFile(work / "sub" / "inner", "i");
#ifndef _WIN32
    fs::create_symlink(outside / "precious", work / "linkToFile");
    fs::create_directory_symlink(outside, work / "linkToFolder");
#endif

    DeleteFilesInPrivateDirectory(work.string() + "/");
    EXPECT_EQ(ListFiles(work.string()), std::vector<std::string>{});
    EXPECT_TRUE(fs::is_directory(work / "sub"));
    EXPECT_EQ(readTextFile(work / "sub" / "inner"), "i");
    EXPECT_EQ(readTextFile(outside / "precious"), "p");

#ifndef _WIN32
    // A folder reached through a link is not emptied.
    fs::create_directory_symlink(outside, dir.path() / "linkedWork");
    DeleteFilesInPrivateDirectory((dir.path() / "linkedWork").string() + "/");
    EXPECT_EQ(readTextFile(outside / "precious"), "p");
#endif
    DeleteFilesInPrivateDirectory((dir.path() / "missing").string());

    // An empty name is not taken for the current directory.
    const fs::path cwd = fs::current_path();
    fs::current_path(outside);
    DeleteFilesInPrivateDirectory("");
    fs::current_path(cwd);
    EXPECT_EQ(readTextFile(outside / "precious"), "p");

#ifndef _WIN32
    if (!giveToSomeoneElse(outside))
        GTEST_SKIP() << "needs root to make a folder of another user";
    DeleteFilesInPrivateDirectory(outside.string());
    EXPECT_EQ(readTextFile(outside / "precious"), "p");
#endif
}
