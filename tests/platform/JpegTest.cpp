// JpegTest.cpp: JPEG decoding through libjpeg, and its errors as exceptions
// carrying the library's message number.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "support/PictureFixtures.h"
#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/TestSupport.h"

namespace {

std::string jpegError(int code)
{
    return "JPEG エラー #" + std::to_string(code);
}

// Four solid 8x8 quadrants: colours JPEG keeps within a unit or two.
std::vector<uint32_t> quadrants()
{
    const uint32_t colour[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00808080};
    std::vector<uint32_t> pixels(256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            pixels[static_cast<size_t>(y * 16 + x)] = colour[(y / 8) * 2 + x / 8];
    return pixels;
}

void expectClose(uint32_t actual, uint32_t expected, int tolerance, int x, int y)
{
    EXPECT_EQ(actual >> 24, 0u);
    for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((actual >> shift) & 0xFF), e = static_cast<int>((expected >> shift) & 0xFF);
        EXPECT_LE(std::abs(a - e), tolerance) << "at " << x << "," << y << std::hex << " got " << actual << " want " << expected;
    }
}

// Offset of the frame header's height field (after FFC0 and its length).
size_t frameSizeOffset(const std::vector<uint8_t>& jpeg)
{
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
            return i + 5;
    ADD_FAILURE() << "no frame header";
    return 0;
}

}  // namespace

TEST(JpegReader, DecodesColour)
{
    const auto pixels = quadrants();
    const TDecodedImage image = DecodeJpeg(makeJpeg(pixels, 16, 16));
    ASSERT_EQ(image.width, 16);
    ASSERT_EQ(image.height, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            expectClose(image.pixels[static_cast<size_t>(y * 16 + x)], pixels[static_cast<size_t>(y * 16 + x)], 3, x, y);
}

TEST(JpegReader, DecodesGrayscale)
{
    std::vector<uint32_t> levels(8 * 8);
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = i < 32 ? 0x20 : 0xC0;
    const TDecodedImage image = DecodeJpeg(makeJpeg(levels, 8, 8, true));
    for (size_t i = 0; i < levels.size(); ++i)
        expectClose(image.pixels[i], levels[i] * 0x010101u, 3, static_cast<int>(i % 8), static_cast<int>(i / 8));
}

TEST(JpegReader, DecodesAdobeCmyk)
{
    // Pure red as inverted CMYK, the way Adobe's files store it.
    std::vector<uint8_t> samples;
    for (int i = 0; i < 8 * 8; ++i)
        samples.insert(samples.end(), {255, 0, 0, 255});  // no cyan, full magenta, full yellow, no black
    const std::vector<uint8_t> jpeg = makeJpegSamples(samples, 8, 8, 4, {100, false});

    const TDecodedImage image = DecodeJpeg(jpeg);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        expectClose(image.pixels[i], 0x00FF0000, 3, static_cast<int>(i % 8), static_cast<int>(i / 8));
}

TEST(JpegReader, ErrorsCarryTheLibrarysMessageNumber)
{
    EXPECT_THROW_MSG(DecodeJpeg(std::vector<uint8_t>{}), EInvalidGraphic, jpegError(JERR_INPUT_EMPTY));
    EXPECT_THROW_MSG(DecodeJpeg(std::vector<uint8_t>{'B', 'M', 0, 0}), EInvalidGraphic, jpegError(JERR_NO_SOI));

    auto jpeg = makeJpeg(quadrants(), 16, 16);
    // Cut inside the headers: the decoder gives up with its own number.
    bool sawError = false;
    for (size_t length = 2; length < 200 && length < jpeg.size(); length += 7) {
        try {
            DecodeJpeg(std::span(jpeg.data(), length));
        } catch (const EInvalidGraphic& e) {
            sawError = true;
            EXPECT_EQ(std::string(e.what()).rfind("JPEG エラー #", 0), 0u) << e.what();
        }
    }
    EXPECT_TRUE(sawError);

    // Cut inside the scan: a warning only; the rest of the picture is grey.
    const TDecodedImage partial = DecodeJpeg(std::span(jpeg.data(), jpeg.size() - 40));
    EXPECT_EQ(partial.width, 16);
    EXPECT_EQ(partial.pixels.size(), 256u);
}

TEST(JpegReader, RefusesPicturesAboveTheLimits)
{
    auto jpeg = makeJpeg(quadrants(), 16, 16);
    const size_t at = frameSizeOffset(jpeg);
    jpeg[at] = 0x40;  // height 16384 + 16: one side too long
    jpeg[at + 1] = 0x10;
    EXPECT_THROW_MSG(DecodeJpeg(jpeg), EInvalidGraphic, jpegError(JERR_IMAGE_TOO_BIG));
    jpeg[at] = 0x20;  // 8208 x 8208: too many pixels
    jpeg[at + 2] = 0x20;
    jpeg[at + 3] = 0x10;
    EXPECT_THROW_MSG(DecodeJpeg(jpeg), EInvalidGraphic, jpegError(JERR_IMAGE_TOO_BIG));
}

TEST(JpegImage, LoadsAndDrawsLikeABitmap)
{
    TempDir dir;
    const std::string path = dir.str() + "/a.jpg";
    writeFile(path, makeJpeg(quadrants(), 16, 16));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    EXPECT_EQ(jpeg.Width(), 16);
    EXPECT_EQ(jpeg.Height(), 16);
    TBitmap dest(16, 16);
    dest.Canvas().Draw(0, 0, jpeg);
    EXPECT_TRUE(std::equal(dest.Pixels(), dest.Pixels() + 256, jpeg.Image().Pixels()));
    TBitmap half(8, 8);
    half.Canvas().StretchDraw({0, 0, 8, 8}, jpeg);
    expectClose(half.ScanLine(7)[0], 0x000000FF, 3, 0, 7);
}
