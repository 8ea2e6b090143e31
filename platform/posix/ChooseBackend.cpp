// ChooseBackend.cpp: which backend serves a POSIX process, decided once at start.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Backend.h"
#include "platform/headless/HeadlessBackend.h"

std::unique_ptr<TPlatformBackend> CreatePlatformBackend()
{
    const char* wanted = std::getenv("LURVA_BACKEND");
    const std::string name = wanted != nullptr ? wanted : "";
    // A display backend (SDL on X11) is tried here first once it exists;
    // until then, and whenever there is no display, the program runs headless
    // on the real clock and its boxes go to standard error.
    if (!name.empty() && name != "headless")
        std::fprintf(stderr, "lurva: unknown backend '%s'; running without a display\n", name.c_str());
    return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
}
