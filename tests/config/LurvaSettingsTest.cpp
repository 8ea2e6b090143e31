// Lurva's own settings: read from a key of its own in the settings file, as
// a user or a script writes them, with a clear word for values that make no
// sense.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/CLurvaSettings.h"
#include "config/CRegManage.h"
#include "support/TestSupport.h"

namespace {

class LurvaSettings : public ::testing::Test {
protected:
    LurvaSettings() { ::setenv("XDG_CONFIG_HOME", temp_.str().c_str(), 1); }

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
