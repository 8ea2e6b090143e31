// TRegManage: defaults, type rules, the single cached open key and its
// errors, over the real settings file in a test directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/CRegManage.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/posix/PosixRegistry.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

// Passes everything to the real store and counts the keys it opens.
class CountingBackend : public TRegistryBackend {
public:
    CountingBackend(std::unique_ptr<TRegistryBackend> inner, std::vector<std::string>& opened)
        : inner_(std::move(inner)), opened_(opened)
    {
    }
    std::unique_ptr<TRegistryKeyHandle> OpenKey(TRootKey root, const std::string& path, bool canCreate) override
    {
        opened_.push_back(path);
        return inner_->OpenKey(root, path, canCreate);
    }
    bool DeleteKey(TRootKey root, const std::string& path) override { return inner_->DeleteKey(root, path); }

private:
    std::unique_ptr<TRegistryBackend> inner_;
    std::vector<std::string>& opened_;
};

// A store whose values exist but cannot be read.
class UnreadableBackend : public TRegistryBackend {
    class Key : public TRegistryKeyHandle {
        TRegStatus QueryValue(const std::string&, TRegRawValue* out) override
        {
            return out == nullptr ? TRegStatus::Ok : TRegStatus::Failed;
        }
        bool SetValue(const std::string&, const TRegRawValue&) override { return false; }
        bool DeleteValue(const std::string&) override { return false; }
        bool ValueNames(std::vector<std::string>&) override { return false; }
        bool SubKeyNames(std::vector<std::string>&) override { return false; }
    };

public:
    std::unique_ptr<TRegistryKeyHandle> OpenKey(TRootKey, const std::string&, bool) override
    {
        return std::make_unique<Key>();
    }
    bool DeleteKey(TRootKey, const std::string&) override { return false; }
};

constexpr const char* kMainPath = "Software\\Kelvo\\rororade\\main";

class RegManage : public ::testing::Test {
protected:
    RegManage()
    {
        ::setenv("XDG_CONFIG_HOME", temp_.str().c_str(), 1);
        store_.init("rororade");
    }

    std::filesystem::path File() const { return temp_.path() / "lurva" / "registry.reg"; }

    void WriteStore(const std::string& mainValues)
    {
        std::filesystem::create_directories(File().parent_path());
        std::ofstream(File()) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n" << mainValues;
    }

    std::string StoreText() const
    {
        std::ifstream in(File());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir temp_;
    std::vector<std::string> opened_;
    TRegManage store_{[this] {
        return std::make_unique<TRegistry>(std::make_unique<CountingBackend>(CreateRegistryBackend(), opened_));
    }};
};

}  // namespace

TEST_F(RegManage, InitSetsTheBasePathAndOpensNothing)
{
    EXPECT_EQ(store_.getBasePath(), "Software\\Kelvo\\rororade\\");
    EXPECT_EQ(store_.getOpenedKey(), "");
    EXPECT_TRUE(opened_.empty());
}

TEST_F(RegManage, FirstRunReadsDefaultsAndCreatesNoKey)
{
    EXPECT_EQ(store_.readString("main", "filename0", ""), "");
    EXPECT_FALSE(store_.readBool("main", "ignoreMouseMove", false));
    EXPECT_TRUE(store_.readBool("main", "ignoreMouseMove", true));
    EXPECT_EQ(store_.readInteger("main", "n", -7), -7);
    EXPECT_EQ(store_.readDouble("main", "d", 2.5), 2.5);
    EXPECT_EQ(store_.readDateTime("main", "t", 1.25), 1.25);
    EXPECT_EQ(store_.readString("main", "makepath", "dflt"), "dflt");
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(store_.readBinaryData("main", "bin", buffer, 4), -1);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(store_.getOpenedKey(), "") << "the key could not be opened";
    EXPECT_FALSE(std::filesystem::exists(File()));
    EXPECT_FALSE(std::filesystem::exists(File().parent_path()));
}

TEST_F(RegManage, TheFirstWriteCreatesTheKeyWithItsParents)
{
    store_.writeBool("main", "ignoreMouseMove", false);
    EXPECT_EQ(store_.getOpenedKey(), kMainPath);
    TRegistry reg;
    for (const char* key : {"Software", "Software\\Kelvo", "Software\\Kelvo\\rororade", kMainPath})
        EXPECT_TRUE(reg.KeyExists(key)) << key;
    EXPECT_NE(StoreText().find("[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n\"ignoreMouseMove\"=dword:00000000\n"),
        std::string::npos)
        << StoreText();
}

TEST_F(RegManage, TheOpenKeyIsReusedUntilAnotherKeyIsNamed)
{
    store_.writeString("main", "filename0", "a.sdt");
    store_.writeString("other", "x", "y");
    opened_.clear();
    EXPECT_EQ(store_.readString("main", "filename0", ""), "a.sdt");
    EXPECT_FALSE(store_.readBool("main", "ignoreMouseMove", false));
    EXPECT_EQ(opened_, std::vector<std::string>{kMainPath}) << "two reads of main open it once";
    EXPECT_EQ(store_.readString("other", "x", ""), "y");
    EXPECT_EQ(store_.getOpenedKey(), "Software\\Kelvo\\rororade\\other");
    EXPECT_EQ(store_.readString("main", "filename0", ""), "a.sdt");
    EXPECT_EQ(opened_, (std::vector<std::string>{kMainPath, "Software\\Kelvo\\rororade\\other", kMainPath}));
    store_.freeReg();
    EXPECT_EQ(store_.getOpenedKey(), "");
    EXPECT_EQ(store_.readString("main", "filename0", ""), "a.sdt");
    EXPECT_EQ(opened_.size(), 4u) << "after freeReg the key is opened again";
}

TEST_F(RegManage, AKeyThatCannotBeOpenedLeavesNoKeyOpen)
{
    store_.writeString("main", "filename0", "a.sdt");
    EXPECT_EQ(store_.readString("missing", "filename0", "d"), "d");
    EXPECT_EQ(store_.getOpenedKey(), "");
    EXPECT_EQ(store_.readString("main", "filename0", ""), "a.sdt");
}

TEST_F(RegManage, StoredTypesDecideWhatReads)
{
    WriteStore(
        "\"five\"=dword:00000005\n"
        "\"zero\"=dword:00000000\n"
        "\"text\"=\"true\"\n"
        "\"filename0\"=hex(2):25,48,4f,4d,45,25,2f,73,68,6f,77,2e,73,64,74,00\n"
        "\"sixteen\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f\n"
        "\"four\"=hex:00,00,80,3f\n"
        "\"multi\"=hex(7):61,00,00,00\n");
    EXPECT_TRUE(store_.readBool("main", "five", false));
    EXPECT_FALSE(store_.readBool("main", "zero", true));
    EXPECT_EQ(store_.readInteger("main", "five", 0), 5);
    EXPECT_EQ(store_.readString("main", "filename0", ""), "%HOME%/show.sdt") << "not expanded";
    uint8_t eight[8] = {};
    uint8_t sixteen[16] = {};
    EXPECT_EQ(store_.readBinaryData("main", "sixteen", sixteen, 16), 16);
    EXPECT_EQ(sixteen[15], 15);
    EXPECT_EQ(store_.readBinaryData("main", "multi", eight, 8), 4);

    EXPECT_THROW_MSG(store_.readBool("main", "text", false), ERegistryException, "'text' のデータ型が不正です");
    EXPECT_THROW_MSG(store_.readInteger("main", "text", 0), ERegistryException, "'text' のデータ型が不正です");
    EXPECT_THROW_MSG(store_.readString("main", "five", ""), ERegistryException, "'five' のデータ型が不正です");
    EXPECT_THROW_MSG(store_.readBinaryData("main", "sixteen", eight, 8), ERegistryException, "'sixteen' のデータ型が不正です");
    EXPECT_THROW_MSG(store_.readDouble("main", "four", 0), ERegistryException, "'four' のデータ型が不正です");
    EXPECT_THROW_MSG(store_.readDateTime("main", "sixteen", 0), ERegistryException, "'sixteen' のデータ型が不正です");
    EXPECT_THROW_MSG(store_.readDouble("main", "five", 0), ERegistryException, "'five' のデータ型が不正です");
}

TEST_F(RegManage, IgnoreMouseMoveStoredAsAStringIsADataTypeError)
{
    WriteStore("\"ignoreMouseMove\"=\"1\"\n");
    EXPECT_THROW_MSG(store_.readBool("main", "ignoreMouseMove", false), ERegistryException,
        "'ignoreMouseMove' のデータ型が不正です");
}

TEST_F(RegManage, WrittenValuesReadBackWithTheirTypes)
{
    store_.writeInteger("main", "int", INT32_MIN);
    store_.writeBool("main", "bool", true);
    store_.writeDouble("main", "double", -1.0 / 3.0);
    store_.writeDateTime("main", "date", 45000.75);
    store_.writeString("main", "filename0", "/home/u/ショー.sdt");
    const uint8_t blob[5] = {0, 1, 2, 3, 255};
    store_.writeBinaryData("main", "blob", blob, 5);
    store_.writeBinaryData("main", "none", nullptr, 0);

    TRegManage fresh;  // another store: nothing comes from a cache
    fresh.init("rororade");
    EXPECT_EQ(fresh.readInteger("main", "int", 0), INT32_MIN);
    EXPECT_TRUE(fresh.readBool("main", "bool", false));
    EXPECT_EQ(fresh.readDouble("main", "double", 0), -1.0 / 3.0);
    EXPECT_EQ(fresh.readDateTime("main", "date", 0), 45000.75);
    EXPECT_EQ(fresh.readString("main", "filename0", ""), "/home/u/ショー.sdt");
    uint8_t out[5] = {};
    EXPECT_EQ(fresh.readBinaryData("main", "blob", out, 5), 5);
    EXPECT_EQ(out[4], 255);
    EXPECT_EQ(fresh.readBinaryData("main", "none", out, 0), 0);
    EXPECT_EQ(fresh.readBinaryData("main", "none", nullptr, 0), 0);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kMainPath, false));
    EXPECT_EQ(reg.GetDataType("bool"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.GetDataSize("double"), 8);
    EXPECT_EQ(reg.GetDataSize("date"), 8);
    EXPECT_EQ(reg.GetDataType("filename0"), TRegDataType::rdString);
}

TEST_F(RegManage, AnEmptyStringIsStoredAsAValue)
{
    store_.writeString("main", "filename0", "");
    EXPECT_EQ(store_.readString("main", "filename0", "default"), "");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kMainPath, false));
    EXPECT_TRUE(reg.ValueExists("filename0"));
    EXPECT_EQ(reg.GetDataType("filename0"), TRegDataType::rdString);
    EXPECT_NE(StoreText().find("\"filename0\"=\"\"\n"), std::string::npos);
}

TEST_F(RegManage, AWriteReplacesAValueOfAnotherType)
{
    WriteStore("\"ignoreMouseMove\"=\"yes\"\n");
    store_.writeBool("main", "ignoreMouseMove", true);
    EXPECT_TRUE(store_.readBool("main", "ignoreMouseMove", false));
}

TEST_F(RegManage, ValueNamesComeInTheStoresOrder)
{
    std::vector<std::string> names = {"untouched"};
    store_.getValueNames("main", names);
    EXPECT_EQ(names, std::vector<std::string>{"untouched"}) << "a missing key leaves the list as it was";
    store_.writeString("main", "filename0", "");
    store_.writeBool("main", "ignoreMouseMove", false);
    store_.writeString("main", "makepath", "");
    store_.getValueNames("main", names);
    EXPECT_EQ(names, (std::vector<std::string>{"filename0", "ignoreMouseMove", "makepath"}));
}

TEST_F(RegManage, DeletingValuesAndKeys)
{
    store_.delValue("main", "filename0");  // nothing there: nothing happens
    store_.delKey("main");
    EXPECT_FALSE(std::filesystem::exists(File())) << "neither creates anything";

    store_.writeString("main", "filename0", "x");
    store_.writeString("main", "keep", "y");
    store_.delValue("main", "filename0");
    store_.delValue("main", "filename0");
    EXPECT_EQ(store_.readString("main", "filename0", "gone"), "gone");
    EXPECT_EQ(store_.readString("main", "keep", ""), "y");

    store_.writeString("other", "v", "1");
    store_.delKey("main");
    EXPECT_EQ(store_.getOpenedKey(), "Software\\Kelvo\\rororade\\") << "delKey opens the application key";
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(kMainPath));
    EXPECT_TRUE(reg.KeyExists("Software\\Kelvo\\rororade\\other"));
    EXPECT_EQ(store_.readString("main", "keep", "gone"), "gone");
}

TEST_F(RegManage, AWriteThatCannotBeStoredRaisesTheSettingError)
{
    // The configuration directory is a file: no key can be created.
    const auto blocker = temp_.path() / "blocker";
    std::ofstream(blocker) << "x";
    ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
    TRegManage store;
    store.init("rororade");
    EXPECT_THROW_MSG(store.writeString("main", "filename0", "x"), ERegistryException, "'filename0' の設定に失敗しました");
    EXPECT_THROW_MSG(store.writeBool("main", "ignoreMouseMove", true), ERegistryException,
        "'ignoreMouseMove' の設定に失敗しました");
    EXPECT_EQ(store.readString("main", "filename0", "d"), "d");
}

TEST_F(RegManage, AValueThatExistsButCannotBeReadRaisesTheReadError)
{
    TRegManage store([] { return std::make_unique<TRegistry>(std::make_unique<UnreadableBackend>()); });
    store.init("rororade");
    EXPECT_THROW_MSG(store.readString("main", "filename0", ""), ERegistryException, "'filename0' の取得に失敗しました");
    EXPECT_THROW_MSG(store.readBool("main", "ignoreMouseMove", false), ERegistryException,
        "'ignoreMouseMove' の取得に失敗しました");
}

TEST_F(RegManage, AValueTheOtherProcessWritesIsSeenAtTheNextRead)
{
    store_.writeBool("main", "ignoreMouseMove", false);
    EXPECT_FALSE(store_.readBool("main", "ignoreMouseMove", false));
    for (const bool value : {true, false, true}) {
        const pid_t dialog = forkChild([value] {
            TRegManage other;
            other.init("rororade");
            other.writeBool("main", "ignoreMouseMove", value);
            other.writeString("main", "filename0", value ? "/a.sdt" : "/b.sdt");
        });
        ASSERT_EQ(waitChild(dialog), 0);
        EXPECT_EQ(store_.readBool("main", "ignoreMouseMove", !value), value);
        EXPECT_EQ(store_.readString("main", "filename0", ""), value ? "/a.sdt" : "/b.sdt");
    }
    EXPECT_EQ(opened_.size(), 1u) << "the cached key stays open throughout";
}
