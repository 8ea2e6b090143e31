// MetafileFixtures.cpp: enhanced and Windows metafiles written record by record.
#include "support/MetafileFixtures.h"

#include "support/PictureFixtures.h"

namespace {

// Enhanced metafile record types.
constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr uint32_t kEmrSelectObject = 37;
constexpr uint32_t kEmrCreateBrushIndirect = 39;
constexpr uint32_t kEmrDeleteObject = 40;
constexpr uint32_t kEmrRectangle = 43;
constexpr uint32_t kEmrPolygon16 = 86;
constexpr uint32_t kNullPenStock = 0x80000008;

// Windows metafile functions.
constexpr uint16_t kMetaSetMapMode = 0x0103;
constexpr uint16_t kMetaSetWindowOrg = 0x020B;
constexpr uint16_t kMetaSetWindowExt = 0x020C;
constexpr uint16_t kMetaCreateBrushIndirect = 0x02FC;
constexpr uint16_t kMetaCreatePenIndirect = 0x02FA;
constexpr uint16_t kMetaSelectObject = 0x012D;
constexpr uint16_t kMetaDeleteObject = 0x01F0;
constexpr uint16_t kMetaRectangle = 0x041B;
constexpr uint16_t kMetaPolygon = 0x0324;
constexpr uint16_t kMmAnisotropic = 8;
constexpr uint16_t kPsNull = 5;

void emfRecord(ByteWriter& out, uint32_t type, const std::vector<uint32_t>& words)
{
    out.u32(type);
    out.u32(static_cast<uint32_t>(8 + 4 * words.size()));
    for (const uint32_t w : words)
        out.u32(w);
}

void wmfRecord(ByteWriter& out, uint16_t function, const std::vector<uint16_t>& words)
{
    out.u32(static_cast<uint32_t>(3 + words.size()));
    out.u16(function);
    for (const uint16_t w : words)
        out.u16(w);
}

std::vector<uint8_t> cut(const std::vector<uint8_t>& bytes, size_t size)
{
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
}

void putU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> makeEnhancedMetafile(int32_t frameWidth, int32_t frameHeight)
{
    ByteWriter records;
    emfRecord(records, kEmrSelectObject, {kNullPenStock});
    emfRecord(records, kEmrCreateBrushIndirect, {1, 0, kMetafileRed, 0});
    emfRecord(records, kEmrSelectObject, {1});
    emfRecord(records, kEmrRectangle, {0, 0, 25, 25});
    emfRecord(records, kEmrCreateBrushIndirect, {2, 0, kMetafileBlue, 0});
    emfRecord(records, kEmrSelectObject, {2});
    emfRecord(records, kEmrDeleteObject, {1});
    // Bounds, four points of 16 bits each coordinate.
    emfRecord(records, kEmrPolygon16, {24, 0, 37, 25, 4, 24 | (0u << 16), 37 | (0u << 16), 37 | (25u << 16),
                                       24 | (25u << 16)});
    emfRecord(records, kEmrDeleteObject, {2});
    const size_t recordCount = 9 + 2;

    constexpr uint32_t headerSize = 108;
    constexpr uint32_t eofSize = 20;
    const uint32_t total = static_cast<uint32_t>(headerSize + records.bytes.size() + eofSize);
    ByteWriter out;
    out.u32(kEmrHeader);
    out.u32(headerSize);
    for (const uint32_t v : {0u, 0u, 47u, 23u})  // bounds in device pixels
        out.u32(v);
    for (const int32_t v : {0, 0, frameWidth, frameHeight})  // frame in 0.01 mm
        out.u32(static_cast<uint32_t>(v));
    out.u32(0x464D4520);  // " EMF"
    out.u32(0x10000);     // version
    out.u32(total);
    out.u32(static_cast<uint32_t>(recordCount));
    out.u16(3);  // handles, with the unused index 0
    out.u16(0);
    out.u32(0);  // no description
    out.u32(0);
    out.u32(0);  // no palette
    out.u32(1920);  // reference device, 96 pixels per inch
    out.u32(1080);
    out.u32(508);
    out.u32(286);
    out.u32(0);  // no pixel format
    out.u32(0);
    out.u32(0);  // no OpenGL
    out.u32(508000);
    out.u32(286000);
    out.append(records.bytes);
    emfRecord(out, kEmrEof, {0, 16, eofSize});
    return out.bytes;
}

std::vector<uint8_t> makeWindowsMetafile()
{
    ByteWriter records;
    wmfRecord(records, kMetaSetMapMode, {kMmAnisotropic});
    wmfRecord(records, kMetaSetWindowOrg, {0, 0});
    wmfRecord(records, kMetaSetWindowExt, {24, 48});  // y first
    wmfRecord(records, kMetaCreatePenIndirect, {kPsNull, 0, 0, 0, 0});
    wmfRecord(records, kMetaSelectObject, {0});
    wmfRecord(records, kMetaCreateBrushIndirect, {0, kMetafileRed & 0xFFFF, kMetafileRed >> 16, 0});
    wmfRecord(records, kMetaSelectObject, {1});
    wmfRecord(records, kMetaRectangle, {25, 25, 0, 0});  // bottom, right, top, left
    wmfRecord(records, kMetaDeleteObject, {1});
    wmfRecord(records, kMetaCreateBrushIndirect, {0, kMetafileBlue & 0xFFFF, kMetafileBlue >> 16, 0});
    wmfRecord(records, kMetaSelectObject, {1});
    wmfRecord(records, kMetaPolygon, {4, 24, 0, 37, 0, 37, 25, 24, 25});
    wmfRecord(records, kMetaDeleteObject, {1});
    wmfRecord(records, kMetaDeleteObject, {0});
    wmfRecord(records, 0, {});  // end

    ByteWriter out;
    out.u16(1);  // in memory
    out.u16(9);  // header words
    out.u16(0x0300);
    out.u32(static_cast<uint32_t>((18 + records.bytes.size()) / 2));
    out.u16(2);   // objects
    out.u32(9);   // largest record, in words
    out.u16(0);
    out.append(records.bytes);
    return out.bytes;
}

std::vector<uint8_t> makePlaceable(const std::vector<uint8_t>& windowsMetafile, int16_t right, int16_t bottom,
                                   uint16_t inch)
{
    const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, static_cast<uint16_t>(right), static_cast<uint16_t>(bottom),
                                inch, 0, 0};
    uint16_t checksum = 0;
    ByteWriter out;
    for (const uint16_t w : words) {
        checksum ^= w;
        out.u16(w);
    }
    out.u16(checksum);
    out.append(windowsMetafile);
    return out.bytes;
}

std::vector<BadMetafile> badMetafiles()
{
    const std::vector<uint8_t> emf = makeEnhancedMetafile();
    const std::vector<uint8_t> wmf = makeWindowsMetafile();
    std::vector<uint8_t> emfRecordSize = emf;
    emfRecordSize.at(emf.size() - 16) = 3;  // the end record's size, no longer whole words
    std::vector<uint8_t> emfZeroRecord = emf;
    putU32(emfZeroRecord, 108 + 4, 0);  // the first record after the header, of no size
    std::vector<uint8_t> emfNoEnd = emf;
    putU32(emfNoEnd, emf.size() - 20, 40);  // the end record now something else
    std::vector<uint8_t> emfTotalTooLarge = emf;
    putU32(emfTotalTooLarge, 48, static_cast<uint32_t>(emf.size() + 4));
    std::vector<uint8_t> emfHeaderTooLarge = emf;
    putU32(emfHeaderTooLarge, 4, static_cast<uint32_t>(emf.size() + 4));
    std::vector<uint8_t> wmfZeroRecord = wmf;
    putU32(wmfZeroRecord, 18, 0);
    std::vector<uint8_t> wmfHugeRecord = wmf;
    putU32(wmfHugeRecord, 18, 0x7FFFFFFF);
    std::vector<uint8_t> wmfBadHeader = wmf;
    wmfBadHeader.at(2) = 10;  // header words
    std::vector<uint8_t> wmfTotalTooLarge = wmf;
    putU32(wmfTotalTooLarge, 6, static_cast<uint32_t>(wmf.size() / 2 + 1));
    std::vector<uint8_t> wmfNoEnd = cut(wmf, wmf.size() - 6);
    putU32(wmfNoEnd, 6, static_cast<uint32_t>(wmfNoEnd.size() / 2));

    return {
        {"empty", {}},
        {"text", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}},
        {"enhanced header only", cut(emf, 88)},
        {"enhanced cut short", cut(emf, emf.size() - 4)},
        {"enhanced cut in half", cut(emf, emf.size() / 2)},
        {"enhanced record size", emfRecordSize},
        {"enhanced record of no size", emfZeroRecord},
        {"enhanced without end record", emfNoEnd},
        {"enhanced total past the file", emfTotalTooLarge},
        {"enhanced header past the file", emfHeaderTooLarge},
        {"enhanced empty frame", makeEnhancedMetafile(0, 635)},
        {"enhanced upside-down frame", makeEnhancedMetafile(-1270, 635)},
        {"frame too wide", makeEnhancedMetafile(2540 * 200, 635)},          // 19200 pixels
        {"too many pixels", makeEnhancedMetafile(2540 * 150, 2540 * 150)},  // 14400 x 14400
        {"windows header only", cut(wmf, 18)},
        {"windows cut short", cut(wmf, wmf.size() - 2)},
        {"windows record of no size", wmfZeroRecord},
        {"windows record past the file", wmfHugeRecord},
        {"windows header size", wmfBadHeader},
        {"windows total past the file", wmfTotalTooLarge},
        {"windows without end record", wmfNoEnd},
        {"placeable without records", cut(makePlaceable(wmf, 720, 360, 1440), 22)},
        {"placeable header cut", cut(makePlaceable(wmf, 720, 360, 1440), 12)},
        {"placeable with inch 0", makePlaceable(wmf, 720, 360, 0)},
        {"placeable empty box", makePlaceable(wmf, 0, 360, 1440)},
        {"placeable upside-down box", makePlaceable(wmf, -720, 360, 1440)},
        {"placeable too wide", makePlaceable(wmf, 30000, 360, 96)},
        {"placeable with damaged records", makePlaceable(wmfZeroRecord, 720, 360, 1440)},
    };
}
