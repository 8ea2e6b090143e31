// ShiftJis.cpp: Shift-JIS <-> UTF-8 through the C library's iconv (POSIX only,
// which is why it lives with the command-line tool and not in the core).
#include "tools/sdtool/ShiftJis.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openConverter(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw TextEncodingError(std::string("no converter from ") + from + " to " + to);
    return IconvHandle(cd);
}

// Length of the well-formed UTF-8 sequence at text[at], or 0 when there is none.
size_t utf8SequenceLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

uint32_t utf8CodePoint(std::string_view text, size_t at, size_t length)
{
    const auto lead = static_cast<uint8_t>(text[at]);
    uint32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1Fu) : length == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
    for (size_t i = 1; i < length; ++i)
        code = (code << 6) | (static_cast<uint8_t>(text[at + i]) & 0x3Fu);
    return code;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string sanitizeUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            out += kReplacement;
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

namespace {

// Converts text with iconv. Where the input has a sequence the target cannot
// take (or one cut off at the end), onFailure is given its offset and the
// output so far: it appends what stands for it and returns how many input
// bytes to skip, or throws.
template <class OnFailure>
std::string convert(const char* to, const char* from, std::string_view text, OnFailure onFailure)
{
    const IconvHandle cd = openConverter(to, from);
    std::string out;
    std::vector<char> input(text.begin(), text.end());
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done = iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            const size_t skip = std::min(onFailure(static_cast<size_t>(in - input.data()), out), inLeft);
            in += skip;
            inLeft -= skip;
            iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

}  // namespace

std::string sjisToUtf8(std::string_view sjis)
{
    // EILSEQ or EINVAL (a lead byte at the end): one byte becomes U+FFFD.
    return convert("UTF-8", "CP932", sjis, [](size_t, std::string& out) -> size_t {
        out += kReplacement;
        return 1;
    });
}

std::string utf8ToSjis(std::string_view utf8)
{
    // Check the UTF-8 first, so that errors name a character, not a byte of one.
    for (size_t at = 0; at < utf8.size();) {
        const size_t length = utf8SequenceLength(utf8, at);
        if (length == 0) {
            char text[80];
            std::snprintf(text, sizeof text, "byte 0x%02X at offset %zu is not UTF-8",
                          static_cast<unsigned>(static_cast<uint8_t>(utf8[at])), at);
            throw TextEncodingError(text);
        }
        at += length;
    }
    return convert("CP932", "UTF-8", utf8, [utf8](size_t at, std::string&) -> size_t {
        const size_t length = utf8SequenceLength(utf8, at);
        char text[120];
        std::snprintf(text, sizeof text, "the character U+%04X (\"%.*s\") has no Shift-JIS form",
                      static_cast<unsigned>(utf8CodePoint(utf8, at, length == 0 ? 1 : length)),
                      static_cast<int>(length), utf8.data() + at);
        throw TextEncodingError(text);
    });
}
