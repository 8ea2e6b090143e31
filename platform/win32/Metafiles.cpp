// Metafiles.cpp: enhanced and Windows metafiles drawn once through GDI into a
// 32-bit DIB section on white. The record structure is walked first
// (MetafileFormat), so a damaged file is refused rather than half played.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/ImageFiles.h"
#include "platform/core/MetafileFormat.h"
#include "platform/core/PictureIO.h"

namespace {

using PictureIO::fail;


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
    const MetafileLayout layout = ReadMetafileLayout(bytes);
    MemoryDc memory;
    if (memory.dc == nullptr)
        fail(kInvalidMetafileText);

    EnhMetafile metafile;
    int width = layout.width;
    int height = layout.height;
    if (layout.kind == MetafileKind::Enhanced) {
        metafile.handle = SetEnhMetaFileBits(static_cast<UINT>(layout.records.size()), layout.records.data());
    } else if (width > 0) {
        metafile.handle = convertWindows(layout.records, memory.dc, layout.widthMm100, layout.heightMm100);
    } else {
        // No size given: the picture as GDI fits it to the reference device.
        metafile.handle = convertWindows(layout.records, memory.dc, 0, 0);
        ENHMETAHEADER header{};
        if (metafile.handle == nullptr || GetEnhMetaFileHeader(metafile.handle, sizeof header, &header) == 0)
            fail(kInvalidMetafileText);
        width = MetafilePixels((double(header.rclFrame.right) - header.rclFrame.left) * kScreenDpi / kHundredthsOfMmPerInch);
        height = MetafilePixels((double(header.rclFrame.bottom) - header.rclFrame.top) * kScreenDpi / kHundredthsOfMmPerInch);
    }
    if (metafile.handle == nullptr || !PictureIO::sizeAllowed(width, height))
        fail(kInvalidMetafileText);
    TPictureBudget::Charge(width, height);

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
