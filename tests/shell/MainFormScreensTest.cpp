// The screen saver window on a scaled desktop and on several monitors, in the
// headless backend: the scaled picture is the smaller show enlarged, every
// monitor shows the show at its own size (or black), input on any ends all.
#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "shell/CMonitorForm.h"
#include "shell/ShowFixtures.h"

using namespace showfix;

namespace {

// Lurva's own settings for one test; the key is removed again afterwards
// (on Windows it is the real registry).
class ScopedLurvaSetting {
public:
    ScopedLurvaSetting(const std::string& name, const std::string& value)
    {
        TRegistry registry;
        registry.OpenKey("Software\\Lurva", true);
        registry.WriteString(name, value);
    }
    ~ScopedLurvaSetting()
    {
        TRegistry registry;
        registry.DeleteKey("Software\\Lurva");
    }
    ScopedLurvaSetting(const ScopedLurvaSetting&) = delete;
    ScopedLurvaSetting& operator=(const ScopedLurvaSetting&) = delete;
};

// Pixels of big that are not the pixel of small at (x / scale, y / scale).
size_t notEnlarged(const THeadlessPicture& big, const THeadlessPicture& small, int scale)
{
    size_t wrong = 0;
    for (int y = 0; y < big.Height; ++y)
        for (int x = 0; x < big.Width; ++x)
            wrong += big.Pixel(x, y) != small.Pixel(x / scale, y / scale);
    return wrong;
}

}  // namespace

class MainFormScreensTest : public ShowTest {
protected:
    // Two patterned characters walking across a stretched gradient, so that
    // a picture shows where every pixel of the show went.
    TMainForm::TShowLoader walkingShow()
    {
        if (backFile_.empty()) {
            TBitmap back(64, 48);
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    back.Canvas().SetPixel(x, y, static_cast<TColor>((x * 4) << 16 | (y * 5) << 8 | 0x40));
            backFile_ = writeBitmapFile(temp_.path() / "back.bmp", back);
        }
        return showOf([file = backFile_](TCharactorList& list) {
            list.getSetting().setBackMode(2);
            list.getSetting().setBackFile(file);
            for (int c = 0; c < 2; ++c) {
                TCharactor& charactor = list.add();
                charactor.setTransparent(true);
                charactor.setGraphic(0, patternFrame(24, 16, 3 + c, clWhite));
                setPath(charactor, [c](int e) { return TDoublePoint{0.1 + 0.0013 * e, 0.3 + 0.4 * c}; });
            }
        });
    }

    // What a window of width x height alone shows after each of steps steps
    // (one application lives at a time, so the reference runs first).
    std::vector<THeadlessPicture> alone(int width, int height, int steps)
    {
        ShowRun run(walkingShow(), width, height);
        std::vector<THeadlessPicture> pictures;
        for (int step = 0; step < steps; ++step) {
            run.steps();
            pictures.push_back(run.picture());
        }
        return pictures;
    }

    std::string backFile_;
};

TEST_F(MainFormScreensTest, AtScaleKThePictureIsTheSmallerScreensPictureEnlarged)
{
    // 800 x 600 at 200 % is a 400 x 300 show; 600 x 300 at 300 % a 200 x 100 one.
    const struct {
        int width, height, dpi, scale;
    } rows[] = {{800, 600, 192, 2}, {600, 300, 288, 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.scale);
        const std::vector<THeadlessPicture> small = alone(row.width / row.scale, row.height / row.scale, 40);
        ShowRun scaled(walkingShow(), row.width, row.height, {"lurva"}, std::nullopt,
            TMainForm::TStepComposition::Incremental, {}, false, TMainForm::TPlacement::FullScreen, {{0, 0, row.width, row.height, true, row.dpi}});
        ASSERT_EQ(scaled.form().PixelScale, row.scale);
        ASSERT_EQ(scaled.form().getDrawBitmap()->Width(), row.width / row.scale);
        for (int step = 0; step < 40; ++step) {
            scaled.steps();
            ASSERT_EQ(scaled.picture().Width, row.width);
            ASSERT_EQ(notEnlarged(scaled.picture(), small[step], row.scale), 0u) << "step " << step;
            // Still only the changed places: two characters' old and new rectangles.
            if (step > 0) {
                ASSERT_LE(scaled.form().getLastPresented().size(), 4u);
            }
        }
    }
}

TEST_F(MainFormScreensTest, TheScaleComesFromTheEnvironmentThenTheSettingThenTheDesktop)
{
    const struct {
        const char* environment;  // none: unset
        const char* setting;
        int expected;
    } rows[] = {
        {nullptr, nullptr, 2},   // the desktop's 192 dpi
        {nullptr, "1", 1},       // the raw pixels
        {nullptr, "3", 3},
        {"4", "3", 4},
        {"1", nullptr, 1},
        {"garbage", "3", 3},     // named on standard error and ignored
        {"0", nullptr, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.environment ? row.environment : "-") + " " + (row.setting ? row.setting : "-"));
        ScopedEnv environment("LURVA_SCALE", row.environment ? std::optional<std::string>(row.environment) : std::nullopt);
        std::optional<ScopedLurvaSetting> setting;
        if (row.setting)
            setting.emplace("scale", row.setting);
        ShowRun run(walkingShow(), 1200, 900, {"lurva"}, std::nullopt, TMainForm::TStepComposition::Incremental, {}, false,
            TMainForm::TPlacement::FullScreen, {{0, 0, 1200, 900, true, 192}});
        EXPECT_EQ(run.form().PixelScale, row.expected);
        EXPECT_EQ(run.form().getDrawBitmap()->Width(), 1200 / row.expected);
        EXPECT_EQ(run.form().getDrawBitmap()->Height(), 900 / row.expected);
    }
}

TEST_F(MainFormScreensTest, EveryMonitorShowsTheShowAtItsOwnSize)
{
    // The primary is on the right and not listed first; the other is smaller
    // and, at 192 dpi, scaled.
    constexpr int kSteps = 15;
    const std::vector<THeadlessPicture> primaryAlone = alone(800, 600, kSteps);
    const std::vector<THeadlessPicture> otherAlone = alone(320, 240, kSteps);
    ShowRun run(walkingShow(), 1440, 600, {"lurva"}, std::nullopt, TMainForm::TStepComposition::Incremental, {}, false,
        TMainForm::TPlacement::FullScreen, {{0, 0, 640, 480, false, 192}, {640, 0, 800, 600, true, 96}});

    TMainForm& form = run.form();
    EXPECT_EQ(form.Left, 640);
    EXPECT_EQ(form.Width, 800);
    ASSERT_EQ(form.getMonitorForms().size(), 1u);
    TMonitorForm& other = *form.getMonitorForms()[0];
    EXPECT_TRUE(other.Shown());
    EXPECT_EQ(other.Left, 0);
    EXPECT_EQ(other.Width, 640);
    EXPECT_EQ(other.Height, 480);
    EXPECT_EQ(other.PixelScale, 2);
    for (int step = 0; step < kSteps; ++step) {
        run.steps();
        ASSERT_EQ(run.backend().PictureOf(form)->Pixels, primaryAlone[step].Pixels) << "step " << step;
        const THeadlessPicture& shown = *run.backend().PictureOf(other);
        ASSERT_EQ(shown.Width, 640);
        ASSERT_EQ(notEnlarged(shown, otherAlone[step], 2), 0u) << "step " << step;
    }
}

TEST_F(MainFormScreensTest, InputOnAnyMonitorEndsTheShowOnAll)
{
    const std::vector<TMonitor> monitors = {{0, 0, 800, 600, true, 96}, {800, 0, 640, 480, false, 96},
                                            {1440, 0, 320, 200, false, 96}};
    const struct {
        const char* how;
        std::function<void(ShowRun&)> input;
    } rows[] = {
        {"a key on the last monitor", [](ShowRun& run) { run.backend().PressKey('A'); }},
        {"a click on the last monitor", [](ShowRun& run) { run.backend().Click(); }},
        {"the third movement, over three monitors",
         [](ShowRun& run) {
             run.form().DispatchMouseMove(0, 10, 10);
             run.form().getMonitorForms()[0]->DispatchMouseMove(0, 20, 20);
             ASSERT_TRUE(run.form().isRunning());
             run.backend().MoveMouse(30, 30);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        ShowRun run(walkingShow(), 1760, 600, {"lurva"}, std::nullopt, TMainForm::TStepComposition::Incremental, {}, false,
            TMainForm::TPlacement::FullScreen, monitors);
        run.steps(2);
        ASSERT_EQ(run.form().getMonitorForms().size(), 2u);
        ASSERT_EQ(run.backend().ActiveForm(), run.form().getMonitorForms()[1]);
        row.input(run);
        EXPECT_TRUE(run.form().Closed());
        for (const TMonitorForm* monitor : run.form().getMonitorForms())
            EXPECT_TRUE(monitor->Closed());
        EXPECT_EQ(run.backend().ActiveForm(), nullptr);
        EXPECT_TRUE(workFiles().empty());
    }
}

TEST_F(MainFormScreensTest, PrimaryOnlyPutsBlackOnTheOtherMonitors)
{
    const THeadlessPicture primaryAlone = alone(800, 600, 5).back();
    const ScopedLurvaSetting primaryOnly("monitors", "primary");
    ShowRun run(walkingShow(), 1440, 600, {"lurva"}, std::nullopt, TMainForm::TStepComposition::Incremental, {}, false,
        TMainForm::TPlacement::FullScreen, {{0, 0, 800, 600, true, 96}, {800, 0, 640, 480, false, 192}});
    run.steps(5);
    ASSERT_EQ(run.form().getMonitorForms().size(), 1u);
    const THeadlessPicture& black = *run.backend().PictureOf(*run.form().getMonitorForms()[0]);
    ASSERT_EQ(black.Width, 640);
    ASSERT_EQ(black.Height, 480);
    EXPECT_EQ(std::count(black.Pixels.begin(), black.Pixels.end(), 0u), 640 * 480);
    EXPECT_EQ(run.backend().PictureOf(run.form())->Pixels, primaryAlone.Pixels);
}

TEST_F(MainFormScreensTest, TheDesktopBackgroundComesFromUnderEachMonitorAtItsShowSize)
{
    // A desktop whose every pixel tells where it is.
    THeadlessPicture desktop{1440, 600, std::vector<uint32_t>(1440 * 600)};
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 1440; ++x)
            desktop.Pixels[static_cast<size_t>(y) * 1440 + x] = static_cast<uint32_t>(x << 12 | y);
    ShowRun run(showOf([](TCharactorList& list) { list.getSetting().setBackMode(1); }), 1440, 600, {"lurva"}, desktop,
        TMainForm::TStepComposition::Incremental, {}, false, TMainForm::TPlacement::FullScreen, {{0, 0, 800, 600, true, 96}, {800, 0, 640, 480, false, 192}});
    run.steps();
    const THeadlessPicture& primary = *run.backend().PictureOf(run.form());
    const THeadlessPicture& other = *run.backend().PictureOf(*run.form().getMonitorForms()[0]);
    for (const auto& [x, y] : {std::pair{0, 0}, {799, 599}, {123, 456}})
        EXPECT_EQ(primary.Pixel(x, y), desktop.Pixel(x, y));
    // At scale 2 each square shows the desktop pixel at its top-left corner.
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 1}, {639, 479}, {101, 50}})
        EXPECT_EQ(other.Pixel(x, y), desktop.Pixel(800 + x / 2 * 2, y / 2 * 2)) << x << "," << y;
}
