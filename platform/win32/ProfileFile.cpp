// ProfileFile.cpp: profile files on Windows through the system's own profile
// functions; a bare name is the file of that name in the Windows folder.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "platform/win32/WinText.h"

std::string ProfileFilePath(const std::string& fileName)
{
    if (fileName.find_first_of("\\/:") != std::string::npos)
        return fileName;
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return IncludeTrailingPathDelimiter(win32::toUtf8(std::wstring_view(folder, length))) + fileName;
}

void WriteProfileText(const std::string& fileName, const std::string& section, const std::string& ident,
                      const std::string& value)
{
    // The name goes to Windows as given: a bare name finds the Windows
    // folder's file (or the registry, where the system maps that file there).
    if (!WritePrivateProfileStringW(win32::toWide(section).c_str(), win32::toWide(ident).c_str(),
                                    win32::toWide(value).c_str(), win32::toWide(fileName).c_str()))
        throw EIniFileException(Format("%s に書き込めません", {fileName}));
}

std::optional<std::string> ReadProfileText(const std::string& fileName, const std::string& section,
                                           const std::string& ident)
{
    const std::wstring wideSection = win32::toWide(section);
    const std::wstring wideIdent = win32::toWide(ident);
    const std::wstring wideFile = win32::toWide(fileName);
    // A default no value can hold (a line break) tells a missing key apart
    // from an empty value.
    const wchar_t* missing = L"\n";
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(wideSection.c_str(), wideIdent.c_str(), missing, buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), wideFile.c_str());
        if (length + 1 < buffer.size() || buffer.size() >= 65536) {
            const std::wstring_view text(buffer.data(), length);
            if (text == missing)
                return std::nullopt;
            return win32::toUtf8(text);
        }
        buffer.resize(buffer.size() * 2);  // cut short: ask again with more room
    }
}
