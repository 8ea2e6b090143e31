// MetafileFormat.h: the record structure and size of enhanced and Windows
// metafiles, checked before any renderer sees the bytes. Internal to the platform.
#pragma once

#include <cstdint>
#include <span>

enum class MetafileKind {
    Enhanced,   // EMF: header record, records, end record
    Placeable,  // a Windows metafile behind a 22-byte "Aldus" header with its box
    Windows,    // a plain Windows metafile
};

struct MetafileLayout {
    MetafileKind kind = MetafileKind::Enhanced;
    // The picture in pixels at 96 per inch; 0 x 0 for a plain Windows
    // metafile without a window extent, whose size the renderer decides.
    int width = 0;
    int height = 0;
    // The same size in hundredths of a millimetre (0 x 0 when unknown), kept
    // apart from the pixels so that a placeable box keeps its own precision.
    int widthMm100 = 0;
    int heightMm100 = 0;
    // The records a renderer plays: the whole enhanced metafile, or the
    // Windows metafile's header and records up to its end record (without
    // a placeable header and without trailing bytes).
    std::span<const uint8_t> records;
    size_t recordCount = 0;
    // A Windows metafile's largest record in 16-bit words, as the walk found
    // it (the header's own figure may be anything).
    uint32_t largestRecordWords = 0;
};

// More records than this are refused: walking and playing them would take
// long for no picture a show needs.
inline constexpr size_t kMaxMetafileRecords = 500000;

// The placeable ("Aldus") header before a Windows metafile's own header.
inline constexpr size_t kPlaceableHeaderSize = 22;
// A Windows metafile's own header, before its records.
inline constexpr size_t kWmfHeaderSize = 18;
// Metafiles are drawn at the screen resolution of the systems shows were made on.
inline constexpr double kScreenDpi = 96.0;
inline constexpr double kHundredthsOfMmPerInch = 2540.0;

// A length in pixels rounded to whole pixels; EInvalidGraphic
// "メタファイルが不正です" outside 1 .. kMaxPictureSide.
int MetafilePixels(double length);

// The kind, size and records of the metafile in bytes. Raises EInvalidGraphic
// "メタファイルが不正です" for bytes that are none of the three kinds, a record
// running past its file, a missing end record, too many records, or a size
// beyond kMaxPictureSide / kMaxPicturePixels.
MetafileLayout ReadMetafileLayout(std::span<const uint8_t> bytes);
