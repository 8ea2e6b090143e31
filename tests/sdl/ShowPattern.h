// ShowPattern.h: the picture the test show presents, shared by the show
// helper and the tests that look at the screen.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Graphics.h"

namespace showpattern {

// Every pixel differs from its neighbours in each channel, so a shifted,
// mirrored or channel-swapped copy never matches.
inline uint32_t Pixel(int x, int y)
{
    const auto r = static_cast<uint32_t>((x * 7 + y) & 0xFF);
    const auto g = static_cast<uint32_t>((y * 5 + x * 3) & 0xFF);
    const auto b = static_cast<uint32_t>((x + y * 11) & 0xFF);
    return (r << 16) | (g << 8) | b;
}

constexpr int kTicks = 3;

// Tick k fills Presented(k) in the bitmap and presents only that rectangle;
// it also fills NotPresented(k), right beside it, without presenting it, and
// then puts the pattern back there.
inline TRect Presented(int k)
{
    return {10 + 60 * k, 20 + 10 * k, 50 + 60 * k, 50 + 10 * k};
}
inline TRect NotPresented(int k)
{
    const TRect p = Presented(k);
    return {p.Right, p.Top, p.Right + 8, p.Bottom};
}
inline uint32_t PresentedColor(int k)
{
    return 0xFF2000u + static_cast<uint32_t>(k) * 0x40u;
}
constexpr uint32_t kNotPresentedColor = 0x00FF00u;

// What the window shows once every tick has run.
inline std::vector<uint32_t> Expected(int width, int height)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = Pixel(x, y);
    for (int k = 0; k < kTicks; ++k) {
        const TRect r = Presented(k);
        for (int y = r.Top; y < r.Bottom && y < height; ++y)
            for (int x = r.Left; x < r.Right && x < width; ++x)
                pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = PresentedColor(k);
    }
    return pixels;
}

}  // namespace showpattern
