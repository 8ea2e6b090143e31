// The POSIX settings file behind TRegistry: types, caching, sharing between
// processes, crashes and broken files.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/posix/PosixRegistry.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

constexpr const char* kMain = "Software\\Kelvo\\rororade\\main";

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> brokenCopies(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind("registry.reg.broken-", 0) == 0)
            names.push_back(entry.path().string());
    return names;
}

class PosixRegistry : public ::testing::Test {
protected:
    std::filesystem::path Dir() const { return temp_.path() / "lurva"; }
    std::filesystem::path File() const { return Dir() / "registry.reg"; }
    std::unique_ptr<TRegistry> Open() const
    {
        return std::make_unique<TRegistry>(std::make_unique<TPosixRegistryStore>(File().string()));
    }

    TempDir temp_;
};

}  // namespace

TEST_F(PosixRegistry, ReadsOfAMissingStoreCreateNothing)
{
    auto reg = Open();
    EXPECT_FALSE(reg->OpenKey(kMain, false));
    EXPECT_FALSE(reg->KeyExists("Software"));
    EXPECT_TRUE(reg->OpenKey("", false)) << "the root always exists";
    EXPECT_FALSE(reg->ValueExists("filename0"));
    EXPECT_FALSE(std::filesystem::exists(Dir()));
}

TEST_F(PosixRegistry, CreatingAKeyWritesAPrivateFileWithItsParents)
{
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey(kMain, true));
    EXPECT_EQ(reg->CurrentPath(), kMain);
    for (const char* key : {"Software", "Software\\Kelvo", "Software\\Kelvo\\rororade", kMain})
        EXPECT_TRUE(Open()->KeyExists(key)) << key;
    EXPECT_NE(readFile(File()).find("[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n"), std::string::npos);
    struct stat st{};
    ASSERT_EQ(::stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(Dir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PosixRegistry, TypedValuesKeepTheirRegistryTypes)
{
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey(kMain, true));
    reg->WriteInteger("int", -2);
    reg->WriteBool("bool", true);
    reg->WriteString("text", "日本語 \"q\" \\");
    reg->WriteExpandString("expand", "%HOME%/x");
    reg->WriteFloat("double", 0.1);
    reg->WriteDateTime("date", 36526.5);
    const uint8_t blob[3] = {9, 8, 7};
    reg->WriteBinaryData("blob", blob, 3);

    auto again = Open();  // a fresh reader of the same file
    ASSERT_TRUE(again->OpenKey(kMain, false));
    EXPECT_EQ(again->ReadInteger("int"), -2);
    EXPECT_TRUE(again->ReadBool("bool"));
    EXPECT_EQ(again->ReadString("text"), "日本語 \"q\" \\");
    EXPECT_EQ(again->ReadString("expand"), "%HOME%/x");
    EXPECT_EQ(again->ReadFloat("double"), 0.1);
    EXPECT_EQ(again->ReadDateTime("date"), 36526.5);
    uint8_t out[8] = {};
    EXPECT_EQ(again->ReadBinaryData("blob", out, 8), 3);
    EXPECT_EQ(out[2], 7);

    struct Row {
        const char* name;
        TRegDataType type;
        int32_t size;
    };
    const Row rows[] = {
        {"int", TRegDataType::rdInteger, 4},
        {"bool", TRegDataType::rdInteger, 4},
        {"text", TRegDataType::rdString, 16},  // 15 bytes of UTF-8 and the NUL
        {"expand", TRegDataType::rdExpandString, 9},
        {"double", TRegDataType::rdBinary, 8},
        {"blob", TRegDataType::rdBinary, 3},
        {"missing", TRegDataType::rdUnknown, -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(again->GetDataType(row.name), row.type) << row.name;
        EXPECT_EQ(again->GetDataSize(row.name), row.size) << row.name;
    }
    const std::string text = readFile(File());
    EXPECT_NE(text.find("\"bool\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"int\"=dword:fffffffe\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"expand\"=hex(2):25,48,4f,4d,45,25,2f,78,00\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"blob\"=hex:09,08,07\n"), std::string::npos) << text;
}

TEST_F(PosixRegistry, ReadsThatDoNotFitTheStoredTypeRaise)
{
    writeFile(File(),
        "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n"
        "\"text\"=\"abc\"\n\"dword\"=dword:00000005\n\"short\"=hex(4):01,00\n"
        "\"four\"=hex:00,00,80,3f\n\"sixteen\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f\n"
        "\"multi\"=hex(7):61,00,00,00\n\"emptybin\"=hex:\n");
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("K", false));
    uint8_t buffer[8];
    EXPECT_THROW_MSG(reg->ReadInteger("text"), ERegistryException, "'text' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadBool("text"), ERegistryException, "'text' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadInteger("short"), ERegistryException, "'short' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadString("dword"), ERegistryException, "'dword' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadFloat("four"), ERegistryException, "'four' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadFloat("dword"), ERegistryException, "'dword' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadBinaryData("sixteen", buffer, 8), ERegistryException, "'sixteen' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadBinaryData("text", buffer, 8), ERegistryException, "'text' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadBinaryData("dword", buffer, 8), ERegistryException, "'dword' のデータ型が不正です");
    EXPECT_THROW_MSG(reg->ReadString("missing"), ERegistryException, "'missing' の取得に失敗しました");
    EXPECT_EQ(reg->ReadInteger("dword"), 5);
    EXPECT_TRUE(reg->ReadBool("dword"));
    EXPECT_EQ(reg->ReadBinaryData("multi", buffer, 8), 4) << "an unknown type reads as bytes";
    EXPECT_EQ(reg->ReadString("emptybin"), "") << "a zero-length value reads as the empty string";
    EXPECT_EQ(reg->GetDataType("multi"), TRegDataType::rdUnknown);
    TRegDataInfo info;
    ASSERT_TRUE(reg->GetDataInfo("multi", info));
    EXPECT_EQ(info.RawType, 7u);
}

TEST_F(PosixRegistry, WritesThatCannotBeStoredRaise)
{
    auto reg = Open();
    EXPECT_THROW_MSG(reg->WriteString("v", "x"), ERegistryException, "'v' の設定に失敗しました");
    ASSERT_TRUE(reg->OpenKey("K", true));
    EXPECT_THROW_MSG(reg->WriteString("a\nb", "x"), ERegistryException, "'a\nb' の設定に失敗しました");
    EXPECT_THROW_MSG(reg->WriteBinaryData("n", nullptr, -1), ERegistryException, "'n' の設定に失敗しました");
    EXPECT_FALSE(reg->OpenKey("bad\x01name", true));
    EXPECT_EQ(reg->CurrentPath(), "K") << "a failed open leaves the open key open";
}

TEST_F(PosixRegistry, KeysOpenRelativeToTheOpenKeyAndDeleteWithTheirSubkeys)
{
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("Software\\App", true));
    ASSERT_TRUE(reg->OpenKey("main\\deep", true));
    EXPECT_EQ(reg->CurrentPath(), "Software\\App\\main\\deep");
    ASSERT_TRUE(reg->OpenKey("\\Software\\App", false));
    std::vector<std::string> keys;
    reg->GetKeyNames(keys);
    EXPECT_EQ(keys, std::vector<std::string>{"main"});
    EXPECT_TRUE(reg->DeleteKey("main"));
    EXPECT_FALSE(reg->KeyExists("main"));
    EXPECT_FALSE(Open()->KeyExists("Software\\App\\main\\deep"));
    EXPECT_FALSE(reg->DeleteKey("main"));
}

TEST_F(PosixRegistry, AKeyDeletedUnderAnOpenHandleIsMadeAgainByAWrite)
{
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey(kMain, true));
    ASSERT_TRUE(Open()->DeleteKey("Software\\Kelvo"));
    EXPECT_FALSE(reg->ValueExists("x"));
    reg->WriteString("x", "kept");
    auto other = Open();
    ASSERT_TRUE(other->OpenKey(kMain, false));
    EXPECT_EQ(other->ReadString("x"), "kept");
}

TEST_F(PosixRegistry, ValuesOfTypesItDoesNotKnowSurviveOtherWrites)
{
    writeFile(File(), "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"multi\"=hex(7):61,00,62,00,00,00\n@=\"default\"\n");
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("K", false));
    reg->WriteBool("flag", false);
    const std::string text = readFile(File());
    EXPECT_NE(text.find("\"multi\"=hex(7):61,00,62,00,00,00\n"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos) << text;
    std::vector<std::string> names;
    reg->GetValueNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"multi", "", "flag"}));
}

TEST_F(PosixRegistry, AnEditByHandIsSeenAtTheNextRead)
{
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("K", true));
    reg->WriteString("v", "aaaa");
    EXPECT_EQ(reg->ReadString("v"), "aaaa");
    std::string text = readFile(File());
    text.replace(text.find("aaaa"), 4, "bbbb");
    {
        // In place, same size: only the timestamps tell.
        std::fstream out(File(), std::ios::in | std::ios::out | std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    EXPECT_EQ(reg->ReadString("v"), "bbbb");
}

TEST_F(PosixRegistry, AValueWrittenByAnotherProcessIsSeenAtTheNextRead)
{
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey(kMain, true));
    reg->WriteBool("ignoreMouseMove", false);
    for (const bool value : {true, false, true, false}) {
        // Same size every time, and quicker than the file clock's tick.
        const pid_t child = forkChild([&] {
            auto writer = Open();
            if (!writer->OpenKey(kMain, false))
                throw 1;
            writer->WriteBool("ignoreMouseMove", value);
        });
        ASSERT_EQ(waitChild(child), 0);
        EXPECT_EQ(reg->ReadBool("ignoreMouseMove"), value);
    }
}

TEST_F(PosixRegistry, ConcurrentWritersFromTwoProcessesLoseNothing)
{
    constexpr int kPerWriter = 60;
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("K", true));
    reg->WriteString("before", "x");
    std::vector<pid_t> children;
    for (const char* prefix : {"a", "b"}) {
        children.push_back(forkChild([&, prefix] {
            auto writer = Open();  // opened before the other's writes: its cache goes stale
            if (!writer->OpenKey("K", false))
                throw 1;
            for (int i = 0; i < kPerWriter; ++i) {
                writer->WriteInteger(prefix + std::to_string(i), i);
                writer->WriteInteger("shared", i);
            }
        }));
    }
    for (const pid_t child : children)
        ASSERT_EQ(waitChild(child), 0);
    std::vector<std::string> names;
    reg->GetValueNames(names);
    EXPECT_EQ(names.size(), 2u * kPerWriter + 2);
    for (int i = 0; i < kPerWriter; ++i) {
        EXPECT_EQ(reg->ReadInteger("a" + std::to_string(i)), i);
        EXPECT_EQ(reg->ReadInteger("b" + std::to_string(i)), i);
    }
    EXPECT_EQ(reg->ReadInteger("shared"), kPerWriter - 1);
    EXPECT_EQ(reg->ReadString("before"), "x");
}

TEST_F(PosixRegistry, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile)
{
    {
        auto reg = Open();
        ASSERT_TRUE(reg->OpenKey("K", true));
        reg->WriteString("v", "start");
    }
    // The writer says on a pipe when each write is done; it is killed once
    // a number of writes (a different one each round) are, in the middle of
    // the next. What is waited for is the writes, not a time.
    std::mt19937 random(12345);
    for (int round = 0; round < 25; ++round) {
        int done[2];
        ASSERT_EQ(::pipe(done), 0);
        const pid_t child = forkChild([&] {
            ::close(done[0]);
            auto writer = Open();
            writer->OpenKey("K", false);
            for (int i = 0;; ++i) {
                writer->WriteString("v", std::string(static_cast<size_t>(1 + i % 3000), static_cast<char>('a' + i % 26)));
                const char written = 'w';
                if (::write(done[1], &written, 1) != 1)
                    return;
            }
        });
        ::close(done[1]);
        const int writes = 1 + static_cast<int>(random() % 40);
        bool wrote = true;
        for (int w = 0; w < writes && wrote; ++w) {
            pollfd p{done[0], POLLIN, 0};
            char c;
            wrote = ::poll(&p, 1, 20000) == 1 && ::read(done[0], &c, 1) == 1;
        }
        ::kill(child, SIGKILL);
        ASSERT_EQ(waitChild(child), 128 + SIGKILL);
        ::close(done[0]);
        ASSERT_TRUE(wrote) << "the writer stopped writing";

        const TRegTree tree = ParseRegFile(readFile(File()));  // raises if torn
        const TRegRawValue* value = tree.Find(TRootKey::CurrentUser, "K")->Value("v");
        ASSERT_NE(value, nullptr);
        const std::string text(value->data.begin(), value->data.end());
        EXPECT_TRUE(text == "start" || text.find_first_not_of(text[0]) == std::string::npos) << text;
    }
    // A temporary file a killed writer left behind is never read, and the
    // lock it held is free again.
    writeFile(Dir() / "registry.reg.tmp", "garbage");
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("K", false));
    reg->WriteString("after", "ok");
    EXPECT_EQ(Open()->KeyExists("K"), true);
    EXPECT_TRUE(brokenCopies(Dir()).empty());
    EXPECT_FALSE(std::filesystem::exists(Dir() / "registry.reg.tmp"));
}

TEST_F(PosixRegistry, AFileThatCannotBeParsedIsSetAsideAndTheDefaultsUsed)
{
    struct Row {
        const char* what;
        std::string text;
    };
    const Row rows[] = {
        {"garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11)},
        {"empty", ""},
        {"cut in a string", "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"half"},
        {"cut in a hex run", "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=hex:01,02,\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove_all(Dir());
        writeFile(File(), row.text);
        auto reg = Open();
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(reg->OpenKey("K", false));
        const std::string said = ::testing::internal::GetCapturedStderr();
        const auto copies = brokenCopies(Dir());
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(readFile(copies[0]), row.text);
        EXPECT_NE(said.find(File().string()), std::string::npos) << said;
        EXPECT_NE(said.find(copies[0]), std::string::npos) << said;
        EXPECT_FALSE(std::filesystem::exists(File()));

        ASSERT_TRUE(reg->OpenKey("K", true));
        reg->WriteString("v", "fresh");
        EXPECT_EQ(Open()->KeyExists("K"), true);
        EXPECT_EQ(brokenCopies(Dir()).size(), 1u) << "the copy set aside is kept";
    }
}

TEST_F(PosixRegistry, AWriteOverABrokenFileKeepsItAsideFirst)
{
    writeFile(File(), "not a settings file\n");
    auto reg = Open();
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(reg->OpenKey("K", true));
    reg->WriteString("v", "new");
    ::testing::internal::GetCapturedStderr();
    const auto copies = brokenCopies(Dir());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(readFile(copies[0]), "not a settings file\n");
    EXPECT_EQ(Open()->KeyExists("K"), true);
}

TEST_F(PosixRegistry, AStoreFileThatIsALinkStaysALink)
{
    const auto real = temp_.path() / "dotfiles" / "lurva.reg";
    writeFile(real, "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"old\"\n");
    std::filesystem::create_directories(Dir());
    std::filesystem::create_symlink(real, File());
    auto reg = Open();
    ASSERT_TRUE(reg->OpenKey("K", false));
    reg->WriteString("v", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(File()));
    EXPECT_NE(readFile(real).find("\"v\"=\"new\""), std::string::npos);
    EXPECT_EQ(Open()->OpenKey("K", false), true);
}

TEST_F(PosixRegistry, TheDefaultFileFollowsXdgConfigHome)
{
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string keepConfig = savedConfig != nullptr ? savedConfig : "";
    const char* savedHome = std::getenv("HOME");
    const std::string keepHome = savedHome != nullptr ? savedHome : "";
    ::setenv("XDG_CONFIG_HOME", "/some/where", 1);
    EXPECT_EQ(DefaultRegistryFilePath(), "/some/where/lurva/registry.reg");
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultRegistryFilePath(), "/home/someone/.config/lurva/registry.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultRegistryFilePath(), "/home/someone/.config/lurva/registry.reg");
    if (savedConfig != nullptr)
        ::setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1);
    if (savedHome != nullptr)
        ::setenv("HOME", keepHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}
