// Lurva's own settings: read from a key of its own in the settings file, as
// a user or a script writes them, with a clear word for values that make no
// sense.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "config/CLurvaSettings.h"
#include "config/CRegManage.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

namespace {

class LurvaSettings : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", temp_.str().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    // Writes value under our key: a DWORD, a string, or nothing (deleted).
    static void store(const std::string& name, std::optional<int32_t> number, const char* text = nullptr)
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(TLurvaSettings::kKey, true));
        registry.DeleteValue(name);
        if (number)
            registry.WriteInteger(name, *number);
        else if (text != nullptr)
            registry.WriteString(name, text);
    }

    // The settings file with these lines in Lurva's key (REGEDIT4, as edited by hand).
    void WriteStore(const std::string& values)
    {
        const auto file = temp_.path() / "lurva" / "registry.reg";
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Lurva]\n" << values;
    }

    TempDir temp_;
};

}  // namespace

TEST_F(LurvaSettings, VolumeIsZeroToHundredAndFullWhenUnset)
{
    EXPECT_EQ(TLurvaSettings().volume(), 100) << "no key at all";
    struct Row {
        std::optional<int32_t> number;
        const char* text;
        int32_t volume;
    };
    const Row rows[] = {
        {40, nullptr, 40}, {0, nullptr, 0}, {100, nullptr, 100}, {-5, nullptr, 0}, {250, nullptr, 100},
        {std::nullopt, nullptr, 100},
        // Not a DWORD: passed over, and said.
        {std::nullopt, "40", 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number ? std::to_string(*row.number) : (row.text != nullptr ? row.text : "(none)"));
        store("volume", row.number, row.text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(TLurvaSettings().volume(), row.volume);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("Software\\Lurva\\volume is ignored") != std::string::npos, row.text != nullptr) << said;
    }
}

TEST_F(LurvaSettings, MuteIsAnyNonZeroDwordInOurKeyOnly)
{
    EXPECT_FALSE(TLurvaSettings().mute());
    // The authoring tool's key is not ours: a value there changes nothing.
    TRegManage shared;
    shared.init("rororade");
    shared.writeBool("main", "mute", true);
    shared.freeReg();
    EXPECT_FALSE(TLurvaSettings().mute());

    store("mute", 1);
    EXPECT_TRUE(TLurvaSettings().mute());
    store("mute", 7);
    EXPECT_TRUE(TLurvaSettings().mute());
    store("mute", 0);
    EXPECT_FALSE(TLurvaSettings().mute());
}

TEST_F(LurvaSettings, TheScaleAsANumberOrDigitsAndAnythingElseIgnored)
{
    const struct {
        const char* line;  // empty: no value at all
        std::optional<int> scale;
    } rows[] = {
        {"", std::nullopt},
        {"\"scale\"=dword:00000002\n", 2},
        {"\"scale\"=\"3\"\n", 3},
        {"\"scale\"=\"16\"\n", 16},
        {"\"scale\"=\"auto\"\n", std::nullopt},
        {"\"scale\"=dword:00000000\n", std::nullopt},
        {"\"scale\"=\"17\"\n", std::nullopt},
        {"\"scale\"=\"2x\"\n", std::nullopt},
        {"\"scale\"=\"-1\"\n", std::nullopt},
        {"\"scale\"=hex:02,00\n", std::nullopt},  // a type that holds no text
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        WriteStore(row.line);
        EXPECT_EQ(TLurvaSettings().scale(), row.scale);
    }
}

TEST_F(LurvaSettings, MonitorsArePrimaryOnlyWhenSaidSo)
{
    const struct {
        const char* line;
        bool primaryOnly;
    } rows[] = {
        {"", false},
        {"\"monitors\"=\"all\"\n", false},
        {"\"monitors\"=\"primary\"\n", true},
        {"\"monitors\"=\"Primary!\"\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        WriteStore(row.line);
        EXPECT_EQ(TLurvaSettings().primaryMonitorOnly(), row.primaryOnly);
    }
}

TEST_F(LurvaSettings, TheKeyIsLurvasOwnNotTheOneTheAuthoringToolShares)
{
    {
        TRegManage shared;
        shared.init("rororade");
        shared.writeString("main", "scale", "4");
        shared.writeString("main", "monitors", "primary");
    }
    EXPECT_EQ(TLurvaSettings().scale(), std::nullopt);
    EXPECT_FALSE(TLurvaSettings().primaryMonitorOnly());
}

TEST(LurvaSettingsText, ParseScale)
{
    EXPECT_EQ(TLurvaSettings::parseScale("1"), 1);
    EXPECT_EQ(TLurvaSettings::parseScale("08"), 8);
    EXPECT_EQ(TLurvaSettings::parseScale("16"), 16);
    for (const char* bad : {"", "0", "17", "100", " 2", "2 ", "+2", "1.5", "two"})
        EXPECT_EQ(TLurvaSettings::parseScale(bad), std::nullopt) << '"' << bad << '"';
}
