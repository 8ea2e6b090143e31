// ProfileFile.cpp: profile files on POSIX: a bare name lives beside the
// settings store, and every change replaces the file atomically.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "platform/posix/PosixRegistry.h"

namespace {

// Reads the whole file; none when it cannot be opened.
std::optional<std::string> readWhole(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            if (n < 0)
                return std::nullopt;
            return text;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a change goes to: the path, or the target of a link there (a
// dotfile manager's link must stay a link).
std::string writeTarget(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return std::string();
    return resolved;
}

// Writes text to a new file beside target and renames it over target, so a
// crash leaves the old file or the new one, never half of one.
bool replaceFile(const std::string& target, const std::string& text)
{
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    struct stat old;
    ::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    const bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string ProfileFilePath(const std::string& fileName)
{
    if (fileName.find('/') != std::string::npos)
        return fileName;
    const std::string store = DefaultRegistryFilePath();
    if (store.empty())
        return std::string();
    return ExtractFilePath(store) + fileName;
}

void WriteProfileText(const std::string& fileName, const std::string& section, const std::string& ident,
                      const std::string& value)
{
    const std::string path = ProfileFilePath(fileName);
    const auto fail = [&] { return EIniFileException(Format("%s に書き込めません", {fileName})); };
    if (path.empty())
        throw fail();
    const std::string dir = ExtractFilePath(path);
    if (!dir.empty() && !DirectoryExists(dir) && !ForceDirectories(dir))
        throw fail();
    const std::string target = writeTarget(path);
    if (target.empty())
        throw fail();
    std::string text;
    if (EntryExists(target)) {
        auto current = readWhole(target);
        if (!current)
            throw fail();  // never replace a file whose lines could not be kept
        text = std::move(*current);
    }
    if (!replaceFile(target, IniText::setValue(text, section, ident, value)))
        throw fail();
}

std::optional<std::string> ReadProfileText(const std::string& fileName, const std::string& section,
                                           const std::string& ident)
{
    const std::string path = ProfileFilePath(fileName);
    if (path.empty())
        return std::nullopt;
    const auto text = readWhole(path);
    if (!text)
        return std::nullopt;
    return IniText::getValue(*text, section, ident);
}
