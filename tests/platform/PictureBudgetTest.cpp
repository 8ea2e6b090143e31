// PictureBudgetTest.cpp: every picture reader charges its decoded size to the
// show's budget before it allocates the pixels, and refuses past it.
#include <gtest/gtest.h>

#include <functional>

#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/MetafileFixtures.h"
#include "support/PictureFixtures.h"

namespace {

struct Reader {
    const char* format;
    std::function<TDecodedImage(std::span<const uint8_t>)> decode;
    std::vector<uint8_t> bytes;
    int64_t width;
    int64_t height;
};

std::vector<Reader> readers()
{
    TBitmap bitmap(6, 4);
    std::vector<uint32_t> pixels(7 * 5, 0x336699);
    return {
        {"BMP", DecodeBmp, EncodeBmp24(bitmap), 6, 4},
        {"ICO", DecodeIco, makeIco({makeIconImage(4, 4, 24, std::vector<uint32_t>(16, 0x102030), std::vector<uint8_t>(16, 0))}), 4, 4},
        {"ICO with a PNG image", DecodeIco, makeIco({IconEntry{5, 3, 32, EncodePng(TBitmap(5, 3))}}), 5, 3},
        {"JPEG", DecodeJpeg, makeJpeg(pixels, 7, 5), 7, 5},
        {"EMF", DecodeMetafile, makeEnhancedMetafile(), 48, 24},
        {"WMF", DecodeMetafile, makeWindowsMetafile(), 48, 24},
        {"placeable WMF", DecodeMetafile, makePlaceable(makeWindowsMetafile(), 96, 48, 96), 96, 48},
    };
}

}  // namespace

TEST(PictureBudget, EveryFormatIsChargedItsDecodedSizeAndRefusedPastTheBudget)
{
    for (const Reader& r : readers()) {
        SCOPED_TRACE(r.format);
        const int64_t size = r.width * r.height * 4;
        {
            TPictureBudget exact(size);
            const TDecodedImage image = r.decode(r.bytes);
            EXPECT_EQ(image.width, r.width);
            EXPECT_EQ(image.height, r.height);
            EXPECT_EQ(exact.Used(), size);
        }
        {
            TPictureBudget short_(size - 1);
            try {
                r.decode(r.bytes);
                ADD_FAILURE() << "decoded past the budget";
            } catch (const EShowTooLarge& e) {
                EXPECT_EQ(e.Message(), "データが大きすぎるため、開くことが出来ません。");
                EXPECT_NE(e.Limit().find("MiB decoded"), std::string::npos) << e.Limit();
            }
            EXPECT_EQ(short_.Used(), 0) << "a refused picture takes nothing";
        }
    }
}

TEST(PictureBudget, PicturesAddUpAndOnlyTheInnermostBudgetCounts)
{
    const std::vector<uint8_t> bmp = EncodeBmp24(TBitmap(10, 10));  // 400 bytes decoded
    TPictureBudget outer(1000);
    DecodeBmp(bmp);
    DecodeBmp(bmp);
    EXPECT_EQ(outer.Used(), 800);
    EXPECT_THROW(DecodeBmp(bmp), EShowTooLarge);
    {
        TPictureBudget inner(400);
        DecodeBmp(bmp);
        EXPECT_THROW(DecodeBmp(bmp), EShowTooLarge);
    }
    EXPECT_EQ(outer.Used(), 800);
}

TEST(PictureBudget, WithoutABudgetOnlyThePicturesOwnLimitsHold)
{
    const std::vector<uint8_t> bmp = EncodeBmp24(TBitmap(10, 10));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(DecodeBmp(bmp).width, 10);
}
