// ChooseBackend.cpp: which backend serves a process, decided once at start,
// in this file only.
#include "platform/choice/ChooseBackend.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Exceptions.h"
#include "platform/headless/HeadlessBackend.h"
#if defined(_WIN32)
#include "platform/win32/Win32Backend.h"
#else
#include "platform/gtk/GtkBackend.h"
#include "platform/sdl/SdlBackend.h"
#include "platform/x11/EmbedTarget.h"
#endif

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#if !defined(_WIN32)

// No display: a window would run unseen until someone kills the process, so
// none is made. The mode dispatch shows the refusal in the error box (on
// standard error here) and the program ends with exit code 0.
class TNoDisplayBackend final : public THeadlessBackend {
public:
    TNoDisplayBackend() : THeadlessBackend(TClock::Real) {}
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& /*form*/) override
    {
        throw Exception("no display: nothing to show");
    }
};

std::unique_ptr<TPlatformBackend> showBackend(const std::string& wanted, const std::vector<std::string>& arguments,
                                              bool mayEmbed)
{
    if (!wanted.empty() && wanted != "sdl")
        std::fprintf(stderr, "lurva: unknown backend '%s' (known: sdl, headless); choosing by the display\n",
            wanted.c_str());
    // A show in a window of its own never draws into another client's window,
    // also when started inside a screen saver's session.
    const TEmbedTarget embed =
        mayEmbed ? ChooseEmbedTarget(arguments, std::getenv("XSCREENSAVER_WINDOW")) : TEmbedTarget{};
    if (embed.Fatal)
        throw Exception(embed.Problem);
    // SDL when asked for (any SDL video driver will do, SDL_VIDEODRIVER=dummy
    // included), else when there is an X display.
    if (wanted == "sdl" || !environment("DISPLAY").empty()) {
        if (!embed.Problem.empty())
            std::fprintf(stderr, "lurva: %s\n", embed.Problem.c_str());
        try {
            return std::make_unique<TSdlBackend>(embed);
        } catch (const Exception& e) {
            // A host's window that cannot be drawn into ends the program: a
            // show of its own instead would cover the screen and hold the
            // keyboard where the host expected a picture in its window.
            if (embed.Kind != TEmbedTarget::TKind::OwnWindow)
                throw;
            std::fprintf(stderr, "lurva: no display: %s\n", e.Message().c_str());
        }
    } else if (embed.Requested) {
        throw Exception("no display to find the window in (is DISPLAY set?)");
    }
    return std::make_unique<TNoDisplayBackend>();
}

// The settings dialog needs a toolkit with controls.
std::unique_ptr<TPlatformBackend> dialogBackend()
{
    if (auto gtk = TGtkBackend::Open())
        return gtk;
    // The headless windows have no controls: the dialog closes at once and
    // stores nothing, so a start without a display never waits for input.
    std::fprintf(stderr, "lurva: no display available (is DISPLAY set?): the settings dialog cannot be shown\n");
    return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
}

#endif

}  // namespace

std::unique_ptr<TPlatformBackend> ChooseBackend(TBackendUse use, const std::vector<std::string>& arguments)
{
    const std::string wanted = environment("LURVA_BACKEND");
    // Asked for by name: windows that nobody sees, on the real clock (for
    // scripts and tests that drive the program without a display).
    if (wanted == "headless")
        return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
#if defined(_WIN32)
    // The dialog's controls are Win32 controls in the same kind of window.
    (void)use;
    (void)arguments;
    return std::make_unique<TWin32Backend>();
#else
    return use == TBackendUse::Dialog ? dialogBackend() : showBackend(wanted, arguments, use == TBackendUse::Show);
#endif
}
