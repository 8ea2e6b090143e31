// ChooseDialogBackend.cpp: the backend of a process whose main window is a
// dialog: GTK where it finds a display, else headless on the real clock.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Backend.h"
#include "platform/gtk/GtkBackend.h"
#include "platform/headless/HeadlessBackend.h"

std::unique_ptr<TPlatformBackend> CreateDialogBackend()
{
    const char* wanted = std::getenv("LURVA_BACKEND");
    if (wanted != nullptr && std::string(wanted) == "headless")
        return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
    if (auto gtk = TGtkBackend::Open())
        return gtk;
    // The headless windows have no controls: the dialog closes at once and
    // stores nothing, so a start without a display never waits for input.
    std::fprintf(stderr, "lurva: no display available (is DISPLAY set?): the settings dialog cannot be shown\n");
    return std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real);
}
