// fuzz_metafile.cpp: feeds arbitrary bytes to the metafile reader (the record
// walk, then the renderers behind it), then draws what it decoded.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzDraw.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/MetafileFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        // Large pictures within the limits cost a large surface each and
        // teach the fuzzer nothing more than small ones.
        const MetafileLayout layout = ReadMetafileLayout({data, size});
        if (int64_t{layout.width} * layout.height > (int64_t{1} << 20))
            return 0;
        drawDecoded(DecodeMetafile({data, size}));
    } catch (const EInvalidGraphic&) {
        // the expected answer to most inputs
    }
    return 0;
}
