// X11Desktop.cpp: the root window's pixels through MIT-SHM (XGetImage when
// shared memory is not there), converted to the bitmap's pixel words.
#include "platform/x11/X11Desktop.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Graphics.h"

namespace {

// Xlib's default error handler ends the process (a rootless server answers
// BadMatch for the root's pixels). While a trap lives, errors are noted here
// instead: the handler is a plain function and has no other place to note them.
int gTrappedError = 0;

extern "C" int noteXError(Display* /*display*/, XErrorEvent* event)
{
    if (gTrappedError == 0)
        gTrappedError = event->error_code;
    return 0;
}

class TXErrorTrap {
public:
    explicit TXErrorTrap(Display* display) : display_(display)
    {
        XSync(display_, False);
        gTrappedError = 0;
        previous_ = XSetErrorHandler(noteXError);
    }
    ~TXErrorTrap()
    {
        XSync(display_, False);
        XSetErrorHandler(previous_);
        gTrappedError = 0;
    }
    TXErrorTrap(const TXErrorTrap&) = delete;
    TXErrorTrap& operator=(const TXErrorTrap&) = delete;

    // The first error since the last call (after the server answered), 0 for none.
    int Take()
    {
        XSync(display_, False);
        const int error = gTrappedError;
        gTrappedError = 0;
        return error;
    }
    std::string Text(int error) const
    {
        char text[128] = {};
        XGetErrorText(display_, error, text, sizeof text);
        return text;
    }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

class TDisplay {
public:
    TDisplay() : display_(XOpenDisplay(nullptr)) {}
    ~TDisplay()
    {
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    TDisplay(const TDisplay&) = delete;
    TDisplay& operator=(const TDisplay&) = delete;
    Display* get() const { return display_; }

private:
    Display* display_;
};

void reportNoImage(const std::string& reason)
{
    std::fprintf(stderr, "lurva: no desktop image: %s\n", reason.c_str());
    std::fflush(stderr);
}

// A display name for messages.
std::string displayName()
{
    const char* name = std::getenv("DISPLAY");
    return name != nullptr ? name : "";
}

// The root's image through shared memory; none when the server cannot share it.
class TShmImage {
public:
    TShmImage(Display* display, TXErrorTrap& trap, Window root, Visual* visual, int depth, int left, int top,
        int width, int height)
        : display_(display)
    {
        int major = 0;
        int minor = 0;
        Bool pixmaps = False;
        if (!XShmQueryVersion(display_, &major, &minor, &pixmaps))
            return;
        image_ = XShmCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &info_,
            static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (image_ == nullptr)
            return;
        info_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * static_cast<size_t>(height),
            IPC_CREAT | 0600);
        if (info_.shmid < 0)
            return;
        void* address = shmat(info_.shmid, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(info_.shmid, IPC_RMID, nullptr);
            info_.shmid = -1;
            return;
        }
        info_.shmaddr = image_->data = static_cast<char*>(address);
        info_.readOnly = False;
        // A remote server refuses to attach (BadAccess).
        const bool attached = XShmAttach(display_, &info_) && trap.Take() == 0;
        // Marked for removal now: it goes away with the last detach, even if we crash.
        shmctl(info_.shmid, IPC_RMID, nullptr);
        if (!attached)
            return;
        attached_ = true;
        filled_ = XShmGetImage(display_, root, image_, left, top, AllPlanes) && trap.Take() == 0;
    }
    ~TShmImage()
    {
        if (attached_) {
            XShmDetach(display_, &info_);
            XSync(display_, False);
        }
        if (image_ != nullptr) {
            image_->data = nullptr;
            XDestroyImage(image_);
        }
        if (info_.shmaddr != nullptr)
            shmdt(info_.shmaddr);
    }
    TShmImage(const TShmImage&) = delete;
    TShmImage& operator=(const TShmImage&) = delete;

    XImage* Filled() const { return filled_ ? image_ : nullptr; }

private:
    Display* display_;
    XShmSegmentInfo info_{};
    XImage* image_ = nullptr;
    bool attached_ = false;
    bool filled_ = false;
};

TXPixelLayout layoutOf(Display* display, const XImage& image, Visual* visual, Colormap colormap)
{
    TXPixelLayout layout;
    layout.BitsPerPixel = image.bits_per_pixel;
    layout.MsbFirst = image.byte_order == MSBFirst;
    if (visual->c_class == TrueColor || visual->c_class == DirectColor) {
        layout.RedMask = static_cast<uint32_t>(image.red_mask);
        layout.GreenMask = static_cast<uint32_t>(image.green_mask);
        layout.BlueMask = static_cast<uint32_t>(image.blue_mask);
        return layout;
    }
    // Colour-mapped: ask the server for every cell of the root's colour map.
    layout.RedMask = layout.GreenMask = layout.BlueMask = 0;
    const int cells = std::min(visual->map_entries, 1 << std::min(image.depth, 16));
    std::vector<XColor> colors(static_cast<size_t>(std::max(cells, 0)));
    for (size_t i = 0; i < colors.size(); ++i)
        colors[i].pixel = i;
    if (!colors.empty())
        XQueryColors(display, colormap, colors.data(), static_cast<int>(colors.size()));
    for (const XColor& c : colors)
        layout.Palette.push_back((static_cast<uint32_t>(c.red >> 8) << 16) | (static_cast<uint32_t>(c.green >> 8) << 8)
            | static_cast<uint32_t>(c.blue >> 8));
    return layout;
}

// Scales the bits of value under mask to 0..255.
uint32_t channel(uint32_t value, uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const uint64_t max = mask >> shift;
    const uint64_t bits = (value & mask) >> shift;
    return static_cast<uint32_t>((bits * 255 + max / 2) / max);
}

}  // namespace

uint32_t XPixelToRgb(uint32_t value, const TXPixelLayout& layout)
{
    if (layout.RedMask == 0 && layout.GreenMask == 0 && layout.BlueMask == 0)
        return value < layout.Palette.size() ? layout.Palette[value] & 0xFFFFFFu : 0;
    return (channel(value, layout.RedMask) << 16) | (channel(value, layout.GreenMask) << 8)
        | channel(value, layout.BlueMask);
}

void ConvertXPixelRow(const uint8_t* row, int width, const TXPixelLayout& layout, uint32_t* dest)
{
    const bool hostMsbFirst = std::endian::native == std::endian::big;
    if (layout.BitsPerPixel == 32 && layout.MsbFirst == hostMsbFirst && layout.RedMask == 0xFF0000
        && layout.GreenMask == 0xFF00 && layout.BlueMask == 0xFF) {
        // The common case: the bitmap's own layout, with whatever the top byte holds cleared.
        std::memcpy(dest, row, static_cast<size_t>(width) * 4);
        for (int x = 0; x < width; ++x)
            dest[x] &= 0xFFFFFFu;
        return;
    }
    const int bytes = layout.BitsPerPixel / 8;
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = row + static_cast<ptrdiff_t>(x) * bytes;
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const int shift = layout.MsbFirst ? 8 * (bytes - 1 - i) : 8 * i;
            value |= static_cast<uint32_t>(p[i]) << shift;
        }
        dest[x] = XPixelToRgb(value, layout);
    }
}

bool ParseXWindowId(const std::string& text, unsigned long& id)
{
    if (text.empty() || text.size() > 20)
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    for (const char* c = digits; *c != '\0'; ++c)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(*c)) : std::isdigit(static_cast<unsigned char>(*c))))
            return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits, &end, hex ? 16 : 10);
    // X resource ids have 29 bits.
    if (errno != 0 || end == digits || *end != '\0' || value == 0 || value > 0x1FFFFFFFul)
        return false;
    id = value;
    return true;
}

bool QueryX11Window(unsigned long id, TXWindowInfo& info, std::string& reason)
{
    const TDisplay display;
    if (display.get() == nullptr) {
        reason = "cannot open the X display '" + displayName() + "'";
        return false;
    }
    TXErrorTrap trap(display.get());
    const Window window = id != 0 ? id : DefaultRootWindow(display.get());
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display.get(), window, &attributes) || trap.Take() != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%lx", id);
        reason = std::string("there is no window ") + text + " on the X display '" + displayName() + "'";
        return false;
    }
    int x = 0;
    int y = 0;
    ::Window child = 0;
    XTranslateCoordinates(display.get(), window, DefaultRootWindow(display.get()), 0, 0, &x, &y, &child);
    info = {window, x, y, attributes.width, attributes.height};
    return true;
}

bool CopyX11Desktop(TBitmap& dest, int left, int top)
{
    const std::string name = displayName();
    if (name.empty()) {
        reportNoImage("no X display (DISPLAY is not set)");
        return false;
    }
    const TDisplay display;
    if (display.get() == nullptr) {
        reportNoImage("cannot open the X display '" + name + "'");
        return false;
    }
    Display* d = display.get();
    TXErrorTrap trap(d);
    const Window root = DefaultRootWindow(d);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d, root, &attributes) || trap.Take() != 0) {
        reportNoImage("the root window of '" + name + "' cannot be read");
        return false;
    }
    left = std::clamp(left, 0, attributes.width);
    top = std::clamp(top, 0, attributes.height);
    const int width = std::min(dest.Width(), attributes.width - left);
    const int height = std::min(dest.Height(), attributes.height - top);
    if (width <= 0 || height <= 0)
        return true;  // nothing to copy, and nothing missing

    const TShmImage shared(d, trap, root, attributes.visual, attributes.depth, left, top, width, height);
    XImage* image = shared.Filled();
    XImage* plain = nullptr;
    if (image == nullptr) {
        plain = XGetImage(d, root, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
        const int error = trap.Take();
        if (plain == nullptr || error != 0) {
            if (plain != nullptr)
                XDestroyImage(plain);
            reportNoImage("the X server '" + name + "' gives no pixels of its root window ("
                + (error != 0 ? trap.Text(error) : std::string("no image")) + ")");
            return false;
        }
        image = plain;
    }

    const TXPixelLayout layout = layoutOf(d, *image, attributes.visual, attributes.colormap);
    const bool byBytes = layout.BitsPerPixel == 8 || layout.BitsPerPixel == 16 || layout.BitsPerPixel == 24
        || layout.BitsPerPixel == 32;
    for (int y = 0; y < height; ++y) {
        uint32_t* out = dest.ScanLine(y);
        if (byBytes) {
            ConvertXPixelRow(reinterpret_cast<const uint8_t*>(image->data) + static_cast<ptrdiff_t>(y) * image->bytes_per_line,
                width, layout, out);
        } else {
            for (int x = 0; x < width; ++x)
                out[x] = XPixelToRgb(static_cast<uint32_t>(XGetPixel(image, x, y)), layout);
        }
    }
    if (plain != nullptr)
        XDestroyImage(plain);
    return true;
}
