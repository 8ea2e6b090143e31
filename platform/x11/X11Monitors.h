// X11Monitors.h: the monitors of the X display and the desktop's scale, as
// desktops set them: RandR 1.5 monitors and the Xft.dpi resource.
#pragma once

#include <vector>

#include "platform/Backend.h"

// The Xft.dpi value of an X resource database in text form (as
// XResourceManagerString gives it), rounded; 0 when it holds none or no
// positive number.
int XftDpiOfResources(const char* resources);

// The monitors of $DISPLAY's default screen as RandR 1.5 lists them (active
// ones only), each with the desktop's Xft.dpi. When the server lists none
// (no RandR 1.5) the whole screen is the one, primary, monitor. Empty when the
// display does not open.
std::vector<TMonitor> QueryX11Monitors();

// The desktop's Xft.dpi on $DISPLAY; 0 when unset or the display does not open.
int QueryX11Dpi();
