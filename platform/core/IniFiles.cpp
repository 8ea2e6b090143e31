// IniFiles.cpp: the profile file object and the portable editing of profile
// text that keeps every line it does not change.
#include "platform/IniFiles.h"

#include <string_view>
#include <vector>

namespace {

struct Line {
    std::string_view content;  // without its line ending
    size_t end;                // offset just past its line ending
};

std::vector<Line> splitLines(const std::string& text)
{
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        const size_t next = newline == std::string::npos ? text.size() : newline + 1;
        size_t stop = newline == std::string::npos ? text.size() : newline;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        lines.push_back({std::string_view(text).substr(start, stop - start), next});
        start = next;
    }
    return lines;
}

std::string_view trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// The section a line opens, or none.
std::optional<std::string_view> sectionOf(std::string_view line)
{
    line = trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// The key of an entry line and its value, or none for blanks and comments.
std::optional<std::pair<std::string_view, std::string_view>> entryOf(std::string_view line)
{
    const std::string_view trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() == ';')
        return std::nullopt;
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return std::make_pair(trim(trimmed.substr(0, equals)), trim(trimmed.substr(equals + 1)));
}

struct Found {
    std::optional<size_t> sectionLine;
    std::optional<size_t> keyLine;
    size_t lastEntryLine = 0;  // the section's header or its last non-blank line
};

Found find(const std::vector<Line>& lines, const std::string& section, const std::string& ident)
{
    Found found;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionOf(lines[i].content)) {
            if (found.sectionLine)
                break;  // the first matching section ends here
            inSection = sameName(*name, trim(section));
            if (inSection) {
                found.sectionLine = i;
                found.lastEntryLine = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trim(lines[i].content).empty())
            found.lastEntryLine = i;
        const auto entry = entryOf(lines[i].content);
        if (entry && sameName(entry->first, trim(ident))) {
            found.keyLine = i;
            break;
        }
    }
    return found;
}

}  // namespace

namespace IniText {

std::optional<std::string> getValue(const std::string& text, const std::string& section, const std::string& ident)
{
    const auto lines = splitLines(text);
    const Found found = find(lines, section, ident);
    if (!found.keyLine)
        return std::nullopt;
    return std::string(entryOf(lines[*found.keyLine].content)->second);
}

std::string setValue(const std::string& text, const std::string& section, const std::string& ident,
                     const std::string& value)
{
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entry = ident + "=" + value;
    const auto lines = splitLines(text);
    const Found found = find(lines, section, ident);

    if (found.keyLine) {
        const Line& line = lines[*found.keyLine];
        const size_t start = static_cast<size_t>(line.content.data() - text.data());
        return text.substr(0, start) + entry + text.substr(start + line.content.size());
    }
    // A last line without its line ending gets one before anything follows it.
    auto endedAt = [&](size_t lineIndex) {
        const Line& line = lines[lineIndex];
        const size_t contentEnd = static_cast<size_t>(line.content.data() - text.data()) + line.content.size();
        return line.end == contentEnd ? text.substr(0, line.end) + eol : text.substr(0, line.end);
    };
    if (found.sectionLine)
        return endedAt(found.lastEntryLine) + entry + eol + text.substr(lines[found.lastEntryLine].end);
    const std::string before = lines.empty() ? std::string() : endedAt(lines.size() - 1);
    return before + "[" + section + "]" + eol + entry + eol;
}

}  // namespace IniText

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    WriteProfileText(fileName_, section, ident, value);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const
{
    return ReadProfileText(fileName_, section, ident).value_or(defaultValue);
}
