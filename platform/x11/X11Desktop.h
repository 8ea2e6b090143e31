// X11Desktop.h: the desktop image from the X server's root window (background
// mode 1), taken before the show's window maps, and the conversion of X
// pixel layouts to the bitmap's 0x00RRGGBB words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TBitmap;

// Copies the root window from (left, top) (the show's screen: the primary
// monitor's corner) into dest at (0, 0), as much of it as both hold. False,
// with dest untouched and the reason on standard error, when the X server
// gives no image (no DISPLAY, no server, a rootless server without root pixels).
bool CopyX11Desktop(TBitmap& dest, int left = 0, int top = 0);

// How an X image stores its pixels.
struct TXPixelLayout {
    int BitsPerPixel = 32;  // 8, 16, 24 or 32
    bool MsbFirst = false;  // byte order of a pixel in memory
    // TrueColor and DirectColor: where each channel sits in a pixel value.
    uint32_t RedMask = 0xFF0000;
    uint32_t GreenMask = 0x00FF00;
    uint32_t BlueMask = 0x0000FF;
    // Colour-mapped visuals (all masks zero): 0x00RRGGBB by pixel value;
    // values past the end are black.
    std::vector<uint32_t> Palette;
};

// The colour of one pixel value as 0x00RRGGBB.
uint32_t XPixelToRgb(uint32_t value, const TXPixelLayout& layout);
// Converts one row of width pixels.
void ConvertXPixelRow(const uint8_t* row, int width, const TXPixelLayout& layout, uint32_t* dest);

// A window on the X display of $DISPLAY: the root window of the default
// screen when id is 0. False, with the reason, when there is no such window.
struct TXWindowInfo {
    unsigned long Id = 0;
    int X = 0;  // on the root window
    int Y = 0;
    int Width = 0;
    int Height = 0;
};
bool QueryX11Window(unsigned long id, TXWindowInfo& info, std::string& reason);

// A window id as the XScreenSaver daemon and the hacks' command lines give
// it: hexadecimal with 0x, or decimal. False for anything else (0 included).
bool ParseXWindowId(const std::string& text, unsigned long& id);
