// Metafiles.cpp: enhanced and Windows metafiles drawn once on white through
// Debian's libraries: both become SVG (Windows metafiles by libwmf's SVG
// device, enhanced ones by libemf2svg), which librsvg draws onto a cairo image. The
// record structure is walked first (MetafileFormat), so the libraries see
// only files whose records lie within their bytes and end properly.
#include <cairo.h>
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
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
            } else if (function == kSetViewportOrg) {
                mapping.viewportOrgX = x;
                mapping.viewportOrgY = y;
            } else if (function == kSetViewportExt) {
                mapping.viewportExtX = x;
                mapping.viewportExtY = y;
            }
        }
        offset += size;
    }
    return mapping;
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

// libwmf's player, destroyed with everything it allocated.
struct WmfPlayer {
    wmfAPI* api = nullptr;
    ~WmfPlayer()
    {
        if (api != nullptr)
            wmf_api_destroy(api);
    }
};

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

// Draws SVG text onto white at width x height pixels.
TDecodedImage renderSvg(const char* svg, size_t length, int width, int height)
{
    GError* error = nullptr;
    const std::unique_ptr<RsvgHandle, GObjectDeleter> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg), length, &error));
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

TDecodedImage playWindows(std::span<const uint8_t> file, const MetafileLayout& layout)
{
    WmfPlayer player;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
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
    TPictureBudget::Charge(width, height);

    // The picture goes out as SVG and is drawn by cairo, which clips what
    // lies outside the picture before it costs anything: libwmf's own pixel
    // device fills and strokes every shape at its full size, so a hostile
    // file's huge shapes or pens took seconds each.
    wmf_svg_t* device = WMF_SVG_GetData(player.api);
    device->out = wmf_stream_create(player.api, nullptr);  // into memory
    if (device->out == nullptr)
        fail(kInvalidMetafileText);
    device->bbox = box;
    device->width = static_cast<unsigned int>(width);
    device->height = static_cast<unsigned int>(height);
    device->flags |= WMF_SVG_INLINE_IMAGES;
    const wmf_error_t played = wmf_play(player.api, 0, &box);
    char* svgText = nullptr;
    unsigned long svgLength = 0;
    wmf_stream_destroy(player.api, device->out, &svgText, &svgLength);
    device->out = nullptr;
    if (played != wmf_E_None || svgText == nullptr || svgLength == 0)
        fail(kInvalidMetafileText);
    // The text belongs to the player's memory, freed with it.
    return renderSvg(svgText, svgLength, width, height);
}

TDecodedImage playEnhanced(const MetafileLayout& layout)
{
    const int width = layout.width;
    const int height = layout.height;
    TPictureBudget::Charge(width, height);
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

    return renderSvg(svg.get(), svgLength, width, height);
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
