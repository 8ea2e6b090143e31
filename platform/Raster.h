// Raster.h: the per-row pixel loops behind the canvas's raster operations, for
// code that composes rows itself (the show window's partial redraws).
#pragma once

#include <cstddef>
#include <cstdint>

// Rows are 32-bit pixel words 0x00RRGGBB. dest and src of one call must not
// overlap. Each loop keeps the top byte of every word 0 as long as the inputs do.
namespace Raster {

// dest = src (SRCCOPY)
void CopyRow(uint32_t* dest, const uint32_t* src, size_t count);
// dest = dest OR src (SRCPAINT)
void OrRow(uint32_t* dest, const uint32_t* src, size_t count);
// dest = dest AND src (SRCAND)
void AndRow(uint32_t* dest, const uint32_t* src, size_t count);
// dest = (NOT src) OR dest, top byte cleared (MERGEPAINT)
void MergePaintRow(uint32_t* dest, const uint32_t* src, size_t count);
// dest = src, except that words equal to key become brush (the brush copy)
void KeyCopyRow(uint32_t* dest, const uint32_t* src, size_t count, uint32_t key, uint32_t brush);
// dest = value
void FillRow(uint32_t* dest, size_t count, uint32_t value);
// dest = dest where transparent is nonzero, else blended
void SelectRow(uint32_t* dest, const uint32_t* blended, const uint8_t* transparent, size_t count);

// out = src laid over under by alpha (0 keeps under, 255 is src), each
// channel rounded to the nearest value
void BlendRow(uint32_t* out, const uint32_t* src, const uint32_t* under, const uint8_t* alpha, size_t count);

// Applies one of cmSrcCopy, cmSrcPaint, cmSrcAnd, cmMergePaint; false (and
// nothing done) for any other operation.
bool RopRow(uint32_t rop, uint32_t* dest, const uint32_t* src, size_t count);

// Copies the block [left, right) x [top, bottom) of src enlarged scale times
// into dest: source pixel (x, y) becomes the scale x scale square at
// (x * scale, y * scale), clipped to destWidth x destHeight (nearest
// neighbour: the pictures stay sharp). set is ORed into every word written
// (an opaque alpha byte for a surface that has one). Pitches are in words.
void EnlargeBlock(const uint32_t* src, ptrdiff_t srcPitch, int left, int top, int right, int bottom, int scale,
                  uint32_t* dest, ptrdiff_t destPitch, int destWidth, int destHeight, uint32_t set);

}  // namespace Raster
