// The step composition: frame placement, rectangle merging, and the
// incremental painter against the whole-screen reference, frame by frame.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/Classes.h"
#include "shell/CScenePainter.h"
#include "shell/ShowFixtures.h"
#include "support/PictureFixtures.h"

using namespace showfix;

TEST(PlaceFrame, CentreCutTowardZero)
{
    struct Row {
        TDoublePoint point;
        int w, h;
        std::optional<TFrameOrigin> expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        {{0.5, 0.5}, 41, 20, TFrameOrigin{380, 290}},
        {{0.0, 0.0}, 41, 21, TFrameOrigin{-20, -10}},
        {{0.0001, 0.5}, 2, 2, TFrameOrigin{0, 299}},    // 0.08 - 1 = -0.92 is cut to 0
        {{-0.0001, 0.0}, 2, 2, TFrameOrigin{-1, -1}},   // -1.08 is cut to -1
        {{1.0, 1.0}, 1, 1, TFrameOrigin{800, 600}},     // 1 div 2 = 0
        {{-200.0, -200.0}, 64, 64, TFrameOrigin{-160032, -120032}},
        {{1e300, -1e300}, 8, 8, TFrameOrigin{1 << 29, -(1 << 29)}},  // held far away
        {{nan, 0.5}, 8, 8, std::nullopt},
        {{0.5, inf}, 8, 8, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.point.x) + ", " + std::to_string(row.point.y));
        EXPECT_EQ(placeFrame(row.point, 800, 600, row.w, row.h), row.expected);
    }
}

TEST(MergeOverlapping, MergesOnlyWhatOverlaps)
{
    using Rects = std::vector<TRect>;
    EXPECT_EQ(mergeOverlapping({}), Rects{});
    EXPECT_EQ(mergeOverlapping({{0, 0, 0, 5}, {3, 3, 3, 3}}), Rects{});  // empty ones go
    // Touching edges do not overlap.
    EXPECT_EQ(mergeOverlapping({{0, 0, 10, 10}, {10, 0, 20, 10}}), (Rects{{0, 0, 10, 10}, {10, 0, 20, 10}}));
    EXPECT_EQ(mergeOverlapping({{0, 0, 10, 10}, {5, 5, 15, 15}}), (Rects{{0, 0, 15, 15}}));
    // A merge can make a bounds that overlaps a third one.
    EXPECT_EQ(mergeOverlapping({{0, 0, 10, 10}, {20, 0, 30, 10}, {5, 20, 25, 30}, {8, 5, 22, 25}}),
              (Rects{{0, 0, 30, 30}}));
}

namespace {

// An icon with a transparent corner: drawn through the canvas, not the rows.
std::unique_ptr<TPicture> iconFrame()
{
    const int side = 16;
    std::vector<uint32_t> values;
    std::vector<uint8_t> andMask;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            values.push_back(static_cast<uint32_t>(0x102030 + x * 0x0A0000 + y * 0x000A00));
            andMask.push_back(x + y < 8 ? 1 : 0);
        }
    TMemoryStream stream(makeIco({makeIconImage(side, side, 24, values, andMask)}));
    auto icon = std::make_unique<TIcon>();
    icon->LoadFromStream(stream);
    auto picture = std::make_unique<TPicture>();
    picture->SetGraphic(std::move(icon));
    return picture;
}

// Characters that overlap each other, leave the screen, stand at
// (-200, -200) for stretches, change size with their frames (3 and 7 of
// them), are opaque or keyed with white or another colour, and one that
// jumps about with a large frame.
void busyShow(TCharactorList& list)
{
    constexpr double kTurn = 6.283185307179586 / 600.0;
    TCharactor& walker = list.add();  // 3 frames of different sizes, white key
    walker.setGraphic(0, patternFrame(41, 21, 1, clWhite));
    walker.setGraphic(1, patternFrame(40, 20, 2, clWhite));
    walker.setGraphic(2, patternFrame(33, 17, 3, clWhite));
    setPath(walker, [](int i) { return TDoublePoint{-0.2 + 1.4 * i / 600.0, -0.1 + 1.2 * i / 600.0}; });

    TCharactor& circler = list.add();  // 7 frames, a lilac key, crosses the walker
    for (int slot = 0; slot < 7; ++slot)
        circler.setGraphic(slot, patternFrame(slot % 2 ? 64 : 50, slot % 2 ? 64 : 70, 10 + slot, 0xFFF0FF));
    setPath(circler, [&](int i) {
        return TDoublePoint{0.5 + 0.45 * std::cos(i * kTurn * 2), 0.5 + 0.45 * std::sin(i * kTurn * 3)};
    });

    TCharactor& blinker = list.add();  // away at (-200, -200) half the time, at the corners the other half
    blinker.setGraphic(0, patternFrame(30, 30, 20, clWhite));
    setPath(blinker, [](int i) -> std::optional<TDoublePoint> {
        if ((i / 37) % 2)
            return std::nullopt;
        return TDoublePoint{(i / 74) % 2 ? 1.0 : 0.0, (i / 148) % 2 ? 1.0 : 0.0};
    });

    TCharactor& block = list.add();  // opaque, standing still in the middle
    block.setTransparent(false);
    block.setGraphic(0, solidFrame(120, 90, 0x3366CC));
    setPath(block, [](int) { return TDoublePoint{0.5, 0.45}; });

    TCharactor& icon = list.add();  // an icon with transparent pixels, drifting
    icon.setGraphic(0, iconFrame());
    setPath(icon, [](int i) { return TDoublePoint{1.0 - i / 600.0, 0.5}; });

    TCharactor& jumper = list.add();  // a large frame that jumps every step
    jumper.setGraphic(0, patternFrame(200, 150, 30, 0x00FF00));
    jumper.setGraphic(1, patternFrame(180, 160, 31, 0x00FF00));
    setPath(jumper, [](int i) -> std::optional<TDoublePoint> {
        if (i % 50 < 10)
            return std::nullopt;
        return TDoublePoint{((i * 37) % 100) / 100.0, ((i * 53) % 100) / 100.0};
    });

    TCharactor& faceless = list.add();  // a path but no frames
    setPath(faceless, [](int) { return TDoublePoint{0.3, 0.3}; });
}

std::unique_ptr<TBitmap> backdrop(int width, int height)
{
    auto back = std::make_unique<TBitmap>(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            back->ScanLine(y)[x] = static_cast<uint32_t>((x * 7 & 0xFF) << 16 | (y * 5 & 0xFF) << 8 | ((x ^ y) & 0xFF));
    return back;
}

// Where the first pixel of a and b differs, or "" when none does.
std::string firstDifference(const TBitmap& a, const TBitmap& b)
{
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.ScanLine(y)[x] != b.ScanLine(y)[x])
                return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
    return "";
}

uint64_t fingerprint(const THeadlessPicture& picture)
{
    uint64_t hash = 1469598103934665603ull;
    for (uint32_t p : picture.Pixels)
        hash = (hash ^ p) * 1099511628211ull;
    return hash;
}

class ScenePainterTest : public ShowTest {};

}  // namespace

TEST_F(ScenePainterTest, IncrementalStepsEqualTheWholeScreenReferenceOverALoop)
{
    TCharactorList list;
    busyShow(list);
    // The small screen makes the jumper's changes cost more than the whole
    // screen, so both ways of painting take turns there.
    for (const auto& [width, height] : {std::pair{800, 600}, std::pair{320, 240}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const auto back = backdrop(width, height);
        TBitmap reference(width, height), incremental(width, height), window(width, height);
        TScenePainter painter;
        int wholeSteps = 0;
        for (int step = 0; step < 620; ++step) {
            const auto frames = framesForStep(list, step % 600, step / 10, width, height);
            renderReference(reference, *back, frames);
            const auto& changed = painter.paint(incremental, *back, frames);
            wholeSteps += painter.lastWasWhole() ? 1 : 0;
            // What a window shows when it is given only the changed rectangles.
            for (const TRect& r : changed) {
                ASSERT_FALSE(r.IsEmpty());
                ASSERT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= width && r.Bottom <= height);
                window.Canvas().CopyRect(r, incremental, r);
            }
            ASSERT_EQ(firstDifference(incremental, reference), "") << "step " << step;
            ASSERT_EQ(firstDifference(window, reference), "") << "step " << step;
        }
        EXPECT_GE(wholeSteps, 1);     // the first step at least
        EXPECT_LT(wholeSteps, 620);  // and rectangles in between
    }
}

TEST_F(ScenePainterTest, TheWindowShowsTheSameFramesEitherWay)
{
    // The window's own steps, composed incrementally or the whole-screen way:
    // the same picture after every step of a whole loop and beyond.
    std::vector<uint64_t> seen[2];
    size_t presentedPixels[2] = {0, 0};
    for (int way = 0; way < 2; ++way) {
        ShowRun run(showOf([](TCharactorList& list) { busyShow(list); }), 640, 480, {"lurva"}, std::nullopt,
                    way == 0 ? TMainForm::TStepComposition::WholeScreen : TMainForm::TStepComposition::Incremental);
        for (int step = 0; step < 610; ++step) {
            run.steps();
            seen[way].push_back(fingerprint(run.picture()));
            for (const TRect& r : run.form().getLastPresented())
                presentedPixels[way] += static_cast<size_t>(r.Width()) * static_cast<size_t>(r.Height());
        }
    }
    ASSERT_EQ(seen[0].size(), seen[1].size());
    for (size_t step = 0; step < seen[0].size(); ++step)
        ASSERT_EQ(seen[0][step], seen[1][step]) << "step " << step;
    // And the incremental way gave the window far less to copy.
    EXPECT_LT(presentedPixels[1] * 3, presentedPixels[0]);
}
