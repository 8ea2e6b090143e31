// Raster.cpp: the row loops of the raster operations. Plain loops without
// branches or calls per pixel, so the compiler vectorises them (this file is
// built with vectorisation on in every build type).
#include "platform/Raster.h"

#include <algorithm>
#include <cstring>

#include "platform/Graphics.h"

namespace Raster {

void CopyRow(uint32_t* __restrict dest, const uint32_t* __restrict src, size_t count)
{
    if (count > 0)  // memcpy wants real pointers even for no bytes
        std::memcpy(dest, src, count * sizeof(uint32_t));
}

void OrRow(uint32_t* __restrict dest, const uint32_t* __restrict src, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        dest[i] |= src[i];
}

void AndRow(uint32_t* __restrict dest, const uint32_t* __restrict src, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        dest[i] &= src[i];
}

void MergePaintRow(uint32_t* __restrict dest, const uint32_t* __restrict src, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        dest[i] = (~src[i] | dest[i]) & 0x00FFFFFFu;
}

void KeyCopyRow(uint32_t* __restrict dest, const uint32_t* __restrict src, size_t count, uint32_t key,
                uint32_t brush)
{
    for (size_t i = 0; i < count; ++i)
        dest[i] = src[i] == key ? brush : src[i];
}

void FillRow(uint32_t* __restrict dest, size_t count, uint32_t value)
{
    for (size_t i = 0; i < count; ++i)
        dest[i] = value;
}

void SelectRow(uint32_t* __restrict dest, const uint32_t* __restrict blended, const uint8_t* __restrict transparent,
               size_t count)
{
    for (size_t i = 0; i < count; ++i)
        dest[i] = transparent[i] ? dest[i] : blended[i];
}

void BlendRow(uint32_t* __restrict out, const uint32_t* __restrict src, const uint32_t* __restrict under,
              const uint8_t* __restrict alpha, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t a = alpha[i];
        uint32_t pixel = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t s = (src[i] >> shift) & 0xFF;
            const uint32_t u = (under[i] >> shift) & 0xFF;
            pixel |= ((s * a + u * (255 - a) + 127) / 255) << shift;
        }
        out[i] = pixel;
    }
}

bool RopRow(uint32_t rop, uint32_t* dest, const uint32_t* src, size_t count)
{
    switch (rop) {
    case cmSrcCopy: CopyRow(dest, src, count); return true;
    case cmSrcPaint: OrRow(dest, src, count); return true;
    case cmSrcAnd: AndRow(dest, src, count); return true;
    case cmMergePaint: MergePaintRow(dest, src, count); return true;
    default: return false;
    }
}

void EnlargeBlock(const uint32_t* src, ptrdiff_t srcPitch, int left, int top, int right, int bottom, int scale,
                  uint32_t* dest, ptrdiff_t destPitch, int destWidth, int destHeight, uint32_t set)
{
    if (scale < 1 || left >= right || top >= bottom)
        return;
    const int64_t outLeft = static_cast<int64_t>(left) * scale;
    const int64_t outRight = std::min<int64_t>(static_cast<int64_t>(right) * scale, destWidth);
    if (left < 0 || top < 0 || outLeft >= outRight)
        return;
    const size_t outCount = static_cast<size_t>(outRight - outLeft);
    for (int y = top; y < bottom; ++y) {
        const int64_t firstRow = static_cast<int64_t>(y) * scale;
        if (firstRow >= destHeight)
            return;
        // One enlarged row, then copies of it for the rest of the square.
        uint32_t* out = dest + firstRow * destPitch + outLeft;
        const uint32_t* in = src + static_cast<ptrdiff_t>(y) * srcPitch + left;
        if (scale == 1) {
            for (size_t i = 0; i < outCount; ++i)
                out[i] = in[i] | set;
        } else {
            size_t written = 0;
            for (const uint32_t* pixel = in; written < outCount; ++pixel) {
                const uint32_t word = *pixel | set;
                const size_t run = std::min<size_t>(static_cast<size_t>(scale), outCount - written);
                for (size_t i = 0; i < run; ++i)
                    out[written + i] = word;
                written += run;
            }
        }
        const int64_t lastRow = std::min<int64_t>(firstRow + scale, destHeight);
        for (int64_t row = firstRow + 1; row < lastRow; ++row)
            std::memcpy(dest + row * destPitch + outLeft, out, outCount * sizeof(uint32_t));
    }
}

}  // namespace Raster
