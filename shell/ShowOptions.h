// ShowOptions.h: what a command line asks of the show window beyond its mode.
#pragma once

#include <string>

struct TShowOptions {
    // Plays this data file instead of the current show, and leaves the
    // current show and "System.ini" as they are. Empty: none given.
    std::string showFile;
    // Music also when drawing into a host's window, which is silent otherwise.
    bool sound = false;
    // No music at all, whatever else asks for it.
    bool mute = false;
};
