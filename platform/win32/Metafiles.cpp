// Metafiles.cpp: enhanced and Windows metafiles drawn once through GDI into a
// 32-bit DIB section on white. The record structure is walked before GDI
// sees the bytes, so a damaged file is refused rather than half played.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace {

using PictureIO::Bytes;
using PictureIO::fail;

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr size_t kEmfHeaderSize = 88;  // the header record up to its description fields
constexpr size_t kPlaceableHeaderSize = 22;
constexpr size_t kWmfHeaderSize = 18;
constexpr uint16_t kMetaSetWindowExt = 0x020C;
constexpr double kScreenDpi = 96.0;
constexpr double kHundredthsOfMmPerInch = 2540.0;

// Owned GDI objects, released in reverse order of creation.
struct EnhMetafile {
    HENHMETAFILE handle = nullptr;
    ~EnhMetafile()
    {
        if (handle != nullptr)
            DeleteEnhMetaFile(handle);
    }
};

struct MemoryDc {
    HDC dc = CreateCompatibleDC(nullptr);
    ~MemoryDc()
    {
        if (dc != nullptr)
            DeleteDC(dc);
    }
};

struct DibSection {
    HBITMAP bitmap = nullptr;
    ~DibSection()
    {
        if (bitmap != nullptr)
            DeleteObject(bitmap);
    }
};

int pixelsOf(double length)
{
    const double rounded = std::round(length);
    if (!(rounded >= 1 && rounded <= kMaxPictureSide))
        fail(kInvalidMetafileText);
    return static_cast<int>(rounded);
}

// The enhanced metafile's records: each at least a type and a size, whole
// words, within the file, the first the header and the last the end record.
size_t checkEnhancedRecords(const Bytes& in)
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
        offset += size;
    }
    if (type != kEmrEof)
        fail(kInvalidMetafileText);
    return total;
}

// The Windows metafile's records after its 18-byte header, up to the end
// record; also the window extent, when a record sets one.
struct WmfLayout {
    size_t bytes = 0;
    int extentX = 0;
    int extentY = 0;
};

WmfLayout checkWindowsRecords(const Bytes& in)
{
    const uint16_t type = in.u16(0);
    if ((type != 1 && type != 2) || in.u16(2) != kWmfHeaderSize / 2)
        fail(kInvalidMetafileText);
    WmfLayout layout;
    const uint64_t total = uint64_t{in.u32(6)} * 2;  // mtSize, in 16-bit words
    if (total < kWmfHeaderSize || total > in.size())
        fail(kInvalidMetafileText);
    uint64_t offset = kWmfHeaderSize;
    for (;;) {
        const uint64_t size = uint64_t{in.u32(offset)} * 2;
        const uint16_t function = in.u16(offset + 4);
        if (size < 6 || size > total - offset)
            fail(kInvalidMetafileText);
        if (function == 0)
            break;
        if (function == kMetaSetWindowExt && size >= 10) {
            layout.extentY = std::abs(static_cast<int16_t>(in.u16(offset + 6)));
            layout.extentX = std::abs(static_cast<int16_t>(in.u16(offset + 8)));
        }
        offset += size;
    }
    layout.bytes = static_cast<size_t>(total);
    return layout;
}

// An enhanced metafile of a Windows metafile's records, mapped onto the
// given size in hundredths of a millimetre (none: GDI's own choice).
HENHMETAFILE convertWindows(std::span<const uint8_t> records, HDC reference, int widthMm100, int heightMm100)
{
    METAFILEPICT picture{};
    picture.mm = MM_ANISOTROPIC;
    picture.xExt = widthMm100;
    picture.yExt = heightMm100;
    return SetWinMetaFileBits(static_cast<UINT>(records.size()), records.data(), reference,
                              widthMm100 > 0 ? &picture : nullptr);
}

}  // namespace

bool MetafilesReadable()
{
    return true;
}

TDecodedImage DecodeMetafile(std::span<const uint8_t> bytes)
{
    const Bytes in(bytes, kInvalidMetafileText);
    MemoryDc memory;
    if (memory.dc == nullptr)
        fail(kInvalidMetafileText);

    EnhMetafile metafile;
    int width = 0;
    int height = 0;
    if (in.has(0, kEmfHeaderSize) && in.u32(0) == kEmrHeader && in.u32(40) == ENHMETA_SIGNATURE) {
        const size_t total = checkEnhancedRecords(in);
        // rclFrame, in hundredths of a millimetre.
        width = pixelsOf((double(in.i32(32)) - in.i32(24)) * kScreenDpi / kHundredthsOfMmPerInch);
        height = pixelsOf((double(in.i32(36)) - in.i32(28)) * kScreenDpi / kHundredthsOfMmPerInch);
        metafile.handle = SetEnhMetaFileBits(static_cast<UINT>(total), bytes.data());
    } else if (in.has(0, 4) && in.u32(0) == kPlaceableKey) {
        // Bounding box in units of which `inch` make an inch.
        const int inch = in.u16(14);
        if (inch == 0)
            fail(kInvalidMetafileText);
        const int boxWidth = int(int16_t(in.u16(10))) - int16_t(in.u16(6));
        const int boxHeight = int(int16_t(in.u16(12))) - int16_t(in.u16(8));
        width = pixelsOf(double(boxWidth) * kScreenDpi / inch);
        height = pixelsOf(double(boxHeight) * kScreenDpi / inch);
        const Bytes records(bytes.subspan(std::min(bytes.size(), kPlaceableHeaderSize)), kInvalidMetafileText);
        const WmfLayout layout = checkWindowsRecords(records);
        metafile.handle = convertWindows(records.span().first(layout.bytes), memory.dc,
                                         static_cast<int>(std::lround(double(boxWidth) * kHundredthsOfMmPerInch / inch)),
                                         static_cast<int>(std::lround(double(boxHeight) * kHundredthsOfMmPerInch / inch)));
    } else {
        const WmfLayout layout = checkWindowsRecords(in);
        const auto records = bytes.first(layout.bytes);
        if (layout.extentX > 0 && layout.extentY > 0) {
            // No physical size given: a logical unit is a screen pixel.
            width = pixelsOf(layout.extentX);
            height = pixelsOf(layout.extentY);
            metafile.handle = convertWindows(records, memory.dc,
                                             static_cast<int>(std::lround(width * kHundredthsOfMmPerInch / kScreenDpi)),
                                             static_cast<int>(std::lround(height * kHundredthsOfMmPerInch / kScreenDpi)));
        } else {
            // Nor a window extent: the picture as GDI fits it to the reference device.
            metafile.handle = convertWindows(records, memory.dc, 0, 0);
            ENHMETAHEADER header{};
            if (metafile.handle == nullptr || GetEnhMetaFileHeader(metafile.handle, sizeof header, &header) == 0)
                fail(kInvalidMetafileText);
            width = pixelsOf((double(header.rclFrame.right) - header.rclFrame.left) * kScreenDpi / kHundredthsOfMmPerInch);
            height = pixelsOf((double(header.rclFrame.bottom) - header.rclFrame.top) * kScreenDpi / kHundredthsOfMmPerInch);
        }
    }
    if (metafile.handle == nullptr || !PictureIO::sizeAllowed(width, height))
        fail(kInvalidMetafileText);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    DibSection dib;
    dib.bitmap = CreateDIBSection(memory.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib.bitmap == nullptr || bits == nullptr)
        fail(kInvalidMetafileText);
    const HGDIOBJ previous = SelectObject(memory.dc, dib.bitmap);
    const RECT whole{0, 0, width, height};
    FillRect(memory.dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const BOOL played = PlayEnhMetaFile(memory.dc, metafile.handle, &whole);
    GdiFlush();
    SelectObject(memory.dc, previous);
    if (!played)
        fail(kInvalidMetafileText);

    TDecodedImage image;
    image.width = width;
    image.height = height;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    image.pixels.resize(count);
    std::memcpy(image.pixels.data(), bits, count * sizeof(uint32_t));
    for (uint32_t& pixel : image.pixels)
        pixel &= 0xFFFFFF;
    return image;
}
