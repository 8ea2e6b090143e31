// fuzz_bmp.cpp: feeds arbitrary bytes to the bitmap reader, then draws what it
// decoded, plain and stretched, so every decoded size goes through the canvas.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzDraw.h"
#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        drawDecoded(DecodeBmp({data, size}));
    } catch (const EInvalidGraphic&) {
        // the expected answer to most inputs
    }
    return 0;
}
