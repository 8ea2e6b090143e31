// CCharactorTest.cpp: a character's path, its frame slots, and the masks built
// from each frame's top-left pixel, checked pixel by pixel.
#include <gtest/gtest.h>

#include "ModelFixtures.h"
#include "model/CCharactor.h"
#include "platform/Exceptions.h"

namespace {

const std::string kRangeError = "setGraphic : 範囲エラーです";
constexpr TColor clGreen = 0x0000FF00;
constexpr TColor clBlue = 0x00FF0000;
constexpr TColor clCyan = 0x00FFFF00;

std::vector<std::vector<TColor>> frameWithKey(TColor key)
{
    // The key at the top-left corner and at two more places; the other
    // colours differ from it, one of them in a single channel only.
    const TColor nearKey = key ^ 0x000100;
    return {{key, clGreen, nearKey, key},
            {0x00808080, key, clBlue, 0x00010203},
            {clWhite == key ? clBlack : clWhite, 0x00FF00FF, key, clRed == key ? clBlue : clRed}};
}

std::vector<std::vector<TColor>> maskOf(const TCharactor& c, int32_t slot)
{
    const TBitmap* mask = c.getMask(slot);
    std::vector<std::vector<TColor>> rows;
    if (!mask)
        return rows;
    for (int y = 0; y < mask->Height(); ++y) {
        rows.emplace_back();
        for (int x = 0; x < mask->Width(); ++x)
            rows.back().push_back(PixelToColor(mask->ScanLine(y)[x]));
    }
    return rows;
}

std::unique_ptr<TPicture> pictureOf(const std::string& path)
{
    auto picture = std::make_unique<TPicture>();
    picture->LoadFromFile(path);
    return picture;
}

}  // namespace

using CharactorTest = ModelTest;

TEST_F(CharactorTest, CreationValues)
{
    TCharactor c;
    EXPECT_EQ(c.getPointCount(), 600);
    for (int32_t i : {0, 1, 299, 599}) {
        const TDoublePoint* p = c.getPoint(i);
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(p->x, -200.0);
        EXPECT_EQ(p->y, -200.0);
    }
    EXPECT_EQ(c.getPoint(600), nullptr);
    EXPECT_EQ(c.getPoint(-1), nullptr);
    EXPECT_EQ(c.getPoint(INT32_MIN), nullptr);
    EXPECT_EQ(c.getGraphicCount(), 0);
    EXPECT_TRUE(c.getTransparent());
    EXPECT_EQ(c.getGraphic(0), nullptr);
    EXPECT_EQ(c.getMask(0), nullptr);
    EXPECT_EQ(c.getGraphicFile(0), "");
    EXPECT_EQ(c.getName(), "");
}

TEST_F(CharactorTest, PathPoints)
{
    TCharactor c;
    c.setPoint(600, 0.5, 0.5);
    c.setPoint(-1, 0.5, 0.5);
    EXPECT_EQ(c.getPointCount(), 600);
    EXPECT_EQ(c.getPoint(599)->x, -200.0);
    c.setPoint(0, 0.5, 0.25);
    c.setPoint(599, 1.5, -0.75);  // off the window is allowed
    EXPECT_EQ(c.getPoint(0)->x, 0.5);
    EXPECT_EQ(c.getPoint(0)->y, 0.25);
    EXPECT_EQ(c.getPoint(599)->x, 1.5);
    EXPECT_EQ(c.getPoint(599)->y, -0.75);
    EXPECT_EQ(c.getPoint(1)->x, -200.0);
    c.clearPoints();
    EXPECT_EQ(c.getPointCount(), 600);
    EXPECT_EQ(c.getPoint(0)->x, -200.0);
    EXPECT_EQ(c.getPoint(0)->y, -200.0);
}

TEST_F(CharactorTest, MaskMarksTheKeyColourWithItsComplement)
{
    for (TColor key : {clWhite, clBlack, clRed, 0x00123456}) {
        SCOPED_TRACE(key);
        const auto rows = frameWithKey(key);
        TCharactor c;
        c.setGraphic(0, pictureOf(writeFrame("frame.bmp", rows)));
        ASSERT_EQ(c.getGraphicCount(), 1);
        const auto mask = maskOf(c, 0);
        ASSERT_EQ(mask.size(), rows.size());
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                EXPECT_EQ(mask[y][x], rows[y][x] == key ? (key ^ 0xFFFFFF) : clWhite) << x << "," << y;
    }
}

TEST_F(CharactorTest, MaskExamples)
{
    // A white key: black exactly where the frame is white.
    TCharactor white;
    white.setGraphic(0, pictureOf(writeFrame("w.bmp", {{clWhite, clRed}, {clWhite, clBlack}})));
    EXPECT_EQ(maskOf(white, 0), (std::vector<std::vector<TColor>>{{clBlack, clWhite}, {clBlack, clWhite}}));
    // A black key: white everywhere.
    TCharactor black;
    black.setGraphic(0, pictureOf(writeFrame("b.bmp", {{clBlack, clRed}, {clWhite, clBlack}})));
    EXPECT_EQ(maskOf(black, 0), (std::vector<std::vector<TColor>>{{clWhite, clWhite}, {clWhite, clWhite}}));
    // A red key: 0x00FFFF00 at every red pixel.
    TCharactor red;
    red.setGraphic(0, pictureOf(writeFrame("r.bmp", {{clRed, clBlue}, {clWhite, clRed}})));
    EXPECT_EQ(maskOf(red, 0), (std::vector<std::vector<TColor>>{{clCyan, clWhite}, {clWhite, clCyan}}));
}

TEST_F(CharactorTest, MaskAndFrameComposeOverAScene)
{
    // OR the mask, AND the frame: where the frame has the key colour K the
    // scene shows as S AND K, elsewhere the frame's own pixel shows.
    for (TColor key : {clWhite, clBlack, clRed}) {
        SCOPED_TRACE(key);
        const auto rows = frameWithKey(key);
        TCharactor c;
        c.setGraphic(0, pictureOf(writeFrame("frame.bmp", rows)));
        TBitmap scene(6, 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                scene.Canvas().SetPixel(x, y, static_cast<TColor>(0x00314159 * (x + 7 * y + 1)) & 0xFFFFFF);
        TBitmap before(6, 5);
        before.Canvas().Draw(0, 0, scene);
        scene.Canvas().CopyMode = cmSrcPaint;
        scene.Canvas().Draw(1, 1, *c.getMask(0));
        scene.Canvas().CopyMode = cmSrcAnd;
        scene.Canvas().Draw(1, 1, *c.getGraphic(0));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const TColor s = before.Canvas().Pixel(x, y);
                TColor expected = s;
                if (x >= 1 && y >= 1 && x < 5 && y < 4) {
                    const TColor f = rows[static_cast<size_t>(y - 1)][static_cast<size_t>(x - 1)];
                    expected = f == key ? (s & key) : f;
                }
                EXPECT_EQ(scene.Canvas().Pixel(x, y), expected) << x << "," << y;
            }
    }
}

TEST_F(CharactorTest, OpaqueFramesGetWhiteMasks)
{
    TCharactor c;
    c.setGraphic(0, pictureOf(writeFrame("a.bmp", frameWithKey(clRed))));
    c.setTransparent(false);
    // Masks already built stay; frames installed from now on are opaque.
    EXPECT_EQ(maskOf(c, 0)[0][0], clCyan);
    c.setGraphic(1, pictureOf(writeFrame("b.bmp", frameWithKey(clBlack))));
    c.setGraphic(2, pictureOf(writeFrame("c.bmp", frameWithKey(clWhite))));
    for (int32_t slot : {1, 2})
        for (const auto& row : maskOf(c, slot))
            for (TColor p : row)
                EXPECT_EQ(p, clWhite) << slot;
    EXPECT_EQ(maskOf(c, 0)[0][0], clCyan);
    EXPECT_EQ(c.getGraphicCount(), 3);
}

TEST_F(CharactorTest, IconFramesReadWhiteWhereTransparent)
{
    // The icon's transparent corner reads white in the frame drawn for the
    // mask, so a white key masks it.
    const std::string path = source("icon.ico");
    writeFile(path, makeIco({makeIconImage(2, 2, 24, {0x000000, 0x00FF0000, 0x00FFFFFF, 0x0000FF00}, {1, 0, 0, 0})}));
    TCharactor c;
    c.setGraphic(0, pictureOf(path));
    EXPECT_EQ(maskOf(c, 0), (std::vector<std::vector<TColor>>{{clBlack, clWhite}, {clBlack, clWhite}}));
}

TEST_F(CharactorTest, ReplacingASlotBuildsANewMask)
{
    TCharactor c;
    c.setGraphic(0, pictureOf(writeFrame("a.bmp", {{clRed, clBlue}})));
    const TGraphic* first = c.getGraphic(0);
    ASSERT_NE(first, nullptr);
    c.setGraphic(0, pictureOf(writeFrame("b.bmp", {{clBlue, clRed, clBlue}, {clRed, clRed, clBlue}})));
    ASSERT_NE(c.getGraphic(0), nullptr);
    EXPECT_EQ(c.getGraphic(0)->Width(), 3);
    EXPECT_EQ(c.getGraphic(0)->Height(), 2);
    const TColor yellow = clBlue ^ 0xFFFFFF;
    EXPECT_EQ(maskOf(c, 0), (std::vector<std::vector<TColor>>{{yellow, clWhite, yellow}, {clWhite, clWhite, yellow}}));
    EXPECT_EQ(c.getGraphicCount(), 1);
}

TEST_F(CharactorTest, SlotsOutsideZeroToNineAreRefusedOnce)
{
    const std::string frame = writeFrame("chara.bmp", {{clRed}});
    TCharactor c;
    MessageRecorder messages;
    for (int32_t i = 0; i < 10; ++i)
        c.loadGraphic(c.getGraphicCount(), frame);
    EXPECT_EQ(c.getGraphicCount(), 10);
    EXPECT_TRUE(messages.messages().empty());
    const auto filesBefore = workFiles();

    c.loadGraphic(c.getGraphicCount(), frame);  // the eleventh frame
    EXPECT_EQ(messages.messages(), std::vector<std::string>{kRangeError});
    EXPECT_EQ(c.getGraphicCount(), 10);
    EXPECT_EQ(workFiles(), filesBefore);  // nothing copied

    c.setGraphic(10, pictureOf(frame));
    c.setGraphic(-1, pictureOf(frame));
    c.loadGraphic(-5, frame);
    EXPECT_EQ(messages.messages().size(), 4u);
    EXPECT_EQ(c.getGraphicCount(), 10);
    EXPECT_EQ(c.getGraphic(10), nullptr);
    EXPECT_EQ(c.getMask(-1), nullptr);
}

TEST_F(CharactorTest, LoadGraphicCopiesAndLoadsTheGivenFile)
{
    const std::string frame = writeFrame("chara0.bmp", {{clRed, clBlue}});
    TCharactor c;
    c.loadGraphic(0, frame);
    EXPECT_EQ(c.getGraphicFile(0), workFile("chara00.bmp"));
    ASSERT_EQ(c.getGraphicCount(), 1);
    EXPECT_EQ(c.getGraphic(0)->Width(), 2);
    EXPECT_EQ(c.getMask(0)->Width(), 2);
}

TEST_F(CharactorTest, LoadGraphicFailures)
{
    TCharactor c;
    c.loadGraphic(0, writeFrame("good.bmp", {{clRed}}));

    // A missing file: the copy's open error, nothing changes.
    const std::string missing = source("missing.bmp");
    EXPECT_THROW_MSG(c.loadGraphic(1, missing), EFOpenError, "ファイル " + missing + " は開けません");
    EXPECT_EQ(c.getGraphicCount(), 1);
    EXPECT_EQ(c.getGraphicFile(1), "");

    // Unreadable contents: only the copy's path has changed.
    const std::string broken = source("broken.bmp");
    writeFile(broken, {'B', 'M', 0, 0});
    EXPECT_THROW_MSG(c.loadGraphic(1, broken), EInvalidGraphic, "ビットマップイメージが不正です");
    EXPECT_EQ(c.getGraphicFile(1), workFile("broken0.bmp"));
    EXPECT_EQ(c.getGraphicCount(), 1);
    EXPECT_EQ(c.getGraphic(1), nullptr);
    EXPECT_EQ(c.getMask(1), nullptr);

    // Over an installed frame, a failure leaves that frame in place.
    const TGraphic* before = c.getGraphic(0);
    EXPECT_THROW(c.loadGraphic(0, broken), EInvalidGraphic);
    EXPECT_EQ(c.getGraphic(0), before);
    EXPECT_NE(c.getMask(0), nullptr);
}

TEST_F(CharactorTest, CountStopsAtTheFirstEmptySlot)
{
    const std::string frame = writeFrame("f.bmp", {{clRed}});
    TCharactor c;
    c.setGraphic(0, pictureOf(frame));
    c.setGraphic(2, pictureOf(frame));
    EXPECT_EQ(c.getGraphicCount(), 1);
    EXPECT_NE(c.getGraphic(2), nullptr);
    c.setGraphic(1, pictureOf(frame));
    EXPECT_EQ(c.getGraphicCount(), 3);
    // An empty picture clears a slot (and has no mask).
    c.setGraphic(1, nullptr);
    EXPECT_EQ(c.getGraphicCount(), 1);
    EXPECT_EQ(c.getMask(1), nullptr);
}
