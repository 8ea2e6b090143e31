// WinText.cpp: UTF-8 and UTF-16 conversions through the Windows code page
// functions.
#include "platform/win32/WinText.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <string>

namespace win32 {

std::wstring toWide(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    // The Windows functions count in int; longer text is converted in pieces
    // split at a character boundary (never inside a multi-byte sequence).
    std::wstring wide;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t length = std::min<size_t>(utf8.size() - start, INT_MAX / 2);
        if (start + length < utf8.size()) {
            while (length > 1 && (static_cast<unsigned char>(utf8[start + length]) & 0xC0) == 0x80)
                --length;
        }
        const char* piece = utf8.data() + start;
        const int pieceLength = static_cast<int>(length);
        const int needed = MultiByteToWideChar(CP_UTF8, 0, piece, pieceLength, nullptr, 0);
        const size_t at = wide.size();
        wide.resize(at + static_cast<size_t>(needed));
        MultiByteToWideChar(CP_UTF8, 0, piece, pieceLength, wide.data() + at, needed);
        start += length;
    }
    return wide;
}

std::string toUtf8(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    std::string utf8;
    size_t start = 0;
    while (start < wide.size()) {
        size_t length = std::min<size_t>(wide.size() - start, INT_MAX / 4);
        // Keep a surrogate pair together.
        if (start + length < wide.size() && IS_HIGH_SURROGATE(wide[start + length - 1]))
            --length;
        const wchar_t* piece = wide.data() + start;
        const int pieceLength = static_cast<int>(length);
        const int needed = WideCharToMultiByte(CP_UTF8, 0, piece, pieceLength, nullptr, 0, nullptr, nullptr);
        const size_t at = utf8.size();
        utf8.resize(at + static_cast<size_t>(needed));
        WideCharToMultiByte(CP_UTF8, 0, piece, pieceLength, utf8.data() + at, needed, nullptr, nullptr);
        start += length;
    }
    return utf8;
}

std::string toUtf8(const wchar_t* wide)
{
    return wide == nullptr ? std::string() : toUtf8(std::wstring_view(wide, std::wcslen(wide)));
}

std::string lastErrorText()
{
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result = length > 0 ? toUtf8(std::wstring_view(text, length)) : std::string();
    if (text != nullptr)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result.empty() ? "error " + std::to_string(code) : result;
}

}  // namespace win32
