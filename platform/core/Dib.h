// Dib.h: the device-independent bitmap decoder shared by the bitmap and icon
// readers. Internal to the platform.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace Dib {

struct Decoded {
    TDecodedImage image;
    uint64_t end = 0;  // offset just past the pixel rows
    std::vector<uint8_t> alpha;  // the fourth byte of 32-bit icon pixels, else empty
};

// Decodes the bitmap whose info header starts at infoOffset. pixelOffset is
// where the pixel rows start when the file says so (else they follow the
// palette). An icon image's header gives twice the height (colour rows and
// mask rows); iconImage halves it and allows no compression. Raises
// bytes.invalidText() for anything malformed.
Decoded decode(const PictureIO::Bytes& bytes, uint64_t infoOffset, std::optional<uint64_t> pixelOffset,
               bool iconImage);

}  // namespace Dib
