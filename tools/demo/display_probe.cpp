// display_probe.cpp: tells scripts whether the X display in DISPLAY can be opened.
//
// Usage: display_probe   (exit status 0: the display opens; 1: it does not)
// The demo runner asks it before playing full screen, so that it needs no tool
// of the test packages (xdpyinfo) to know whether a display is there.
#include <X11/Xlib.h>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    XCloseDisplay(display);
    return 0;
}
