// MetafileFixtures.h: small enhanced and Windows metafiles written record by
// record, with the damaged variants every metafile reader must refuse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Colours as the metafiles store them (0x00BBGGRR) and as pixels (0x00RRGGBB).
inline constexpr uint32_t kMetafileRed = 0x0000FF;
inline constexpr uint32_t kMetafileBlue = 0xFF0000;
inline constexpr uint32_t kRedPixel = 0xFF0000;
inline constexpr uint32_t kBluePixel = 0x0000FF;
inline constexpr uint32_t kWhitePixel = 0xFFFFFF;

// An enhanced metafile whose frame is frameWidth x frameHeight hundredths of
// a millimetre, drawn in pixels of a 96-per-inch reference device: a red
// rectangle over x 0..25, a blue polygon over x 24..37, both over y 0..25
// (for a 1270 x 635 frame: 48 x 24 pixels, red on the left half, blue on the
// next quarter).
std::vector<uint8_t> makeEnhancedMetafile(int32_t frameWidth = 1270, int32_t frameHeight = 635);

// A Windows metafile with a window of 48 x 24 logical units, coloured as the
// enhanced one (a red rectangle, a blue polygon).
std::vector<uint8_t> makeWindowsMetafile();

// The Windows metafile behind a placeable header: its box 0,0..right,bottom
// in units of which `inch` make an inch.
std::vector<uint8_t> makePlaceable(const std::vector<uint8_t>& windowsMetafile, int16_t right, int16_t bottom,
                                   uint16_t inch);

// Damaged or oversized metafiles, each with what is wrong with it.
struct BadMetafile {
    std::string what;
    std::vector<uint8_t> bytes;
};
std::vector<BadMetafile> badMetafiles();
