// Tests of metafile pictures through GDI: enhanced, placeable and plain
// Windows metafiles made here with GDI load at their own size with their
// colours on white; damaged files and oversized pictures are refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "config/CData.h"
#include "model/CCharactor.h"
#include "model/CSetting.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/TestSupport.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr uint32_t kRedPixel = 0xFF0000;
constexpr uint32_t kBluePixel = 0x0000FF;
constexpr uint32_t kWhitePixel = 0xFFFFFF;

// A rectangle filled with colour, in the DC's logical units, without an outline.
void fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    const HBRUSH brush = CreateSolidBrush(colour);
    const HGDIOBJ oldBrush = SelectObject(dc, brush);
    const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, left, top, right, bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
}

// An enhanced metafile whose frame is width x height hundredths of a
// millimetre: red over its left half, blue over the next quarter.
std::vector<uint8_t> makeEmf(int width, int height)
{
    const RECT frame{0, 0, width, height};
    const HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    if (dc == nullptr)
        return {};
    // In hundredths of a millimetre, y growing upwards.
    SetMapMode(dc, MM_HIMETRIC);
    fill(dc, 0, 0, width / 2 + 1, -height - 1, kRed);
    fill(dc, width / 2, 0, width * 3 / 4 + 1, -height - 1, kBlue);
    const HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    std::vector<uint8_t> bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteEnhMetaFile(metafile);
    return bytes;
}

// A Windows metafile with a window of 48 x 24 logical units, coloured as makeEmf's.
std::vector<uint8_t> makeWmf()
{
    const HDC dc = CreateMetaFileW(nullptr);
    if (dc == nullptr)
        return {};
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 48, 24, nullptr);
    fill(dc, 0, 0, 25, 25, kRed);
    fill(dc, 24, 0, 37, 25, kBlue);
    const HMETAFILE metafile = CloseMetaFile(dc);
    std::vector<uint8_t> bytes(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteMetaFile(metafile);
    return bytes;
}

// The Windows metafile behind a placeable header: its box in units of which
// `inch` make an inch.
std::vector<uint8_t> placeable(const std::vector<uint8_t>& wmf, int16_t right, int16_t bottom, uint16_t inch)
{
    const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, static_cast<uint16_t>(right), static_cast<uint16_t>(bottom),
                                inch, 0, 0};
    uint16_t checksum = 0;
    for (const uint16_t w : words)
        checksum ^= w;
    std::vector<uint8_t> bytes;
    for (const uint16_t w : words) {
        bytes.push_back(static_cast<uint8_t>(w));
        bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    bytes.push_back(static_cast<uint8_t>(checksum));
    bytes.push_back(static_cast<uint8_t>(checksum >> 8));
    bytes.insert(bytes.end(), wmf.begin(), wmf.end());
    return bytes;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(pathFromUtf8(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Points the work directory at dir while it lives.
struct WorkDirOverride {
    explicit WorkDirOverride(const std::string& dir) { setWorkDirOverride(dir); }
    ~WorkDirOverride() { setWorkDirOverride(std::nullopt); }
    WorkDirOverride(const WorkDirOverride&) = delete;
    WorkDirOverride& operator=(const WorkDirOverride&) = delete;
};

}  // namespace

// 1270 hundredths of a millimetre are 48 pixels at 96 per inch; 720 twips too.
TEST(Win32Metafile, EachKindLoadsAtItsSizeWithItsColoursOnWhite)
{
    const std::vector<uint8_t> emf = makeEmf(1270, 635);
    const std::vector<uint8_t> wmf = makeWmf();
    ASSERT_FALSE(emf.empty());
    ASSERT_FALSE(wmf.empty());
    TempDir dir;
    const struct {
        std::string name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"絵.emf", emf},
        {"絵.WMF", placeable(wmf, 720, 360, 1440)},
        {"plain.wmf", wmf},
        {"enhanced-named.wmf", emf},  // the content decides the kind
    };
    for (const auto& c : cases) {
        const std::string path = dir.str() + "\\" + c.name;
        writeFile(path, c.bytes);
        TPicture picture;
        ASSERT_NO_THROW(picture.LoadFromFile(path)) << c.name;
        const auto* metafile = dynamic_cast<const TMetafile*>(picture.Graphic());
        ASSERT_NE(metafile, nullptr) << c.name;
        ASSERT_EQ(metafile->Width(), 48) << c.name;
        ASSERT_EQ(metafile->Height(), 24) << c.name;
        const TBitmap& image = metafile->Image();
        for (const int y : {2, 12, 21}) {
            EXPECT_EQ(image.ScanLine(y)[4], kRedPixel) << c.name << " y " << y;
            EXPECT_EQ(image.ScanLine(y)[20], kRedPixel) << c.name << " y " << y;
            EXPECT_EQ(image.ScanLine(y)[27], kBluePixel) << c.name << " y " << y;
            EXPECT_EQ(image.ScanLine(y)[33], kBluePixel) << c.name << " y " << y;
            EXPECT_EQ(image.ScanLine(y)[40], kWhitePixel) << c.name << " y " << y;
            EXPECT_EQ(image.ScanLine(y)[47], kWhitePixel) << c.name << " y " << y;
        }

        // Drawn like a bitmap onto a canvas.
        TBitmap target(60, 30);
        target.Canvas().Draw(10, 5, *metafile);
        EXPECT_EQ(target.ScanLine(5 + 12)[10 + 4], kRedPixel) << c.name;
        EXPECT_EQ(target.ScanLine(5 + 12)[10 + 30], kBluePixel) << c.name;
        EXPECT_EQ(target.ScanLine(2)[2], kWhitePixel) << c.name;
    }
}

TEST(Win32Metafile, DamagedFilesAndOversizedPicturesAreRefused)
{
    const std::vector<uint8_t> emf = makeEmf(1270, 635);
    const std::vector<uint8_t> wmf = makeWmf();
    ASSERT_GT(emf.size(), 100u);
    ASSERT_GT(wmf.size(), 40u);
    const auto cut = [](const std::vector<uint8_t>& bytes, size_t size) {
        return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    };
    std::vector<uint8_t> badRecordSize = emf;
    badRecordSize[emf.size() - 16] = 3;  // the end record's size, no longer whole words

    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"text", std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}},
        {"enhanced header only", cut(emf, 88)},
        {"enhanced cut short", cut(emf, emf.size() - 4)},
        {"enhanced record size", badRecordSize},
        {"windows header only", cut(wmf, 18)},
        {"windows cut short", cut(wmf, wmf.size() - 2)},
        {"placeable without records", cut(placeable(wmf, 720, 360, 1440), 22)},
        {"placeable with inch 0", placeable(wmf, 720, 360, 0)},
        {"placeable empty box", placeable(wmf, 0, 360, 1440)},
        {"placeable too wide", placeable(wmf, 30000, 360, 96)},
        {"frame too wide", makeEmf(2540 * 200, 635)},                 // 19200 pixels
        {"too many pixels", makeEmf(2540 * 150, 2540 * 150)},         // 14400 x 14400
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW_MSG(DecodeMetafile(c.bytes), EInvalidGraphic, "メタファイルが不正です");
    }

    // Through the picture, which then holds nothing.
    TempDir dir;
    const std::string path = dir.str() + "\\壊れた.emf";
    writeFile(path, cut(emf, emf.size() / 2));
    TPicture picture;
    EXPECT_THROW_MSG(picture.LoadFromFile(path), EInvalidGraphic, "メタファイルが不正です");
    EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST(Win32Metafile, AShowTakesAMetafileBackgroundAndFrame)
{
    TempDir dir;
    const WorkDirOverride work(dir.str() + "\\work");
    const std::string path = dir.str() + "\\背景.emf";
    writeFile(path, makeEmf(1270, 635));

    TSetting setting;
    setting.setBackFile(path);
    const auto* back = dynamic_cast<const TMetafile*>(setting.getBackGraphic());
    ASSERT_NE(back, nullptr);
    TBitmap stretched(96, 48);
    stretched.Canvas().StretchDraw({0, 0, 96, 48}, *back);
    EXPECT_EQ(stretched.ScanLine(24)[20], kRedPixel);
    EXPECT_EQ(stretched.ScanLine(24)[60], kBluePixel);
    EXPECT_EQ(stretched.ScanLine(24)[90], kWhitePixel);

    // A transparent frame keys on its top-left colour, red: the mask lets the
    // scene through there only.
    TCharactor charactor;
    charactor.loadGraphic(0, path);
    ASSERT_NE(dynamic_cast<const TMetafile*>(charactor.getGraphic(0)), nullptr);
    const TBitmap* mask = charactor.getMask(0);
    ASSERT_NE(mask, nullptr);
    ASSERT_EQ(mask->Width(), 48);
    EXPECT_NE(mask->ScanLine(12)[4], kWhitePixel);
    EXPECT_EQ(mask->ScanLine(12)[30], kWhitePixel);
    EXPECT_EQ(mask->ScanLine(12)[44], kWhitePixel);
}
