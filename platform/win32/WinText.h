// WinText.h: UTF-8 (the text inside the program) to and from UTF-16 (the
// text of the Win32 W functions), used at every call into Windows.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// Bytes that are not valid UTF-8 become U+FFFD; never fails.
std::wstring toWide(std::string_view utf8);
// Unpaired surrogates become U+FFFD; never fails.
std::string toUtf8(std::wstring_view wide);
// A NUL-terminated UTF-16 string from Windows (a null pointer reads as "").
std::string toUtf8(const wchar_t* wide);

// The system's text for the calling thread's last error (GetLastError), in
// UTF-8 without the line end; "error N" when the system has none.
std::string lastErrorText();

}  // namespace win32
