// ChooseBackend.h: what a program entry asks of the platform: the one place
// that decides which backend serves a process, and the command line in UTF-8.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Backend.h"

// What the process's main window is: the show, a show in a window of its
// own (never drawn into another client's window), or a dialog with controls.
enum class TBackendUse {
    Show,
    Window,
    Dialog,
};

// The backend for this process, seeing the whole command line (program name
// first): a backend may take options from it that the mode dispatch does not
// look at, such as the window an XScreenSaver hack is to draw into.
//
// LURVA_BACKEND=headless asks for the headless one on the real clock, for
// either use. Otherwise, on POSIX: the show gets SDL when LURVA_BACKEND=sdl
// or an X display is there; with no display at all it is headless on the
// real clock and refuses to make windows ("no display: nothing to show"), so
// a show never runs unseen. A dialog gets GTK where there is a display, else
// a headless backend whose windows have no controls, with a note on standard
// error. On Windows both get the Win32 backend.
//
// Raises Exception when the show is to draw into a host's window that cannot
// be used: an id given with --window-id that is no window id, a window that
// does not exist, or -root / --window-id with no display.
std::unique_ptr<TPlatformBackend> ChooseBackend(TBackendUse use, const std::vector<std::string>& arguments);

// The show's backend.
inline std::unique_ptr<TPlatformBackend> CreatePlatformBackend(const std::vector<std::string>& arguments)
{
    return ChooseBackend(TBackendUse::Show, arguments);
}

// The command line in UTF-8, the program's name first, as the program entry
// hands it to the shell: argv as given on POSIX; on Windows the wide command
// line, split as the system splits it (argv there is in the ANSI code page,
// which cannot hold every file name).
std::vector<std::string> ProgramArguments(int argc, char** argv);
