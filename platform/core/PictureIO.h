// PictureIO.h: helpers shared by the picture readers (bounds-checked little-
// endian reads, size limits, whole-stream reads). Internal to the platform.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"

class TStream;

namespace PictureIO {

[[noreturn]] inline void fail(const char* text)
{
    throw EInvalidGraphic(text);
}

// Little-endian reads at an offset; a read past the end raises text.
class Bytes {
public:
    Bytes(std::span<const uint8_t> bytes, const char* invalidText) : bytes_(bytes), invalid_(invalidText) {}

    size_t size() const { return bytes_.size(); }
    const char* invalidText() const { return invalid_; }
    std::span<const uint8_t> span() const { return bytes_; }
    bool has(uint64_t offset, uint64_t count) const
    {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    void need(uint64_t offset, uint64_t count) const
    {
        if (!has(offset, count))
            fail(invalid_);
    }
    uint8_t u8(uint64_t offset) const
    {
        need(offset, 1);
        return bytes_[offset];
    }
    uint16_t u16(uint64_t offset) const
    {
        need(offset, 2);
        return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    }
    uint32_t u32(uint64_t offset) const
    {
        need(offset, 4);
        return static_cast<uint32_t>(bytes_[offset]) | (static_cast<uint32_t>(bytes_[offset + 1]) << 8)
            | (static_cast<uint32_t>(bytes_[offset + 2]) << 16) | (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
    }
    int32_t i32(uint64_t offset) const { return static_cast<int32_t>(u32(offset)); }
    const uint8_t* at(uint64_t offset, uint64_t count) const
    {
        need(offset, count);
        return bytes_.data() + offset;
    }

private:
    std::span<const uint8_t> bytes_;
    const char* invalid_;
};

// True when a picture of width x height is within the readers' limits.
constexpr bool sizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide
        && width * height <= kMaxPicturePixels;
}

// Decodes a PNG file (alpha below 128 transparent), raising invalidText.
TDecodedImage decodePng(std::span<const uint8_t> bytes, const char* invalidText);
// Sets image.alpha from the fourth byte of every BGRA pixel when some pixel
// is partly transparent (neither 0 nor 255); leaves it empty otherwise.
void keepPartialAlpha(TDecodedImage& image, const std::vector<uint8_t>& bgra);

// The bytes from the stream's position to its end. Larger files than any
// picture within the limits could need are refused with invalidText.
std::vector<uint8_t> readRest(TStream& stream, const char* invalidText);

}  // namespace PictureIO
