// The lurva program's command line: options anywhere, the first other
// argument for the mode dispatch, and the refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "shell/CommandLine.h"
#include "support/TestSupport.h"

namespace {

using Words = std::vector<std::string>;

Words line(const Words& rest)
{
    Words all{"lurva"};
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

}  // namespace

TEST(CommandLine, OptionsStandAnywhereAndTheRestGoesToTheDispatch)
{
    struct Row {
        Words arguments;
        Words dispatch;    // after the program name
        Words hostWindow;  // after the program name
    };
    const Row rows[] = {
        {{}, {}, {}},
        {{"/s"}, {"/s"}, {}},
        {{"-root"}, {}, {"-root"}},
        {{"--root", "/c"}, {"/c"}, {"--root"}},
        {{"show.sdt", "--window-id", "0x42"}, {"show.sdt"}, {"--window-id", "0x42"}},
        {{"--window-id=17", "/p", "1234"}, {"/p", "1234"}, {"--window-id=17"}},
        {{"-window-id", "77", "--sound", "-c"}, {"-c"}, {"-window-id", "77"}},
        // The id is the backend's to judge, even when it looks like an option or is missing.
        {{"--window-id", "--mute"}, {}, {"--window-id", "--mute"}},
        {{"--window-id"}, {}, {"--window-id"}},
        // Host switches are single-dash words and stay arguments.
        {{"-s", "-x", "/C5"}, {"-s", "-x", "/C5"}, {}},
        {{"--", "--root", "-h"}, {"--root", "-h"}, {}},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const auto& a : row.arguments)
            shown += "'" + a + "' ";
        SCOPED_TRACE(shown);
        const TCommandLine parsed = ParseCommandLine(line(row.arguments));
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.dispatch, line(row.dispatch));
        EXPECT_EQ(parsed.hostWindow, line(row.hostWindow));
    }
}

TEST(CommandLine, ShowSoundMuteScaleHelpAndVersion)
{
    const TCommandLine parsed =
        ParseCommandLine(line({"--sound", "/s", "--show", "a.sdt", "--mute", "--scale=3", "--version"}));
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.dispatch, line({"/s"}));
    EXPECT_EQ(parsed.show.showFile, "a.sdt");
    EXPECT_TRUE(parsed.show.sound);
    EXPECT_TRUE(parsed.show.mute);
    EXPECT_EQ(parsed.scale, 3);
    EXPECT_TRUE(parsed.version);
    EXPECT_FALSE(parsed.help);

    const TCommandLine plain = ParseCommandLine(line({"--show=b c.sdt", "--scale", "16", "-h"}));
    EXPECT_EQ(plain.show.showFile, "b c.sdt");
    EXPECT_EQ(plain.scale, 16);
    EXPECT_TRUE(plain.help);
    EXPECT_FALSE(plain.show.sound);
    EXPECT_FALSE(plain.show.mute);
}

TEST(CommandLine, RefusalsNameTheOption)
{
    struct Row {
        Words arguments;
        const char* error;
    };
    const Row rows[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"/s", "--windowid", "5"}, "unknown option '--windowid'"},
        {{"--show"}, "--show needs the data file to play"},
        {{"--show="}, "--show needs the data file to play"},
        {{"--scale"}, "--scale takes a whole number from 1 to 16, not ''"},
        {{"--scale", "0"}, "--scale takes a whole number from 1 to 16, not '0'"},
        {{"--scale=17"}, "--scale takes a whole number from 1 to 16, not '17'"},
        {{"--scale", "2x"}, "--scale takes a whole number from 1 to 16, not '2x'"},
        {{"--scale", "-1"}, "--scale takes a whole number from 1 to 16, not '-1'"},
        // The first refusal is the one told.
        {{"--a", "--b"}, "unknown option '--a'"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ParseCommandLine(line(row.arguments)).error, row.error);
}

TEST(CommandLine, AnExistingFileNamedLikeAnOptionIsAShow)
{
    TempDir dir;
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::ofstream("--odd.sdt") << "x";
    const TCommandLine parsed = ParseCommandLine(line({"--odd.sdt"}));
    std::filesystem::current_path(before);
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.dispatch, line({"--odd.sdt"}));
}
