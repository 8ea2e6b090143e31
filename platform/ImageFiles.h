// ImageFiles.h: the picture file readers and writers, on bytes in memory. The
// graphic classes of Graphics.h load through these; tools and fuzz targets may
// call them directly.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class TBitmap;

// A decoded picture: pixel words 0x00RRGGBB, rows top-down.
struct TDecodedImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    // Empty, or one byte per pixel, nonzero where the picture is transparent.
    std::vector<uint8_t> transparent;
    // Empty, or the opacity of every pixel (0 to 255) when some pixel is
    // partly transparent; transparent is then its threshold at 128.
    std::vector<uint8_t> alpha;
};

// The texts of EInvalidGraphic for contents a format cannot read.
inline constexpr const char* kInvalidBitmapText = "ビットマップイメージが不正です";
inline constexpr const char* kInvalidIconText = "アイコンイメージが不正です";
inline constexpr const char* kJpegErrorText = "JPEG エラー #%d";
inline constexpr const char* kInvalidPngText = "PNG イメージが不正です";
inline constexpr const char* kInvalidMetafileText = "メタファイルが不正です";
inline constexpr const char* kUnknownExtensionText = "拡張子 .%s の画像形式は処理できません";

// While one lives, the pictures read on this thread (every format, embedded
// or not) may take at most `bytes` decoded bytes in all, four a pixel: each
// reader charges a picture once its size is known, before its pixels are
// allocated, and raises EShowTooLarge past the budget. Budgets nest; the
// innermost counts. Without one only each picture's own limits hold.
class TPictureBudget {
public:
    explicit TPictureBudget(int64_t bytes);
    ~TPictureBudget();
    TPictureBudget(const TPictureBudget&) = delete;
    TPictureBudget& operator=(const TPictureBudget&) = delete;

    int64_t Used() const { return used_; }
    // Charges a picture of width x height to the current budget, if any.
    static void Charge(int64_t width, int64_t height);

private:
    int64_t limit_;
    int64_t used_ = 0;
    TPictureBudget* outer_;
};

// Each raises EInvalidGraphic with its format's text when the bytes are not a
// readable picture of at most kMaxPictureSide pixels a side and
// kMaxPicturePixels pixels, and EShowTooLarge past a TPictureBudget.
TDecodedImage DecodeBmp(std::span<const uint8_t> bytes);   // Windows and OS/2 bitmaps
TDecodedImage DecodeIco(std::span<const uint8_t> bytes);   // the largest image of an icon file
TDecodedImage DecodeJpeg(std::span<const uint8_t> bytes);  // "JPEG エラー #<libjpeg message number>"
TDecodedImage DecodePng(std::span<const uint8_t> bytes);   // alpha below 128 is transparent

// Whether this build draws metafiles (Windows through GDI, Linux through
// libwmf, libemf2svg and librsvg). Where not, TPicture refuses .wmf and .emf
// files as an unknown format.
bool MetafilesReadable();
// An enhanced metafile, a placeable ("Aldus") Windows metafile or a plain
// Windows metafile, told apart by their headers, drawn once on white at its
// own size: an enhanced metafile's frame, a placeable one's bounding box, at
// 96 pixels per inch. Raises EInvalidGraphic "メタファイルが不正です" for bytes
// that are none of these or a picture beyond the limits; where metafiles are
// not readable, the unknown-extension text for "emf" or "wmf".
TDecodedImage DecodeMetafile(std::span<const uint8_t> bytes);

// A 24-bit bottom-up Windows bitmap file of the bitmap.
std::vector<uint8_t> EncodeBmp24(const TBitmap& bitmap);
// An 8-bit RGB PNG file of the bitmap (no alpha).
std::vector<uint8_t> EncodePng(const TBitmap& bitmap);

// Writes EncodePng's bytes to a file; EFCreateError / EWriteError on failure.
void SavePng(const TBitmap& bitmap, const std::string& fileName);
// Reads a PNG file into bitmap (transparent pixels keep their colour);
// EFOpenError or EInvalidGraphic "PNG イメージが不正です".
void LoadPng(const std::string& fileName, TBitmap& bitmap);
