// Json.h: the small JSON writer of sdtool's output (written by hand: the
// library's writer does not build warning-free here).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/sdtool/ShiftJis.h"

// A JSON string literal of text; bytes that are not UTF-8 become U+FFFD.
inline std::string jsonString(std::string_view text)
{
    const std::string clean = sanitizeUtf8(text);
    std::string out = "\"";
    for (const char c : clean) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// The shortest text that reads back as d; JSON has no NaN or infinity, so
// those (which a data file may hold) become null.
inline std::string jsonNumber(double d)
{
    if (!std::isfinite(d))
        return "null";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
}

inline std::string jsonNumber(int64_t v)
{
    return std::to_string(v);
}

inline const char* jsonBool(bool b)
{
    return b ? "true" : "false";
}
