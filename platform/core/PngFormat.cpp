// PngFormat.cpp: PNG reading and writing through libpng's simplified API
// (which catches libpng's own errors, so nothing here longjmps).
#include <png.h>

#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace {

// Deflate never shrinks data by more than this factor, so a smaller file
// cannot hold the rows its header claims.
constexpr uint64_t kDeflateMaxRatio = 1032;

struct ImageGuard {
    png_image& image;
    ~ImageGuard() { png_image_free(&image); }
};

}  // namespace

TDecodedImage PictureIO::decodePng(std::span<const uint8_t> bytes, const char* invalidText)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ImageGuard guard{image};
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        fail(invalidText);
    if (!sizeAllowed(image.width, image.height))
        fail(invalidText);
    TPictureBudget::Charge(image.width, image.height);
    // The smallest possible rows: one bit a pixel plus the filter byte.
    const uint64_t minimumRows = uint64_t{image.height} * (1 + (uint64_t{image.width} + 7) / 8);
    if (bytes.size() * kDeflateMaxRatio < minimumRows)
        fail(invalidText);
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint8_t> bgra(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr))
        fail(invalidText);

    TDecodedImage out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
    out.pixels.resize(count);
    out.transparent.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = bgra.data() + 4 * i;
        out.pixels[i] = static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        out.transparent[i] = p[3] < 128;
    }
    keepPartialAlpha(out, bgra);
    return out;
}

TDecodedImage DecodePng(std::span<const uint8_t> bytes)
{
    return PictureIO::decodePng(bytes, kInvalidPngText);
}

std::vector<uint8_t> EncodePng(const TBitmap& bitmap)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(bitmap.Width());
    image.height = static_cast<png_uint_32>(bitmap.Height());
    image.format = PNG_FORMAT_RGB;
    const size_t count = static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height());
    std::vector<uint8_t> rgb(count * 3);
    const uint32_t* pixels = bitmap.Pixels();
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr))
        throw EWriteError();
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr))
        throw EWriteError();
    out.resize(size);
    return out;
}
