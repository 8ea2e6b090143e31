// ScrMain.cpp: the entry of the Windows module Lurva.scr: the command line in
// UTF-8, then the mode dispatch.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/win32/WinText.h"

namespace {
// The arguments after the program name, as UTF-8.
std::vector<std::string> commandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(win32::toUtf8(list[i]));
    LocalFree(list);
    return arguments;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Skeleton: the mode dispatch of shell/ takes these once it exists.
    const std::vector<std::string> arguments = commandLineArguments();
    static_cast<void>(arguments);
    return 0;
}
