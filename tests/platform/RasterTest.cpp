// RasterTest.cpp: bitmaps and the canvas's raster operations, pixel by pixel,
// including clipping at every edge.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/Graphics.h"
#include "platform/Raster.h"

namespace {

// A distinct 24-bit pixel word for every position and seed.
uint32_t patternPixel(int x, int y, uint32_t seed)
{
    return (seed * 0x9E3779B1u + static_cast<uint32_t>(x) * 0x01000193u + static_cast<uint32_t>(y) * 0x3C6EF372u)
        & 0x00FFFFFFu;
}

void fillPattern(TBitmap& bitmap, uint32_t seed)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            bitmap.ScanLine(y)[x] = patternPixel(x, y, seed);
}

std::vector<uint32_t> pixelsOf(const TBitmap& bitmap)
{
    return {bitmap.Pixels(), bitmap.Pixels() + bitmap.Width() * bitmap.Height()};
}

uint32_t applyRop(uint32_t rop, uint32_t d, uint32_t s)
{
    switch (rop) {
    case cmSrcCopy: return s;
    case cmSrcPaint: return d | s;
    case cmSrcAnd: return d & s;
    case cmMergePaint: return (~s | d) & 0xFFFFFF;
    }
    ADD_FAILURE() << "unknown rop";
    return 0;
}

}  // namespace

TEST(Bitmap, FreshBitmapIsWhite)
{
    TBitmap bitmap(5, 3);
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_EQ(bitmap.Height(), 3);
    for (uint32_t p : pixelsOf(bitmap))
        EXPECT_EQ(p, 0x00FFFFFFu);
    bitmap.Canvas().SetPixel(1, 1, clRed);
    bitmap.SetSize(2, 2);
    for (uint32_t p : pixelsOf(bitmap))
        EXPECT_EQ(p, 0x00FFFFFFu);
    TBitmap empty;
    EXPECT_TRUE(empty.Empty());
    TBitmap negative(-3, 4);
    EXPECT_EQ(negative.Width(), 0);
}

TEST(Bitmap, ColoursCrossAsTColor)
{
    TBitmap bitmap(2, 1);
    TCanvas& canvas = bitmap.Canvas();
    canvas.SetPixel(0, 0, 0x00332211);  // blue 33, green 22, red 11
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0x00112233u);
    EXPECT_EQ(canvas.Pixel(0, 0), 0x00332211);
    canvas.SetPixel(1, 0, static_cast<TColor>(0x7F0000FF));  // the top byte never reaches a pixel
    EXPECT_EQ(bitmap.ScanLine(0)[1], 0x00FF0000u);
    EXPECT_EQ(canvas.Pixel(1, 0), clRed);
    EXPECT_EQ(ColorToPixel(PixelToColor(0x00ABCDEF)), 0x00ABCDEFu);
}

TEST(Bitmap, PixelOutsideIsNoColourAndSetPixelOutsideIsIgnored)
{
    TBitmap bitmap(3, 2);
    const auto before = pixelsOf(bitmap);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}, {-100000, 100000}}) {
        EXPECT_EQ(bitmap.Canvas().Pixel(x, y), -1) << x << "," << y;
        bitmap.Canvas().SetPixel(x, y, clBlack);
    }
    EXPECT_EQ(pixelsOf(bitmap), before);
}

TEST(Bitmap, SetPixelsChecksSizeAndTopByte)
{
    TBitmap bitmap;
    bitmap.SetPixels(2, 1, {0x000000, 0xFFFFFF});
    EXPECT_EQ(bitmap.Canvas().Pixel(1, 0), clWhite);
    EXPECT_THROW(bitmap.SetPixels(2, 2, {1, 2, 3}), std::invalid_argument);
    EXPECT_THROW(bitmap.SetPixels(1, 1, {0xFF000000u}), std::invalid_argument);
}

TEST(RasterRows, EachLoopOverOddLengths)
{
    // Lengths around the vector width catch a wrong tail.
    for (size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{7}, size_t{17}, size_t{37}}) {
        std::vector<uint32_t> src(n), dest(n);
        for (size_t i = 0; i < n; ++i) {
            src[i] = patternPixel(static_cast<int>(i), 0, 1);
            dest[i] = patternPixel(static_cast<int>(i), 1, 2);
        }
        for (uint32_t rop : {cmSrcCopy, cmSrcPaint, cmSrcAnd, cmMergePaint}) {
            auto out = dest;
            ASSERT_TRUE(Raster::RopRow(rop, out.data(), src.data(), n));
            for (size_t i = 0; i < n; ++i)
                EXPECT_EQ(out[i], applyRop(rop, dest[i], src[i])) << "rop " << std::hex << rop << " at " << i;
        }
        auto keyed = src;
        if (n > 2)
            keyed[2] = keyed[n - 1] = 0x123456;
        auto out = dest;
        Raster::KeyCopyRow(out.data(), keyed.data(), n, 0x123456, 0x00EDCBA9);
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(out[i], keyed[i] == 0x123456 ? 0x00EDCBA9u : keyed[i]);
        Raster::FillRow(out.data(), n, 0x00010203);
        for (uint32_t p : out)
            EXPECT_EQ(p, 0x00010203u);
        std::vector<uint8_t> transparent(n);
        for (size_t i = 0; i < n; ++i)
            transparent[i] = i % 3 == 0;
        out = dest;
        Raster::SelectRow(out.data(), src.data(), transparent.data(), n);
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(out[i], transparent[i] ? dest[i] : src[i]);
    }
    uint32_t d = 0, s = 0;
    EXPECT_FALSE(Raster::RopRow(0x00660046, &d, &s, 1));  // not one of ours
}

TEST(Canvas, RasterOperationsPixelByPixel)
{
    struct Case {
        uint32_t rop;
        uint32_t dest, src, expected;
    };
    const Case cases[] = {
        {cmSrcCopy, 0x00123456, 0x00ABCDEF, 0x00ABCDEF},
        {cmSrcPaint, 0x00F00F00, 0x000F00F0, 0x00FF0FF0},
        {cmSrcAnd, 0x00F0FF00, 0x00FF0FF0, 0x00F00F00},
        {cmMergePaint, 0x00000000, 0x00FFFFFF, 0x00000000},
        {cmMergePaint, 0x00000000, 0x00000000, 0x00FFFFFF},  // the top byte stays 0
        {cmMergePaint, 0x00100000, 0x00FF00FF, 0x0010FF00},
    };
    for (const Case& c : cases) {
        TBitmap dest(1, 1), src(1, 1);
        dest.ScanLine(0)[0] = c.dest;
        src.ScanLine(0)[0] = c.src;
        dest.Canvas().CopyMode = c.rop;
        dest.Canvas().Draw(0, 0, src);
        EXPECT_EQ(dest.ScanLine(0)[0], c.expected) << std::hex << c.rop << " " << c.dest << " " << c.src;
    }
}

TEST(Canvas, UnknownCopyModeIsRefused)
{
    TBitmap dest(2, 2), src(2, 2);
    dest.Canvas().CopyMode = 0x00660046;
    EXPECT_THROW(dest.Canvas().Draw(0, 0, src), std::invalid_argument);
}

TEST(Canvas, DrawClipsAtEveryEdge)
{
    // A 5x4 source drawn into a 6x5 destination at positions inside, across
    // each edge and corner, and wholly outside, with each operation.
    const std::pair<int, int> positions[] = {{0, 0},  {1, 1},  {-2, 0}, {0, -3}, {-4, -3}, {3, 0},   {0, 3},
                                             {4, 3},  {-4, 4}, {5, -3}, {6, 0},  {0, 5},   {-5, 0},  {0, -4},
                                             {-9, 1}, {9, 9},  {-1, -1}, {2, -1}, {1000000, 0}, {-1000000, -1000000}};
    for (uint32_t rop : {cmSrcCopy, cmSrcPaint, cmSrcAnd, cmMergePaint}) {
        for (auto [px, py] : positions) {
            TBitmap dest(6, 5), src(5, 4);
            fillPattern(dest, 1);
            fillPattern(src, 2);
            dest.Canvas().CopyMode = rop;
            dest.Canvas().Draw(px, py, src);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 6; ++x) {
                    const int sx = x - px, sy = y - py;
                    const bool covered = sx >= 0 && sy >= 0 && sx < 5 && sy < 4;
                    const uint32_t expected = covered ? applyRop(rop, patternPixel(x, y, 1), patternPixel(sx, sy, 2))
                                                      : patternPixel(x, y, 1);
                    ASSERT_EQ(dest.ScanLine(y)[x], expected)
                        << "rop " << std::hex << rop << std::dec << " at " << px << "," << py << " pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST(Canvas, CopyRectClipsTheSourceRectangle)
{
    // Source rectangles that reach outside the source draw only what exists.
    const TRect sourceRects[] = {{-2, -1, 3, 3}, {2, 1, 7, 5}, {-10, -10, -5, -6}, {1, 1, 3, 2}};
    for (const TRect& s : sourceRects) {
        TBitmap dest(6, 6), src(4, 3);
        fillPattern(dest, 3);
        fillPattern(src, 4);
        const TRect d{1, 1, 1 + s.Width(), 1 + s.Height()};
        dest.Canvas().CopyRect(d, src, s);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 6; ++x) {
                const int sx = s.Left + x - d.Left, sy = s.Top + y - d.Top;
                const bool covered = x >= d.Left && x < d.Right && y >= d.Top && y < d.Bottom && sx >= 0 && sy >= 0
                    && sx < 4 && sy < 3;
                ASSERT_EQ(dest.ScanLine(y)[x], covered ? patternPixel(sx, sy, 4) : patternPixel(x, y, 3))
                    << s.Left << "," << s.Top << " pixel " << x << "," << y;
            }
        }
    }
}

TEST(Canvas, CopyWithinOneBitmapUsesTheOriginalPixels)
{
    TBitmap bitmap(5, 5);
    fillPattern(bitmap, 5);
    bitmap.Canvas().CopyRect({1, 1, 5, 5}, bitmap, {0, 0, 4, 4});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bitmap.ScanLine(y)[x], x >= 1 && y >= 1 ? patternPixel(x - 1, y - 1, 5) : patternPixel(x, y, 5));
}

TEST(Canvas, BrushCopyReplacesTheKeyColour)
{
    TBitmap src(3, 2), dest(4, 3);
    fillPattern(src, 6);
    fillPattern(dest, 7);
    const TColor key = 0x00563412;  // pixel word 0x00123456
    src.ScanLine(0)[1] = 0x00123456;
    src.ScanLine(1)[2] = 0x00123456;
    src.ScanLine(1)[0] = 0x00563412;  // the same bytes the other way round is not the key
    TCanvas& canvas = dest.Canvas();
    canvas.BrushColor = key ^ 0xFFFFFF;
    canvas.CopyMode = cmSrcAnd;  // a brush copy ignores the copy mode
    canvas.BrushCopy({-1, 1, 2, 3}, src, {0, 0, 3, 2}, key);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int sx = x + 1, sy = y - 1;
            uint32_t expected = patternPixel(x, y, 7);
            if (sx < 3 && sy >= 0)
                expected = src.ScanLine(sy)[sx] == 0x00123456 ? 0x00EDCBA9u : src.ScanLine(sy)[sx];
            EXPECT_EQ(dest.ScanLine(y)[x], expected) << x << "," << y;
        }
    }
}

TEST(Canvas, FillRectAndRectangleUseBrushAndPen)
{
    TBitmap bitmap(6, 5);
    TCanvas& canvas = bitmap.Canvas();
    canvas.BrushColor = 0x000000FF;
    canvas.FillRect({-3, -3, 2, 2});
    canvas.PenColor = 0x0000FF00;
    canvas.BrushColor = 0x00FF0000;
    canvas.Rectangle(2, 1, 6, 5);  // outline from x 2 to 5, y 1 to 4
    canvas.Rectangle(4, 4, 4, 9);  // empty: nothing
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            TColor expected = clWhite;
            if (x < 2 && y < 2)
                expected = 0x000000FF;
            if (x >= 2 && y >= 1)
                expected = (x == 2 || x == 5 || y == 1 || y == 4) ? 0x0000FF00 : 0x00FF0000;
            EXPECT_EQ(canvas.Pixel(x, y), expected) << x << "," << y;
        }
    }
    canvas.BrushColor = clBlack;
    canvas.FillRect({0, 0, 1000000, 1000000});
    for (uint32_t p : pixelsOf(bitmap))
        EXPECT_EQ(p, 0u);
}

TEST(Canvas, StretchDrawSamplesTheNearestPixel)
{
    TBitmap src(2, 2);
    src.ScanLine(0)[0] = 0x000001;
    src.ScanLine(0)[1] = 0x000002;
    src.ScanLine(1)[0] = 0x000003;
    src.ScanLine(1)[1] = 0x000004;

    TBitmap up(4, 6);
    up.Canvas().StretchDraw({0, 0, 4, 6}, src);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(up.ScanLine(y)[x], src.ScanLine(y / 3)[x / 2]) << x << "," << y;

    TBitmap big(8, 8), down(2, 2);
    fillPattern(big, 8);
    down.Canvas().StretchDraw({0, 0, 2, 2}, big);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(down.ScanLine(y)[x], patternPixel(4 * x + 2, 4 * y + 2, 8)) << x << "," << y;

    // Clipped at the left and bottom: the visible part samples as if whole.
    TBitmap clipped(3, 3);
    fillPattern(clipped, 9);
    clipped.Canvas().CopyMode = cmSrcPaint;
    clipped.Canvas().StretchDraw({-2, 1, 2, 5}, src);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const uint32_t before = patternPixel(x, y, 9);
            const bool covered = x < 2 && y >= 1;
            EXPECT_EQ(clipped.ScanLine(y)[x], covered ? before | src.ScanLine((y - 1) / 2)[(x + 2) / 2] : before);
        }

    TBitmap untouched(2, 2);
    untouched.Canvas().StretchDraw({1, 1, 1, 5}, src);  // empty rectangle
    untouched.Canvas().StretchDraw({2, 0, 0, 2}, src);  // reversed rectangle
    for (uint32_t p : pixelsOf(untouched))
        EXPECT_EQ(p, 0x00FFFFFFu);
}

TEST(RasterEnlarge, EachPixelBecomesASquareClippedToTheTarget)
{
    constexpr int kSourceWidth = 7;
    constexpr int kSourceHeight = 5;
    std::vector<uint32_t> source(kSourceWidth * kSourceHeight);
    for (int y = 0; y < kSourceHeight; ++y)
        for (int x = 0; x < kSourceWidth; ++x)
            source[y * kSourceWidth + x] = patternPixel(x, y, 7);
    struct Row {
        int scale, left, top, right, bottom, destWidth, destHeight;
        uint32_t set;
    };
    const Row rows[] = {
        {1, 0, 0, 7, 5, 7, 5, 0},
        {2, 1, 1, 4, 3, 14, 10, 0},
        {3, 0, 0, 7, 5, 20, 13, 0xFF000000u},  // the last column and row of squares cut
        {4, 5, 3, 7, 5, 22, 17, 0},           // a block at the cut edge
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("scale " + std::to_string(row.scale));
        const uint32_t untouched = 0x00123456;
        std::vector<uint32_t> dest(static_cast<size_t>(row.destWidth) * row.destHeight, untouched);
        Raster::EnlargeBlock(source.data(), kSourceWidth, row.left, row.top, row.right, row.bottom, row.scale,
            dest.data(), row.destWidth, row.destWidth, row.destHeight, row.set);
        for (int y = 0; y < row.destHeight; ++y)
            for (int x = 0; x < row.destWidth; ++x) {
                const int sx = x / row.scale;
                const int sy = y / row.scale;
                const bool inBlock = sx >= row.left && sx < row.right && sy >= row.top && sy < row.bottom;
                const uint32_t expected = inBlock ? (source[sy * kSourceWidth + sx] | row.set) : untouched;
                ASSERT_EQ(dest[static_cast<size_t>(y) * row.destWidth + x], expected) << x << "," << y;
            }
    }
}
