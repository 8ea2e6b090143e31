// CommandLine.h: the lurva program's command line on POSIX, where options may
// stand anywhere: they are taken out, and what is left decides the mode as a
// screen saver host's switch does (its first argument).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/ShowOptions.h"

struct TCommandLine {
    // The program name, then every argument that is no option, in order:
    // what the mode dispatch sees (its first argument decides the mode).
    std::vector<std::string> dispatch;
    // The program name, then the options about a host's window as given
    // (-root, --root, -window-id ID, --window-id ID, --window-id=ID), for the
    // backend, which reads the id.
    std::vector<std::string> hostWindow;
    TShowOptions show;
    std::optional<int> scale;  // --scale N
    bool help = false;
    bool version = false;
    // Non-empty when the line cannot be used: an unknown option, a missing
    // or unusable value. Says which.
    std::string error;
};

// The largest --scale taken: a screen of 16 times the pixels of a show's is
// more than any desktop has.
constexpr int kLargestScale = 16;

// arguments: the program name first. "--" ends the options; after it, and
// for any argument that names an existing file, everything is an argument.
// A single-dash word other than -root, -window-id and -h is a host's switch
// (-c, -p, -s, ...) and stays an argument, and so does the mode --window.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
