// Metafiles.cpp: metafiles are drawn by the Windows graphics system only; here
// they are a picture format like any other this program cannot read.
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"

bool MetafilesReadable()
{
    return false;
}

TDecodedImage DecodeMetafile(std::span<const uint8_t> bytes)
{
    // An enhanced metafile carries " EMF" at offset 40 of its header record.
    const bool enhanced = bytes.size() >= 44 && std::memcmp(bytes.data() + 40, " EMF", 4) == 0;
    throw EInvalidGraphic(Format(kUnknownExtensionText, {enhanced ? "emf" : "wmf"}));
}
