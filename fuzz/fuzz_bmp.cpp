// fuzz_bmp.cpp: feeds arbitrary bytes to the bitmap reader, then draws what it
// decoded, plain and stretched, so every decoded size goes through the canvas.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzDraw.h"
#include "platform/Graphics.h"
#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"

namespace {

uint32_t le(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// A run-length picture may end its data early and still be as large as the
// limits allow; decoding such pictures costs a large allocation and teaches
// the fuzzer nothing, so inputs claiming more than a few million pixels are
// skipped (those the reader refuses for their size stay in).
bool claimsHugeButAllowedPicture(const uint8_t* data, size_t size)
{
    if (size < 26)
        return false;
    const bool core = le(data + 14, 4) == 12;
    const int64_t width = core ? le(data + 18, 2) : static_cast<int32_t>(le(data + 18, 4));
    int64_t height = core ? le(data + 20, 2) : static_cast<int32_t>(le(data + 22, 4));
    height = height < 0 ? -height : height;
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide
        && width * height <= kMaxPicturePixels && width * height > (int64_t{1} << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (claimsHugeButAllowedPicture(data, size))
        return 0;
    try {
        drawDecoded(DecodeBmp({data, size}));
    } catch (const EInvalidGraphic&) {
        // the expected answer to most inputs
    }
    return 0;
}
