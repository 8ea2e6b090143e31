// MetafileFormat.cpp: walks a metafile's records and works out its size, so
// that every renderer refuses the same damaged files before playing any.
#include "platform/core/MetafileFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace {

using PictureIO::Bytes;
using PictureIO::fail;

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kEmfHeaderSize = 88;           // the header record up to its description fields
constexpr uint16_t kMetaSetWindowExt = 0x020C;

void countRecord(size_t& count)
{
    if (++count > kMaxMetafileRecords)
        fail(kInvalidMetafileText);
}

// The enhanced metafile's records: each at least a type and a size, whole
// words, within the file, the first the header and the last the end record.
void walkEnhancedRecords(const Bytes& in, MetafileLayout& layout)
{
    const uint32_t total = in.u32(48);  // nBytes
    if (total > in.size() || in.u32(4) < kEmfHeaderSize || in.u32(4) > total)
        fail(kInvalidMetafileText);
    size_t offset = 0;
    uint32_t type = 0;
    while (offset < total) {
        type = in.u32(offset);
        const uint32_t size = in.u32(offset + 4);
        if (size < 8 || size % 4 != 0 || size > total - offset)
            fail(kInvalidMetafileText);
        countRecord(layout.recordCount);
        offset += size;
    }
    if (type != kEmrEof)
        fail(kInvalidMetafileText);
    layout.records = in.span().first(total);
}

// The Windows metafile's records after its 18-byte header, up to the end
// record; also the window extent, when a record sets one.
struct WindowExtent {
    int x = 0;
    int y = 0;
};

WindowExtent walkWindowsRecords(const Bytes& in, MetafileLayout& layout)
{
    const uint16_t type = in.u16(0);
    if ((type != 1 && type != 2) || in.u16(2) != kWmfHeaderSize / 2)
        fail(kInvalidMetafileText);
    WindowExtent extent;
    const uint64_t total = uint64_t{in.u32(6)} * 2;  // mtSize, in 16-bit words
    if (total < kWmfHeaderSize || total > in.size())
        fail(kInvalidMetafileText);
    uint64_t offset = kWmfHeaderSize;
    for (;;) {
        const uint64_t size = uint64_t{in.u32(offset)} * 2;
        const uint16_t function = in.u16(offset + 4);
        if (size < 6 || size > total - offset)
            fail(kInvalidMetafileText);
        countRecord(layout.recordCount);
        layout.largestRecordWords = std::max(layout.largestRecordWords, static_cast<uint32_t>(size / 2));
        if (function == 0)
            break;
        if (function == kMetaSetWindowExt && size >= 10) {
            extent.y = std::abs(static_cast<int16_t>(in.u16(offset + 6)));
            extent.x = std::abs(static_cast<int16_t>(in.u16(offset + 8)));
        }
        offset += size;
    }
    layout.records = in.span().first(static_cast<size_t>(total));
    return extent;
}

void checkPixels(const MetafileLayout& layout)
{
    if (!PictureIO::sizeAllowed(layout.width, layout.height))
        fail(kInvalidMetafileText);
}

}  // namespace

MetafileLayout ReadMetafileLayout(std::span<const uint8_t> bytes)
{
    const Bytes in(bytes, kInvalidMetafileText);
    MetafileLayout layout;
    if (in.has(0, kEmfHeaderSize) && in.u32(0) == kEmrHeader && in.u32(40) == kEmfSignature) {
        layout.kind = MetafileKind::Enhanced;
        walkEnhancedRecords(in, layout);
        // rclFrame, in hundredths of a millimetre.
        const double widthMm100 = double(in.i32(32)) - in.i32(24);
        const double heightMm100 = double(in.i32(36)) - in.i32(28);
        layout.width = MetafilePixels(widthMm100 * kScreenDpi / kHundredthsOfMmPerInch);
        layout.height = MetafilePixels(heightMm100 * kScreenDpi / kHundredthsOfMmPerInch);
        layout.widthMm100 = static_cast<int>(widthMm100);
        layout.heightMm100 = static_cast<int>(heightMm100);
        checkPixels(layout);
    } else if (in.has(0, 4) && in.u32(0) == kPlaceableKey) {
        layout.kind = MetafileKind::Placeable;
        // Bounding box in units of which `inch` make an inch.
        const int inch = in.u16(14);
        if (inch == 0)
            fail(kInvalidMetafileText);
        const int boxWidth = int(int16_t(in.u16(10))) - int16_t(in.u16(6));
        const int boxHeight = int(int16_t(in.u16(12))) - int16_t(in.u16(8));
        layout.width = MetafilePixels(double(boxWidth) * kScreenDpi / inch);
        layout.height = MetafilePixels(double(boxHeight) * kScreenDpi / inch);
        checkPixels(layout);
        const Bytes records(bytes.subspan(std::min(bytes.size(), kPlaceableHeaderSize)), kInvalidMetafileText);
        walkWindowsRecords(records, layout);
        layout.widthMm100 = static_cast<int>(std::lround(double(boxWidth) * kHundredthsOfMmPerInch / inch));
        layout.heightMm100 = static_cast<int>(std::lround(double(boxHeight) * kHundredthsOfMmPerInch / inch));
    } else {
        layout.kind = MetafileKind::Windows;
        const WindowExtent extent = walkWindowsRecords(in, layout);
        if (extent.x > 0 && extent.y > 0) {
            // No physical size given: a logical unit is a screen pixel.
            layout.width = MetafilePixels(extent.x);
            layout.height = MetafilePixels(extent.y);
            checkPixels(layout);
            layout.widthMm100 = static_cast<int>(std::lround(layout.width * kHundredthsOfMmPerInch / kScreenDpi));
            layout.heightMm100 = static_cast<int>(std::lround(layout.height * kHundredthsOfMmPerInch / kScreenDpi));
        }
    }
    return layout;
}

int MetafilePixels(double length)
{
    const double rounded = std::round(length);
    if (!(rounded >= 1 && rounded <= kMaxPictureSide))
        PictureIO::fail(kInvalidMetafileText);
    return static_cast<int>(rounded);
}
