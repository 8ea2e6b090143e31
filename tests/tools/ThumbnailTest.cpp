// ThumbnailTest.cpp: sdtool thumbnail: the step it chooses, the scaling down,
// and the program run as a file manager's thumbnailer runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/CCharactorList.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/TestSupport.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/Pack.h"
#include "tools/sdtool/Thumbnail.h"

namespace {

namespace fs = std::filesystem;

constexpr TColor kBackColor = 0x203040;  // 0x00BBGGRR
constexpr TColor kFrameColor = 0x00C0FF;

std::unique_ptr<TPicture> solid(int w, int h)
{
    auto bitmap = std::make_unique<TBitmap>(w, h);
    bitmap->Canvas().BrushColor = kFrameColor;
    bitmap->Canvas().FillRect({0, 0, w, h});
    auto picture = std::make_unique<TPicture>();
    picture->SetGraphic(std::move(bitmap));
    return picture;
}

// A 20 x 20 character on a 1000 x 1000 screen, at x(step) (a fraction) for
// the steps where there is one, else off screen.
void addWalker(TCharactorList& list, const std::function<std::optional<double>(int)>& x)
{
    TCharactor& c = list.add();
    c.setTransparent(false);
    c.setGraphic(0, solid(20, 20));
    for (int i = 0; i < TCharactor::kPointCount; ++i)
        if (const auto at = x(i))
            c.setPoint(i, *at, 0.5);
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

TEST(Thumbnail, TheStepWithTheMostCharactersOnScreen)
{
    const auto inRange = [](int from, int to, double x) {
        return [=](int i) { return i >= from && i < to ? std::optional<double>(x) : std::nullopt; };
    };
    struct Row {
        const char* what;
        std::function<void(TCharactorList&)> build;
        int64_t step;
    };
    const Row rows[] = {
        {"no character", [](TCharactorList&) {}, 0},
        {"never on screen", [&](TCharactorList& l) { addWalker(l, inRange(0, 600, 2.0)); }, 0},
        {"one from step 300", [&](TCharactorList& l) { addWalker(l, inRange(300, 600, 0.5)); }, 300},
        {"both only at 150 to 160",
         [&](TCharactorList& l) {
             addWalker(l, inRange(100, 200, 0.5));
             addWalker(l, inRange(150, 161, 0.2));
         },
         150},
        // A frame partly on screen counts; one just beyond the edge does not
        // (its left edge at 1000 * x - 10).
        {"a frame's edge", [&](TCharactorList& l) {
             addWalker(l, [](int i) { return std::optional<double>(i < 50 ? 1.0105 : i < 70 ? 1.0095 : 2.0); });
         }, 50},
        {"points that are no numbers",
         [&](TCharactorList& l) { addWalker(l, [](int i) {
             return std::optional<double>(i < 10 ? std::numeric_limits<double>::quiet_NaN() : 0.5);
         }); }, 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TCharactorList list;
        row.build(list);
        EXPECT_EQ(busiestStep(list, 1000, 1000), row.step);
    }
}

TEST(Thumbnail, ScalingDownAveragesThePixelsEachCovers)
{
    // 4 x 2, each channel on its own, rounded to the nearest.
    const THeadlessPicture picture{4, 2, {0x000000, 0x0000FF, 0xFF0000, 0xFF0000,
                                          0x000001, 0x0000FF, 0x00FF00, 0xFF0000}};
    const THeadlessPicture half = scaleDown(picture, 2, 1);
    EXPECT_EQ(half.Width, 2);
    EXPECT_EQ(half.Height, 1);
    EXPECT_EQ(half.Pixels, (std::vector<uint32_t>{0x000080, 0xBF4000}));
    // Never larger than the picture.
    const THeadlessPicture same = scaleDown(picture, 10, 10);
    EXPECT_EQ(same.Width, 4);
    EXPECT_EQ(same.Pixels, picture.Pixels);
    // Not a whole multiple: every pixel still covers at least one.
    const THeadlessPicture odd = scaleDown(picture, 3, 2);
    EXPECT_EQ(odd.Pixels[0], 0x000000u);
    EXPECT_EQ(odd.Pixels[5], 0x808000u);
}

class ThumbnailRun : public ::testing::Test {
protected:
    struct Result {
        int status = -1;
        std::string err;
    };
    Result thumbnail(const std::vector<std::string>& args)
    {
        std::string command = "TMPDIR=" + quoted(tmp_.str()) + " " + quoted(SDTOOL) + " thumbnail";
        for (const std::string& arg : args)
            command += " " + quoted(arg);
        const fs::path err = dir_.path() / "err.txt";
        command += " >/dev/null 2>" + quoted(err.string()) + " </dev/null";
        const int raw = std::system(command.c_str());
        std::ifstream in(err);
        std::stringstream text;
        text << in.rdbuf();
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
    }

    // A show whose one 64 x 64 character stands in the middle of the screen
    // from step 300 on, and off it before.
    std::string lateShow()
    {
        TBitmap frame(64, 64);
        frame.Canvas().BrushColor = kFrameColor;
        frame.Canvas().FillRect({0, 0, 64, 64});
        frame.SaveToFile((dir_.path() / "frame.bmp").string());
        Manifest manifest;
        manifest.backMode = 0;
        manifest.backColor = kBackColor;
        ManifestCharactor walker;
        walker.transparent = false;
        walker.frames = {(dir_.path() / "frame.bmp").string()};
        for (int i = 0; i < 600; ++i)
            walker.points.emplace_back(i < 300 ? 3.0 : 0.5, 0.5);
        manifest.charactors.push_back(walker);
        const std::string file = (dir_.path() / "late.sdt").string();
        packShow(manifest, file);
        return file;
    }

    TempDir dir_;
    TempDir tmp_;
};

TEST_F(ThumbnailRun, APictureOfTheLongerSideAskedForWithTheCharacterOnIt)
{
    const std::string show = lateShow();
    // The name a file manager gives need not end in .png.
    for (const char* name : {"thumb.png", "gnome-thumbnail-XXXX"}) {
        SCOPED_TRACE(name);
        const fs::path out = dir_.path() / name;
        const Result run = thumbnail({show, out.string(), "--size", "256"});
        ASSERT_EQ(run.status, 0) << run.err;
        TBitmap picture;
        LoadPng(out.string(), picture);
        ASSERT_EQ(picture.Width(), 256);
        ASSERT_EQ(picture.Height(), 192);
        // 64 pixels of 1024 are 16 of 256, round the middle.
        EXPECT_EQ(PixelToColor(picture.Pixels()[96 * 256 + 128]), kFrameColor);
        EXPECT_EQ(PixelToColor(picture.Pixels()[96 * 256 + 140]), kBackColor);
        EXPECT_EQ(PixelToColor(picture.Pixels()[0]), kBackColor);
    }
    // Larger than the screen the show plays on: that screen grows.
    const fs::path big = dir_.path() / "big.png";
    ASSERT_EQ(thumbnail({show, big.string(), "--size", "1500"}).status, 0);
    TBitmap picture;
    LoadPng(big.string(), picture);
    EXPECT_EQ(picture.Width(), 1500);
    EXPECT_EQ(picture.Height(), 1125);
    EXPECT_EQ(fs::directory_iterator(tmp_.path()), fs::directory_iterator()) << "its private folders are removed";
}

TEST_F(ThumbnailRun, RefusalsSayWhy)
{
    const std::string show = lateShow();
    std::ofstream(dir_.path() / "not-a-show.sdt") << "hello";
    const std::string png = (dir_.path() / "out.png").string();
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* said;
    };
    const Row rows[] = {
        {{(dir_.path() / "missing.sdt").string(), png, "--size", "64"}, 1, "missing.sdt: No such file or directory"},
        {{(dir_.path() / "not-a-show.sdt").string(), png, "--size", "64"}, 1, "is not a data file"},
        {{show, (dir_.path() / "no" / "x.png").string(), "--size", "64"}, 2, "cannot create"},
        {{show, png}, 64, "IN, OUT and --size N are needed"},
        {{show, "--size", "64"}, 64, "IN, OUT and --size N are needed"},
        {{show, png, "extra", "--size", "64"}, 64, "unexpected argument 'extra'"},
        {{show, png, "--size", "0"}, 64, "--size wants a number of pixels from 1 to 4096"},
        {{show, png, "--size", "4097"}, 64, "--size wants a number of pixels from 1 to 4096"},
        {{show, png, "--size", "64x64"}, 64, "--size wants a number"},
        {{show, show, "--size", "64"}, 64, "late.sdt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        const Result run = thumbnail(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(png));
    EXPECT_TRUE(fs::exists(show));
}
