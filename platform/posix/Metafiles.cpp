// Metafiles.cpp: enhanced and Windows metafiles drawn once on white through
// Debian's libraries: Windows metafiles by libwmf's gd device, enhanced
// metafiles by libemf2svg into SVG and librsvg onto a cairo image. The
// record structure is walked first (MetafileFormat), so the libraries see
// only files whose records lie within their bytes and end properly.
#include <cairo.h>
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <gd.h>  // libwmf's own gd, from its include directory
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ImageFiles.h"
#include "platform/core/MetafileFormat.h"
#include "platform/core/PictureIO.h"

namespace {

using PictureIO::fail;

constexpr size_t kPlaceableHeaderSize = 22;
constexpr size_t kWmfHeaderSize = 18;
constexpr double kScreenDpi = 96.0;
constexpr uint32_t kWhite = 0xFFFFFF;

// What the picture's records set of the mapping from logical units to
// libwmf's device units (the last value of each, as files set them once
// before drawing).
struct WindowsMapping {
    int mapMode = 1;  // MM_TEXT
    bool hasWindowExtent = false;
    int16_t windowOrgX = 0, windowOrgY = 0;
    int16_t windowExtX = 0, windowExtY = 0;
    int16_t viewportOrgX = 0, viewportOrgY = 0;
    // libwmf's viewport for a scaled mapping until a record sets one.
    int16_t viewportExtX = 1024, viewportExtY = 1024;
    // Over the whole file, which may change the mapping between drawings: the
    // largest number of device units a logical unit can span.
    bool anyScaledMode = false;
    double smallestWindowExtent = 32768;
    double largestViewportExtent = 1024;
};

WindowsMapping readMapping(std::span<const uint8_t> records)
{
    constexpr uint16_t kSetMapMode = 0x0103;
    constexpr uint16_t kSetWindowOrg = 0x020B;
    constexpr uint16_t kSetWindowExt = 0x020C;
    constexpr uint16_t kSetViewportOrg = 0x020D;
    constexpr uint16_t kSetViewportExt = 0x020E;
    const PictureIO::Bytes in(records, kInvalidMetafileText);
    const auto s16 = [&](uint64_t offset) { return static_cast<int16_t>(in.u16(offset)); };
    WindowsMapping mapping;
    // The walk has checked the record sizes already.
    for (uint64_t offset = kWmfHeaderSize; offset + 6 <= in.size();) {
        const uint64_t size = uint64_t{in.u32(offset)} * 2;
        const uint16_t function = in.u16(offset + 4);
        if (function == 0 || size < 6)
            break;
        if (function == kSetMapMode && size >= 8) {
            mapping.mapMode = in.u16(offset + 6);
            mapping.anyScaledMode = mapping.anyScaledMode || mapping.mapMode == 7 || mapping.mapMode == 8;
        } else if (size >= 10) {
            // Each of these takes y, then x.
            const int16_t y = s16(offset + 6);
            const int16_t x = s16(offset + 8);
            if (function == kSetWindowOrg) {
                mapping.windowOrgX = x;
                mapping.windowOrgY = y;
            } else if (function == kSetWindowExt) {
                mapping.windowExtX = x;
                mapping.windowExtY = y;
                mapping.hasWindowExtent = x != 0 && y != 0;
                for (const int16_t extent : {x, y})
                    if (extent != 0)
                        mapping.smallestWindowExtent = std::min(mapping.smallestWindowExtent, std::abs(double(extent)));
            } else if (function == kSetViewportOrg) {
                mapping.viewportOrgX = x;
                mapping.viewportOrgY = y;
            } else if (function == kSetViewportExt) {
                mapping.viewportExtX = x;
                mapping.viewportExtY = y;
                mapping.largestViewportExtent = std::max({mapping.largestViewportExtent, std::abs(double(x)),
                    std::abs(double(y))});
            }
        }
        offset += size;
    }
    return mapping;
}

// libwmf strokes a wide pen in time that grows with its width in pixels: a
// hostile file's pen of 60000 units took seconds. A pen twice as wide as the
// picture's larger side covers the picture from any line in it, so a wider
// one paints nothing more and is narrowed to that (in logical units).
void narrowPens(std::vector<uint8_t>& file, size_t recordsAt, double widestLogical)
{
    constexpr uint16_t kCreatePenIndirect = 0x02FA;
    const uint16_t widest = static_cast<uint16_t>(std::clamp(std::ceil(widestLogical), 1.0, 32767.0));
    const auto u16 = [&](size_t at) { return static_cast<uint16_t>(file[at] | file[at + 1] << 8); };
    const auto u32 = [&](size_t at) { return uint32_t{u16(at)} | uint32_t{u16(at + 2)} << 16; };
    // The walk has checked that every record lies within the bytes.
    for (size_t offset = recordsAt; offset + 6 <= file.size();) {
        const uint64_t size = uint64_t{u32(offset)} * 2;
        const uint16_t function = u16(offset + 4);
        if (function == 0 || size < 6 || size > file.size() - offset)
            break;
        // Style, then the width as a point whose x is the width.
        if (function == kCreatePenIndirect && size >= 12) {
            const int width = std::abs(static_cast<int16_t>(u16(offset + 8)));
            if (width > widest) {
                file[offset + 8] = static_cast<uint8_t>(widest);
                file[offset + 9] = static_cast<uint8_t>(widest >> 8);
            }
        }
        offset += size;
    }
}

wmfD_Rect deviceRect(double left, double top, double right, double bottom)
{
    wmfD_Rect rect{};
    rect.TL.x = static_cast<float>(std::min(left, right));
    rect.TL.y = static_cast<float>(std::min(top, bottom));
    rect.BR.x = static_cast<float>(std::max(left, right));
    rect.BR.y = static_cast<float>(std::max(top, bottom));
    return rect;
}

// The part of libwmf's device plane the picture shows: the window where a
// record sets one, else the placeable box; none: what the drawing covers.
std::optional<wmfD_Rect> pictureInDevice(std::span<const uint8_t> file, const MetafileLayout& layout)
{
    constexpr int kMmIsotropic = 7;
    constexpr int kMmAnisotropic = 8;
    const WindowsMapping m = readMapping(layout.records);
    if (m.hasWindowExtent && (m.mapMode == kMmIsotropic || m.mapMode == kMmAnisotropic)) {
        if (m.viewportExtX == 0 || m.viewportExtY == 0)
            return std::nullopt;
        return deviceRect(m.viewportOrgX, m.viewportOrgY, double(m.viewportOrgX) + m.viewportExtX,
                          double(m.viewportOrgY) + m.viewportExtY);
    }
    // Unscaled: logical units are device units, moved by the origins.
    const double shiftX = double(m.viewportOrgX) - m.windowOrgX;
    const double shiftY = double(m.viewportOrgY) - m.windowOrgY;
    if (m.hasWindowExtent) {
        return deviceRect(m.viewportOrgX, m.viewportOrgY, double(m.viewportOrgX) + m.windowExtX,
                          double(m.viewportOrgY) + m.windowExtY);
    }
    if (layout.kind == MetafileKind::Placeable) {
        const PictureIO::Bytes in(file, kInvalidMetafileText);
        const auto s16 = [&](uint64_t offset) { return double(static_cast<int16_t>(in.u16(offset))); };
        return deviceRect(s16(6) + shiftX, s16(8) + shiftY, s16(10) + shiftX, s16(12) + shiftY);
    }
    return std::nullopt;
}

// The widest pen, in logical units, that paints at most twice the picture's
// larger side in pixels under any mapping the file sets.
double widestUsefulPen(const MetafileLayout& layout, const std::optional<wmfD_Rect>& shown)
{
    const double largerSide = std::max(layout.width, layout.height);
    if (!shown || largerSide <= 0)
        return 2.0 * kMaxPictureSide;  // logical units are about pixels here
    const double boxWidth = std::max(double(shown->BR.x - shown->TL.x), 1e-3);
    const double boxHeight = std::max(double(shown->BR.y - shown->TL.y), 1e-3);
    // Pixels per device unit of the shown box, the larger of both directions.
    const double pixelsPerUnit = std::max(layout.width / boxWidth, layout.height / boxHeight);
    double widest = 2.0 * largerSide / pixelsPerUnit;
    // A scaled mapping turns a logical unit into up to viewport over window
    // device units; taken at its largest over the whole file.
    const WindowsMapping m = readMapping(layout.records);
    if (m.anyScaledMode)
        widest /= std::max(m.largestViewportExtent / m.smallestWindowExtent, 1.0);
    return widest;
}

// The image libwmf's gd device leaves to its caller, which the library
// offers no call to free: its true-colour pixels are one block behind the
// row pointers; a drawn polygon leaves its scratch buffer.
void releaseGdImage(void* image)
{
    auto* gd = static_cast<gdImagePtr>(image);
    if (gd == nullptr)
        return;
    if (gd->tpixels != nullptr) {
        std::free(gd->tpixels[0]);
        std::free(gd->tpixels);
    }
    std::free(gd->polyInts);
    std::free(gd->style);
    std::free(gd);
}

// libwmf's player with its gd device, destroyed with everything it allocated.
struct WmfPlayer {
    wmfAPI* api = nullptr;
    ~WmfPlayer()
    {
        if (api == nullptr)
            return;
        if (wmf_gd_t* device = WMF_GD_GetData(api); device != nullptr && device->type == wmf_gd_image) {
            releaseGdImage(device->gd_image);
            device->gd_image = nullptr;
        }
        wmf_api_destroy(api);
    }
};

TDecodedImage playWindows(std::span<const uint8_t> file, const MetafileLayout& layout)
{
    WmfPlayer player;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    // Errors come back as return values; nothing is written to the terminal.
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&player.api, flags, &options) != wmf_E_None)
        fail(kInvalidMetafileText);
    // libwmf reads but never writes the bytes it is given. It sizes its
    // record buffer by the header's largest record: the copy carries the
    // figure the walk found instead.
    std::vector<uint8_t> copy(file.begin(), file.end());
    const size_t maxRecordAt = (layout.kind == MetafileKind::Placeable ? kPlaceableHeaderSize : 0) + 12;
    for (size_t i = 0; i < 4; ++i)
        copy.at(maxRecordAt + i) = static_cast<uint8_t>(layout.largestRecordWords >> (8 * i));
    wmfD_Rect box{};
    const std::optional<wmfD_Rect> shown = pictureInDevice(file, layout);
    narrowPens(copy, maxRecordAt - 12 + kWmfHeaderSize, widestUsefulPen(layout, shown));
    if (wmf_mem_open(player.api, copy.data(), static_cast<long>(copy.size())) != wmf_E_None)
        fail(kInvalidMetafileText);
    if (wmf_scan(player.api, 0, &box) != wmf_E_None)
        fail(kInvalidMetafileText);
    if (shown)
        box = *shown;

    int width = layout.width;
    int height = layout.height;
    if (width == 0) {
        // Neither a placeable box nor a window extent: the drawing's own
        // extent at the screen's resolution.
        unsigned int displayWidth = 0;
        unsigned int displayHeight = 0;
        if (wmf_display_size(player.api, &displayWidth, &displayHeight, kScreenDpi, kScreenDpi) != wmf_E_None)
            fail(kInvalidMetafileText);
        width = static_cast<int>(std::min<unsigned int>(displayWidth, kMaxPictureSide + 1));
        height = static_cast<int>(std::min<unsigned int>(displayHeight, kMaxPictureSide + 1));
        if (!PictureIO::sizeAllowed(width, height))
            fail(kInvalidMetafileText);
    }

    wmf_gd_t* device = WMF_GD_GetData(player.api);
    device->type = wmf_gd_image;
    device->bbox = box;
    device->width = static_cast<unsigned int>(width);
    device->height = static_cast<unsigned int>(height);
    if (wmf_play(player.api, 0, &box) != wmf_E_None || device->gd_image == nullptr)
        fail(kInvalidMetafileText);
    const int* pixels = wmf_gd_image_pixels(device->gd_image);
    if (pixels == nullptr)
        fail(kInvalidMetafileText);

    TDecodedImage image;
    image.width = width;
    image.height = height;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    image.pixels.resize(count);
    for (size_t i = 0; i < count; ++i)
        image.pixels[i] = static_cast<uint32_t>(pixels[i]) & kWhite;  // gd keeps alpha in the top byte
    return image;
}

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};

struct GObjectDeleter {
    void operator()(RsvgHandle* handle) const { g_object_unref(handle); }
};

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

struct CairoDeleter {
    void operator()(cairo_t* cairo) const { cairo_destroy(cairo); }
};

TDecodedImage playEnhanced(const MetafileLayout& layout)
{
    const int width = layout.width;
    const int height = layout.height;
    generatorOptions options{};
    char noNamespace[] = "";
    options.nameSpace = noNamespace;
    options.verbose = false;
    // Like GDI, only the plain records are played; EMF+ comments are skipped.
    options.emfplus = false;
    options.svgDelimiter = true;
    options.imgWidth = width;
    options.imgHeight = height;
    char* svgText = nullptr;
    size_t svgLength = 0;
    // emf2svg reads but never writes the bytes it is given.
    std::vector<char> copy(layout.records.begin(), layout.records.end());
    const int converted = emf2svg(copy.data(), copy.size(), &svgText, &svgLength, &options);
    const std::unique_ptr<char, FreeDeleter> svg(svgText);
    if (converted == 0 || svg == nullptr || svgLength == 0)
        fail(kInvalidMetafileText);

    GError* error = nullptr;
    const std::unique_ptr<RsvgHandle, GObjectDeleter> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.get()), svgLength, &error));
    if (error != nullptr)
        g_error_free(error);
    if (handle == nullptr)
        fail(kInvalidMetafileText);

    const std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        fail(kInvalidMetafileText);
    {
        const std::unique_ptr<cairo_t, CairoDeleter> cairo(cairo_create(surface.get()));
        cairo_set_source_rgb(cairo.get(), 1, 1, 1);
        cairo_paint(cairo.get());
        const RsvgRectangle viewport{0, 0, double(width), double(height)};
        const gboolean drawn = rsvg_handle_render_document(handle.get(), cairo.get(), &viewport, &error);
        if (error != nullptr)
            g_error_free(error);
        if (!drawn || cairo_status(cairo.get()) != CAIRO_STATUS_SUCCESS)
            fail(kInvalidMetafileText);
    }
    cairo_surface_flush(surface.get());

    TDecodedImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y) {
        // RGB24 keeps each pixel as a native 32-bit 0x??RRGGBB word.
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * static_cast<size_t>(stride));
        for (int x = 0; x < width; ++x)
            image.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = row[x] & kWhite;
    }
    return image;
}

}  // namespace

bool MetafilesReadable()
{
    return true;
}

TDecodedImage DecodeMetafile(std::span<const uint8_t> bytes)
{
    const MetafileLayout layout = ReadMetafileLayout(bytes);
    switch (layout.kind) {
    case MetafileKind::Enhanced:
        return playEnhanced(layout);
    case MetafileKind::Placeable:
        // libwmf reads the placeable header itself.
        return playWindows(bytes.first(kPlaceableHeaderSize + layout.records.size()), layout);
    case MetafileKind::Windows:
        return playWindows(layout.records, layout);
    }
    fail(kInvalidMetafileText);
}
