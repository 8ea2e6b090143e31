// BmpFormat.cpp: the Windows bitmap reader (1 to 32 bits per pixel,
// uncompressed, RLE4, RLE8 and bit fields; Windows and OS/2 headers;
// bottom-up and top-down) and the 24-bit writer.
#include <algorithm>
#include <array>
#include <bit>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/Dib.h"

namespace {

using PictureIO::Bytes;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;    // the old OS/2 header
constexpr uint32_t kInfoHeaderSize = 40;

// One colour channel of a bit-field pixel, widened or narrowed to 8 bits.
class Channel {
public:
    Channel() = default;
    explicit Channel(uint32_t mask) : mask_(mask)
    {
        if (mask == 0)
            return;
        shift_ = std::countr_zero(mask);
        bits_ = std::popcount(mask);
        if (bits_ < 8) {
            const uint32_t max = (1u << bits_) - 1;
            for (uint32_t v = 0; v <= max; ++v)
                scale_[v] = static_cast<uint8_t>((v * 255 + max / 2) / max);
        }
    }
    // Masks must be one run of bits.
    static bool valid(uint32_t mask)
    {
        if (mask == 0)
            return true;
        const uint32_t run = mask >> std::countr_zero(mask);
        return (run & (run + 1)) == 0;
    }
    uint32_t operator()(uint32_t pixel) const
    {
        const uint32_t v = (pixel & mask_) >> shift_;
        if (bits_ >= 8)
            return v >> (bits_ - 8);
        return scale_[v];
    }

private:
    uint32_t mask_ = 0;
    int shift_ = 0;
    int bits_ = 0;
    std::array<uint8_t, 128> scale_{};
};

struct Header {
    int64_t width = 0;
    int64_t height = 0;  // rows, always positive
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t colorsUsed = 0;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    uint64_t paletteOffset = 0;
    uint32_t paletteEntrySize = 4;
};

[[noreturn]] void invalid(const Bytes& bytes)
{
    PictureIO::fail(bytes.invalidText());
}

Header readHeader(const Bytes& b, uint64_t info, bool iconImage)
{
    Header h;
    const uint32_t size = b.u32(info);
    if (size == kCoreHeaderSize) {
        h.width = b.u16(info + 4);
        h.height = b.u16(info + 6);
        h.bitCount = b.u16(info + 10);
        h.paletteOffset = info + size;
        h.paletteEntrySize = 3;
        if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24)
            invalid(b);
    } else {
        // Windows headers (40, 52, 56, 108, 124 bytes) and the OS/2 2.x header
        // (16 to 64 bytes), which shares the first fields and ends anywhere.
        const bool windows = size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
        if (!windows && (size < 16 || size > 64))
            invalid(b);
        b.need(info, size);
        auto field = [&](uint32_t at) { return at + 4 <= size ? b.u32(info + at) : 0u; };
        const int64_t height = b.i32(info + 8);
        h.width = b.i32(info + 4);
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        h.bitCount = b.u16(info + 14);
        h.compression = field(16);
        h.colorsUsed = field(32);
        h.paletteOffset = info + size;
        if (!windows && h.compression > kBiRle4)  // OS/2's Huffman and RLE24 are not read
            invalid(b);
        if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
            if (h.bitCount != 16 && h.bitCount != 32)
                invalid(b);
            // The masks are part of the longer headers, else they follow it.
            const uint64_t at = size >= 52 ? info + 40 : info + size;
            for (int i = 0; i < 3; ++i)
                h.masks[i] = b.u32(at + 4 * static_cast<uint64_t>(i));
            if (size < 52)
                h.paletteOffset += h.compression == kBiAlphaBitfields ? 16 : 12;
        } else if (h.compression == kBiRgb) {
            if (h.bitCount == 16) {
                h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
            } else if (h.bitCount == 32) {
                h.masks[0] = 0xFF0000, h.masks[1] = 0x00FF00, h.masks[2] = 0x0000FF;
            } else if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24) {
                invalid(b);
            }
        } else if (h.compression == kBiRle8) {
            if (h.bitCount != 8 || h.topDown)
                invalid(b);
        } else if (h.compression == kBiRle4) {
            if (h.bitCount != 4 || h.topDown)
                invalid(b);
        } else {
            invalid(b);  // embedded JPEG or PNG, or unknown
        }
    }
    if (iconImage) {
        if (h.compression == kBiRle4 || h.compression == kBiRle8 || h.topDown || h.height % 2 != 0)
            invalid(b);
        h.height /= 2;  // colour rows, then as many mask rows
    }
    if (!PictureIO::sizeAllowed(h.width, h.height))
        invalid(b);
    TPictureBudget::Charge(h.width, h.height);
    const uint32_t all = h.masks[0] | h.masks[1] | h.masks[2];
    if (h.bitCount >= 16 && h.bitCount != 24) {
        if (all == 0 || (h.bitCount == 16 && all > 0xFFFF)
            || (h.masks[0] & h.masks[1]) != 0 || (h.masks[0] & h.masks[2]) != 0 || (h.masks[1] & h.masks[2]) != 0
            || !Channel::valid(h.masks[0]) || !Channel::valid(h.masks[1]) || !Channel::valid(h.masks[2]))
            invalid(b);
    }
    return h;
}

uint64_t strideOf(int64_t width, uint32_t bitCount)
{
    return (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
}

void decodeRows(const Bytes& b, const Header& h, uint64_t offset, const std::array<uint32_t, 256>& palette,
                TDecodedImage& out, std::vector<uint8_t>* alpha)
{
    const uint64_t stride = strideOf(h.width, h.bitCount);
    const uint64_t lastRowBytes = (static_cast<uint64_t>(h.width) * h.bitCount + 7) / 8;
    // The last row may lack its padding; everything else must be there.
    b.need(offset, stride * static_cast<uint64_t>(h.height - 1) + lastRowBytes);
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    const bool plain32 = h.bitCount == 32 && h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF;
    const auto width = static_cast<size_t>(h.width);
    for (int64_t row = 0; row < h.height; ++row) {
        const uint8_t* src = b.span().data() + offset + static_cast<uint64_t>(row) * stride;
        const int64_t y = h.topDown ? row : h.height - 1 - row;
        uint32_t* dst = out.pixels.data() + static_cast<size_t>(y) * width;
        switch (h.bitCount) {
        case 1:
            for (size_t x = 0; x < width; ++x)
                dst[x] = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (size_t x = 0; x < width; ++x)
                dst[x] = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
            break;
        case 8:
            for (size_t x = 0; x < width; ++x)
                dst[x] = palette[src[x]];
            break;
        case 16:
            for (size_t x = 0; x < width; ++x) {
                const uint32_t p = static_cast<uint32_t>(src[2 * x] | (src[2 * x + 1] << 8));
                dst[x] = (red(p) << 16) | (green(p) << 8) | blue(p);
            }
            break;
        case 24:
            for (size_t x = 0; x < width; ++x)
                dst[x] = static_cast<uint32_t>(src[3 * x] | (src[3 * x + 1] << 8) | (src[3 * x + 2] << 16));
            break;
        default:  // 32
            for (size_t x = 0; x < width; ++x) {
                const uint32_t p = static_cast<uint32_t>(src[4 * x]) | (static_cast<uint32_t>(src[4 * x + 1]) << 8)
                    | (static_cast<uint32_t>(src[4 * x + 2]) << 16) | (static_cast<uint32_t>(src[4 * x + 3]) << 24);
                dst[x] = plain32 ? (p & 0xFFFFFF) : ((red(p) << 16) | (green(p) << 8) | blue(p));
            }
            if (alpha)
                for (size_t x = 0; x < width; ++x)
                    (*alpha)[static_cast<size_t>(y) * width + x] = src[4 * x + 3];
            break;
        }
    }
}

// Run-length encoded rows (bottom-up). Pixels the runs skip keep palette
// colour 0. Runs that reach past a row's end are cut there.
void decodeRle(const Bytes& b, const Header& h, uint64_t offset, const std::array<uint32_t, 256>& palette,
               TDecodedImage& out)
{
    const bool four = h.compression == kBiRle4;
    const int64_t width = h.width;
    const int64_t height = h.height;
    std::fill(out.pixels.begin(), out.pixels.end(), palette[0]);
    auto put = [&](int64_t x, int64_t y, uint32_t index) {
        if (x < width && y < height)
            out.pixels[static_cast<size_t>((height - 1 - y) * width + x)] = palette[index];
    };
    int64_t x = 0, y = 0;
    uint64_t at = offset;
    const uint64_t end = b.size();
    for (;;) {
        if (at + 2 > end) {
            // Data that ends without its end-of-bitmap mark is whole only when
            // every row has been written.
            if (y >= height || (y == height - 1 && x >= width))
                return;
            invalid(b);
        }
        const uint32_t count = b.u8(at), value = b.u8(at + 1);
        at += 2;
        if (count > 0) {  // a run of one index (RLE8) or two alternating ones (RLE4)
            for (uint32_t i = 0; i < count && x < width; ++i, ++x)
                put(x, y, four ? ((i & 1) ? value & 15 : value >> 4) : value);
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            break;
        case 1:  // end of bitmap
            return;
        case 2:  // move right and down
            x += b.u8(at);
            y += b.u8(at + 1);
            at += 2;
            break;
        default: {  // literal indices, padded to a 16-bit boundary
            const uint64_t bytes = four ? (value + 1) / 2 : value;
            const uint8_t* literal = b.at(at, bytes);
            for (uint32_t i = 0; i < value; ++i, ++x)
                if (x < width)
                    put(x, y, four ? ((i & 1) ? literal[i / 2] & 15 : literal[i / 2] >> 4) : literal[i]);
            at += (bytes + 1) & ~uint64_t{1};
            break;
        }
        }
        if (y >= height)  // nothing further can land inside the picture
            return;
    }
}

}  // namespace

Dib::Decoded Dib::decode(const Bytes& b, uint64_t infoOffset, std::optional<uint64_t> pixelOffset, bool iconImage)
{
    const Header h = readHeader(b, infoOffset, iconImage);

    // Indices past the palette's end read black.
    std::array<uint32_t, 256> palette{};
    uint64_t paletteEnd = h.paletteOffset;
    if (h.bitCount <= 8) {
        const uint32_t full = 1u << h.bitCount;
        const uint32_t count = h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full);
        // The palette ends where the pixels start, or at the end of the file.
        const uint64_t paletteLimit = std::min<uint64_t>(b.size(), pixelOffset.value_or(b.size()));
        const uint64_t fits =
            paletteLimit > h.paletteOffset ? (paletteLimit - h.paletteOffset) / h.paletteEntrySize : 0;
        // A bitmap file may state a shorter palette through where its pixels
        // start; an icon image must hold all of it.
        if (iconImage && fits < count)
            invalid(b);
        const auto present = static_cast<uint32_t>(std::min<uint64_t>(count, fits));
        for (uint32_t i = 0; i < present; ++i) {
            const uint8_t* e = b.at(h.paletteOffset + uint64_t{i} * h.paletteEntrySize, 3);
            palette[i] = static_cast<uint32_t>(e[0] | (e[1] << 8) | (e[2] << 16));
        }
        paletteEnd += uint64_t{count} * h.paletteEntrySize;
    } else {
        // A colour table is optional here; when one is stated it comes first.
        paletteEnd += uint64_t{h.colorsUsed} * h.paletteEntrySize;
    }
    const uint64_t offset = pixelOffset.value_or(paletteEnd);
    if (offset >= b.size())
        invalid(b);

    Decoded result;
    result.image.width = static_cast<int>(h.width);
    result.image.height = static_cast<int>(h.height);
    if (h.compression == kBiRle4 || h.compression == kBiRle8) {
        // Compressed rows may legitimately be tiny, but at least the first run must be there.
        b.need(offset, 2);
        result.image.pixels.resize(static_cast<size_t>(h.width * h.height));
        decodeRle(b, h, offset, palette, result.image);
        result.end = b.size();
    } else {
        // Allocation follows only once the file is known to hold every row (decodeRows checks first).
        const uint64_t stride = strideOf(h.width, h.bitCount);
        b.need(offset, stride * static_cast<uint64_t>(h.height - 1) + (static_cast<uint64_t>(h.width) * h.bitCount + 7) / 8);
        result.image.pixels.resize(static_cast<size_t>(h.width * h.height));
        if (iconImage && h.bitCount == 32)
            result.alpha.resize(result.image.pixels.size());
        decodeRows(b, h, offset, palette, result.image, result.alpha.empty() ? nullptr : &result.alpha);
        result.end = offset + stride * static_cast<uint64_t>(h.height);
    }
    return result;
}

TDecodedImage DecodeBmp(std::span<const uint8_t> bytes)
{
    const Bytes b(bytes, kInvalidBitmapText);
    if (b.u8(0) != 'B' || b.u8(1) != 'M')
        invalid(b);
    const uint32_t offBits = b.u32(10);
    // Some writers leave the pixel offset 0 or point it into the headers; the
    // rows then follow the palette.
    const uint32_t headerSize = b.u32(kFileHeaderSize);
    std::optional<uint64_t> pixelOffset;
    if (offBits >= uint64_t{kFileHeaderSize} + headerSize)
        pixelOffset = offBits;
    return Dib::decode(b, kFileHeaderSize, pixelOffset, false).image;
}

std::vector<uint8_t> EncodeBmp24(const TBitmap& bitmap)
{
    const auto width = static_cast<uint64_t>(bitmap.Width());
    const auto height = static_cast<uint64_t>(bitmap.Height());
    const uint64_t stride = strideOf(static_cast<int64_t>(width), 24);
    const uint64_t imageSize = stride * height;
    const uint64_t fileSize = kFileHeaderSize + kInfoHeaderSize + imageSize;
    std::vector<uint8_t> out(static_cast<size_t>(fileSize), 0);
    auto put16 = [&](size_t at, uint32_t v) {
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(fileSize));
    put32(10, kFileHeaderSize + kInfoHeaderSize);
    put32(14, kInfoHeaderSize);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(30, kBiRgb);
    put32(34, static_cast<uint32_t>(imageSize));
    put32(38, 3780);  // 96 dots per inch
    put32(42, 3780);
    for (uint64_t row = 0; row < height; ++row) {
        const uint32_t* src = bitmap.ScanLine(static_cast<int>(height - 1 - row));
        uint8_t* dst = out.data() + kFileHeaderSize + kInfoHeaderSize + row * stride;
        for (uint64_t x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<uint8_t>(src[x]);
            dst[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
            dst[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
        }
    }
    return out;
}
