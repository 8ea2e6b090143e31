// CScreenLayout.h: where the show goes on the desktop's monitors, and at what
// pixel scale: the decision alone, from the monitors a system reports.
#pragma once

#include <optional>
#include <vector>

#include "config/CLurvaSettings.h"
#include "platform/Backend.h"

constexpr int kMinPixelScale = TLurvaSettings::kMinScale;
constexpr int kMaxPixelScale = TLurvaSettings::kMaxScale;

// The whole scale for a desktop scale of dpi / 96: the one whose pixel size
// is nearest by ratio (the boundary between k and k + 1 is sqrt(k (k + 1))),
// so 125 % gives 1 and 150 % gives 2; at least 1 (also for no dpi known).
int PixelScaleOfDpi(int dpi);

enum class TMonitorUse {
    All,          // a show on every monitor
    PrimaryOnly,  // the show on the primary monitor, black on the others
};

struct TScreenPlacement {
    TMonitor Monitor;   // where the window goes, in physical pixels
    int Scale = 1;      // each show pixel is Scale x Scale physical pixels
    int ShowWidth = 0;  // the size the show is laid out at: the monitor's
    int ShowHeight = 0; // divided by Scale, rounded up (the window clips the rest)
    bool Black = false; // covered in black, no show
};

// One placement per monitor, the primary first (the first monitor when none
// says it is), then the others in the order given. Monitors without area, and
// those lying wholly inside one placed before (mirrored outputs), get none.
// scale, when given, replaces each monitor's own; it is clamped to the range
// above. No monitors at all: no placements.
std::vector<TScreenPlacement> LayOutScreens(const std::vector<TMonitor>& monitors, std::optional<int> scale,
                                            TMonitorUse use);
