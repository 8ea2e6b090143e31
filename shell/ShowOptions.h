// ShowOptions.h: what a command line asks of the show window beyond its mode.
#pragma once

#include <optional>
#include <string>

struct TShowOptions {
    // Plays this data file instead of the current show, and leaves the
    // current show and "System.ini" as they are. Empty: none given.
    std::string showFile;
    // Music also when drawing into a host's window, which is silent otherwise.
    bool sound = false;
    // No music at all, whatever else asks for it.
    bool mute = false;
    // The pixel scale asked for on the command line; it goes before
    // LURVA_SCALE, the setting and the desktop's. None: not given.
    std::optional<int> scale;
};
