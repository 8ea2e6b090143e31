// The screen saver window with the real data file loader: no current show
// means Idle without a message; a file given on the command line plays.
#include <gtest/gtest.h>

#include "config/CRegManage.h"
#include "datafile/CFileManage.h"
#include "shell/ShowFixtures.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/Pack.h"

using namespace showfix;

namespace {

size_t countPixels(const THeadlessPicture& picture, uint32_t pixel)
{
    return static_cast<size_t>(std::count(picture.Pixels.begin(), picture.Pixels.end(), pixel));
}

std::string storedFileName()
{
    TRegManage store;
    store.init("rororade");
    return store.readString("main", "filename0", "(none)");
}

std::string packedShow(const std::filesystem::path& dir)
{
    TBitmap frame(8, 8);
    frame.Canvas().BrushColor = clRed;
    frame.Canvas().FillRect({0, 0, 8, 8});
    frame.SaveToFile((dir / "f.bmp").string());
    Manifest manifest;
    manifest.backMode = 0;
    manifest.backColor = 0x00FF00;
    ManifestCharactor c;
    c.transparent = false;
    c.frames = {(dir / "f.bmp").string()};
    c.points.assign(600, {0.5, 0.5});
    manifest.charactors.push_back(c);
    const std::string file = (dir / "show.sdt").string();
    packShow(manifest, file);
    return file;
}

}  // namespace

class MainFormLoaderTest : public ShowTest {};

TEST_F(MainFormLoaderTest, WithTheLoaderNoCurrentShowMeansIdleWithoutAMessage)
{
    for (const std::string stored : {"", "/no/such/show.sdt"}) {
        SCOPED_TRACE("filename0 = \"" + stored + "\"");
        {
            TRegManage store;
            store.init("rororade");
            store.writeString("main", "filename0", stored);
        }
        ShowRun run(loadScrSavData, 320, 200);
        run.steps(3);
        EXPECT_TRUE(run.backend().Boxes().empty());
        EXPECT_FALSE(run.form().isRunning());
        EXPECT_TRUE(run.backend().CursorVisible());
        EXPECT_EQ(countPixels(run.picture(), 0xFFFFFFu), 320u * 200u);
        run.backend().PressKey('K');
        EXPECT_TRUE(run.form().Closed());
    }
}

TEST_F(MainFormLoaderTest, WithTheLoaderTheFileGivenPlays)
{
    const std::string file = packedShow(temp_.path());
    ShowRun run(loadScrSavData, 320, 200, {"lurva", file});
    EXPECT_EQ(storedFileName(), file);
    ASSERT_TRUE(run.form().isRunning());
    run.steps();
    EXPECT_EQ(run.picture().Pixel(160, 100), ColorToPixel(clRed));
    EXPECT_EQ(run.picture().Pixel(0, 0), ColorToPixel(0x00FF00));
    run.backend().Click();
    EXPECT_TRUE(workFiles().empty());
}
