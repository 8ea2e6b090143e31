// WorkDirTest.cpp: the work directory, its numbered file names, the copies into
// it, emptying it, and the rules that keep other users from steering it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/CData.h"
#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/SysUtils.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
using Bytes = std::vector<uint8_t>;

std::vector<std::string> namesIn(const fs::path& dir)
{
    return ListFiles(dir.string());
}

// Points the work directory at a folder of the test for its lifetime.
class WorkDirOverride {
public:
    explicit WorkDirOverride(const std::string& dir) { setWorkDirOverride(dir); }
    ~WorkDirOverride() { setWorkDirOverride(std::nullopt); }
    WorkDirOverride(const WorkDirOverride&) = delete;
    WorkDirOverride& operator=(const WorkDirOverride&) = delete;
};

class WorkDirTest : public ::testing::Test {
protected:
    TempDir temp_;
    const fs::path work_ = temp_.path() / "work";
    WorkDirOverride override_{work_.string()};

    // Extracts text under the wished name in the work directory; returns the
    // name of the file written.
    std::string extract(const std::string& wishedName, const std::string& text = "data")
    {
        TMemoryStream source(Bytes(text.begin(), text.end()));
        const std::string written = writeStreamToFile(source, getWorkDir() + wishedName, static_cast<int32_t>(text.size()));
        EXPECT_EQ(source.Position(), static_cast<int64_t>(text.size()));
        EXPECT_EQ(readTextFile(pathFromUtf8(written)), text);
        const std::string dir = getWorkDir();
        EXPECT_EQ(written.substr(0, dir.size()), dir);
        return written.substr(dir.size());
    }
};
}  // namespace

TEST_F(WorkDirTest, OverrideIsCreatedAndEndsWithASeparator)
{
    EXPECT_FALSE(fs::exists(work_));
    EXPECT_EQ(getWorkDir(), work_.string() + PathDelim);
    EXPECT_TRUE(fs::is_directory(work_));
    writeTextFile(work_ / "left", "x");
    EXPECT_EQ(getWorkDir(), work_.string() + PathDelim);  // reused, not emptied
    EXPECT_TRUE(fs::exists(work_ / "left"));
    fs::remove_all(work_);
    getWorkDir();  // removed behind the program's back: made again
    EXPECT_TRUE(fs::is_directory(work_));
    setWorkDirOverride(work_.string() + "/");
    EXPECT_EQ(getWorkDir(), work_.string() + PathDelim);
}

TEST_F(WorkDirTest, NumberedNames)
{
    struct Case {
        std::vector<std::string> present;  // files already in the work directory
        std::string wished;
        std::string written;
    };
    const Case cases[] = {
        {{}, "back.bmp", "back0.bmp"},
        {{"back0.bmp"}, "back.bmp", "back1.bmp"},                // left over from a killed run
        {{"back0.bmp", "back1.bmp", "back3.bmp"}, "back.bmp", "back2.bmp"},
        {{"back1.bmp"}, "back.bmp", "back0.bmp"},
        {{}, "bgm", "bgm0"},                                        // no extension
        {{}, "bgm.mid", "bgm0.mid"},
        {{}, "back0.bmp", "back00.bmp"},                            // the show model's copy of back0.bmp
        {{}, "chara.tar.gz", "chara.tar0.gz"},                      // only the last dot counts
        {{}, ".bmp", "0.bmp"},
        {{}, "name.", "name0."},
#ifndef _WIN32
        // File names only where "\" and ":" separate nothing.
        {{}, "a.b\\bgm", "a.b\\bgm0"},                              // "\" ends the folder part
        {{}, "x:y.z\\bgm", "x:y.z\\bgm0"},
        {{}, "c:bgm", "c:bgm0"},                                    // so does ":"
#endif
        {{}, "写真.jpg", "写真0.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wished);
        deleteFilesIn(getWorkDir());
        for (const auto& name : c.present)
            writeTextFile(work_ / name, "old");
        EXPECT_EQ(extract(c.wished), c.written);
        for (const auto& name : c.present)
            EXPECT_EQ(readTextFile(work_ / name), "old");
    }
}

TEST_F(WorkDirTest, SecondExtractionOfTheSameNameGetsTheNextNumber)
{
    EXPECT_EQ(extract("back.bmp", "first"), "back0.bmp");
    EXPECT_EQ(extract("back.bmp", "second"), "back1.bmp");
    EXPECT_EQ(readTextFile(work_ / "back0.bmp"), "first");
}

TEST_F(WorkDirTest, DotInFolderNameAndNoExtension)
{
    const fs::path folder = temp_.path() / "a.b";
    fs::create_directory(folder);
    TMemoryStream source(Bytes{1, 2, 3});
    EXPECT_EQ(writeStreamToFile(source, (folder / "bgm").string(), 3), (folder / "bgm0").string());
}

TEST_F(WorkDirTest, AThousandFilesReplaceTheLast)
{
    getWorkDir();
    for (int i = 0; i <= 999; ++i)
        writeTextFile(work_ / ("back" + std::to_string(i) + ".bmp"), "old");
    EXPECT_EQ(extract("back.bmp", "new"), "back999.bmp");
    EXPECT_EQ(namesIn(work_).size(), 1000u);
    EXPECT_EQ(readTextFile(work_ / "back998.bmp"), "old");
    EXPECT_EQ(extract("back.bmp", "newer"), "back999.bmp");
}

TEST_F(WorkDirTest, CountsOfBytes)
{
    TMemoryStream source(Bytes{10, 11, 12, 13, 14});
    source.SetPosition(1);
    const std::string empty = writeStreamToFile(source, getWorkDir() + "bgm.mid", 0);
    EXPECT_EQ(fs::file_size(empty), 0u);  // nothing, not the whole source
    EXPECT_EQ(source.Position(), 1);

    const std::string part = writeStreamToFile(source, getWorkDir() + "bgm.mid", 3);
    EXPECT_EQ(readTextFile(part), std::string("\x0B\x0C\x0D"));
    EXPECT_EQ(source.Position(), 4);

    // Too few bytes: the read error passes, the file keeps what was copied.
    EXPECT_THROW_MSG(writeStreamToFile(source, getWorkDir() + "bgm.mid", 2), EReadError, "ストリームからの読み込みエラー");
    EXPECT_EQ(namesIn(work_), (std::vector<std::string>{"bgm0.mid", "bgm1.mid", "bgm2.mid"}));

    EXPECT_THROW(writeStreamToFile(source, getWorkDir() + "bgm.mid", -1), ERangeError);
    EXPECT_EQ(namesIn(work_).size(), 3u);  // nothing created
}

TEST_F(WorkDirTest, CopyFileToCopiesTheWholeFile)
{
    const fs::path source = temp_.path() / "picture.bmp";
    writeTextFile(source, "BMpicture");
    const std::string copy = copyFileTo(source.string(), getWorkDir() + "picture.bmp");
    EXPECT_EQ(copy, getWorkDir() + "picture0.bmp");
    EXPECT_EQ(readTextFile(copy), "BMpicture");
    EXPECT_EQ(copyFileTo(copy, getWorkDir() + ExtractFileName(copy)), getWorkDir() + "picture00.bmp");

    const std::string missing = (temp_.path() / "missing.bmp").string();
    EXPECT_THROW_MSG(copyFileTo(missing, getWorkDir() + "missing.bmp"), EFOpenError, "ファイル " + missing + " は開けません");
    EXPECT_EQ(namesIn(work_), (std::vector<std::string>{"picture0.bmp", "picture00.bmp"}));

    const fs::path emptyFile = temp_.path() / "empty.mid";
    writeTextFile(emptyFile, "");
    EXPECT_EQ(fs::file_size(copyFileTo(emptyFile.string(), getWorkDir() + "empty.mid")), 0u);
}

TEST_F(WorkDirTest, DeleteFilesInKeepsTheFolderAndItsSubfolders)
{
    extract("back.bmp");
    extract("bgm.mid");
    fs::create_directory(work_ / "sub");
    writeTextFile(work_ / "sub" / "inner.bmp", "i");
    deleteFilesIn(getWorkDir());
    EXPECT_TRUE(namesIn(work_).empty());
    EXPECT_TRUE(fs::is_directory(work_));
    EXPECT_EQ(readTextFile(work_ / "sub" / "inner.bmp"), "i");
    deleteFilesIn(getWorkDir());  // already empty
    deleteFilesIn((temp_.path() / "missing").string() + "/");
}

TEST_F(WorkDirTest, FailedCreationNamesTheFile)
{
    const std::string noFolder = (temp_.path() / "no" / "back.bmp").string();
    TMemoryStream source(Bytes{1});
    const std::string expected = (temp_.path() / "no" / "back0.bmp").string();
    EXPECT_THROW_MSG(writeStreamToFile(source, noFolder, 1), EFCreateError, "ファイル " + expected + " を作成できません");
    EXPECT_EQ(source.Position(), 0);
}

#ifndef _WIN32
namespace {
// The default work directory, found through the environment of a test folder.
class DefaultWorkDirTest : public ::testing::Test {
protected:
    TempDir temp_;
    ScopedEnv runtime_{"XDG_RUNTIME_DIR", std::nullopt};
    ScopedEnv tmp_{"TMPDIR", temp_.str()};
    const fs::path work_ = temp_.path() / ("lurva-" + std::to_string(::geteuid()));
    const fs::path victim_ = temp_.path() / "victim";

    void SetUp() override
    {
        setWorkDirOverride(std::nullopt);
        fs::create_directory(victim_);
        writeTextFile(victim_ / "precious", "p");
        writeTextFile(victim_ / "back0.bmp", "victim's");
        fs::permissions(victim_, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    }

    // Nothing of the victim's changed: same files, same contents, same mode.
    void expectVictimUntouched()
    {
        EXPECT_EQ(namesIn(victim_), (std::vector<std::string>{"back0.bmp", "precious"}));
        EXPECT_EQ(readTextFile(victim_ / "precious"), "p");
        EXPECT_EQ(readTextFile(victim_ / "back0.bmp"), "victim's");
        EXPECT_EQ(modeOf(victim_), 0744u);
    }

    // The show's first extraction must fail with the file-creation error.
    void expectExtractionRefused()
    {
        const std::string dir = getWorkDir();
        EXPECT_EQ(dir, work_.string() + "/");
        TMemoryStream source(Bytes{1, 2, 3});
        EXPECT_THROW_MSG(writeStreamToFile(source, dir + "back.bmp", 3), EFCreateError,
                         "ファイル " + dir + "back0.bmp を作成できません");
        deleteFilesIn(dir);
        expectVictimUntouched();
    }
};
}  // namespace

TEST_F(DefaultWorkDirTest, PrivateFolderInTheTemporaryFolder)
{
    EXPECT_EQ(getWorkDir(), work_.string() + "/");
    EXPECT_TRUE(fs::is_directory(work_));
    EXPECT_EQ(modeOf(work_), 0700u);
    TMemoryStream source(Bytes{1});
    EXPECT_EQ(writeStreamToFile(source, getWorkDir() + "back.bmp", 1), work_.string() + "/back0.bmp");
    EXPECT_EQ(modeOf(work_ / "back0.bmp"), 0600u);
}

TEST_F(DefaultWorkDirTest, RuntimeFolderWhenThereIsOne)
{
    const fs::path runtime = temp_.path() / "run";
    fs::create_directory(runtime);
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.string());
    EXPECT_EQ(getWorkDir(), (runtime / "lurva").string() + "/");
    EXPECT_EQ(modeOf(runtime / "lurva"), 0700u);

    // A link planted there is not used either.
    fs::remove(runtime / "lurva");
    fs::create_directory_symlink(victim_, runtime / "lurva");
    TMemoryStream source(Bytes{1});
    EXPECT_THROW(writeStreamToFile(source, getWorkDir() + "bgm.mid", 1), EFCreateError);
    expectVictimUntouched();
}

TEST_F(DefaultWorkDirTest, OwnFolderOpenToOthersIsMadePrivate)
{
    fs::create_directory(work_);
    fs::permissions(work_, fs::perms::all);
    getWorkDir();
    EXPECT_EQ(modeOf(work_), 0700u);
}

TEST_F(DefaultWorkDirTest, PlantedLinkIsNeverUsed)
{
    fs::create_directory_symlink(victim_, work_);
    expectExtractionRefused();
    EXPECT_TRUE(fs::is_symlink(work_));
}

TEST_F(DefaultWorkDirTest, PlantedFileIsNeverUsed)
{
    writeTextFile(work_, "not a folder");
    expectExtractionRefused();
    EXPECT_EQ(readTextFile(work_), "not a folder");
}

TEST_F(DefaultWorkDirTest, SomeoneElsesFolderIsNeverUsed)
{
    fs::create_directory(work_);
    fs::permissions(work_, fs::perms::all);
    if (::geteuid() != 0 || ::lchown(work_.c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "needs root to make a folder of another user";
    writeTextFile(work_ / "theirs.bmp", "t");
    expectExtractionRefused();
    EXPECT_EQ(modeOf(work_), 0777u);
    EXPECT_EQ(namesIn(work_), std::vector<std::string>{"theirs.bmp"});
}

// Links inside the work directory itself (left by anyone who could write there
// before it was made private) are never followed: not when numbering, not when
// replacing the last number, not when emptying.
TEST_F(DefaultWorkDirTest, LinksInsideTheFolderAreNeverFollowed)
{
    const std::string dir = getWorkDir();
    fs::create_symlink(victim_ / "back0.bmp", work_ / "back0.bmp");
    fs::create_symlink(victim_ / "nothing-yet", work_ / "back1.bmp");  // dangling
    fs::create_directory_symlink(victim_, work_ / "linkToVictim");
    TMemoryStream source(Bytes{'n', 'e', 'w'});
    EXPECT_EQ(writeStreamToFile(source, dir + "back.bmp", 3), dir + "back2.bmp");
    EXPECT_FALSE(fs::exists(victim_ / "nothing-yet"));

    for (int i = 3; i <= 998; ++i)
        writeTextFile(work_ / ("back" + std::to_string(i) + ".bmp"), "old");
    fs::create_symlink(victim_ / "precious", work_ / "back999.bmp");
    source.SetPosition(0);
    EXPECT_EQ(writeStreamToFile(source, dir + "back.bmp", 3), dir + "back999.bmp");
    EXPECT_FALSE(fs::is_symlink(work_ / "back999.bmp"));
    EXPECT_EQ(readTextFile(work_ / "back999.bmp"), "new");
    expectVictimUntouched();

    deleteFilesIn(dir);
    EXPECT_TRUE(namesIn(work_).empty());
    expectVictimUntouched();
}
#else
// On Windows the work directory is the temporary folder (from TMP) + "lurva".
TEST(DefaultWorkDir, TemporaryFolderPlusLurva)
{
    TempDir temp;
    ScopedEnv tmp("TMP", temp.str());
    setWorkDirOverride(std::nullopt);
    const std::string dir = temp.str() + "\\lurva\\";
    EXPECT_EQ(getWorkDir(), dir);
    EXPECT_TRUE(fs::is_directory(temp.path() / "lurva"));
    TMemoryStream source(Bytes{1});
    EXPECT_EQ(writeStreamToFile(source, getWorkDir() + "back.bmp", 1), dir + "back0.bmp");
    EXPECT_EQ(getWorkDir(), dir);  // reused
    deleteFilesIn(getWorkDir());
    EXPECT_TRUE(fs::is_empty(temp.path() / "lurva"));
}
#endif
