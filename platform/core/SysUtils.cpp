// SysUtils.cpp: path-splitting helpers shared by every backend.
#include "platform/SysUtils.h"

namespace {
// Index of the last separator in path, or npos.
size_t lastSeparator(const std::string& path)
{
    for (size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1]))
            return i - 1;
    }
    return std::string::npos;
}
}  // namespace

bool IsPathSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

std::string IncludeTrailingPathDelimiter(const std::string& path)
{
    if (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        return path;
    return path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path)
{
    std::string out = path;
    while (out.size() > 1 && (out.back() == '\\' || out.back() == '/'))
        out.pop_back();
    return out;
}

std::string ExtractFileName(const std::string& path)
{
    const size_t sep = lastSeparator(path);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string ExtractFilePath(const std::string& path)
{
    const size_t sep = lastSeparator(path);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}
