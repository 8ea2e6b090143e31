// MetafileTest.cpp: enhanced, placeable and plain Windows metafiles written
// record by record load at their own size with their colours on white;
// damaged files, oversized pictures and too many records are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/MetafileFixtures.h"
#include "support/PictureFixtures.h"
#include "support/TestSupport.h"

namespace {

// Pixels well inside the shapes and the white beyond them: edges may be
// smoothed differently by each renderer.
void expectRedBlueWhite(const TBitmap& image, const std::string& name)
{
    for (const int y : {2, 12, 21}) {
        EXPECT_EQ(image.ScanLine(y)[4], kRedPixel) << name << " y " << y;
        EXPECT_EQ(image.ScanLine(y)[20], kRedPixel) << name << " y " << y;
        EXPECT_EQ(image.ScanLine(y)[27], kBluePixel) << name << " y " << y;
        EXPECT_EQ(image.ScanLine(y)[33], kBluePixel) << name << " y " << y;
        EXPECT_EQ(image.ScanLine(y)[40], kWhitePixel) << name << " y " << y;
        EXPECT_EQ(image.ScanLine(y)[47], kWhitePixel) << name << " y " << y;
    }
}

}  // namespace

TEST(Metafile, MetafilesAreReadable)
{
    EXPECT_TRUE(MetafilesReadable());
}

// 1270 hundredths of a millimetre are 48 pixels at 96 per inch; 720 twips too.
TEST(Metafile, EachKindLoadsAtItsSizeWithItsColoursOnWhite)
{
    const std::vector<uint8_t> emf = makeEnhancedMetafile();
    const std::vector<uint8_t> wmf = makeWindowsMetafile();
    TempDir dir;
    const struct {
        std::string name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"picture.emf", emf},
        {"picture.WMF", makePlaceable(wmf, 720, 360, 1440)},
        {"inches.wmf", makePlaceable(wmf, 1, 1, 4)},  // a box of a quarter inch: 24 x 24 pixels
        {"plain.wmf", wmf},
        {"enhanced-named.wmf", emf},  // the content decides the kind
        {"trailing.emf", [&] {
             std::vector<uint8_t> bytes = emf;
             bytes.insert(bytes.end(), 16, 0xEE);  // bytes after the end record are not played
             return bytes;
         }()},
    };
    for (const auto& c : cases) {
        const std::string path = dir.str() + "/" + c.name;
        writeFile(path, c.bytes);
        TPicture picture;
        ASSERT_NO_THROW(picture.LoadFromFile(path)) << c.name;
        const auto* metafile = dynamic_cast<const TMetafile*>(picture.Graphic());
        ASSERT_NE(metafile, nullptr) << c.name;
        if (c.name == "inches.wmf") {
            // The 48 x 24 window squeezed into 24 x 24 pixels.
            ASSERT_EQ(metafile->Width(), 24);
            ASSERT_EQ(metafile->Height(), 24);
            EXPECT_EQ(metafile->Image().ScanLine(12)[4], kRedPixel);
            EXPECT_EQ(metafile->Image().ScanLine(12)[15], kBluePixel);
            EXPECT_EQ(metafile->Image().ScanLine(12)[22], kWhitePixel);
            continue;
        }
        ASSERT_EQ(metafile->Width(), 48) << c.name;
        ASSERT_EQ(metafile->Height(), 24) << c.name;
        expectRedBlueWhite(metafile->Image(), c.name);

        // Drawn like a bitmap onto a canvas.
        TBitmap target(60, 30);
        target.Canvas().Draw(10, 5, *metafile);
        EXPECT_EQ(target.ScanLine(5 + 12)[10 + 4], kRedPixel) << c.name;
        EXPECT_EQ(target.ScanLine(5 + 12)[10 + 30], kBluePixel) << c.name;
        EXPECT_EQ(target.ScanLine(5 + 12)[10 + 44], kWhitePixel) << c.name;
    }
}

TEST(Metafile, DamagedFilesAndOversizedPicturesAreRefused)
{
    for (const BadMetafile& bad : badMetafiles()) {
        SCOPED_TRACE(bad.what);
        EXPECT_THROW_MSG(DecodeMetafile(bad.bytes), EInvalidGraphic, "メタファイルが不正です");
    }

    // Through the picture, which then holds nothing.
    TempDir dir;
    const std::string path = dir.str() + "/broken.emf";
    const std::vector<uint8_t> emf = makeEnhancedMetafile();
    writeFile(path, std::vector<uint8_t>(emf.begin(), emf.begin() + static_cast<std::ptrdiff_t>(emf.size() / 2)));
    TPicture picture;
    EXPECT_THROW_MSG(picture.LoadFromFile(path), EInvalidGraphic, "メタファイルが不正です");
    EXPECT_EQ(picture.Graphic(), nullptr);
}

// Half a million records and one more are refused before any is played; as
// many minus one, all harmless, still make a picture.
TEST(Metafile, TooManyRecordsAreRefused)
{
    const std::vector<uint8_t> wmf = makeWindowsMetafile();
    const auto padded = [&](size_t extraRecords) {
        // The window records, then extra records that set the map mode.
        ByteWriter out;
        out.append(std::vector<uint8_t>(wmf.begin(), wmf.end() - 6));
        for (size_t i = 0; i < extraRecords; ++i) {
            out.u32(4);
            out.u16(0x0103);
            out.u16(8);
        }
        out.u32(3);
        out.u16(0);
        const uint32_t words = static_cast<uint32_t>(out.bytes.size() / 2);
        for (int i = 0; i < 4; ++i)
            out.bytes[6 + static_cast<size_t>(i)] = static_cast<uint8_t>(words >> (8 * i));
        return out.bytes;
    };
    constexpr size_t kWindowRecords = 15;
    constexpr size_t kLimit = 500000;
    EXPECT_THROW_MSG(DecodeMetafile(padded(kLimit + 1 - kWindowRecords)), EInvalidGraphic, "メタファイルが不正です");
    const TDecodedImage image = DecodeMetafile(padded(kLimit - kWindowRecords));
    EXPECT_EQ(image.width, 48);
    EXPECT_EQ(image.height, 24);
}
