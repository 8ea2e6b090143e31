// JpegFormat.cpp: JPEG decoding through libjpeg-turbo. The library reports a
// fatal error by calling error_exit, which must not return: ours longjmps back
// to the decoder, which then raises "JPEG エラー #<message number>", so a bad
// file never ends the process.
#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace {

// Enough for the coefficient buffers of a progressive picture at the size limit.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so the library's pointer is also ours
    std::jmp_buf jump;
};

extern "C" void jpegErrorExit(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

// Warnings (a file cut short, a bad marker) let the decoding go on, as the
// library intends; they are not printed.
extern "C" void jpegOutputMessage(j_common_ptr) {}

[[noreturn]] void jpegError(int code)
{
    throw EInvalidGraphic(Format(kJpegErrorText, {std::to_string(code)}));
}

// CMYK pixels to RGB; Adobe's files store the inks inverted.
void cmykToPixels(const uint8_t* cmyk, uint32_t* out, size_t count, bool inverted)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = cmyk[4 * i], m = cmyk[4 * i + 1], y = cmyk[4 * i + 2], k = cmyk[4 * i + 3];
        if (!inverted)
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        const uint32_t r = c * k / 255, g = m * k / 255, b = y * k / 255;
        out[i] = (r << 16) | (g << 8) | b;
    }
}

// The decoding itself. Only C objects live in this frame between setjmp and a
// longjmp from the library; results go through the pointer, so nothing is left
// half-destroyed. Returns 0, or the library's message number.
struct Output {
    TDecodedImage image;
    std::vector<uint8_t> cmykRow;
};

int decodeInto(const uint8_t* data, size_t size, Output* out)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.output_message = jpegOutputMessage;
    if (setjmp(errors.jump)) {
        const int code = errors.pub.msg_code;
        jpeg_destroy_decompress(&info);
        return code;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (!PictureIO::sizeAllowed(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return JERR_IMAGE_TOO_BIG;
    }
    try {
        TPictureBudget::Charge(info.image_width, info.image_height);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        throw;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    const size_t width = info.output_width;
    try {
        out->image.width = static_cast<int>(info.output_width);
        out->image.height = static_cast<int>(info.output_height);
        out->image.pixels.resize(width * info.output_height);
        out->cmykRow.resize(cmyk ? width * 4 : 0);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        throw;
    }
    while (info.output_scanline < info.output_height) {
        uint32_t* row = out->image.pixels.data() + static_cast<size_t>(info.output_scanline) * width;
        JSAMPROW target = cmyk ? out->cmykRow.data() : reinterpret_cast<JSAMPROW>(row);
        jpeg_read_scanlines(&info, &target, 1);
        if (cmyk) {
            cmykToPixels(out->cmykRow.data(), row, width, info.saw_Adobe_marker);
        } else {
            // B, G, R, X bytes to a pixel word, in place.
            auto* bytes = reinterpret_cast<uint8_t*>(row);
            for (size_t x = 0; x < width; ++x)
                row[x] = static_cast<uint32_t>(bytes[4 * x] | (bytes[4 * x + 1] << 8) | (bytes[4 * x + 2] << 16));
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return 0;
}

}  // namespace

TDecodedImage DecodeJpeg(std::span<const uint8_t> bytes)
{
    Output out;
    if (const int code = decodeInto(bytes.data(), bytes.size(), &out))
        jpegError(code);
    return std::move(out.image);
}

void TJPEGImage::LoadFromStream(TStream& stream)
{
    const std::string tooLarge = Format(kJpegErrorText, {std::to_string(JERR_IMAGE_TOO_BIG)});
    TDecodedImage image = DecodeJpeg(PictureIO::readRest(stream, tooLarge.c_str()));
    image_.SetPixels(image.width, image.height, std::move(image.pixels));
}
