// The screen saver window in the headless backend: set-up, the step and frame
// arithmetic, placement, backgrounds, input, the Idle state, clean-up,
// "System.ini" and the music.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "config/CLurvaSettings.h"
#include "config/CRegManage.h"
#include "platform/Registry.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "shell/ShowFixtures.h"

using namespace showfix;

namespace {

constexpr uint32_t kBlackPixel = 0x000000;
constexpr uint32_t kWhitePixel = 0xFFFFFF;

// One character with opaque frames of the given colours and sizes.
TCharactor& addOpaque(TCharactorList& list, const std::vector<TColor>& colours, int w, int h)
{
    TCharactor& c = list.add();
    c.setTransparent(false);
    for (size_t slot = 0; slot < colours.size(); ++slot)
        c.setGraphic(static_cast<int32_t>(slot), solidFrame(w, h, colours[slot]));
    return c;
}

size_t countPixels(const THeadlessPicture& picture, uint32_t pixel)
{
    return static_cast<size_t>(std::count(picture.Pixels.begin(), picture.Pixels.end(), pixel));
}

// ---- Steps: path entries and frame slots ----

// The character of the step tests stands, at path entry e, in cell e of a
// 30 x 20 grid, so the picture tells which entry a step used.
constexpr int kGridColumns = 30;
constexpr int kGridRows = 20;
constexpr TColor kMarker = 0x00FF00;  // green

TDoublePoint gridCell(int entry)
{
    return {(entry % kGridColumns + 0.5) / kGridColumns, (entry / kGridColumns + 0.5) / kGridRows};
}

// The entries whose cell shows the marker.
std::vector<int> entriesShown(const THeadlessPicture& picture)
{
    std::vector<int> shown;
    for (int e = 0; e < TCharactor::kPointCount; ++e) {
        const TDoublePoint p = gridCell(e);
        const int x = static_cast<int>(picture.Width * p.x);
        const int y = static_cast<int>(picture.Height * p.y);
        if (picture.Pixel(x, y) == ColorToPixel(kMarker))
            shown.push_back(e);
    }
    return shown;
}

}  // namespace

class MainFormTest : public ShowTest {};

TEST_F(MainFormTest, StepsWalkThePathByTheLoopLength)
{
    struct Row {
        uint32_t loopSeconds;
        int steps;
        std::function<std::optional<int>(int step)> entry;  // none: nothing drawn
    };
    const Row rows[] = {
        {60, 1205, [](int k) { return std::optional<int>(k % 600); }},
        {30, 650, [](int k) { return std::optional<int>(k % 300); }},
        {90, 1850, [](int k) { return k % 900 < 600 ? std::optional<int>(k % 900) : std::nullopt; }},
        // A loop of no length stays at entry 0.
        {0, 25, [](int) { return std::optional<int>(0); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("loop of " + std::to_string(row.loopSeconds) + " s");
        ShowRun run(showOf([&](TCharactorList& list) {
            list.setLoopTime(row.loopSeconds);
            setPath(addOpaque(list, {kMarker}, 4, 4), [](int e) { return gridCell(e); });
        }));
        for (int k = 0; k < row.steps; ++k) {
            run.steps();
            const auto expected = row.entry(k);
            const auto shown = entriesShown(run.picture());
            ASSERT_EQ(shown, expected ? std::vector<int>{*expected} : std::vector<int>{}) << "step " << k;
        }
    }
}

TEST_F(MainFormTest, FramesChangeEveryTenStepsAndRunOnAcrossTheLoop)
{
    const std::vector<TColor> three = {0x0000FF, 0x00FF00, 0xFF0000};
    const std::vector<TColor> seven = {0x000080, 0x008000, 0x800000, 0x008080, 0x800080, 0x808000, 0x808080};
    ShowRun run(showOf([&](TCharactorList& list) {
        setPath(addOpaque(list, three, 10, 10), [](int) { return TDoublePoint{0.25, 0.5}; });
        setPath(addOpaque(list, seven, 10, 10), [](int) { return TDoublePoint{0.75, 0.5}; });
    }));
    for (int k = 0; k < 620; ++k) {
        run.steps();
        ASSERT_EQ(run.picture().Pixel(200, 300), ColorToPixel(three[(k / 10) % 3])) << "step " << k;
        ASSERT_EQ(run.picture().Pixel(600, 300), ColorToPixel(seven[(k / 10) % 7])) << "step " << k;
        if (k == 29) {  // steps 0-9 slot 0, 10-19 slot 1, 20-29 slot 2
            EXPECT_EQ(run.picture().Pixel(200, 300), ColorToPixel(three[2]));
        }
        if (k == 600) {  // the first step of the second loop: slot 60 mod 7 = 4
            EXPECT_EQ(run.picture().Pixel(600, 300), ColorToPixel(seven[4]));
        }
    }
    EXPECT_EQ(run.form().getTickCount(), 620);
    EXPECT_EQ(run.form().getFrameCounter(), 62);
    EXPECT_EQ(run.form().getLoopTick(), 20);
}

TEST_F(MainFormTest, FramesArePlacedByTheirCentreCutTowardZero)
{
    const TColor a = 0x0000FF, b = 0x00FF00, c = 0xFF0000, d = 0x00FFFF, hidden = 0xFF00FF;
    ShowRun run(showOf([&](TCharactorList& list) {
        setPath(addOpaque(list, {a}, 41, 20), [](int) { return TDoublePoint{0.5, 0.5}; });   // (380, 290)
        setPath(addOpaque(list, {b}, 41, 21), [](int) { return TDoublePoint{0.0, 0.0}; });   // (-20, -10)
        setPath(addOpaque(list, {c}, 2, 2), [](int) { return TDoublePoint{0.0001, 0.5}; });  // 0.08 - 1: left 0
        setPath(addOpaque(list, {d}, 10, 10), [](int) { return TDoublePoint{0.5, 0.5}; });  // above a
        addOpaque(list, {hidden}, 30, 30);  // every entry (-200, -200)
        // Points but no frames: nothing to draw.
        setPath(list.add(), [](int) { return TDoublePoint{0.25, 0.25}; });
    }));
    run.steps();
    const THeadlessPicture& p = run.picture();
    EXPECT_EQ(p.Pixel(380, 290), ColorToPixel(a));
    EXPECT_EQ(p.Pixel(379, 290), kBlackPixel);
    EXPECT_EQ(p.Pixel(380, 289), kBlackPixel);
    EXPECT_EQ(p.Pixel(420, 309), ColorToPixel(a));
    EXPECT_EQ(p.Pixel(421, 309), kBlackPixel);
    EXPECT_EQ(p.Pixel(420, 310), kBlackPixel);

    EXPECT_EQ(p.Pixel(0, 0), ColorToPixel(b));
    EXPECT_EQ(p.Pixel(20, 10), ColorToPixel(b));
    EXPECT_EQ(p.Pixel(21, 10), kBlackPixel);
    EXPECT_EQ(p.Pixel(20, 11), kBlackPixel);

    EXPECT_EQ(p.Pixel(0, 299), ColorToPixel(c));
    EXPECT_EQ(p.Pixel(1, 299), ColorToPixel(c));
    EXPECT_EQ(p.Pixel(2, 299), kBlackPixel);

    // The later character covers the earlier one: d's 10 x 10 at (395, 295).
    EXPECT_EQ(p.Pixel(395, 295), ColorToPixel(d));
    EXPECT_EQ(p.Pixel(404, 304), ColorToPixel(d));
    EXPECT_EQ(p.Pixel(394, 295), ColorToPixel(a));
    EXPECT_EQ(countPixels(p, ColorToPixel(d)), 100u);
    EXPECT_EQ(countPixels(p, ColorToPixel(a)), 41u * 20u - 100u);
    // Nothing else was drawn: b shows 21 x 11, c 2 x 2, the rest is background.
    EXPECT_EQ(countPixels(p, ColorToPixel(b)), 21u * 11u);
    EXPECT_EQ(countPixels(p, ColorToPixel(c)), 4u);
    EXPECT_EQ(countPixels(p, kBlackPixel), 800u * 600u - 41u * 20u - 21u * 11u - 4u);
}

TEST_F(MainFormTest, TransparentFramesLetTheSceneThroughTheirKeyColour)
{
    ShowRun run(showOf([&](TCharactorList& list) {
        list.getSetting().setBackColor(0x00FF00);
        // A white-keyed frame: its white pixels leave the green background.
        TCharactor& c = list.add();
        auto picture = solidFrame(20, 20, 0x0000FF, clWhite);
        static_cast<TBitmap*>(picture->Graphic())->Canvas().SetPixel(5, 5, clWhite);
        c.setGraphic(0, std::move(picture));
        setPath(c, [](int) { return TDoublePoint{0.5, 0.5}; });
    }));
    run.steps();
    EXPECT_EQ(run.picture().Pixel(390, 290), ColorToPixel(0x00FF00));  // the key at (0, 0)
    EXPECT_EQ(run.picture().Pixel(395, 295), ColorToPixel(0x00FF00));  // the key at (5, 5)
    EXPECT_EQ(run.picture().Pixel(396, 295), ColorToPixel(0x0000FF));
}

// ---- Backgrounds ----

namespace {

THeadlessPicture gradient(int width, int height)
{
    THeadlessPicture picture{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.Pixels.push_back(static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF)));
    return picture;
}

}  // namespace

TEST_F(MainFormTest, BackgroundModes)
{
    // A 2 x 2 picture for stretching, a 100 x 100 one with a marked corner for tiling.
    TBitmap quad(2, 2);
    quad.Canvas().SetPixel(0, 0, 0x000011);
    quad.Canvas().SetPixel(1, 0, 0x000022);
    quad.Canvas().SetPixel(0, 1, 0x000033);
    quad.Canvas().SetPixel(1, 1, 0x000044);
    const std::string quadFile = writeBitmapFile(temp_.path() / "quad.bmp", quad);
    TBitmap tile(100, 100);
    tile.Canvas().BrushColor = 0x404040;
    tile.Canvas().FillRect({0, 0, 100, 100});
    tile.Canvas().SetPixel(0, 0, 0x0000FF);
    const std::string tileFile = writeBitmapFile(temp_.path() / "tile.bmp", tile);

    struct Row {
        const char* name;
        uint8_t mode;
        const std::string* backFile;
        int width, height;
        std::function<void(const THeadlessPicture&)> check;
    };
    const THeadlessPicture desktop = gradient(640, 480);
    const Row rows[] = {
        {"colour 255 is pure red", 0, nullptr, 640, 480,
         [](const THeadlessPicture& p) { EXPECT_EQ(countPixels(p, 0xFF0000), p.Pixels.size()); }},
        {"the desktop as it was", 1, nullptr, 640, 480,
         [&](const THeadlessPicture& p) { EXPECT_EQ(p.Pixels, desktop.Pixels); }},
        {"stretched", 2, &quadFile, 640, 480,
         [](const THeadlessPicture& p) {
             EXPECT_EQ(p.Pixel(0, 0), ColorToPixel(0x000011));
             EXPECT_EQ(p.Pixel(319, 239), ColorToPixel(0x000011));
             EXPECT_EQ(p.Pixel(320, 0), ColorToPixel(0x000022));
             EXPECT_EQ(p.Pixel(0, 240), ColorToPixel(0x000033));
             EXPECT_EQ(p.Pixel(639, 479), ColorToPixel(0x000044));
         }},
        {"stretched without a picture: as created", 2, nullptr, 640, 480,
         [](const THeadlessPicture& p) { EXPECT_EQ(countPixels(p, kWhitePixel), p.Pixels.size()); }},
        {"tiled 11 x 8 on 1024 x 768", 3, &tileFile, 1024, 768,
         [](const THeadlessPicture& p) {
             std::set<std::pair<int, int>> corners;
             for (int y = 0; y < p.Height; ++y)
                 for (int x = 0; x < p.Width; ++x)
                     if (p.Pixel(x, y) == ColorToPixel(0x0000FF))
                         corners.insert({x, y});
             std::set<std::pair<int, int>> expected;
             for (int x = 0; x <= 1000; x += 100)
                 for (int y = 0; y <= 700; y += 100)
                     expected.insert({x, y});
             EXPECT_EQ(corners.size(), 88u);
             EXPECT_EQ(corners, expected);
             EXPECT_EQ(p.Pixel(1023, 767), ColorToPixel(0x404040));  // the cut-off corner tile
         }},
        {"tiled without a picture: as created", 3, nullptr, 640, 480,
         [](const THeadlessPicture& p) { EXPECT_EQ(countPixels(p, kWhitePixel), p.Pixels.size()); }},
        {"mode 5: as created", 5, &quadFile, 640, 480,
         [](const THeadlessPicture& p) { EXPECT_EQ(countPixels(p, kWhitePixel), p.Pixels.size()); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ShowRun run(showOf([&](TCharactorList& list) {
                        list.getSetting().setBackMode(row.mode);
                        list.getSetting().setBackColor(255);
                        if (row.backFile)
                            list.getSetting().setBackFile(*row.backFile);
                    }),
                    row.width, row.height, {"lurva"}, gradient(row.width, row.height));
        run.steps();
        ASSERT_EQ(run.picture().Width, row.width);
        row.check(run.picture());
        run.backend().RequestClose();
    }
}

TEST_F(MainFormTest, DesktopBackgroundWithoutAnImageStaysAsCreated)
{
    ShowRun run(showOf([](TCharactorList& list) { list.getSetting().setBackMode(1); }), 320, 200);
    run.steps();
    EXPECT_EQ(countPixels(run.picture(), kWhitePixel), 320u * 200u);
    EXPECT_TRUE(run.form().isRunning());
}

// ---- Input ----

TEST_F(MainFormTest, AKeyOrAClickCloses)
{
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "key" : "click");
        ShowRun run(showOf([](TCharactorList& list) { setPath(addOpaque(list, {clRed}, 8, 8), [](int) { return TDoublePoint{0.5, 0.5}; }); }));
        run.steps(3);
        EXPECT_TRUE(run.form().isRunning());
        EXPECT_FALSE(run.backend().CursorVisible());
        if (byKey)
            run.backend().PressKey('A');
        else
            run.backend().Click(10, 10);
        EXPECT_TRUE(run.form().Closed());
        EXPECT_FALSE(run.form().isRunning());
        EXPECT_TRUE(run.backend().CursorVisible());
        EXPECT_EQ(Data, nullptr);
    }
}

TEST_F(MainFormTest, TheThirdCountedMouseMoveCloses)
{
    const auto setIgnore = [](bool ignore) {
        // As the settings dialog would, from its own store.
        TRegManage other;
        other.init("rororade");
        other.writeBool("main", "ignoreMouseMove", ignore);
    };
    struct Row {
        const char* name;
        std::vector<std::optional<bool>> script;  // a value: set ignoreMouseMove; none: move the mouse
        int closingMove;                           // which movement closes; 0: none does
    };
    const std::optional<bool> move;
    const Row rows[] = {
        {"counted", {false, move, move, move}, 3},
        {"ignored", {true, move, move, move, move, move, move}, 0},
        {"ignored, then counted: two more are tolerated", {true, move, move, move, move, false, move, move, move}, 7},
        {"counted twice, then ignored, then counted again", {false, move, move, true, move, move, false, move}, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ShowRun run(showOf([](TCharactorList&) {}));
        run.steps();
        int moves = 0;
        int closedBy = 0;
        for (const auto& action : row.script) {
            if (action) {
                setIgnore(*action);
                continue;
            }
            ++moves;
            run.backend().MoveMouse(moves, moves);
            if (run.form().Closed() && closedBy == 0)
                closedBy = moves;
        }
        EXPECT_EQ(closedBy, row.closingMove);
    }
}

TEST_F(MainFormTest, AnIgnoredMovementLeavesTheCountAlone)
{
    ShowRun run(showOf([](TCharactorList&) {}));
    TRegManage other;
    other.init("rororade");
    other.writeBool("main", "ignoreMouseMove", true);
    for (int i = 0; i < 5; ++i)
        run.backend().MoveMouse(i, i);
    EXPECT_EQ(run.form().getMouseMoveCount(), 0);
    other.writeBool("main", "ignoreMouseMove", false);
    run.backend().MoveMouse(1, 1);
    run.backend().MoveMouse(2, 2);
    EXPECT_EQ(run.form().getMouseMoveCount(), 2);
    EXPECT_FALSE(run.form().Closed());
}

TEST_F(MainFormTest, ASecondWindowInTheSameProcessStartsAfresh)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ShowRun run(showOf([](TCharactorList&) {}));
        run.steps(15);
        EXPECT_EQ(run.form().getTickCount(), 15);
        EXPECT_EQ(run.form().getFrameCounter(), 1);
        run.backend().MoveMouse(1, 1);
        run.backend().MoveMouse(2, 2);
        EXPECT_FALSE(run.form().Closed());
        run.backend().MoveMouse(3, 3);
        EXPECT_TRUE(run.form().Closed());
    }
}

// ---- Starting at a step ----

namespace {

// A show of a one-second loop (ten steps) with two characters of three and
// seven frames walking different paths: its pictures repeat only every 210
// steps, so a wrong loop entry or frame slot shows.
TMainForm::TShowLoader shortLoopShow()
{
    return showOf([](TCharactorList& list) {
        list.setLoopTime(1);
        setPath(addOpaque(list, {0x0000FF, 0x00FF00, 0xFF0000}, 12, 9),
                [](int e) { return TDoublePoint{0.1 + 0.08 * e, 0.3}; });
        setPath(addOpaque(list, {0x000080, 0x008000, 0x800000, 0x008080, 0x800080, 0x808000, 0x808080}, 9, 12),
                [](int e) { return TDoublePoint{0.9 - 0.07 * e, 0.2 + 0.05 * e}; });
    });
}

struct StepState {
    int32_t loopTick, tickCount, frameCounter;
    bool operator==(const StepState&) const = default;
};

StepState stateOf(const TMainForm& form)
{
    return {form.getLoopTick(), form.getTickCount(), form.getFrameCounter()};
}

}  // namespace

TEST_F(MainFormTest, StartingAtAStepShowsWhatSteppingThereShows)
{
    constexpr int kSteps = 3000;
    constexpr int kEvery = 7;  // the samples fall on every place in the loop and the frame cycles
    std::vector<THeadlessPicture> stepped;
    std::vector<StepState> after;
    {
        ShowRun run(shortLoopShow(), 160, 120);
        for (int k = 0; k < kSteps; ++k) {
            run.steps();
            if (k % kEvery == 0) {
                stepped.push_back(run.picture());
                after.push_back(stateOf(run.form()));
            }
        }
    }
    for (int k = 0; k < kSteps; k += kEvery) {
        SCOPED_TRACE("step " + std::to_string(k));
        ShowRun run(shortLoopShow(), 160, 120);
        run.form().startAtStep(k);
        run.steps();
        ASSERT_EQ(run.picture().Pixels, stepped[static_cast<size_t>(k / kEvery)].Pixels);
        ASSERT_EQ(stateOf(run.form()), after[static_cast<size_t>(k / kEvery)]);
    }
}

TEST_F(MainFormTest, StartingAtAStepWrapsTheStepCounterAsSteppingDoes)
{
    // Around the counter's sign change, its 32-bit wrap and beyond.
    for (const int64_t start : {(int64_t{1} << 31) - 4, (int64_t{1} << 32) - 4, (int64_t{1} << 33) + 6}) {
        SCOPED_TRACE("start " + std::to_string(start));
        constexpr int kSteps = 30;
        // One window at a time: first each step started directly.
        std::vector<StepState> directState;
        std::vector<THeadlessPicture> directPicture;
        for (int64_t i = 0; i < kSteps; ++i) {
            ShowRun direct(shortLoopShow(), 160, 120);
            direct.form().startAtStep(start + i);
            directState.push_back(stateOf(direct.form()));
            direct.steps();
            directPicture.push_back(direct.picture());
        }
        // Then stepping on from the start reaches each of those states.
        ShowRun run(shortLoopShow(), 160, 120);
        run.form().startAtStep(start);
        for (int64_t i = 0; i < kSteps; ++i) {
            const auto at = static_cast<size_t>(i);
            ASSERT_EQ(stateOf(run.form()), directState[at]) << "after " << i << " steps";
            EXPECT_EQ(run.form().getTickCount(), static_cast<int32_t>(static_cast<uint32_t>(start + i)));
            run.steps();
            ASSERT_EQ(run.picture().Pixels, directPicture[at].Pixels) << "step " << start + i;
        }
    }
}

// ---- Idle ----

TEST_F(MainFormTest, IdleWhenTheShowCannotBeLoaded)
{
    std::string askedFor = "(not asked)";
    ShowRun run([&](const std::string& fileName, TCharactorList&) {
        askedFor = fileName;
        // A loader that gave up half-way has left a file behind.
        std::ofstream(getWorkDir() + "back0.bmp") << "BM";
        return false;
    });
    EXPECT_EQ(askedFor, "");  // no "filename0" stored
    EXPECT_EQ(workFiles().size(), 1u);
    run.steps(20);
    EXPECT_FALSE(run.form().isRunning());
    EXPECT_TRUE(run.backend().CursorVisible());
    EXPECT_TRUE(run.backend().Boxes().empty());
    EXPECT_EQ(run.form().getTickCount(), 0);
    // A screen-sized window showing the fresh drawing bitmap: white.
    EXPECT_EQ(run.picture().Width, 800);
    EXPECT_EQ(run.picture().Height, 600);
    EXPECT_EQ(countPixels(run.picture(), kWhitePixel), 800u * 600u);
    EXPECT_EQ(run.form().BorderStyle, TFormBorderStyle::bsNone);
    EXPECT_EQ(run.form().FormStyle, TFormStyle::fsStayOnTop);

    run.backend().PressKey(vkEscape);
    EXPECT_TRUE(run.form().Closed());
    EXPECT_TRUE(workFiles().empty());
}

TEST_F(MainFormTest, AnErrorDuringSetUpIsShownAndLeavesTheWindowIdle)
{
    ShowRun run([](const std::string&, TCharactorList&) -> bool { throw EInvalidGraphic("ビットマップイメージが不正です"); });
    ASSERT_EQ(run.backend().Boxes().size(), 1u);
    EXPECT_EQ(run.backend().Boxes()[0].Kind, TMessageKind::Error);
    EXPECT_EQ(run.backend().Boxes()[0].Text, "ビットマップイメージが不正です");
    run.steps(5);
    EXPECT_FALSE(run.form().isRunning());
    EXPECT_TRUE(run.backend().CursorVisible());
    run.backend().Click();
    EXPECT_TRUE(run.form().Closed());
}

// ---- Clean-up ----

TEST_F(MainFormTest, ClosingEmptiesTheWorkDirectoryAndReleasesTheShow)
{
    TBitmap back(4, 4);
    const std::string backFile = writeBitmapFile(temp_.path() / "back.bmp", back);
    const std::string tune = (temp_.path() / "bgm.mid").string();
    std::ofstream(tune) << "MThd";
    ShowRun run(showOf([&](TCharactorList& list) {
        list.getSetting().setBackMode(2);
        list.getSetting().setBackFile(backFile);
        list.getSetting().setBgmFile(tune);
        list.getSetting().setPlayBgm(true);
    }));
    run.steps(2);
    EXPECT_EQ(workFiles().size(), 2u);
    ASSERT_NE(Data, nullptr);
    run.backend().PressKey('Q');
    EXPECT_TRUE(workFiles().empty());
    EXPECT_EQ(Data, nullptr);
    EXPECT_EQ(run.form().getCharactorList(), nullptr);
    EXPECT_EQ(run.form().getDrawBitmap(), nullptr);
    EXPECT_EQ(run.form().getBackBitmap(), nullptr);
    // The music is not stopped by closing; the program's end closes it.
    EXPECT_TRUE(music_.log().playing());
}

// ---- "System.ini" and "filename0" ----

namespace {

// Runs a window with first argument arg from the folder dir, with a loader
// that gives `loads`; returns the file name the loader was asked for.
std::string runFrom(const std::filesystem::path& dir, const std::string& arg, bool loads = true)
{
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::string askedFor = "(not asked)";
    {
        ShowRun run([&](const std::string& fileName, TCharactorList&) {
            askedFor = fileName;
            return loads;
        }, 320, 200, {"lurva", arg});
        run.backend().PressKey('X');
    }
    std::filesystem::current_path(before);
    return askedFor;
}

std::string storedFileName()
{
    TRegManage store;
    store.init("rororade");
    return store.readString("main", "filename0", "(none)");
}

}  // namespace

#ifndef _WIN32
// On Windows "System.ini" is the system's own file: these two would change it.
TEST_F(MainFormTest, AnExistingFileOnTheCommandLineBecomesTheCurrentShow)
{
    std::filesystem::create_directories(temp_.path() / "shows");
    std::ofstream(temp_.path() / "shows" / "demo.sdt") << "QDsm";
    // Lines of other programs stay as they were.
    std::filesystem::create_directories(systemIni().parent_path());
    std::ofstream(systemIni()) << "[boot]\nshell=explorer.exe\n[drivers]\nwave=mmdrv.dll\n";

    // Stored as an absolute path: the screen saver starts in another folder.
    const std::string absolute = (temp_.path() / "shows/demo.sdt").string();
    EXPECT_EQ(runFrom(temp_.path(), "shows/demo.sdt"), absolute);
    EXPECT_EQ(storedFileName(), absolute);
    EXPECT_EQ(runFrom(temp_.path(), "./shows/demo.sdt"), absolute);
    EXPECT_EQ(readText(systemIni()), "[boot]\nshell=explorer.exe\nSCRNSAVE.EXE=" + GetProgramPath() + "\n[drivers]\nwave=mmdrv.dll\n");
    // A relative path stored earlier is read as it is.
    {
        TRegManage store;
        store.init("rororade");
        store.writeString("main", "filename0", "shows/demo.sdt");
    }
    EXPECT_EQ(runFrom(temp_.path(), "/s"), "shows/demo.sdt");
    EXPECT_FALSE(GetProgramPath().empty());
}
#endif

TEST_F(MainFormTest, AFileThatDoesNotLoadLeavesTheCurrentShowAndSaysWhy)
{
    {
        TRegManage store;
        store.init("rororade");
        store.writeString("main", "filename0", "/shows/earlier.sdt");
    }
    const std::string bad = (temp_.path() / "random.bin").string();
    std::ofstream(bad) << "no show at all";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runFrom(temp_.path(), bad, false), bad);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(storedFileName(), "/shows/earlier.sdt");
    EXPECT_FALSE(std::filesystem::exists(systemIni()));
    EXPECT_EQ(printed, "lurva: cannot play " + bad + ": not a data file\n");
}

TEST_F(MainFormTest, OtherArgumentsLeaveSystemIniAndTheCurrentShowAlone)
{
    {
        TRegManage store;
        store.init("rororade");
        store.writeString("main", "filename0", "/shows/earlier.sdt");
    }
    std::filesystem::create_directories(temp_.path() / "a folder");
    for (const std::string arg : {"/s", "", "/no/such/file.sdt", "a folder", "-c:1234"}) {
        SCOPED_TRACE(arg);
        EXPECT_EQ(runFrom(temp_.path(), arg), "/shows/earlier.sdt");
        EXPECT_EQ(storedFileName(), "/shows/earlier.sdt");
        EXPECT_FALSE(std::filesystem::exists(systemIni()));
    }
}

#ifndef _WIN32
TEST_F(MainFormTest, ASystemIniThatCannotBeWrittenIsShownAndTheWindowIsIdle)
{
    std::ofstream(temp_.path() / "show.sdt") << "QDsm";
    // The folder of "System.ini" is a file: nothing can be written there.
    std::filesystem::create_directories(configDir());
    std::ofstream(configDir() / "lurva") << "not a folder";
    bool loaded = false;
    ShowRun run([&](const std::string&, TCharactorList&) { return loaded = true; }, 320, 200,
                {"lurva", (temp_.path() / "show.sdt").string()});
    ASSERT_EQ(run.backend().Boxes().size(), 1u);
    EXPECT_EQ(run.backend().Boxes()[0].Text, "System.ini に書き込めません");
    // The file is loaded first; it is not made the current show.
    EXPECT_TRUE(loaded);
    EXPECT_EQ(storedFileName(), "(none)");
    EXPECT_FALSE(run.form().isRunning());
}
#endif

// ---- Music ----

class MainFormMusicTest : public MainFormTest {
protected:
    MainFormMusicTest() { std::ofstream(tune) << "MThd"; }

    TMainForm::TShowLoader musicShow(bool play = true)
    {
        return showOf([this, play](TCharactorList& list) {
            list.getSetting().setBgmFile(tune);
            list.getSetting().setPlayBgm(play);
        });
    }
    std::string copied() const { return getWorkDir() + "bgm0.mid"; }

    const std::string tune = (temp_.path() / "bgm.mid").string();
};

TEST_F(MainFormMusicTest, TheTunePlaysAgainWheneverItEnds)
{
    ShowRun run(musicShow());
    EXPECT_EQ(music_.log().commands, (std::vector<std::string>{"open " + copied() + " sequencer", "play"}));
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(music_.log().finishPiece());
        run.app().ProcessMessages();  // the report reaches the window
        ASSERT_TRUE(music_.log().playing());
    }
    EXPECT_EQ(music_.log().commands,
              (std::vector<std::string>{"open " + copied() + " sequencer", "play", "rewind", "play", "rewind", "play",
                                        "rewind", "play"}));
}

TEST_F(MainFormMusicTest, NoMusicWhenNotWantedOrNotPlayable)
{
    {
        ShowRun run(musicShow(false));
        EXPECT_TRUE(music_.log().commands.empty());
    }
    music_.log().canPlay = false;
    {
        ShowRun run(musicShow(true));
        EXPECT_EQ(music_.log().commands, (std::vector<std::string>{"open " + copied() + " sequencer"}));
        EXPECT_TRUE(run.form().isRunning());
    }
}

TEST_F(MainFormMusicTest, AMusicDeviceThatRefusesLeavesTheShowPlayingSilently)
{
    music_.log().openError = "no synthesizer";
    testing::internal::CaptureStderr();
    ShowRun run(musicShow());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no synthesizer"), std::string::npos) << said;
    EXPECT_TRUE(run.backend().Boxes().empty());
    EXPECT_TRUE(run.form().isRunning());
    EXPECT_FALSE(run.backend().CursorVisible());
    run.steps(3);
    EXPECT_EQ(run.form().getTickCount(), 3);
}

TEST_F(MainFormMusicTest, AReportAfterClosingPlaysNothing)
{
    ShowRun run(musicShow());
    run.backend().PressKey(vkReturn);
    const size_t commands = music_.log().commands.size();
    ASSERT_TRUE(music_.log().finishPiece());
    run.app().ProcessMessages();
    EXPECT_EQ(music_.log().commands.size(), commands);
    EXPECT_FALSE(music_.log().playing());
}

// ---- In a host's window ----

TEST_F(MainFormTest, AHostsWindowResizedIsLaidOutAsAFreshShowOfTheNewSize)
{
    TBitmap quad(2, 2);
    quad.Canvas().SetPixel(0, 0, 0x000011);
    quad.Canvas().SetPixel(1, 0, 0x000022);
    quad.Canvas().SetPixel(0, 1, 0x000033);
    quad.Canvas().SetPixel(1, 1, 0x000044);
    const std::string quadFile = writeBitmapFile(temp_.path() / "quad.bmp", quad);
    // A stretched background and a character walking the grid: both depend on the size.
    auto show = [&] {
        return showOf([&](TCharactorList& list) {
            list.getSetting().setBackMode(kBackModeStretch);
            list.getSetting().setBackFile(quadFile);
            setPath(addOpaque(list, {0xFF0000}, 12, 8), [](int e) { return gridCell(e); });
        });
    };
    for (const auto& [width, height] : {std::pair{480, 300}, std::pair{200, 150}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        THeadlessPicture afterResize;
        {
            ShowRun resized(show(), 320, 200, {"lurva"}, std::nullopt, TMainForm::TStepComposition::Incremental, {},
                            true);
            resized.steps(3);
            resized.backend().ResizeHostWindow(width, height);
            resized.steps(1);
            EXPECT_EQ(resized.form().getTickCount(), 4) << "the show goes on where it was";
            afterResize = resized.picture();
        }
        ShowRun fresh(show(), width, height);
        fresh.steps(4);
        ASSERT_EQ(afterResize.Width, width);
        ASSERT_EQ(afterResize.Height, height);
        EXPECT_EQ(afterResize.Pixels, fresh.picture().Pixels) << "one step after the resize";
    }
}

#ifndef _WIN32
// On Windows "System.ini" is the system's own file.
TEST_F(MainFormTest, AShowGivenWithTheShowOptionPlaysWithoutBecomingTheCurrentOne)
{
    {
        TRegManage store;
        store.init("rororade");
        store.writeString("main", "filename0", "/shows/earlier.sdt");
    }
    std::ofstream(temp_.path() / "given.sdt") << "QDsm";
    std::ofstream(temp_.path() / "argument.sdt") << "QDsm";
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(temp_.path());
    std::string askedFor;
    {
        TShowOptions options;
        options.showFile = "given.sdt";
        ShowRun run([&](const std::string& fileName, TCharactorList&) {
            askedFor = fileName;
            return true;
        }, 320, 200, {"lurva", "argument.sdt"}, std::nullopt, TMainForm::TStepComposition::Incremental, options);
        EXPECT_TRUE(run.form().isRunning());
    }
    std::filesystem::current_path(before);
    EXPECT_EQ(askedFor, (temp_.path() / "given.sdt").string());
    EXPECT_EQ(storedFileName(), "/shows/earlier.sdt");
    EXPECT_FALSE(std::filesystem::exists(systemIni()));
}
#endif

TEST_F(MainFormMusicTest, HostsWindowsAreSilentUnlessAskedAndMuteSilencesEveryShow)
{
    struct Row {
        const char* how;
        bool hosted;
        bool sound;
        bool muteOption;
        bool muteSetting;
        bool plays;
    };
    const Row rows[] = {
        {"full screen", false, false, false, false, true},
        {"in a host's window", true, false, false, false, false},
        {"in a host's window with --sound", true, true, false, false, true},
        {"full screen with --mute", false, false, true, false, false},
        {"full screen, muted by the setting", false, false, false, true, false},
        {"--sound, muted by the setting", true, true, false, true, false},
        {"--sound and --mute", true, true, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        {
            TRegistry registry;
            ASSERT_TRUE(registry.OpenKey(TLurvaSettings::kKey, true));
            registry.WriteInteger("mute", row.muteSetting ? 1 : 0);
        }
        music_.log().commands.clear();
        TShowOptions options;
        options.sound = row.sound;
        options.mute = row.muteOption;
        ShowRun run(musicShow(), 320, 200, {"lurva"}, std::nullopt, TMainForm::TStepComposition::Incremental, options,
                    row.hosted);
        EXPECT_TRUE(run.form().isRunning());
        if (row.plays)
            EXPECT_EQ(music_.log().commands, (std::vector<std::string>{"open " + copied() + " sequencer", "play"}));
        else
            EXPECT_TRUE(music_.log().commands.empty());
    }
}

TEST_F(MainFormMusicTest, TheVolumeSettingIsGivenToThePlayerBeforeItOpens)
{
    for (const int32_t volume : {40, 0}) {
        {
            TRegistry registry;
            ASSERT_TRUE(registry.OpenKey(TLurvaSettings::kKey, true));
            registry.WriteInteger("volume", volume);
        }
        music_.log().commands.clear();
        ShowRun run(musicShow());
        EXPECT_EQ(music_.log().commands, (std::vector<std::string>{"volume " + std::to_string(volume),
                                                                   "open " + copied() + " sequencer", "play"}));
    }
}
