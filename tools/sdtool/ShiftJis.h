// ShiftJis.h: text conversion between the Shift-JIS bytes of data files and UTF-8.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Raised when UTF-8 text holds a character Shift-JIS cannot store, or is not UTF-8.
class TextEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Shift-JIS (code page 932) to UTF-8 for display. Bytes that are no character
// of the code page become U+FFFD, so any byte string converts.
std::string sjisToUtf8(std::string_view sjis);

// UTF-8 to Shift-JIS (code page 932). TextEncodingError names the first
// character that has no Shift-JIS form (as U+XXXX) or the first bad UTF-8 byte.
std::string utf8ToSjis(std::string_view utf8);

// Replaces every byte sequence that is not well-formed UTF-8 by U+FFFD.
std::string sanitizeUtf8(std::string_view text);
