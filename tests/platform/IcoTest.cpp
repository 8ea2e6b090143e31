// IcoTest.cpp: the icon reader (image choice, AND mask, alpha, PNG entries),
// drawing with the mask, and malformed icons.
#include <gtest/gtest.h>

#include "support/PictureFixtures.h"
#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/TestSupport.h"

namespace {

const std::string kInvalid = "アイコンイメージが不正です";

std::vector<uint32_t> colours(int count, uint32_t seed)
{
    std::vector<uint32_t> v;
    for (int i = 0; i < count; ++i)
        v.push_back((seed * 0x9E3779B1u + static_cast<uint32_t>(i) * 0x00050A0Fu) & 0xFFFFFF);
    return v;
}

// A 4x4 mask with a transparent border column and row.
const std::vector<uint8_t> kMask4 = {1, 1, 1, 1,
                                     1, 0, 0, 0,
                                     1, 0, 0, 0,
                                     1, 0, 0, 1};

}  // namespace

TEST(IcoReader, TrueColourWithAndMask)
{
    const auto pixels = colours(16, 1);
    const auto ico = makeIco({makeIconImage(4, 4, 24, pixels, kMask4)});
    const TDecodedImage image = DecodeIco(ico);
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(image.height, 4);
    EXPECT_EQ(image.pixels, pixels);
    EXPECT_EQ(image.transparent, kMask4);
}

TEST(IcoReader, PaletteDepths)
{
    for (uint16_t bits : {uint16_t{1}, uint16_t{4}, uint16_t{8}}) {
        const auto palette = colours(1 << bits, bits);
        std::vector<uint32_t> indices, expected;
        for (int i = 0; i < 16; ++i) {
            indices.push_back(static_cast<uint32_t>(i * 7) % (1u << bits));
            expected.push_back(palette[indices.back()]);
        }
        const TDecodedImage image = DecodeIco(makeIco({makeIconImage(4, 4, bits, indices, kMask4, palette)}));
        EXPECT_EQ(image.pixels, expected) << bits;
        EXPECT_EQ(image.transparent, kMask4) << bits;
    }
}

TEST(IcoReader, ChoosesTheLargestImage)
{
    const auto small = makeIconImage(2, 2, 24, colours(4, 2), {0, 0, 0, 0});
    const auto large = makeIconImage(4, 4, 24, colours(16, 3), kMask4);
    const auto largeFewerColours = makeIconImage(4, 4, 8, std::vector<uint32_t>(16, 0), kMask4, {0x00123456});
    EXPECT_EQ(DecodeIco(makeIco({small, largeFewerColours, large, small})).pixels, colours(16, 3));
    EXPECT_EQ(DecodeIco(makeIco({large, small})).pixels, colours(16, 3));
    // Of two equal ones the first.
    const auto other = makeIconImage(4, 4, 24, colours(16, 4), kMask4);
    EXPECT_EQ(DecodeIco(makeIco({other, large})).pixels, colours(16, 4));
}

TEST(IcoReader, AlphaChannelMasksThirtyTwoBitImages)
{
    std::vector<uint32_t> argb = colours(16, 5);
    std::vector<uint8_t> expected(16);
    for (size_t i = 0; i < 16; ++i) {
        const uint32_t alpha = static_cast<uint32_t>(i * 17);  // 0 .. 255
        argb[i] |= alpha << 24;
        expected[i] = alpha < 128;
    }
    // The AND mask says otherwise and is ignored where alpha is present.
    TDecodedImage image = DecodeIco(makeIco({makeIconImage(4, 4, 32, argb, std::vector<uint8_t>(16, 0))}));
    EXPECT_EQ(image.transparent, expected);
    EXPECT_EQ(image.pixels, colours(16, 5));

    // All alpha 0: an old 32-bit icon, masked by its AND mask.
    image = DecodeIco(makeIco({makeIconImage(4, 4, 32, colours(16, 5), kMask4)}));
    EXPECT_EQ(image.transparent, kMask4);
}

TEST(IcoReader, PngEntry)
{
    std::vector<uint32_t> argb = colours(6, 6);
    argb[0] |= 0xFF000000u;
    argb[1] |= 0x80000000u;
    argb[2] |= 0x7F000000u;
    argb[3] |= 0x00000000u;
    argb[4] |= 0xFF000000u;
    argb[5] |= 0xFF000000u;
    IconEntry entry;
    entry.width = 3;
    entry.height = 2;
    entry.bitCount = 32;
    entry.data = makePngRgba(argb, 3, 2);
    const TDecodedImage image = DecodeIco(makeIco({entry}));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.transparent, (std::vector<uint8_t>{0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(image.pixels[0], colours(6, 6)[0]);
    EXPECT_EQ(image.pixels[5], colours(6, 6)[5]);

    entry.data.resize(entry.data.size() - 20);  // cut into the image data
    EXPECT_THROW_MSG(DecodeIco(makeIco({entry})), EInvalidGraphic, kInvalid);
}

TEST(IcoReader, MissingAndMaskMeansOpaque)
{
    const auto ico = makeIco({makeIconImage(4, 4, 24, colours(16, 7), {})});
    const TDecodedImage image = DecodeIco(ico);
    EXPECT_EQ(image.pixels, colours(16, 7));
    EXPECT_EQ(image.transparent, std::vector<uint8_t>(16, 0));
}

TEST(IcoReader, MalformedIconsAreInvalid)
{
    const auto good = makeIco({makeIconImage(4, 4, 24, colours(16, 8), kMask4)});
    // Everything up to the end of the colour rows is needed.
    const size_t colourEnd = 6 + 16 + 40 + 4 * 12;
    for (size_t length = 0; length < colourEnd; ++length) {
        SCOPED_TRACE(length);
        EXPECT_THROW_MSG(DecodeIco(std::span(good.data(), length)), EInvalidGraphic, kInvalid);
    }
    struct Patch {
        const char* what;
        size_t at;
        uint8_t value;
    };
    const Patch patches[] = {
        {"reserved word", 0, 1},
        {"cursor type", 2, 2},
        {"no images", 4, 0},
        {"entry size past the end", 6 + 8 + 1, 0x10},
        {"entry offset past the end", 6 + 12 + 1, 0x10},
        {"header size", 22, 200},
        {"odd doubled height", 22 + 8, 9},
        {"zero width", 22 + 4, 0},
        {"RLE compression", 22 + 16, 1},
        {"bit count 2", 22 + 14, 2},
    };
    for (const Patch& p : patches) {
        auto bytes = good;
        bytes[p.at] = p.value;
        SCOPED_TRACE(p.what);
        EXPECT_THROW_MSG(DecodeIco(bytes), EInvalidGraphic, kInvalid);
    }
    // A top-down image and a huge claimed size.
    auto topDown = good;
    topDown[22 + 8 + 3] = 0xFF;
    EXPECT_THROW_MSG(DecodeIco(topDown), EInvalidGraphic, kInvalid);
    auto huge = good;
    huge[22 + 4 + 2] = 0x01;  // width 65540
    EXPECT_THROW_MSG(DecodeIco(huge), EInvalidGraphic, kInvalid);
}

TEST(Icon, DrawLeavesMaskedPixelsAlone)
{
    const auto pixels = colours(16, 9);
    TempDir dir;
    const std::string path = dir.str() + "/a.ico";
    writeFile(path, makeIco({makeIconImage(4, 4, 24, pixels, kMask4)}));
    TIcon icon;
    icon.LoadFromFile(path);
    ASSERT_EQ(icon.Width(), 4);
    ASSERT_EQ(icon.Height(), 4);
    EXPECT_EQ(icon.TransparentMask(), kMask4);

    for (uint32_t rop : {cmSrcCopy, cmSrcAnd}) {
        TBitmap dest(5, 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                dest.ScanLine(y)[x] = 0x00A0B0C0u + static_cast<uint32_t>(x + 5 * y);
        dest.Canvas().CopyMode = rop;
        dest.Canvas().Draw(-1, 2, icon);  // clipped at the left and bottom
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                const uint32_t before = 0x00A0B0C0u + static_cast<uint32_t>(x + 5 * y);
                const int sx = x + 1, sy = y - 2;
                uint32_t expected = before;
                if (sx < 4 && sy >= 0 && sy < 4 && !kMask4[static_cast<size_t>(sy * 4 + sx)]) {
                    const uint32_t s = pixels[static_cast<size_t>(sy * 4 + sx)];
                    expected = rop == cmSrcCopy ? s : (before & s);
                }
                EXPECT_EQ(dest.ScanLine(y)[x], expected) << x << "," << y;
            }
    }

    // Stretched, the mask is stretched with it.
    TBitmap big(8, 8);
    big.Canvas().BrushColor = clBlack;
    big.Canvas().FillRect({0, 0, 8, 8});
    big.Canvas().StretchDraw({0, 0, 8, 8}, icon);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const size_t i = static_cast<size_t>((y / 2) * 4 + x / 2);
            EXPECT_EQ(big.ScanLine(y)[x], kMask4[i] ? 0u : pixels[i]) << x << "," << y;
        }
}

TEST(Icon, WithoutTransparentPixelsDrawsLikeABitmap)
{
    TempDir dir;
    const std::string path = dir.str() + "/b.ico";
    writeFile(path, makeIco({makeIconImage(2, 2, 24, colours(4, 10), {0, 0, 0, 0})}));
    TIcon icon;
    icon.LoadFromFile(path);
    EXPECT_TRUE(icon.TransparentMask().empty());
    TBitmap dest(2, 2);
    dest.Canvas().Draw(0, 0, icon);
    EXPECT_EQ(std::vector<uint32_t>(dest.Pixels(), dest.Pixels() + 4), colours(4, 10));
}
