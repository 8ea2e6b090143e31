// Lurva.cpp: main of the lurva program.
#include <cstdio>
#include <string>
#include <vector>

#include "LurvaVersion.h"
#include "platform/choice/ChooseBackend.h"
#include "platform/SysUtils.h"
#include "shell/Entry.h"

namespace {

const char* const kUsage = R"(Usage: lurva [SHOW.sdt | /s | /c | -root | --window-id ID]
Plays an animated screen saver show full screen, or opens its settings.

  (nothing), /s       play the current show full screen; a key, a click or
                      the third mouse movement ends it
  SHOW.sdt            play that data file; when it loads, it becomes the
                      current show (stored as an absolute path) and lurva
                      the screen saver of "System.ini"
  /c, -c, /c:N        the settings dialog: the current show and whether
                      moving the mouse ends it
  /p, /l, /a          what a screen saver host may ask for (preview, lock
                      code change): nothing is done
  -root               as an XScreenSaver hack: draw into the root window, or
                      the window in $XSCREENSAVER_WINDOW
  --window-id ID      as a hack: draw into the window ID (hex or decimal)
  -h, --help          this text
  --version           the version

Environment:
  LURVA_BACKEND=headless|sdl  no display at all, or SDL with any video driver
  LURVA_WINDOW_DIR            where running copies find each other's windows
                              (default $XDG_RUNTIME_DIR/lurva-windows)
  XSCREENSAVER_WINDOW         the window a hack draws into
  LURVA_SCALE=N               show each pixel as N x N (1 to 16); overrides
                              the scale setting and the desktop's (Xft.dpi)
  XDG_CONFIG_HOME             where the settings live (default ~/.config)

Settings: $XDG_CONFIG_HOME/lurva/registry.reg (a REGEDIT4 text file) and
$XDG_CONFIG_HOME/lurva/System.ini; Lurva's own settings ("scale"=N or
"auto", "monitors"="all" or "primary") are in its key
HKEY_CURRENT_USER\Software\Lurva there. Files unpacked from a show go to
$XDG_RUNTIME_DIR/lurva (else ${TMPDIR:-/tmp}/lurva-<uid>) and are deleted
when it ends.

Exit status: 0, also after an error, which is shown in a box and on standard
error; 2 for an unknown option.
)";

// Double-dash options that this program does not know: a mistyped one
// would otherwise start a full-screen show that holds the keyboard.
bool isUnknownLongOption(const std::string& argument)
{
    return argument.size() > 2 && argument.compare(0, 2, "--") == 0 && argument != "--window-id"
           && argument.compare(0, 12, "--window-id=") != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    const std::string first = arguments.size() > 1 ? arguments[1] : std::string();
    if (first == "--help" || first == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("lurva %s\n", lurva::kVersion);
        return 0;
    }
    if (isUnknownLongOption(first) && !FileExists(first)) {
        std::fprintf(stderr, "lurva: unknown option '%s'; lurva --help lists what it takes\n", first.c_str());
        return 2;
    }
    // The settings dialog needs a toolkit with controls; the show does not.
    const bool dialog = ChooseRunMode(first) == TRunMode::Configuration;
    // The show's backend sees the whole command line too: an XScreenSaver
    // hack's "-root" or "--window-id" are options for the window, not a mode.
    return LurvaMain(arguments, ChooseBackend(dialog ? TBackendUse::Dialog : TBackendUse::Show, arguments), LurvaForms());
}
