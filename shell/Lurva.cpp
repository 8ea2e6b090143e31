// Lurva.cpp: main of the lurva program.
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "shell/Entry.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    // The settings dialog needs a toolkit with controls; the show does not.
    const bool dialog = ChooseRunMode(arguments.size() > 1 ? arguments[1] : std::string()) == TRunMode::Configuration;
    // The show's backend sees the whole command line too: an XScreenSaver
    // hack's "-root" or "--window-id" are options for the window, not a mode.
    return LurvaMain(arguments, dialog ? CreateDialogBackend() : CreatePlatformBackend(arguments), LurvaForms());
}
