// PictureFixtures.h: builders of small picture files (BMP, ICO; JPEG and PNG
// through their libraries) for the reader tests.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TBitmap;

// Little-endian bytes.
struct ByteWriter {
    std::vector<uint8_t> bytes;
    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v)
    {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void append(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
};

// A device-independent bitmap: header, masks, palette and rows as stored.
struct DibFixture {
    int32_t width = 0;
    int32_t height = 0;  // negative: top-down
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;  // 12: the old OS/2 header; 52, 56, 108, 124 carry the masks
    std::array<uint32_t, 3> masks{};  // written for bit-field compression
    std::vector<uint32_t> palette;    // 0x00RRGGBB
    uint32_t colorsUsed = 0;
    std::vector<uint8_t> pixelData;
};

// The header, masks and palette of a DIB, followed by its pixel data.
std::vector<uint8_t> makeDib(const DibFixture& dib);
// A .bmp file; offBits replaces the computed pixel offset when given.
std::vector<uint8_t> makeBmp(const DibFixture& dib, std::optional<uint32_t> offBits = std::nullopt);

// Packs row-major values (top row first) as stored rows of bitCount bits,
// padded to 32 bits, bottom row first unless topDown. For 24 bits a value is a
// pixel word 0x00RRGGBB; for 1 to 8 an index; for 16 and 32 the raw word.
std::vector<uint8_t> packRows(const std::vector<uint32_t>& values, int width, int height, int bitCount,
                              bool topDown = false);

// One image of an icon file.
struct IconEntry {
    int width = 0;
    int height = 0;
    uint16_t bitCount = 0;
    std::vector<uint8_t> data;  // a DIB with doubled height and the AND mask, or a PNG file
};
std::vector<uint8_t> makeIco(const std::vector<IconEntry>& entries);
// A DIB icon image: colour rows (values as for packRows) and the AND mask (1 = transparent).
IconEntry makeIconImage(int width, int height, uint16_t bitCount, const std::vector<uint32_t>& values,
                        const std::vector<uint8_t>& andMask, const std::vector<uint32_t>& palette = {});

// A JPEG file of the pixels (0x00RRGGBB) through libjpeg; quality 100.
std::vector<uint8_t> makeJpeg(const std::vector<uint32_t>& pixels, int width, int height, bool grayscale = false,
                              int quality = 100);
#ifndef _WIN32
// How makeJpegSamples encodes: libjpeg's quality, and whether colour keeps
// full resolution (solid areas keep their colour up to their edges) instead
// of libjpeg's default halving.
struct JpegOptions {
    int quality = 100;
    bool fullResolutionColour = true;
};
// A JPEG file through libjpeg of samples as it takes them, top row first:
// components 1 (grey), 3 (RGB) or 4 (CMYK, inverted as Adobe's files store it).
std::vector<uint8_t> makeJpegSamples(const std::vector<uint8_t>& samples, int width, int height, int components,
                                     JpegOptions options = {});
#endif
// A PNG file with alpha of the pixels (0xAARRGGBB).
std::vector<uint8_t> makePngRgba(const std::vector<uint32_t>& argb, int width, int height);

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
