// TLurvaSettings: the program's own values under HKEY_CURRENT_USER\Software\Lurva,
// read from the real settings file in a test directory.
#include <gtest/gtest.h>

#include <cstdlib>
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
