// ChooseBackend.cpp: which backend serves the Windows module: its own windows,
// or the headless one when asked for by name (scripts and tests).
#include <cstdlib>
#include <string>

#include "platform/Backend.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/win32/Win32Backend.h"

namespace {
bool headlessAskedFor()
{
    const char* wanted = std::getenv("LURVA_BACKEND");
    return wanted != nullptr && std::string(wanted) == "headless";
}
}  // namespace

std::unique_ptr<TPlatformBackend> CreatePlatformBackend()
{
    return CreatePlatformBackend({});
}

std::unique_ptr<TPlatformBackend> CreatePlatformBackend(const std::vector<std::string>& /*arguments*/)
{
    if (headlessAskedFor())
        return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
    return std::make_unique<TWin32Backend>();
}

// The dialog's controls are Win32 controls in the same kind of window.
std::unique_ptr<TPlatformBackend> CreateDialogBackend()
{
    return CreatePlatformBackend({});
}
