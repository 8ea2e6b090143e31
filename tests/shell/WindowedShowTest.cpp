// The show in a window of its own ("lurva --window FILE") on the headless
// backend: a framed window that leaves the settings alone, ended by a key or
// by closing it, with a work directory of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/CRegManage.h"
#include "platform/Graphics.h"
#include "shell/ShowFixtures.h"

using namespace showfix;

namespace {

constexpr TColor kMarker = 0x00FF00;

std::string storedFileName()
{
    TRegManage store;
    store.init("rororade");
    return store.readString("main", "filename0", "(none)");
}

// A show of one 10 x 10 marker in the middle of the window, which writes an
// extracted file into the work directory as the loader would, and notes the
// file it was asked for and where it unpacked.
TMainForm::TShowLoader markerShow(std::string& askedFor, std::string& unpackedIn, bool loads = true)
{
    return [&askedFor, &unpackedIn, loads](const std::string& fileName, TCharactorList& list) {
        askedFor = fileName;
        unpackedIn = getWorkDir();
        std::ofstream(unpackedIn + "back0.bmp") << "unpacked";
        if (!loads)
            return false;
        TCharactor& c = list.add();
        c.setTransparent(false);
        c.setGraphic(0, solidFrame(10, 10, kMarker));
        setPath(c, [](int) { return TDoublePoint{0.5, 0.5}; });
        return true;
    };
}

ShowRun windowed(TMainForm::TShowLoader loader, std::vector<std::string> arguments)
{
    return ShowRun(std::move(loader), 800, 600, std::move(arguments), std::nullopt,
                   TMainForm::TStepComposition::Incremental, {}, false, TMainForm::TPlacement::Windowed);
}

}  // namespace

class WindowedShowTest : public ShowTest {
protected:
    void SetUp() override
    {
        TRegManage store;
        store.init("rororade");
        store.writeString("main", "filename0", "/shows/current.sdt");
    }
};

TEST_F(WindowedShowTest, PlaysTheFileInAFramedWindowAndLeavesTheSettingsAlone)
{
    const std::string show = (temp_.path() / "night.sdt").string();
    std::ofstream(show) << "QDsm";
    std::string askedFor;
    std::string unpackedIn;
    {
        ShowRun run = windowed(markerShow(askedFor, unpackedIn), {"lurva", "--window", show});
        TMainForm& form = run.form();
        EXPECT_EQ(askedFor, show);
        EXPECT_TRUE(form.isRunning());
        EXPECT_EQ(form.ClassName(), "TShowWindow");
        EXPECT_EQ(form.Caption, "night.sdt - Lurva");
        // Three quarters of the screen, framed, not above the others, the
        // keyboard and the cursor left to the desktop.
        EXPECT_EQ(form.Width, 600);
        EXPECT_EQ(form.Height, 450);
        EXPECT_EQ(form.BorderStyle, TFormBorderStyle::bsSingle);
        EXPECT_EQ(form.FormStyle, TFormStyle::fsNormal);
        EXPECT_FALSE(form.KeyPreview);
        EXPECT_TRUE(run.backend().CursorVisible());

        // The show is composed at the window's size.
        run.steps();
        EXPECT_EQ(run.picture().Width, 600);
        EXPECT_EQ(run.picture().Pixel(300, 225), ColorToPixel(kMarker));
        EXPECT_EQ(run.picture().Pixel(310, 225), ColorToPixel(clBlack));

        // Its own work directory, not the shared one of the screen saver.
        EXPECT_NE(unpackedIn, workDir().string() + "/");
        EXPECT_TRUE(std::filesystem::exists(unpackedIn + "back0.bmp"));
    }
    EXPECT_EQ(storedFileName(), "/shows/current.sdt");
    EXPECT_FALSE(std::filesystem::exists(systemIni()));
    // Closed: its directory is gone and the test's own serves again.
    EXPECT_FALSE(std::filesystem::exists(unpackedIn));
    EXPECT_EQ(getWorkDirOverride(), workDir().string());
}

TEST_F(WindowedShowTest, WithoutAFileItPlaysTheCurrentShow)
{
    std::string askedFor;
    std::string unpackedIn;
    ShowRun run = windowed(markerShow(askedFor, unpackedIn), {"lurva", "--window"});
    EXPECT_EQ(askedFor, "/shows/current.sdt");
    EXPECT_EQ(run.form().Caption, "current.sdt - Lurva");
    EXPECT_TRUE(run.form().isRunning());
}

TEST_F(WindowedShowTest, AKeyOrTheCloseButtonEndsItButClicksAndMovementsDoNot)
{
    const std::string show = (temp_.path() / "night.sdt").string();
    std::ofstream(show) << "QDsm";
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "key" : "close button");
        std::string askedFor;
        std::string unpackedIn;
        ShowRun run = windowed(markerShow(askedFor, unpackedIn), {"lurva", "--window", show});
        for (int i = 0; i < 5; ++i)
            run.backend().MoveMouse(10 * i, 20 * i);
        run.backend().Click(30, 30);
        run.steps(2);
        EXPECT_TRUE(run.form().isRunning());
        if (byKey)
            run.backend().PressKey('Q');
        else
            run.backend().RequestClose();
        EXPECT_TRUE(run.form().Closed());
        EXPECT_FALSE(std::filesystem::exists(unpackedIn));
        EXPECT_EQ(Data, nullptr);
    }
}

TEST_F(WindowedShowTest, AShowThatDoesNotLoadIsShownInABoxAndTheWindowEnds)
{
    const std::string bad = (temp_.path() / "random.bin").string();
    std::ofstream(bad) << "no show at all";
    std::string askedFor;
    std::string unpackedIn;
    ::testing::internal::CaptureStderr();
    ShowRun run = windowed(markerShow(askedFor, unpackedIn, false), {"lurva", "--window", bad});
    run.app().ProcessMessages();
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(run.backend().Boxes().size(), 1u);
    EXPECT_EQ(run.backend().Boxes()[0].Text, "cannot play " + bad + ": not a data file");
    EXPECT_TRUE(run.form().Closed());
    EXPECT_FALSE(std::filesystem::exists(unpackedIn));
    EXPECT_EQ(storedFileName(), "/shows/current.sdt");
}
