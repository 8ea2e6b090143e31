// X11Monitors.cpp: RandR 1.5 monitors and Xft.dpi, each on a short connection
// of its own (the show asks once, before its windows open).
#include "platform/x11/X11Monitors.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct TDisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using TDisplayPtr = std::unique_ptr<Display, TDisplayCloser>;

int dpiOf(Display* display)
{
    return XftDpiOfResources(XResourceManagerString(display));
}

}  // namespace

int XftDpiOfResources(const char* resources)
{
    if (resources == nullptr || *resources == '\0')
        return 0;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (database == nullptr)
        return 0;
    int dpi = 0;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
        // Desktops write it as an integer ("192") or with a fraction ("144.0").
        char* end = nullptr;
        const double number = std::strtod(value.addr, &end);
        if (end != value.addr && std::isfinite(number) && number >= 1 && number < 100000)
            dpi = static_cast<int>(std::lround(number));
    }
    XrmDestroyDatabase(database);
    return dpi;
}

std::vector<TMonitor> QueryX11Monitors()
{
    const TDisplayPtr display(XOpenDisplay(nullptr));
    if (!display)
        return {};
    const int dpi = dpiOf(display.get());
    const ::Window root = DefaultRootWindow(display.get());
    std::vector<TMonitor> monitors;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (XRRQueryExtension(display.get(), &eventBase, &errorBase) && XRRQueryVersion(display.get(), &major, &minor)
        && (major > 1 || (major == 1 && minor >= 5))) {
        int count = 0;
        if (XRRMonitorInfo* info = XRRGetMonitors(display.get(), root, True, &count)) {
            for (int i = 0; i < count; ++i)
                monitors.push_back(TMonitor{info[i].x, info[i].y, info[i].width, info[i].height, info[i].primary != 0, dpi});
            XRRFreeMonitors(info);
        }
    }
    if (monitors.empty()) {
        const int screen = DefaultScreen(display.get());
        monitors.push_back(TMonitor{0, 0, DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen), true, dpi});
    }
    return monitors;
}

int QueryX11Dpi()
{
    const TDisplayPtr display(XOpenDisplay(nullptr));
    return display ? dpiOf(display.get()) : 0;
}
