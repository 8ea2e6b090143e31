// Tests of the JPEG and PNG readers over the Windows Imaging Component: the
// colours within JPEG's unit or two, and the same errors as the portable readers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/PictureFixtures.h"
#include "support/TestSupport.h"

namespace {
std::string jpegError(int code)
{
    return "JPEG エラー #" + std::to_string(code);
}

// Four solid 16x16 quadrants: whole blocks of an encoder that halves the
// colour resolution (as wine's does), so each block holds one colour.
std::vector<uint32_t> quadrants()
{
    const uint32_t colour[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00808080};
    std::vector<uint32_t> pixels(32 * 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            pixels[static_cast<size_t>(y * 32 + x)] = colour[(y / 16) * 2 + x / 16];
    return pixels;
}

int largestDifference(uint32_t a, uint32_t b)
{
    int largest = 0;
    for (int shift : {0, 8, 16})
        largest = std::max(largest, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return largest;
}
}  // namespace

TEST(WicJpeg, DecodesColourAndGreyWithinAUnitOrTwo)
{
    const auto pixels = quadrants();
    const TDecodedImage colour = DecodeJpeg(makeJpeg(pixels, 32, 32));
    ASSERT_EQ(colour.width, 32);
    ASSERT_EQ(colour.height, 32);
    EXPECT_TRUE(colour.transparent.empty());
    for (size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(colour.pixels[i] >> 24, 0u);
        EXPECT_LE(largestDifference(colour.pixels[i], pixels[i]), 4) << i % 32 << "," << i / 32;
    }

    const std::vector<uint32_t> levels(64, 0x5A);
    const TDecodedImage grey = DecodeJpeg(makeJpeg(levels, 8, 8, true));
    for (uint32_t p : grey.pixels)
        EXPECT_LE(largestDifference(p, 0x5A5A5A), 2);
}

TEST(WicJpeg, ErrorsCarryLibjpegsMessageNumbers)
{
    EXPECT_THROW_MSG(DecodeJpeg(std::vector<uint8_t>{}), EInvalidGraphic, jpegError(42));
    EXPECT_THROW_MSG(DecodeJpeg(std::vector<uint8_t>{'B', 'M', 0, 0}), EInvalidGraphic, jpegError(53));
    const auto jpeg = makeJpeg(quadrants(), 32, 32);
    EXPECT_THROW_MSG(DecodeJpeg(std::span(jpeg.data(), 20)), EInvalidGraphic, jpegError(43));  // cut in the headers
}

TEST(WicPng, AlphaBelowHalfIsTransparentAndBadBytesAreRefused)
{
    const std::vector<uint32_t> argb = {0xFF102030, 0x7F405060, 0x80708090, 0x00FFFFFF};
    const TDecodedImage image = DecodePng(makePngRgba(argb, 2, 2));
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.pixels.size(), 4u);
    EXPECT_EQ(image.pixels[0], 0x102030u);
    EXPECT_EQ(image.pixels[2], 0x708090u);
    EXPECT_EQ(image.transparent, (std::vector<uint8_t>{0, 1, 0, 1}));
    EXPECT_THROW_MSG(DecodePng(std::vector<uint8_t>{0x89, 'P', 'N', 'G'}), EInvalidGraphic, "PNG イメージが不正です");
}

TEST(WicPng, WrittenFileReadsBack)
{
    TBitmap bitmap;
    bitmap.SetPixels(3, 2, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x123456});
    const TDecodedImage image = DecodePng(EncodePng(bitmap));
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(image.pixels[static_cast<size_t>(i)], bitmap.Pixels()[i]) << i;
}
