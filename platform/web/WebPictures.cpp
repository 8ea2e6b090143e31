// WebPictures.cpp: the pictures a page reads besides the core's own BMP and
// ICO readers. JPEG goes to the decoder the page installed as
// Module.lurvaDecodeJpeg (libjpeg-turbo in WebAssembly, the library the
// desktop build links); PNG and metafiles are not drawn here.
#include <emscripten.h>

#include <cstdlib>
#include <string>

#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace {

// libjpeg's message numbers for what can be told apart here.
constexpr int kJpegImageTooBig = 41;
constexpr int kJpegInputEmpty = 42;
constexpr int kJpegInputEof = 43;
constexpr int kJpegNoSoi = 53;

// Decodes with the page's decoder into malloc'd 0x00RRGGBB words. Returns 0,
// or 1 when the page has no decoder and 2 when the decoder refused the bytes.
// The decoder's output is copied before anything is allocated here, since an
// allocation may move this module's memory.
EM_JS(int, decodeJpegWithPage, (const uint8_t* data, int size, uint32_t** pixels, int* width, int* height), {
    const decode = Module["lurvaDecodeJpeg"];
    if (!decode)
        return 1;
    let image;
    try {
        image = decode(HEAPU8.slice(data, data + size));
    } catch (e) {
        return 2;
    }
    if (!image || !(image.width > 0) || !(image.height > 0))
        return 2;
    const count = image.width * image.height;
    const source = image.pixels;
    const channels = image.components;
    if ((channels !== 1 && channels !== 3) || source.length < count * channels)
        return 2;
    const out = _malloc(count * 4);
    if (!out)
        return 2;
    const words = HEAPU32.subarray(out >> 2, (out >> 2) + count);
    if (channels === 3) {
        for (let i = 0, j = 0; i < count; ++i, j += 3)
            words[i] = (source[j] << 16) | (source[j + 1] << 8) | source[j + 2];
    } else {
        for (let i = 0; i < count; ++i)
            words[i] = source[i] * 0x010101;
    }
    HEAP32[pixels >> 2] = out;
    HEAP32[width >> 2] = image.width;
    HEAP32[height >> 2] = image.height;
    return 0;
});

[[noreturn]] void jpegError(int code)
{
    throw EInvalidGraphic(Format(kJpegErrorText, {std::to_string(code)}));
}

}  // namespace

TDecodedImage DecodeJpeg(std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        jpegError(kJpegInputEmpty);
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        jpegError(kJpegNoSoi);
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    if (decodeJpegWithPage(bytes.data(), static_cast<int>(bytes.size()), &pixels, &width, &height) != 0)
        jpegError(kJpegInputEof);
    TDecodedImage image;
    try {
        if (!PictureIO::sizeAllowed(width, height))
            jpegError(kJpegImageTooBig);
        TPictureBudget::Charge(width, height);
        image.width = width;
        image.height = height;
        image.pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
    } catch (...) {
        std::free(pixels);
        throw;
    }
    std::free(pixels);
    return image;
}

void TJPEGImage::LoadFromStream(TStream& stream)
{
    const std::string tooLarge = Format(kJpegErrorText, {std::to_string(kJpegImageTooBig)});
    TDecodedImage image = DecodeJpeg(PictureIO::readRest(stream, tooLarge.c_str()));
    image_.SetPixels(image.width, image.height, std::move(image.pixels));
}

// Icons may hold PNG images; the page has no PNG decoder it could call
// without waiting, so such an icon is refused as unreadable.
TDecodedImage PictureIO::decodePng(std::span<const uint8_t> /*bytes*/, const char* invalidText)
{
    fail(invalidText);
}

TDecodedImage DecodePng(std::span<const uint8_t> bytes)
{
    return PictureIO::decodePng(bytes, kInvalidPngText);
}

std::vector<uint8_t> EncodePng(const TBitmap& /*bitmap*/)
{
    throw Exception("PNG files are not written in the web player");
}

// Metafiles are refused by their extension, as where no system draws them;
// the page names the picture.
bool MetafilesReadable()
{
    return false;
}

TDecodedImage DecodeMetafile(std::span<const uint8_t> /*bytes*/)
{
    PictureIO::fail(kInvalidMetafileText);
}
