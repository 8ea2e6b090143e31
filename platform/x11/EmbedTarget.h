// EmbedTarget.h: whether the show draws into a window it is given (as an
// XScreenSaver hack) instead of opening its own, from the command line and
// the daemon's environment.
#pragma once

#include <string>
#include <vector>

struct TEmbedTarget {
    enum class TKind { OwnWindow, Window, Root };
    TKind Kind = TKind::OwnWindow;
    unsigned long WindowId = 0;  // for Window
    // Non-empty when an id was given but could not be read (then ignored).
    std::string Problem;
};

// arguments: the whole command line, program name first. "-window-id ID" /
// "--window-id ID" (or "=ID") wins over $XSCREENSAVER_WINDOW (xscreensaverWindow,
// null when unset), which wins over "-root"; "-root" alone means the root window.
TEmbedTarget ChooseEmbedTarget(const std::vector<std::string>& arguments, const char* xscreensaverWindow);
