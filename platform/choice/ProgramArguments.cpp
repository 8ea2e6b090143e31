// ProgramArguments.cpp: the command line in UTF-8, for the program entries.
#include "platform/choice/ChooseBackend.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>

#include "platform/win32/WinText.h"

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/)
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

#else

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

#endif
