// RegFileFuzz.cpp: the settings file reader on arbitrary bytes. Whatever it
// accepts must write back to a text that reads as the same tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TRegTree tree;
    try {
        tree = ParseRegFile(text);
    } catch (const TRegParseError&) {
        return 0;
    }
    const std::string written = SerializeRegFile(tree);
    try {
        if (SerializeRegFile(ParseRegFile(written)) != written)
            std::abort();
    } catch (const TRegParseError&) {
        std::abort();  // what was written cannot be read back
    }
    return 0;
}
