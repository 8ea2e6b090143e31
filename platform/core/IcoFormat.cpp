// IcoFormat.cpp: the icon file reader: the largest image of the file, with its
// AND mask (or its alpha channel) as the transparent pixels; entries stored as
// PNG go through libpng.
#include <algorithm>
#include <cstring>

#include "platform/ImageFiles.h"
#include "platform/core/Dib.h"

namespace {

using PictureIO::Bytes;

constexpr uint64_t kDirectoryHeaderSize = 6;
constexpr uint64_t kEntrySize = 16;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The mask bits below the colour rows: one bit per pixel, rows bottom-up,
// set where the destination shows through.
std::vector<uint8_t> andMask(const Bytes& entry, uint64_t offset, int width, int height)
{
    const uint64_t stride = (static_cast<uint64_t>(width) + 31) / 32 * 4;
    std::vector<uint8_t> transparent(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    // Some writers leave the mask out; the image is then opaque.
    if (!entry.has(offset, stride * static_cast<uint64_t>(height)))
        return transparent;
    for (int row = 0; row < height; ++row) {
        const uint8_t* bits = entry.span().data() + offset + static_cast<uint64_t>(row) * stride;
        uint8_t* dst = transparent.data() + static_cast<size_t>(height - 1 - row) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x)
            dst[x] = (bits[x >> 3] >> (7 - (x & 7))) & 1;
    }
    return transparent;
}

}  // namespace

TDecodedImage DecodeIco(std::span<const uint8_t> bytes)
{
    const Bytes b(bytes, kInvalidIconText);
    if (b.u16(0) != 0 || b.u16(2) != 1)
        PictureIO::fail(kInvalidIconText);
    const uint16_t count = b.u16(4);
    if (count == 0)
        PictureIO::fail(kInvalidIconText);
    b.need(kDirectoryHeaderSize, count * kEntrySize);

    // The largest image; of equal sizes the deepest colours, then the first.
    uint64_t best = kDirectoryHeaderSize;
    uint64_t bestArea = 0;
    uint16_t bestBits = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t at = kDirectoryHeaderSize + i * kEntrySize;
        const uint64_t w = b.u8(at) == 0 ? 256 : b.u8(at);
        const uint64_t h = b.u8(at + 1) == 0 ? 256 : b.u8(at + 1);
        const uint16_t bits = b.u16(at + 6);
        if (i == 0 || w * h > bestArea || (w * h == bestArea && bits > bestBits)) {
            best = at;
            bestArea = w * h;
            bestBits = bits;
        }
    }
    const uint32_t size = b.u32(best + 8);
    const uint32_t offset = b.u32(best + 12);
    const Bytes entry(std::span<const uint8_t>(b.at(offset, size), size), kInvalidIconText);

    if (size >= sizeof kPngSignature && std::memcmp(entry.at(0, sizeof kPngSignature), kPngSignature,
                                                     sizeof kPngSignature) == 0)
        return PictureIO::decodePng(entry.span(), kInvalidIconText);

    Dib::Decoded dib = Dib::decode(entry, 0, std::nullopt, true);
    TDecodedImage image = std::move(dib.image);
    // A 32-bit image with any alpha is masked by its alpha; the AND mask is
    // then only for programs that ignore alpha. Values between 0 and 255
    // (soft edges, shadows) are kept for drawing the image blended.
    if (std::any_of(dib.alpha.begin(), dib.alpha.end(), [](uint8_t a) { return a != 0; })) {
        image.transparent.resize(dib.alpha.size());
        for (size_t i = 0; i < dib.alpha.size(); ++i)
            image.transparent[i] = dib.alpha[i] < 128;
        if (std::any_of(dib.alpha.begin(), dib.alpha.end(), [](uint8_t a) { return a != 0 && a != 255; }))
            image.alpha = std::move(dib.alpha);
    } else {
        image.transparent = andMask(entry, dib.end, image.width, image.height);
    }
    return image;
}
