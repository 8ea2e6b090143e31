// Graphics.h: bitmaps, the canvas with its raster operations, and pictures
// loaded by file extension.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

// A colour as the interface speaks it: 0x00BBGGRR, red in the low byte.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;

// Raster operations of the canvas (the values are the ones the files and the
// Windows API know).
constexpr uint32_t cmSrcCopy = 0x00CC0020;   // dest = src
constexpr uint32_t cmSrcPaint = 0x00EE0086;  // dest = dest OR src
constexpr uint32_t cmSrcAnd = 0x008800C6;    // dest = dest AND src
constexpr uint32_t cmMergePaint = 0x00BB0226;  // dest = (NOT src) OR dest

// Pictures larger than this are refused as invalid images by every reader:
// nothing shown on a screen needs more, and the limit keeps a hostile header
// from asking for gigabytes.
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = 64'000'000;

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TRect&) const = default;
};

class TCanvas;
class TBitmap;

// A drawable image with a width and a height.
class TGraphic {
public:
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;
    virtual ~TGraphic() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() <= 0 || Height() <= 0; }

    // Draws at (x, y) at its own size with the canvas's CopyMode, clipped.
    virtual void Draw(TCanvas& canvas, int x, int y) const = 0;
    // Draws scaled over rect (nearest pixel) with the canvas's CopyMode.
    virtual void StretchDraw(TCanvas& canvas, const TRect& rect) const = 0;

    // Raise EInvalidGraphic with the format's text when the data is not readable.
    virtual void LoadFromStream(TStream& stream) = 0;
    void LoadFromFile(const std::string& fileName);
};

// The drawing surface of a bitmap. Every operation clips at the bitmap's edges.
class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    uint32_t CopyMode = cmSrcCopy;
    TColor PenColor = clBlack;
    TColor BrushColor = clWhite;

    void Draw(int x, int y, const TGraphic& graphic) { graphic.Draw(*this, x, y); }
    void StretchDraw(const TRect& rect, const TGraphic& graphic) { graphic.StretchDraw(*this, rect); }
    // Fills rect with the brush colour.
    void FillRect(const TRect& rect);
    // A one-pixel outline in the pen colour around a fill in the brush colour,
    // from (x1, y1) to (x2, y2) exclusive.
    void Rectangle(int x1, int y1, int x2, int y2);
    // Copies sourceRect of source onto dest with CopyMode (stretched when the sizes differ).
    // Source pixels outside the source bitmap are not drawn. CopyMode must be one
    // of cmSrcCopy, cmSrcPaint, cmSrcAnd, cmMergePaint (else std::invalid_argument).
    void CopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect);
    // Copies sourceRect of source onto dest; pixels equal to keyColor become the brush colour.
    void BrushCopy(const TRect& dest, const TBitmap& source, const TRect& sourceRect, TColor keyColor);
    // Like CopyRect, but pixels whose transparent byte (one per source pixel,
    // rows top-down) is nonzero leave the destination as it was.
    void MaskedCopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect,
                        const uint8_t* transparent);
    // Like CopyRect for a source with an opacity byte per pixel (0 to 255,
    // rows top-down): each source pixel is first laid over the destination
    // pixel by its opacity, and that is combined by CopyMode. Opacity 0
    // leaves the destination as it was; 255 is CopyRect.
    void AlphaCopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect, const uint8_t* alpha);

    // The colour at (x, y); -1 (no colour) outside the bitmap.
    TColor Pixel(int x, int y) const;
    // Ignored outside the bitmap.
    void SetPixel(int x, int y, TColor color);

    TBitmap& Bitmap() { return bitmap_; }

private:
    TBitmap& bitmap_;
};

// A bitmap of 32-bit pixels, rows top-down. A pixel word is 0x00RRGGBB, the
// layout SDL surfaces and Windows DIB sections use, so presenting needs no
// conversion; colours cross the interface as TColor.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height);  // white, like a fresh framework bitmap
    ~TBitmap() override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // Resizes; the whole bitmap becomes white.
    void SetSize(int width, int height);

    // Replaces the whole image; pixels must hold width * height words whose top
    // byte is 0 (std::invalid_argument otherwise).
    void SetPixels(int width, int height, std::vector<uint32_t> pixels);

    uint32_t* ScanLine(int y) { return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_); }
    const uint32_t* ScanLine(int y) const { return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_); }
    uint32_t* Pixels() { return pixels_.data(); }
    const uint32_t* Pixels() const { return pixels_.data(); }

    TCanvas& Canvas() { return *canvas_; }

    void Draw(TCanvas& canvas, int x, int y) const override;
    void StretchDraw(TCanvas& canvas, const TRect& rect) const override;
    // Reads a Windows bitmap file from the stream's position to its end.
    void LoadFromStream(TStream& stream) override;
    // Writes a 24-bit Windows bitmap file.
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::string& fileName) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;
    std::unique_ptr<TCanvas> canvas_;
};

constexpr uint32_t ColorToPixel(TColor c)
{
    const auto v = static_cast<uint32_t>(c);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}
constexpr TColor PixelToColor(uint32_t p)
{
    return static_cast<TColor>(((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF));
}

// An icon: the largest image of an .ico file with its AND mask. Pixels the mask
// marks transparent leave the destination as it was when drawn; the others are
// drawn with the canvas's CopyMode. An icon whose alpha channel has values
// between 0 and 255 is drawn blended by it onto what lies under it instead.
class TIcon : public TGraphic {
public:
    TIcon();
    ~TIcon() override;

    int Width() const override { return image_.Width(); }
    int Height() const override { return image_.Height(); }
    void Draw(TCanvas& canvas, int x, int y) const override;
    void StretchDraw(TCanvas& canvas, const TRect& rect) const override;
    // Reads an icon file from the stream's position to its end.
    void LoadFromStream(TStream& stream) override;

    const TBitmap& Image() const { return image_; }
    // One byte per pixel, rows top-down, nonzero where transparent; empty when
    // nothing is transparent.
    const std::vector<uint8_t>& TransparentMask() const { return transparent_; }
    // The opacity of every pixel, rows top-down; empty unless some pixel is
    // partly transparent.
    const std::vector<uint8_t>& Alpha() const { return alpha_; }

private:
    TBitmap image_;
    std::vector<uint8_t> transparent_;
    std::vector<uint8_t> alpha_;
};

// A picture decoded into pixels when loaded and drawn like a bitmap from then
// on: the formats that are not bitmaps themselves.
class TDecodedGraphic : public TGraphic {
public:
    int Width() const override { return image_.Width(); }
    int Height() const override { return image_.Height(); }
    void Draw(TCanvas& canvas, int x, int y) const override { image_.Draw(canvas, x, y); }
    void StretchDraw(TCanvas& canvas, const TRect& rect) const override { image_.StretchDraw(canvas, rect); }

    const TBitmap& Image() const { return image_; }

protected:
    TBitmap image_;
};

// A JPEG picture.
class TJPEGImage : public TDecodedGraphic {
public:
    // Reads a JPEG file from the stream's position to its end.
    void LoadFromStream(TStream& stream) override;
};

// A Windows metafile (.wmf or .emf), drawn once when loaded, at its own size on white.
class TMetafile : public TDecodedGraphic {
public:
    // Reads a metafile (either kind) from the stream's position to its end.
    void LoadFromStream(TStream& stream) override;
};

// Holds at most one graphic, loaded from a file whose extension chooses the
// format: bmp, jpg/jpeg, ico, and wmf/emf where MetafilesReadable() (Windows).
// Any other extension raises EInvalidGraphic "拡張子 .%s の画像形式は処理できません".
class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // On failure the picture holds no graphic.
    void LoadFromFile(const std::string& fileName);
    // Takes graphic (none empties the picture).
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    // None until a load succeeded; the picture keeps ownership.
    TGraphic* Graphic() const { return graphic_.get(); }

private:
    std::unique_ptr<TGraphic> graphic_;
};
