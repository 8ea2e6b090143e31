// ScrMain.cpp: the entry of the Windows module Lurva.scr: the command line in
// UTF-8, then the mode dispatch over the backend the chooser gives. A plain
// main serves the GUI subsystem too (mingw's start-up code calls it), so the
// entry needs no Windows header.
#include <string>
#include <vector>

#include "platform/choice/ChooseBackend.h"
#include "shell/Entry.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    // The dialog's controls and the show's window come from the same backend.
    const bool dialog = ChooseRunMode(arguments.size() > 1 ? arguments[1] : std::string()) == TRunMode::Configuration;
    return LurvaMain(arguments, ChooseBackend(dialog ? TBackendUse::Dialog : TBackendUse::Show, arguments), LurvaForms());
}
