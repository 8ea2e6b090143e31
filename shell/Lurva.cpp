// Lurva.cpp: main of the lurva program.
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "shell/Entry.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    // The backend sees the whole command line too: an XScreenSaver hack's
    // "-root" or "--window-id" are options for the window, not a mode.
    return LurvaMain(arguments, CreatePlatformBackend(arguments), LurvaForms());
}
