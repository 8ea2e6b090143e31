// CScreenLayout.cpp: the monitors' placements and the pixel scale.
#include "shell/CScreenLayout.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int64_t kBaseDpi = 96;

bool inside(const TMonitor& inner, const TMonitor& outer)
{
    return inner.Left >= outer.Left && inner.Top >= outer.Top
           && static_cast<int64_t>(inner.Left) + inner.Width <= static_cast<int64_t>(outer.Left) + outer.Width
           && static_cast<int64_t>(inner.Top) + inner.Height <= static_cast<int64_t>(outer.Top) + outer.Height;
}

int ceilDiv(int value, int divisor)
{
    return static_cast<int>((static_cast<int64_t>(value) + divisor - 1) / divisor);
}

}  // namespace

int PixelScaleOfDpi(int dpi)
{
    if (dpi <= 0)
        return kMinPixelScale;
    const int64_t whole = std::clamp<int64_t>(dpi / kBaseDpi, kMinPixelScale, kMaxPixelScale);
    // dpi / 96 > sqrt(k (k + 1)), squared to stay in integers.
    const bool up = static_cast<int64_t>(dpi) * dpi > whole * (whole + 1) * kBaseDpi * kBaseDpi;
    return static_cast<int>(std::min<int64_t>(up ? whole + 1 : whole, kMaxPixelScale));
}

std::vector<TScreenPlacement> LayOutScreens(const std::vector<TMonitor>& monitors, std::optional<int> scale,
                                            TMonitorUse use)
{
    std::vector<const TMonitor*> order;
    for (const TMonitor& monitor : monitors)
        if (monitor.Width > 0 && monitor.Height > 0)
            order.push_back(&monitor);
    const auto primary = std::find_if(order.begin(), order.end(), [](const TMonitor* m) { return m->Primary; });
    if (primary != order.end())
        std::rotate(order.begin(), primary, primary + 1);

    std::vector<TScreenPlacement> placements;
    for (const TMonitor* monitor : order) {
        const bool covered = std::any_of(placements.begin(), placements.end(),
            [monitor](const TScreenPlacement& placed) { return inside(*monitor, placed.Monitor); });
        if (covered)
            continue;
        TScreenPlacement placement;
        placement.Monitor = *monitor;
        placement.Monitor.Primary = placements.empty();
        placement.Scale = scale ? std::clamp(*scale, kMinPixelScale, kMaxPixelScale) : PixelScaleOfDpi(monitor->Dpi);
        placement.ShowWidth = ceilDiv(monitor->Width, placement.Scale);
        placement.ShowHeight = ceilDiv(monitor->Height, placement.Scale);
        placement.Black = !placements.empty() && use == TMonitorUse::PrimaryOnly;
        placements.push_back(placement);
    }
    return placements;
}
