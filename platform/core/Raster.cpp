// Raster.cpp: the row loops of the raster operations. Plain loops without
// branches or calls per pixel, so the compiler vectorises them (this file is
// built with vectorisation on in every build type).
#include "platform/Raster.h"

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

}  // namespace Raster
