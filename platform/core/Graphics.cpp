// Graphics.cpp: bitmaps, the canvas with its clipped raster operations, the
// icon and JPEG graphics, and the picture holder that picks a format by the
// file name's extension.
#include "platform/Graphics.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"
#include "platform/Raster.h"
#include "platform/core/PictureIO.h"

namespace {

constexpr uint32_t kWhitePixel = 0x00FFFFFF;

__extension__ typedef __int128 Wide;

// A read-only view of pixels (a bitmap, or a private copy of one).
struct PixelView {
    const uint32_t* pixels;
    int64_t width;
    int64_t height;
    const uint8_t* transparent;  // nullptr, or one byte per pixel
    const uint8_t* alpha = nullptr;  // nullptr, or one opacity byte per pixel
};

// A rectangle at (x, y) of size w x h whose edges saturate at the int range.
TRect rectAt(int x, int y, int w, int h)
{
    auto clampInt = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return {x, y, clampInt(int64_t{x} + w), clampInt(int64_t{y} + h)};
}

// Combines sourceRect of src into destRect of dest, row by row, through rowOp
// (dest row, source row, count). Clips at every edge of both bitmaps; when the
// rectangles differ in size the source is sampled at the nearest pixel.
template <typename RowOp>
void blit(TBitmap& dest, const TRect& destRect, const PixelView& src, const TRect& srcRect, RowOp rowOp)
{
    const int64_t dw = int64_t{destRect.Right} - destRect.Left;
    const int64_t dh = int64_t{destRect.Bottom} - destRect.Top;
    const int64_t sw = int64_t{srcRect.Right} - srcRect.Left;
    const int64_t sh = int64_t{srcRect.Bottom} - srcRect.Top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || dest.Width() <= 0 || dest.Height() <= 0)
        return;

    std::vector<uint32_t> blended;  // the destination row combined, for transparent sources
    std::vector<uint32_t> laidOver;  // the source row laid over the destination, for partly transparent sources
    auto applyRow = [&](uint32_t* d, const uint32_t* s, const uint8_t* t, const uint8_t* a, size_t n) {
        if (a) {
            laidOver.resize(n);
            Raster::BlendRow(laidOver.data(), s, d, a, n);
            blended.assign(d, d + n);
            rowOp(blended.data(), laidOver.data(), n);
            for (size_t i = 0; i < n; ++i)
                if (a[i] != 0)
                    d[i] = blended[i];
            return;
        }
        if (!t) {
            rowOp(d, s, n);
            return;
        }
        blended.assign(d, d + n);
        rowOp(blended.data(), s, n);
        Raster::SelectRow(d, blended.data(), t, n);
    };

    if (dw == sw && dh == sh) {
        int64_t dx = destRect.Left, dy = destRect.Top, sx = srcRect.Left, sy = srcRect.Top;
        int64_t w = dw, h = dh;
        if (dx < 0) { sx -= dx; w += dx; dx = 0; }
        if (sx < 0) { dx -= sx; w += sx; sx = 0; }
        if (dy < 0) { sy -= dy; h += dy; dy = 0; }
        if (sy < 0) { dy -= sy; h += sy; sy = 0; }
        w = std::min({w, dest.Width() - dx, src.width - sx});
        h = std::min({h, dest.Height() - dy, src.height - sy});
        if (w <= 0 || h <= 0)
            return;
        for (int64_t row = 0; row < h; ++row) {
            const int64_t srcIndex = (sy + row) * src.width + sx;
            applyRow(dest.ScanLine(static_cast<int>(dy + row)) + dx, src.pixels + srcIndex,
                     src.transparent ? src.transparent + srcIndex : nullptr, src.alpha ? src.alpha + srcIndex : nullptr,
                     static_cast<size_t>(w));
        }
        return;
    }

    // Nearest pixel: destination pixel i of the rectangle samples the source
    // pixel under its centre.
    auto sample = [](int64_t i, int64_t srcSize, int64_t destSize) {
        return static_cast<int64_t>((Wide{2} * i + 1) * srcSize / (Wide{2} * destSize));
    };
    const int64_t x0 = std::max<int64_t>(destRect.Left, 0);
    const int64_t x1 = std::min<int64_t>(destRect.Right, dest.Width());
    const int64_t y0 = std::max<int64_t>(destRect.Top, 0);
    const int64_t y1 = std::min<int64_t>(destRect.Bottom, dest.Height());
    if (x0 >= x1 || y0 >= y1)
        return;
    // The source column of every visible destination column; those that fall
    // outside the source form a run at either end and are not drawn.
    std::vector<int64_t> columns;
    int64_t first = -1;
    for (int64_t x = x0; x < x1; ++x) {
        const int64_t sx = srcRect.Left + sample(x - destRect.Left, sw, dw);
        if (sx < 0 || sx >= src.width) {
            if (first >= 0)
                break;
            continue;
        }
        if (first < 0)
            first = x;
        columns.push_back(sx);
    }
    if (columns.empty())
        return;
    std::vector<uint32_t> row(columns.size());
    std::vector<uint8_t> rowTransparent(src.transparent ? columns.size() : 0);
    std::vector<uint8_t> rowAlpha(src.alpha ? columns.size() : 0);
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t sy = srcRect.Top + sample(y - destRect.Top, sh, dh);
        if (sy < 0 || sy >= src.height)
            continue;
        const uint32_t* srcRow = src.pixels + sy * src.width;
        for (size_t i = 0; i < columns.size(); ++i)
            row[i] = srcRow[columns[i]];
        if (src.transparent) {
            const uint8_t* t = src.transparent + sy * src.width;
            for (size_t i = 0; i < columns.size(); ++i)
                rowTransparent[i] = t[columns[i]];
        }
        if (src.alpha) {
            const uint8_t* a = src.alpha + sy * src.width;
            for (size_t i = 0; i < columns.size(); ++i)
                rowAlpha[i] = a[columns[i]];
        }
        applyRow(dest.ScanLine(static_cast<int>(y)) + first, row.data(),
                 src.transparent ? rowTransparent.data() : nullptr, src.alpha ? rowAlpha.data() : nullptr,
                 columns.size());
    }
}

// A view of source; a private copy when source is also the destination, so
// overlapping rows never meet in one row operation.
PixelView viewOf(const TBitmap& source, const TBitmap& dest, std::vector<uint32_t>& copy,
                 const uint8_t* transparent = nullptr)
{
    const uint32_t* pixels = source.Pixels();
    if (&source == &dest) {
        copy.assign(pixels, pixels + static_cast<size_t>(source.Width()) * static_cast<size_t>(source.Height()));
        pixels = copy.data();
    }
    return {pixels, source.Width(), source.Height(), transparent};
}

auto ropFor(uint32_t copyMode)
{
    switch (copyMode) {
    case cmSrcCopy:
    case cmSrcPaint:
    case cmSrcAnd:
    case cmMergePaint:
        return [copyMode](uint32_t* d, const uint32_t* s, size_t n) { Raster::RopRow(copyMode, d, s, n); };
    default:
        throw std::invalid_argument("unsupported raster operation");
    }
}

std::string extensionOf(const std::string& fileName)
{
    const size_t separator = fileName.find_last_of("\\/:");
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator))
        return {};
    return fileName.substr(dot + 1);
}

std::string asciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

// --- TGraphic ---

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

std::vector<uint8_t> PictureIO::readRest(TStream& stream, const char* invalidText)
{
    // No picture within the size limits needs a file this large.
    constexpr int64_t kMaxFileBytes = int64_t{512} * 1024 * 1024;
    const int64_t left = stream.Size() - stream.Position();
    if (left > kMaxFileBytes)
        fail(invalidText);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(left, 0)));
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

void PictureIO::keepPartialAlpha(TDecodedImage& image, const std::vector<uint8_t>& bgra)
{
    const size_t count = bgra.size() / 4;
    bool partly = false;
    for (size_t i = 0; i < count && !partly; ++i)
        partly = bgra[4 * i + 3] != 0 && bgra[4 * i + 3] != 255;
    if (!partly)
        return;
    image.alpha.resize(count);
    for (size_t i = 0; i < count; ++i)
        image.alpha[i] = bgra[4 * i + 3];
}

// --- TCanvas ---

void TCanvas::FillRect(const TRect& rect)
{
    const int x0 = std::max(rect.Left, 0);
    const int x1 = std::min(rect.Right, bitmap_.Width());
    const int y0 = std::max(rect.Top, 0);
    const int y1 = std::min(rect.Bottom, bitmap_.Height());
    if (x0 >= x1 || y0 >= y1)
        return;
    const uint32_t value = ColorToPixel(BrushColor);
    for (int y = y0; y < y1; ++y)
        Raster::FillRow(bitmap_.ScanLine(y) + x0, static_cast<size_t>(x1 - x0), value);
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    if (x2 <= x1 || y2 <= y1)
        return;
    FillRect({x1, y1, x2, y2});
    const TColor brush = BrushColor;
    BrushColor = PenColor;
    FillRect({x1, y1, x2, y1 + 1});
    FillRect({x1, y2 - 1, x2, y2});
    FillRect({x1, y1, x1 + 1, y2});
    FillRect({x2 - 1, y1, x2, y2});
    BrushColor = brush;
}

void TCanvas::CopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect)
{
    const auto op = ropFor(CopyMode);
    std::vector<uint32_t> copy;
    blit(bitmap_, dest, viewOf(source, bitmap_, copy), sourceRect, op);
}

void TCanvas::BrushCopy(const TRect& dest, const TBitmap& source, const TRect& sourceRect, TColor keyColor)
{
    const uint32_t key = ColorToPixel(keyColor);
    const uint32_t brush = ColorToPixel(BrushColor);
    std::vector<uint32_t> copy;
    blit(bitmap_, dest, viewOf(source, bitmap_, copy), sourceRect,
         [key, brush](uint32_t* d, const uint32_t* s, size_t n) { Raster::KeyCopyRow(d, s, n, key, brush); });
}

void TCanvas::MaskedCopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect,
                             const uint8_t* transparent)
{
    const auto op = ropFor(CopyMode);
    std::vector<uint32_t> copy;
    blit(bitmap_, dest, viewOf(source, bitmap_, copy, transparent), sourceRect, op);
}

void TCanvas::AlphaCopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect, const uint8_t* alpha)
{
    const auto op = ropFor(CopyMode);
    std::vector<uint32_t> copy;
    PixelView view = viewOf(source, bitmap_, copy);
    view.alpha = alpha;
    blit(bitmap_, dest, view, sourceRect, op);
}

TColor TCanvas::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= bitmap_.Width() || y >= bitmap_.Height())
        return -1;
    return PixelToColor(bitmap_.ScanLine(y)[x]);
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= bitmap_.Width() || y >= bitmap_.Height())
        return;
    bitmap_.ScanLine(y)[x] = ColorToPixel(color);
}

// --- TBitmap ---

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>(*this)) {}

TBitmap::TBitmap(int width, int height) : TBitmap()
{
    SetSize(width, height);
}

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int width, int height)
{
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    // A new bitmap is white, as the framework's default brush paints it.
    pixels_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    Raster::FillRow(pixels_.data(), pixels_.size(), kWhitePixel);
}

void TBitmap::SetPixels(int width, int height, std::vector<uint32_t> pixels)
{
    if (width < 0 || height < 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)
        || std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; }))
        throw std::invalid_argument("TBitmap::SetPixels: pixels do not match the size");
    width_ = width;
    height_ = height;
    pixels_ = std::move(pixels);
}

void TBitmap::Draw(TCanvas& canvas, int x, int y) const
{
    canvas.CopyRect(rectAt(x, y, width_, height_), *this, {0, 0, width_, height_});
}

void TBitmap::StretchDraw(TCanvas& canvas, const TRect& rect) const
{
    canvas.CopyRect(rect, *this, {0, 0, width_, height_});
}

void TBitmap::LoadFromStream(TStream& stream)
{
    TDecodedImage image = DecodeBmp(PictureIO::readRest(stream, kInvalidBitmapText));
    SetPixels(image.width, image.height, std::move(image.pixels));
}

void TBitmap::SaveToStream(TStream& stream) const
{
    const std::vector<uint8_t> bytes = EncodeBmp24(*this);
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TBitmap::SaveToFile(const std::string& fileName) const
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

// --- TIcon ---

TIcon::TIcon() = default;
TIcon::~TIcon() = default;

void TIcon::Draw(TCanvas& canvas, int x, int y) const
{
    StretchDraw(canvas, rectAt(x, y, Width(), Height()));
}

void TIcon::StretchDraw(TCanvas& canvas, const TRect& rect) const
{
    const TRect whole{0, 0, Width(), Height()};
    if (!alpha_.empty())
        canvas.AlphaCopyRect(rect, image_, whole, alpha_.data());
    else if (transparent_.empty())
        canvas.CopyRect(rect, image_, whole);
    else
        canvas.MaskedCopyRect(rect, image_, whole, transparent_.data());
}

void TIcon::LoadFromStream(TStream& stream)
{
    TDecodedImage image = DecodeIco(PictureIO::readRest(stream, kInvalidIconText));
    const bool anyTransparent = std::any_of(image.transparent.begin(), image.transparent.end(),
                                            [](uint8_t t) { return t != 0; });
    image_.SetPixels(image.width, image.height, std::move(image.pixels));
    transparent_ = anyTransparent ? std::move(image.transparent) : std::vector<uint8_t>{};
    alpha_ = std::move(image.alpha);
}

// --- TMetafile ---

void TMetafile::LoadFromStream(TStream& stream)
{
    TDecodedImage image = DecodeMetafile(PictureIO::readRest(stream, kInvalidMetafileText));
    image_.SetPixels(image.width, image.height, std::move(image.pixels));
}

// --- TPicture ---

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::LoadFromFile(const std::string& fileName)
{
    graphic_.reset();
    const std::string extension = extensionOf(fileName);
    const std::string format = asciiLower(extension);
    std::unique_ptr<TGraphic> graphic;
    if (format == "bmp")
        graphic = std::make_unique<TBitmap>();
    else if (format == "jpg" || format == "jpeg")
        graphic = std::make_unique<TJPEGImage>();
    else if (format == "ico")
        graphic = std::make_unique<TIcon>();
    else if ((format == "wmf" || format == "emf") && MetafilesReadable())
        graphic = std::make_unique<TMetafile>();
    else
        throw EInvalidGraphic(Format(kUnknownExtensionText, {extension}));
    graphic->LoadFromFile(fileName);
    graphic_ = std::move(graphic);
}

// --- PNG files, through whichever encoder and decoder the system has ---

void SavePng(const TBitmap& bitmap, const std::string& fileName)
{
    const std::vector<uint8_t> bytes = EncodePng(bitmap);
    TFileStream stream(fileName, fmCreate);
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void LoadPng(const std::string& fileName, TBitmap& bitmap)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    TDecodedImage image = DecodePng(PictureIO::readRest(stream, kInvalidPngText));
    bitmap.SetPixels(image.width, image.height, std::move(image.pixels));
}
