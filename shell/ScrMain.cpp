// ScrMain.cpp: the entry of the Windows module Lurva.scr: the command line in
// UTF-8, then the mode dispatch over the Win32 backend.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/win32/WinText.h"
#include "shell/Entry.h"

namespace {
// The arguments as the program was given them, its own name first, in UTF-8.
std::vector<std::string> commandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr)
        return arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(win32::toUtf8(list[i]));
    LocalFree(list);
    return arguments;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::vector<std::string> arguments = commandLineArguments();
    return LurvaMain(arguments, CreatePlatformBackend(arguments), LurvaForms());
}
