// PictureTest.cpp: the picture holder's choice of format by extension, its
// error texts, and PNG writing and reading.
#include <gtest/gtest.h>

#include <cstring>

#ifdef _WIN32
// libjpeg's message numbers, which the Windows reader reports too.
constexpr int JERR_INPUT_EMPTY = 42;
constexpr int JERR_NO_SOI = 53;
#else
#include <jerror.h>
#endif

#include "support/PictureFixtures.h"
#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/TestSupport.h"

namespace {

std::vector<uint8_t> tinyBmp()
{
    DibFixture dib;
    dib.width = 2;
    dib.height = 1;
    dib.pixelData = packRows({0x00112233, 0x00445566}, 2, 1, 24);
    return makeBmp(dib);
}

std::vector<uint8_t> tinyIco()
{
    return makeIco({makeIconImage(2, 1, 24, {0x00112233, 0x00445566}, {0, 1})});
}

std::vector<uint8_t> tinyJpeg()
{
    return makeJpeg(std::vector<uint32_t>(64, 0x00808080), 8, 8);
}

}  // namespace

TEST(Picture, FormatFollowsTheExtensionInAnyCase)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* kind;
    };
    const Case cases[] = {
        {"a.bmp", tinyBmp(), "bmp"},   {"b.BMP", tinyBmp(), "bmp"},     {"c.Bmp", tinyBmp(), "bmp"},
        {"d.jpg", tinyJpeg(), "jpeg"}, {"e.JPEG", tinyJpeg(), "jpeg"}, {"f.jpeg", tinyJpeg(), "jpeg"},
        {"g.ico", tinyIco(), "ico"},   {"h.x.ICO", tinyIco(), "ico"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.str() + "/" + c.name;
        writeFile(path, c.bytes);
        TPicture picture;
        picture.LoadFromFile(path);
        const TGraphic* g = picture.Graphic();
        ASSERT_NE(g, nullptr) << c.name;
        const std::string kind = c.kind;
        EXPECT_EQ(dynamic_cast<const TBitmap*>(g) != nullptr, kind == "bmp") << c.name;
        EXPECT_EQ(dynamic_cast<const TJPEGImage*>(g) != nullptr, kind == "jpeg") << c.name;
        EXPECT_EQ(dynamic_cast<const TIcon*>(g) != nullptr, kind == "ico") << c.name;
    }
}

TEST(Picture, UnknownExtensionsAndMetafilesAreRefused)
{
    TempDir dir;
    const struct {
        const char* name;
        const char* extension;
        bool metafile;
    } cases[] = {
        {"a.png", "png", false}, {"b.wmf", "wmf", true}, {"c.EMF", "EMF", true}, {"d.gif", "gif", false},
        {"noextension", "", false}, {"dir.with.dot/file", "", false}, {"e.", "", false},
    };
    std::filesystem::create_directory(dir.path() / "dir.with.dot");
    for (const auto& c : cases) {
        const std::string path = dir.str() + "/" + c.name;
        writeFile(path, tinyBmp());
        TPicture picture;
        // Where metafiles are drawn (Windows), a bitmap named .wmf is a bad metafile.
        const std::string expected = c.metafile && MetafilesReadable()
            ? std::string("メタファイルが不正です")
            : std::string("拡張子 .") + c.extension + " の画像形式は処理できません";
        EXPECT_THROW_MSG(picture.LoadFromFile(path), EInvalidGraphic, expected);
        EXPECT_EQ(picture.Graphic(), nullptr);
    }
}

TEST(Picture, ContentsTheFormatCannotReadRaiseItsText)
{
    TempDir dir;
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string message;
    } cases[] = {
        {"a.bmp", tinyJpeg(), "ビットマップイメージが不正です"},
        {"b.ico", tinyBmp(), "アイコンイメージが不正です"},
        {"c.jpg", tinyBmp(), "JPEG エラー #" + std::to_string(JERR_NO_SOI)},
        {"d.bmp", {}, "ビットマップイメージが不正です"},
        {"e.jpeg", {}, "JPEG エラー #" + std::to_string(JERR_INPUT_EMPTY)},
    };
    for (const auto& c : cases) {
        const std::string path = dir.str() + "/" + c.name;
        writeFile(path, c.bytes);
        TPicture picture;
        EXPECT_THROW_MSG(picture.LoadFromFile(path), EInvalidGraphic, c.message);
        EXPECT_EQ(picture.Graphic(), nullptr);
    }
}

TEST(Picture, FailedLoadLeavesNoGraphic)
{
    TempDir dir;
    const std::string good = dir.str() + "/good.bmp", bad = dir.str() + "/bad.bmp";
    writeFile(good, tinyBmp());
    writeFile(bad, {'B', 'M'});
    TPicture picture;
    picture.LoadFromFile(good);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Graphic()->Width(), 2);
    EXPECT_THROW(picture.LoadFromFile(bad), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), nullptr);
    const std::string missing = dir.str() + "/missing.bmp";
    EXPECT_THROW_MSG(picture.LoadFromFile(missing), EFOpenError, "ファイル " + missing + " は開けません");
    EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST(Png, WriteThenReadBack)
{
    TBitmap bitmap(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            bitmap.ScanLine(y)[x] = static_cast<uint32_t>(0x00123456 * (x + 3 * y + 1)) & 0xFFFFFF;
    TempDir dir;
    const std::string path = dir.str() + "/out.png";
    SavePng(bitmap, path);
    TBitmap loaded;
    LoadPng(path, loaded);
    ASSERT_EQ(loaded.Width(), 3);
    ASSERT_EQ(loaded.Height(), 2);
    EXPECT_TRUE(std::equal(bitmap.Pixels(), bitmap.Pixels() + 6, loaded.Pixels()));
    const std::string badPath = dir.str() + "/no/such/dir.png";
    EXPECT_THROW(SavePng(bitmap, badPath), EFCreateError);
}

TEST(Png, InvalidFiles)
{
    const auto png = makePngRgba(std::vector<uint32_t>(16, 0xFF00FF00), 4, 4);
    EXPECT_EQ(DecodePng(png).pixels, std::vector<uint32_t>(16, 0x0000FF00));
    for (size_t length : {size_t{0}, size_t{8}, size_t{30}, png.size() - 13})
        EXPECT_THROW_MSG(DecodePng(std::span(png.data(), length)), EInvalidGraphic, "PNG イメージが不正です");
    // A header claiming far more rows than the file could hold.
    auto lying = png;
    lying[16] = 0x00, lying[17] = 0x00, lying[18] = 0x40, lying[19] = 0x00;  // width 16384
    lying[20] = 0x00, lying[21] = 0x00, lying[22] = 0x0F, lying[23] = 0x00;  // height 3840
    EXPECT_THROW_MSG(DecodePng(lying), EInvalidGraphic, "PNG イメージが不正です");
}

TEST(Picture, SetGraphicTakesAGraphic)
{
    TPicture picture;
    auto bitmap = std::make_unique<TBitmap>(3, 4);
    const TBitmap* raw = bitmap.get();
    picture.SetGraphic(std::move(bitmap));
    EXPECT_EQ(picture.Graphic(), raw);
    EXPECT_EQ(picture.Graphic()->Height(), 4);
    picture.SetGraphic(nullptr);
    EXPECT_EQ(picture.Graphic(), nullptr);
}
