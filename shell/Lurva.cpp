// Lurva.cpp: main of the lurva program.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LurvaVersion.h"
#include "platform/choice/ChooseBackend.h"
#include "platform/Exceptions.h"
#include "shell/CommandLine.h"
#include "shell/Entry.h"

namespace {

const char* const kUsage = R"(Usage: lurva [OPTION]... [SHOW.sdt | /s | /c | /p | /a | --window [SHOW.sdt]]
Plays an animated screen saver show full screen, or opens its settings.
Options may stand anywhere; the first other argument decides the mode.

  (nothing), /s       play the current show full screen; a key, a click or
                      the third mouse movement ends it
  SHOW.sdt            play that data file; when it loads, it becomes the
                      current show (stored as an absolute path) and lurva
                      the screen saver of "System.ini"
  /c, -c, /c:N        the settings dialog: the current show and whether
                      moving the mouse ends it
  --window [SHOW.sdt] play SHOW.sdt (else the current show) in a window of
                      its own; a key or closing the window ends it, and the
                      settings stay as they are
  /p, /l, /a          what a screen saver host may ask for (preview, lock
                      code change): nothing is done

Options:
  --show FILE         play FILE; the current show stays as it is
  --mute              no music
  --scale N           draw each pixel of the show as N x N screen pixels
                      (1 to 16), as LURVA_SCALE=N does
  --root, -root       as an XScreenSaver hack: draw into the window in
                      $XSCREENSAVER_WINDOW, or else the root window
  --window-id ID      as a hack: draw into the window ID (hex with 0x, or
                      decimal); a missing window is an error
  --sound             as a hack, play the music too (hacks are silent)
  -h, --help          this text
  --version           the version

A hack follows its window's size, takes no input and is ended by its host
(SIGTERM); any number of hacks may run at once. A second full-screen show
or settings dialog does not open while one is open.

Environment:
  LURVA_BACKEND=headless|sdl  no display at all, or SDL with any video driver
  LURVA_WINDOW_DIR            where running copies find each other's windows
                              (default $XDG_RUNTIME_DIR/lurva-windows)
  XSCREENSAVER_WINDOW         the window a hack draws into
  LURVA_SCALE=N               show each pixel as N x N (1 to 16); overrides
                              the scale setting and the desktop's (Xft.dpi)
  XDG_CONFIG_HOME             where the settings live (default ~/.config)

Settings: $XDG_CONFIG_HOME/lurva/registry.reg (a REGEDIT4 text file) and
$XDG_CONFIG_HOME/lurva/System.ini. Lurva's own settings are the values of
the key HKEY_CURRENT_USER\Software\Lurva there: "mute" (a DWORD; not 0: no
music in any show), "volume" (a DWORD, 0 to 100), "scale" (N, or "auto")
and "monitors" ("all", or "primary" for black on the others). Files
unpacked from a show go to $XDG_RUNTIME_DIR/lurva (else
${TMPDIR:-/tmp}/lurva-<uid>), a hack's and a window's to a folder of their
own in ${TMPDIR:-/tmp}, and are deleted when the show ends.

Exit status: 0, also after an error in the show, which is shown in a box
and on standard error; 1 when the window given to a hack cannot be used;
2 for an unknown option, an unusable value or more than one show after
--window.
)";

}  // namespace

int main(int argc, char** argv)
{
    const TCommandLine line = ParseCommandLine(ProgramArguments(argc, argv));
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("lurva %s\n", lurva::kVersion);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "lurva: %s; lurva --help lists what it takes\n", line.error.c_str());
        return 2;
    }
    const std::string first = line.dispatch.size() > 1 ? line.dispatch[1] : std::string();
    // The settings dialog needs a toolkit with controls; the show does not.
    const TRunMode mode = ChooseRunMode(first);
    const TBackendUse use = mode == TRunMode::Configuration ? TBackendUse::Dialog
                            : mode == TRunMode::Window      ? TBackendUse::Window
                                                            : TBackendUse::Show;
    if (mode == TRunMode::Window && line.dispatch.size() > 3) {
        std::fprintf(stderr, "lurva: --window takes one show at a time\n");
        return 2;
    }
    std::unique_ptr<TPlatformBackend> backend;
    try {
        // The show's backend takes the window an XScreenSaver hack is given.
        backend = ChooseBackend(use, line.hostWindow);
    } catch (const Exception& e) {
        std::fprintf(stderr, "lurva: error: %s\n", e.Message().c_str());
        return 1;
    }
    TShowOptions show = line.show;
    show.scale = line.scale;
    return LurvaMain(line.dispatch, std::move(backend), LurvaForms(show));
}
