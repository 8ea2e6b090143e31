// IcoBlendTest.cpp: 32-bit icons with soft alpha drawn blended onto white,
// checked against ImageMagick's own decoder and compositing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/Graphics.h"
#include "support/PictureFixtures.h"
#include "support/TestSupport.h"

namespace {

// The icon's pixels as ImageMagick composes them onto white, 8 bits a channel.
std::vector<uint8_t> composedByImageMagick(const std::string& icon, const std::string& out)
{
    const std::string command =
        "convert '" + icon + "' -background white -alpha remove -alpha off -depth 8 'rgb:" + out + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    std::ifstream in(out, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(Icon, SoftAlphaIsBlendedOntoWhiteAsAnIndependentDecoderDoes)
{
    constexpr int kSize = 16;
    std::vector<uint32_t> argb;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const uint32_t alpha = static_cast<uint32_t>(x * 17);  // 0 .. 255 across each row
            const uint32_t rgb = (static_cast<uint32_t>(y * 16) << 16) | (static_cast<uint32_t>(255 - y * 13) << 8)
                                 | static_cast<uint32_t>((x * 7 + y * 11) & 0xFF);
            argb.push_back(alpha << 24 | rgb);
        }
    TempDir dir;
    const std::string path = dir.str() + "/soft.ico";
    writeFile(path, makeIco({makeIconImage(kSize, kSize, 32, argb, std::vector<uint8_t>(kSize * kSize, 0))}));

    TIcon icon;
    icon.LoadFromFile(path);
    TBitmap frame(kSize, kSize);
    frame.Canvas().BrushColor = clWhite;
    frame.Canvas().FillRect({0, 0, kSize, kSize});
    frame.Canvas().Draw(0, 0, icon);

    const std::vector<uint8_t> expected = composedByImageMagick(path, dir.str() + "/soft.rgb");
    ASSERT_EQ(expected.size(), static_cast<size_t>(kSize * kSize * 3)) << "ImageMagick's convert did not run";
    int worst = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const uint32_t ours = frame.ScanLine(y)[x];
            const uint8_t* theirs = &expected[static_cast<size_t>((y * kSize + x) * 3)];
            const int channels[3][2] = {{static_cast<int>((ours >> 16) & 0xFF), theirs[0]},
                                        {static_cast<int>((ours >> 8) & 0xFF), theirs[1]},
                                        {static_cast<int>(ours & 0xFF), theirs[2]}};
            for (const auto& [a, b] : channels)
                worst = std::max(worst, std::abs(a - b));
        }
    // Rounding of the blend may differ by one step.
    EXPECT_LE(worst, 1);
    // Half-transparent pixels are neither the icon's colour nor white.
    const uint32_t half = frame.ScanLine(0)[8];
    EXPECT_NE(half, argb[8] & 0xFFFFFF);
    EXPECT_NE(half, 0xFFFFFFu);
}
