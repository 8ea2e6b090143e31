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
    // The command line asked for a host's window (-root, --root, --window-id):
    // a window that cannot be used then ends the program, it never falls back
    // to a full-screen show of its own.
    bool Requested = false;
    // The id given with --window-id could not be read: the program ends.
    bool Fatal = false;
};

// arguments: the whole command line, program name first. "-window-id ID" /
// "--window-id ID" (or "=ID") wins over $XSCREENSAVER_WINDOW (xscreensaverWindow,
// null when unset), which wins over "-root" / "--root"; "-root" alone means the
// root window. An unreadable id in the variable is noted and passed over; one
// given with --window-id (garbage, empty, or missing) is fatal.
TEmbedTarget ChooseEmbedTarget(const std::vector<std::string>& arguments, const char* xscreensaverWindow);
