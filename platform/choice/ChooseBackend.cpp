// ChooseBackend.cpp: which backend serves a POSIX process, decided once at start.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Backend.h"
#include "platform/Exceptions.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/x11/EmbedTarget.h"
#include "platform/sdl/SdlBackend.h"

namespace {

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

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::unique_ptr<TPlatformBackend> CreatePlatformBackend()
{
    return CreatePlatformBackend({});
}

std::unique_ptr<TPlatformBackend> CreatePlatformBackend(const std::vector<std::string>& arguments)
{
    const std::string wanted = environment("LURVA_BACKEND");
    // Asked for by name: windows that nobody sees, on the real clock (for
    // scripts and tests that drive the program without a display).
    if (wanted == "headless")
        return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
    if (!wanted.empty() && wanted != "sdl")
        std::fprintf(stderr, "lurva: unknown backend '%s' (known: sdl, headless); choosing by the display\n",
            wanted.c_str());
    // SDL when asked for (any SDL video driver will do, SDL_VIDEODRIVER=dummy
    // included), else when there is an X display.
    if (wanted == "sdl" || !environment("DISPLAY").empty()) {
        const TEmbedTarget embed = ChooseEmbedTarget(arguments, std::getenv("XSCREENSAVER_WINDOW"));
        if (!embed.Problem.empty())
            std::fprintf(stderr, "lurva: %s\n", embed.Problem.c_str());
        try {
            return std::make_unique<TSdlBackend>(embed);
        } catch (const Exception& e) {
            std::fprintf(stderr, "lurva: no display: %s\n", e.Message().c_str());
        }
    }
    return std::make_unique<TNoDisplayBackend>();
}
