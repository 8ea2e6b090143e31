// BmpTest.cpp: the bitmap reader over every depth, compression and header,
// its refusals of malformed files, and the 24-bit writer.
#include <gtest/gtest.h>

#include "support/PictureFixtures.h"
#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"
#include "support/TestSupport.h"

namespace {

const std::string kInvalid = "ビットマップイメージが不正です";

std::vector<uint32_t> grey16Palette()
{
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < 16; ++i)
        p.push_back(0x00010203u * (i + 1));
    return p;
}

std::vector<uint32_t> ramp256Palette()
{
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < 256; ++i)
        p.push_back((i << 16) | ((255 - i) << 8) | (i ^ 0x5A));
    return p;
}

// Expands a 5-bit channel as the reader does.
uint32_t expand5(uint32_t v)
{
    return (v * 255 + 15) / 31;
}

uint32_t expand6(uint32_t v)
{
    return (v * 255 + 31) / 63;
}

std::vector<uint32_t> decode(const std::vector<uint8_t>& file)
{
    return DecodeBmp(file).pixels;
}

}  // namespace

TEST(BmpReader, EveryDepthBottomUpAndTopDown)
{
    const int w = 7, h = 3;  // odd widths exercise the row padding
    struct Case {
        uint16_t bitCount;
        std::vector<uint32_t> palette;
        uint32_t (*value)(int x, int y);          // what is stored
        uint32_t (*expected)(uint32_t stored, const std::vector<uint32_t>& palette);
    };
    const Case cases[] = {
        {1, {0x00102030, 0x00F0E0D0}, [](int x, int y) { return static_cast<uint32_t>((x + y) & 1); },
         [](uint32_t v, const std::vector<uint32_t>& p) { return p[v]; }},
        {4, grey16Palette(), [](int x, int y) { return static_cast<uint32_t>((x * 3 + y * 5) % 16); },
         [](uint32_t v, const std::vector<uint32_t>& p) { return p[v]; }},
        {8, ramp256Palette(), [](int x, int y) { return static_cast<uint32_t>((x * 37 + y * 91) % 256); },
         [](uint32_t v, const std::vector<uint32_t>& p) { return p[v]; }},
        {16, {}, [](int x, int y) { return static_cast<uint32_t>((x * 1234 + y * 4321) & 0x7FFF); },
         [](uint32_t v, const std::vector<uint32_t>&) {
             return (expand5((v >> 10) & 31) << 16) | (expand5((v >> 5) & 31) << 8) | expand5(v & 31);
         }},
        {24, {}, [](int x, int y) { return static_cast<uint32_t>((x * 0x10305 + y * 0x70B0D) & 0xFFFFFF); },
         [](uint32_t v, const std::vector<uint32_t>&) { return v; }},
        {32, {}, [](int x, int y) { return static_cast<uint32_t>(0xA5000000u | ((x * 0x10305 + y * 0x70B0D) & 0xFFFFFF)); },
         [](uint32_t v, const std::vector<uint32_t>&) { return v & 0xFFFFFF; }},
    };
    for (const Case& c : cases) {
        for (bool topDown : {false, true}) {
            std::vector<uint32_t> stored, expected;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    stored.push_back(c.value(x, y));
                    expected.push_back(c.expected(stored.back(), c.palette));
                }
            DibFixture dib;
            dib.width = w;
            dib.height = topDown ? -h : h;
            dib.bitCount = c.bitCount;
            dib.palette = c.palette;
            dib.pixelData = packRows(stored, w, h, c.bitCount, topDown);
            const TDecodedImage image = DecodeBmp(makeBmp(dib));
            EXPECT_EQ(image.width, w);
            EXPECT_EQ(image.height, h);
            EXPECT_EQ(image.pixels, expected) << c.bitCount << " bits, top-down " << topDown;
        }
    }
}

TEST(BmpReader, HeaderVariants)
{
    // The same 8-bit picture behind the old OS/2 header, an OS/2 2.x header
    // and the longer Windows headers.
    const std::vector<uint32_t> palette = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00123456};
    const std::vector<uint32_t> indices = {0, 1, 2, 3, 3, 2, 1, 0};
    std::vector<uint32_t> expected;
    for (uint32_t i : indices)
        expected.push_back(palette[i]);
    for (uint32_t headerSize : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        DibFixture dib;
        dib.width = 4;
        dib.height = 2;
        dib.bitCount = 8;
        dib.headerSize = headerSize;
        dib.palette = palette;
        dib.colorsUsed = headerSize == 12 || headerSize == 16 ? 0 : 4;
        dib.pixelData = packRows(indices, 4, 2, 8);
        EXPECT_EQ(decode(makeBmp(dib)), expected) << "header " << headerSize;
    }
}

TEST(BmpReader, OldOs2HeaderWithTrueColour)
{
    DibFixture dib;
    dib.headerSize = 12;
    dib.width = 2;
    dib.height = 2;
    dib.bitCount = 24;
    const std::vector<uint32_t> pixels = {0x00010203, 0x00040506, 0x00070809, 0x000A0B0C};
    dib.pixelData = packRows(pixels, 2, 2, 24);
    EXPECT_EQ(decode(makeBmp(dib)), pixels);
}

TEST(BmpReader, BitFields)
{
    struct Case {
        uint16_t bitCount;
        uint32_t headerSize;
        std::array<uint32_t, 3> masks;
        uint32_t stored;
        uint32_t expected;
    };
    const Case cases[] = {
        // 5-6-5, masks after a 40-byte header and inside the longer headers
        {16, 40, {0xF800, 0x07E0, 0x001F}, (31u << 11) | (32u << 5) | 1u, (255u << 16) | (expand6(32) << 8) | expand5(1)},
        {16, 56, {0xF800, 0x07E0, 0x001F}, (1u << 11) | (63u << 5) | 31u, (expand5(1) << 16) | (255u << 8) | 255u},
        {16, 124, {0x7C00, 0x03E0, 0x001F}, (16u << 10) | (8u << 5) | 4u, (expand5(16) << 16) | (expand5(8) << 8) | expand5(4)},
        // 32 bits with the channels in an unusual order, and 10-bit channels
        {32, 40, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00AABBCC, 0x00CCBBAA},
        {32, 108, {0x3FF00000, 0x000FFC00, 0x000003FF}, (0x3FFu << 20) | (0x200u << 10) | 0x004u, 0x00FF8001},
        // a channel without bits reads 0
        {16, 40, {0x7C00, 0x0000, 0x001F}, 0x7FFF, 0x00FF00FF},
    };
    for (const Case& c : cases) {
        DibFixture dib;
        dib.width = 1;
        dib.height = 1;
        dib.bitCount = c.bitCount;
        dib.compression = 3;
        dib.headerSize = c.headerSize;
        dib.masks = c.masks;
        dib.pixelData = packRows({c.stored}, 1, 1, c.bitCount);
        EXPECT_EQ(decode(makeBmp(dib)), std::vector<uint32_t>{c.expected})
            << c.bitCount << " bits, header " << c.headerSize << ", stored " << std::hex << c.stored;
    }
}

TEST(BmpReader, Rle8RunsLiteralsLinesDeltasAndEnd)
{
    const std::vector<uint32_t> palette = {0x00111111, 0x00FF0000, 0x0000FF00, 0x000000FF};
    DibFixture dib;
    dib.width = 4;
    dib.height = 3;
    dib.bitCount = 8;
    dib.compression = 1;
    dib.palette = palette;
    dib.colorsUsed = 4;
    dib.pixelData = {
        0x0A, 0x01, 0x00, 0x00,              // bottom row: a run longer than the row is cut; end of line
        0x00, 0x03, 0x02, 0x03, 0x09, 0x00,  // literal 2, 3 and 9 (past the palette: black), padded
        0x01, 0x02, 0x00, 0x00,              // one more 2; end of line
        0x00, 0x02, 0x01, 0x00,              // top row: move right 1
        0x02, 0x03, 0x00, 0x01,              // two 3s; end of bitmap
    };
    const uint32_t p0 = palette[0], p1 = palette[1], p2 = palette[2], p3 = palette[3];
    const std::vector<uint32_t> expected = {
        p0, p3, p3, p0,          // skipped pixels keep colour 0
        p2, p3, 0x000000, p2,
        p1, p1, p1, p1,
    };
    const auto bmp = makeBmp(dib);
    EXPECT_EQ(decode(bmp), expected);

    // Cut anywhere before its end-of-bitmap mark, the file is incomplete.
    for (size_t length = 0; length < bmp.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_THROW_MSG(DecodeBmp(std::span(bmp.data(), length)), EInvalidGraphic, kInvalid);
    }
}

TEST(BmpReader, Rle4NibbleRunsAndLiterals)
{
    DibFixture dib;
    dib.width = 5;
    dib.height = 2;
    dib.bitCount = 4;
    dib.compression = 2;
    dib.palette = grey16Palette();
    dib.pixelData = {
        0x05, 0x12, 0x00, 0x00,  // bottom row: 1 2 1 2 1
        0x00, 0x03, 0x34, 0x50,  // top row: literal 3 4 5, padded to a word
        0x02, 0x66,              // 6 6
        // no end-of-bitmap: every row is complete, which is enough
    };
    const auto& p = dib.palette;
    EXPECT_EQ(decode(makeBmp(dib)), (std::vector<uint32_t>{p[3], p[4], p[5], p[6], p[6], p[1], p[2], p[1], p[2], p[1]}));
}

TEST(BmpReader, RleDeltaPastThePictureIsHarmless)
{
    DibFixture dib;
    dib.width = 2;
    dib.height = 2;
    dib.bitCount = 8;
    dib.compression = 1;
    dib.palette = {0x000001, 0x000002};
    dib.pixelData = {0x00, 0x02, 0xFF, 0x00, 0x05, 0x01, 0x00, 0x02, 0x00, 0xFF, 0x03, 0x01, 0x00, 0x01};
    EXPECT_EQ(decode(makeBmp(dib)), (std::vector<uint32_t>(4, 0x000001)));
}

TEST(BmpReader, PaletteShortenedByThePixelOffset)
{
    // Two palette entries stated through where the pixels start: index 2 and
    // 3 read black.
    DibFixture dib;
    dib.width = 4;
    dib.height = 1;
    dib.bitCount = 8;
    dib.palette = {0x00AAAAAA, 0x00BBBBBB};
    dib.pixelData = {0, 1, 2, 3};
    EXPECT_EQ(decode(makeBmp(dib)), (std::vector<uint32_t>{0x00AAAAAA, 0x00BBBBBB, 0, 0}));
    // A pixel offset of 0 (some writers) means right after the palette.
    dib.colorsUsed = 2;
    EXPECT_EQ(decode(makeBmp(dib, 0)), (std::vector<uint32_t>{0x00AAAAAA, 0x00BBBBBB, 0, 0}));
}

TEST(BmpReader, TruncatedFileIsInvalid)
{
    DibFixture dib;
    dib.width = 3;
    dib.height = 2;
    dib.bitCount = 24;
    dib.pixelData = packRows({1, 2, 3, 4, 5, 6}, 3, 2, 24);
    const auto bmp = makeBmp(dib);
    // The last row may go without its 3 bytes of padding; nothing else may be missing.
    for (size_t length = 0; length < bmp.size() - 3; ++length) {
        SCOPED_TRACE(length);
        EXPECT_THROW_MSG(DecodeBmp(std::span(bmp.data(), length)), EInvalidGraphic, kInvalid);
    }
    for (size_t length = bmp.size() - 3; length <= bmp.size(); ++length)
        EXPECT_EQ(DecodeBmp(std::span(bmp.data(), length)).pixels, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
}

TEST(BmpReader, MalformedHeadersAreInvalid)
{
    auto base = [] {
        DibFixture dib;
        dib.width = 2;
        dib.height = 2;
        dib.bitCount = 24;
        dib.pixelData = packRows({1, 2, 3, 4}, 2, 2, 24);
        return dib;
    };
    struct Case {
        const char* what;
        DibFixture dib;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change) {
        DibFixture dib = base();
        change(dib);
        cases.push_back({what, dib});
    };
    add("zero width", [](DibFixture& d) { d.width = 0; });
    add("negative width", [](DibFixture& d) { d.width = -2; });
    add("zero height", [](DibFixture& d) { d.height = 0; });
    add("rows claimed but missing", [](DibFixture& d) { d.height = 1000; });
    add("huge rows claimed", [](DibFixture& d) { d.width = 16384; d.height = -16384; });
    add("side above the limit", [](DibFixture& d) { d.width = 16385; d.height = 1; });
    add("too many pixels", [](DibFixture& d) { d.width = 8001; d.height = 8000; });
    add("most negative height", [](DibFixture& d) { d.height = INT32_MIN; });
    add("bit count 2", [](DibFixture& d) { d.bitCount = 2; });
    add("bit count 0", [](DibFixture& d) { d.bitCount = 0; });
    add("embedded JPEG", [](DibFixture& d) { d.compression = 4; });
    add("embedded PNG", [](DibFixture& d) { d.compression = 5; });
    add("unknown compression", [](DibFixture& d) { d.compression = 77; });
    add("RLE8 at 24 bits", [](DibFixture& d) { d.compression = 1; });
    add("RLE4 at 8 bits", [](DibFixture& d) { d.compression = 2; d.bitCount = 8; });
    add("top-down RLE", [](DibFixture& d) { d.compression = 1; d.bitCount = 8; d.height = -2; });
    add("bit fields at 24 bits", [](DibFixture& d) { d.compression = 3; d.masks = {0xFF0000, 0xFF00, 0xFF}; });
    add("overlapping masks", [](DibFixture& d) {
        d.compression = 3; d.bitCount = 32; d.masks = {0xFF0000, 0x01FF00, 0xFF};
        d.pixelData = packRows({1, 2, 3, 4}, 2, 2, 32);
    });
    add("mask with a gap", [](DibFixture& d) {
        d.compression = 3; d.bitCount = 32; d.masks = {0xF0F000, 0xFF00, 0xFF};
        d.pixelData = packRows({1, 2, 3, 4}, 2, 2, 32);
    });
    add("16-bit mask wider than the pixel", [](DibFixture& d) {
        d.compression = 3; d.bitCount = 16; d.masks = {0x1F0000, 0x07E0, 0x1F};
    });
    add("no mask bits at all", [](DibFixture& d) {
        d.compression = 3; d.bitCount = 16; d.masks = {0, 0, 0};
    });
    add("unknown header size", [](DibFixture& d) { d.headerSize = 200; });
    add("header too short", [](DibFixture& d) { d.headerSize = 8; });
    add("OS/2 2.x Huffman", [](DibFixture& d) { d.headerSize = 64; d.compression = 3; d.bitCount = 1; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW_MSG(DecodeBmp(makeBmp(c.dib)), EInvalidGraphic, kInvalid);
    }

    auto bmp = makeBmp(base());
    bmp[0] = 'X';
    EXPECT_THROW_MSG(DecodeBmp(bmp), EInvalidGraphic, kInvalid);
    EXPECT_THROW_MSG(DecodeBmp(makeBmp(base(), 100000)), EInvalidGraphic, kInvalid);  // pixels past the end
    EXPECT_THROW_MSG(DecodeBmp(std::vector<uint8_t>{}), EInvalidGraphic, kInvalid);
}

TEST(BmpReader, SizeLimits)
{
    EXPECT_TRUE(PictureIO::sizeAllowed(16384, 1));
    EXPECT_TRUE(PictureIO::sizeAllowed(8000, 8000));
    EXPECT_FALSE(PictureIO::sizeAllowed(8000, 8001));
    EXPECT_FALSE(PictureIO::sizeAllowed(1, 16385));
    EXPECT_FALSE(PictureIO::sizeAllowed(0, 1));
    // A one-row RLE picture at the widest allowed side decodes.
    DibFixture dib;
    dib.width = 16384;
    dib.height = 1;
    dib.bitCount = 8;
    dib.compression = 1;
    dib.palette = {0x00ABCDEF};
    dib.pixelData = {0x00, 0x01};
    const TDecodedImage image = DecodeBmp(makeBmp(dib));
    EXPECT_EQ(image.width, 16384);
    EXPECT_EQ(image.pixels.back(), 0x00ABCDEFu);
}

TEST(BmpWriter, TwentyFourBitsRoundTrip)
{
    TBitmap bitmap(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            bitmap.ScanLine(y)[x] = static_cast<uint32_t>(0x00102030 * (x + 1) + 0x00010101 * y) & 0xFFFFFF;
    const std::vector<uint8_t> bytes = EncodeBmp24(bitmap);
    ASSERT_EQ(bytes.size(), 14u + 40u + 2 * 12u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 24);      // bits per pixel
    EXPECT_EQ(bytes[22], 2);       // positive height: bottom-up
    EXPECT_EQ(bytes[10], 54);      // pixels right after the headers
    EXPECT_EQ(bytes[2], bytes.size());
    // The bottom row comes first, blue first.
    EXPECT_EQ(bytes[54], static_cast<uint8_t>(bitmap.ScanLine(1)[0]));
    EXPECT_EQ(bytes[56], static_cast<uint8_t>(bitmap.ScanLine(1)[0] >> 16));

    TempDir dir;
    const std::string path = dir.str() + "/out.bmp";
    bitmap.SaveToFile(path);
    TBitmap loaded;
    loaded.LoadFromFile(path);
    ASSERT_EQ(loaded.Width(), 3);
    ASSERT_EQ(loaded.Height(), 2);
    EXPECT_TRUE(std::equal(bitmap.Pixels(), bitmap.Pixels() + 6, loaded.Pixels()));
}

TEST(BmpReader, LoadFromStreamReadsFromThePosition)
{
    DibFixture dib;
    dib.width = 1;
    dib.height = 1;
    dib.pixelData = packRows({0x00C0FFEE}, 1, 1, 24);
    std::vector<uint8_t> bytes = {9, 9, 9};
    const auto bmp = makeBmp(dib);
    bytes.insert(bytes.end(), bmp.begin(), bmp.end());
    TMemoryStream stream(bytes);
    stream.SetPosition(3);
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    EXPECT_EQ(bitmap.Canvas().Pixel(0, 0), PixelToColor(0x00C0FFEE));
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(bytes.size()));
}
