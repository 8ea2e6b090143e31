// Exceptions.cpp: message formatting for the framework's errors.
#include "platform/Exceptions.h"

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    out.reserve(pattern.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')
            && next != args.end()) {
            out.append(*next++);
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}
