// DialogView.cpp: the portable helpers every dialog view shares: filter
// strings, wildcards, mnemonics and the tab sequence.
#include "platform/DialogView.h"

#include <algorithm>

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Classic wildcard matching with backtracking to the last "*".
bool matchWildcard(const std::string& name, const std::string& pattern)
{
    size_t n = 0;
    size_t p = 0;
    size_t starP = std::string::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

void appendChildren(const TDialogResource& resource, const std::string& parent,
    std::vector<const TControlResource*>& sequence)
{
    std::vector<const TControlResource*> children;
    for (const TControlResource& control : resource)
        if (control.Parent == parent)
            children.push_back(&control);
    std::stable_sort(children.begin(), children.end(),
        [](const TControlResource* a, const TControlResource* b) { return a->TabOrder < b->TabOrder; });
    for (const TControlResource* child : children) {
        if (child->Kind == TControlKind::Panel || child->Kind == TControlKind::GroupBox)
            appendChildren(resource, child->Name, sequence);
        else
            sequence.push_back(child);
    }
}

}  // namespace

std::vector<TFileFilter> ParseFilter(const std::string& filter)
{
    std::vector<TFileFilter> filters;
    if (filter.empty())
        return filters;
    const std::vector<std::string> parts = split(filter, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        TFileFilter entry{parts[i], {}};
        for (const std::string& pattern : split(parts[i + 1], ';'))
            if (!pattern.empty())
                entry.Patterns.push_back(pattern);
        if (!entry.Patterns.empty())
            filters.push_back(std::move(entry));
    }
    return filters;
}

bool MatchesFilterPattern(const std::string& fileName, const std::string& pattern)
{
    // On Windows "*.*" also matches names without a dot.
    if (pattern == "*.*" || pattern == "*")
        return true;
    return matchWildcard(fileName, pattern);
}

std::string TranslateMnemonic(const std::string& caption, char marker)
{
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        const char c = caption[i];
        if (c == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                out += '&';
                ++i;
            } else if (i + 1 < caption.size()) {
                out += marker;
            }
        } else if (c == marker) {
            out += marker;
            out += marker;
        } else {
            out += c;
        }
    }
    return out;
}

std::string StripMnemonic(const std::string& caption)
{
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                out += '&';
                ++i;
            }
        } else {
            out += caption[i];
        }
    }
    return out;
}

std::vector<const TControlResource*> TabSequence(const TDialogResource& resource)
{
    std::vector<const TControlResource*> sequence;
    appendChildren(resource, std::string(), sequence);
    return sequence;
}
