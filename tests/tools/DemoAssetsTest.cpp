// DemoAssetsTest.cpp: the demo generator's pictures, tune and manifest are complete and well formed.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "platform/MidiFile.h"
#include "platform/posix/FluidSynthPlayer.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the generator in folder cwd (the current one when empty); the wait status.
int runGenerator(const std::string& arguments, const fs::path& cwd = {})
{
    std::string command = std::string("'") + MAKE_DEMO_ASSETS + "' " + arguments + " >/dev/null 2>&1";
    if (!cwd.empty()) command = "cd '" + cwd.string() + "' && " + command;
    return std::system(command.c_str());
}

uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

struct Bmp {
    int width = 0;
    int height = 0;
    uint32_t topLeft = 0;  // 0xRRGGBB
    bool drawnOn = false;  // some pixel differs from the top-left one
};

// Reads a 24-bit uncompressed BMP as the generator writes it, checking its header against the file.
Bmp readBmp(const fs::path& path)
{
    const auto b = readFile(path);
    Bmp bmp;
    EXPECT_GE(b.size(), 54u) << path;
    if (b.size() < 54) return bmp;
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le(b, 2, 4), b.size()) << "file size field of " << path;
    EXPECT_EQ(le(b, 14, 4), 40u) << "info header size";
    EXPECT_EQ(le(b, 26, 2), 1u) << "planes";
    EXPECT_EQ(le(b, 28, 2), 24u) << "bits per pixel";
    EXPECT_EQ(le(b, 30, 4), 0u) << "compression";
    bmp.width = int(le(b, 18, 4));
    bmp.height = int(le(b, 22, 4));
    const size_t offset = le(b, 10, 4);
    const size_t row = size_t(bmp.width * 3 + 3) & ~size_t(3);
    EXPECT_EQ(offset + row * size_t(bmp.height), b.size()) << "pixel data of " << path;
    if (offset + row * size_t(bmp.height) != b.size() || bmp.height <= 0) return bmp;
    auto pixel = [&](int x, int y) {  // rows are stored bottom-up
        const size_t at = offset + size_t(bmp.height - 1 - y) * row + size_t(x) * 3;
        return (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 1]} << 8) | b[at];
    };
    bmp.topLeft = pixel(0, 0);
    for (int y = 0; y < bmp.height && !bmp.drawnOn; ++y)
        for (int x = 0; x < bmp.width; ++x)
            if (pixel(x, y) != bmp.topLeft) {
                bmp.drawnOn = true;
                break;
            }
    return bmp;
}

class DemoAssetsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(runGenerator("'" + out.str() + "'"), 0);
        std::ifstream in(out.path() / "demo.json");
        manifest = nlohmann::json::parse(in);
    }
    TempDir out;
    nlohmann::json manifest;
};

}  // namespace

TEST(DemoAssetsUsageTest, optionsAreAnsweredAndNeverBecomeFolders)
{
    TempDir cwd;
    const struct {
        const char* arguments;
        int status;
    } cases[] = {
        {"", 2},
        {"--help", 0},
        {"-h", 0},
        {"--bogus", 2},
        {"a b", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const int raw = runGenerator(c.arguments, cwd.path());
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), c.status);
        EXPECT_TRUE(fs::is_empty(cwd.path())) << "nothing is made in the working folder";
    }
}

TEST_F(DemoAssetsTest, theManifestDescribesTheShow)
{
    EXPECT_EQ(manifest["version"], 120);
    EXPECT_EQ(manifest["loopTime"], 60);
    EXPECT_EQ(manifest["setting"]["backMode"], 2);
    EXPECT_EQ(manifest["setting"]["backColor"], 0);
    EXPECT_EQ(manifest["setting"]["playBgm"], true);
    EXPECT_TRUE(manifest["setting"]["bgmName"].is_string());
    EXPECT_EQ(manifest["background"], "back.bmp");
    EXPECT_EQ(manifest["bgm"], "tune.mid");
    EXPECT_TRUE(fs::is_regular_file(out.path() / "back.bmp"));
    EXPECT_TRUE(fs::is_regular_file(out.path() / "tune.mid"));

    const auto& characters = manifest["charactors"];
    ASSERT_TRUE(characters.is_array());
    EXPECT_GE(characters.size(), 3u);
    std::set<std::string> names;
    std::set<std::vector<std::vector<double>>> paths;
    for (const auto& ch : characters) {
        const std::string name = ch["name"];
        SCOPED_TRACE(name);
        names.insert(name);
        EXPECT_EQ(ch["transparent"], true);
        EXPECT_GE(ch["frames"].size(), 2u) << "several frames";
        EXPECT_LE(ch["frames"].size(), 10u);
        for (const auto& frame : ch["frames"]) EXPECT_TRUE(fs::is_regular_file(out.path() / std::string(frame)));
        ASSERT_EQ(ch["points"].size(), 600u);
        std::vector<std::vector<double>> path;
        int onScreen = 0;
        for (const auto& p : ch["points"]) {
            ASSERT_TRUE(p.is_array() && p.size() == 2 && p[0].is_number() && p[1].is_number());
            const double x = p[0], y = p[1];
            EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
            onScreen += (x >= 0 && x <= 1 && y >= 0 && y <= 1);
            path.push_back({x, y});
        }
        EXPECT_GT(onScreen, 300) << "on screen most of the loop";
        paths.insert(path);
    }
    EXPECT_EQ(names.size(), characters.size()) << "names differ";
    EXPECT_EQ(paths.size(), characters.size()) << "paths differ";
}

TEST_F(DemoAssetsTest, picturesHaveTheirSizesAndKeyColours)
{
    const Bmp back = readBmp(out.path() / "back.bmp");
    EXPECT_EQ(back.width, 640);
    EXPECT_EQ(back.height, 400);

    struct Expected {
        const char* name;
        int width, height;
        uint32_t key;
    };
    const Expected expected[] = {
        {"blob", 64, 64, 0xFFFFFF},
        {"bird", 80, 56, 0xFFFFFF},
        {"star", 64, 64, 0xFFFFFF},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const auto ch = std::find_if(manifest["charactors"].begin(), manifest["charactors"].end(),
                                     [&](const auto& c) { return c["name"] == e.name; });
        ASSERT_NE(ch, manifest["charactors"].end());
        for (const auto& frame : (*ch)["frames"]) {
            SCOPED_TRACE(std::string(frame));
            const Bmp bmp = readBmp(out.path() / std::string(frame));
            EXPECT_EQ(bmp.width, e.width);
            EXPECT_EQ(bmp.height, e.height);
            EXPECT_EQ(bmp.topLeft, e.key);
            EXPECT_TRUE(bmp.drawnOn);
        }
    }
}

TEST_F(DemoAssetsTest, theTuneIsAStandardMidiFileOfWholeBars)
{
    const auto bytes = readFile(out.path() / "tune.mid");
    ASSERT_GE(bytes.size(), 22u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MThd");
    EXPECT_EQ(std::string(bytes.begin() + 14, bytes.begin() + 18), "MTrk");
    const uint32_t trackLength = (uint32_t{bytes[18]} << 24) | (uint32_t{bytes[19]} << 16) |
                                 (uint32_t{bytes[20]} << 8) | bytes[21];
    EXPECT_EQ(trackLength, bytes.size() - 22) << "one track filling the rest of the file";
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 3, bytes.end()), (std::vector<uint8_t>{0xFF, 0x2F, 0x00}));

    const MidiFileSummary tune = checkMidiFile(bytes);
    EXPECT_EQ(tune.format, 0);
    EXPECT_EQ(tune.trackCount, 1);
    EXPECT_GT(tune.noteCount, 32);
    const int64_t bar = 4 * int64_t(tune.division);
    EXPECT_EQ(tune.lengthTicks % bar, 0) << "ends on a bar line, so it loops in time";
    EXPECT_GE(tune.lengthTicks / bar, 4);
    EXPECT_LE(tune.lengthTicks / bar, 16);
}

TEST_F(DemoAssetsTest, theTunePlaysToItsEndInOurPlayer)
{
    FluidSynthPlayer::Options options;
    options.audioDrivers = {};
    FluidSynthPlayer player(options);
    player.open((out.path() / "tune.mid").string(), dtSequencer);
    bool ended = false;
    player.play([&ended] { ended = true; });
    float left[256], right[256], peak = 0;
    int64_t frames = 0;
    while (!ended && frames < int64_t(60 * player.sampleRate())) {
        player.renderOffline(left, right, 256);
        frames += 256;
        for (int i = 0; i < 256; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    EXPECT_TRUE(ended);
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(peak, 1.0f) << "no clipping";
}

TEST_F(DemoAssetsTest, everyRunWritesTheSameBytes)
{
    TempDir again;
    ASSERT_EQ(runGenerator("'" + again.str() + "'"), 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(out.path())) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(readFile(entry.path()), readFile(again.path() / entry.path().filename()));
        ++files;
    }
    EXPECT_GE(files, 3 + 2 * 3);
}
