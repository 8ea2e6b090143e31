// fuzz_ico.cpp: feeds arbitrary bytes to the icon reader (DIB and PNG
// entries), then draws what it decoded through its transparency mask.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzDraw.h"
#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        drawDecoded(DecodeIco({data, size}));
    } catch (const EInvalidGraphic&) {
        // the expected answer to most inputs
    }
    return 0;
}
