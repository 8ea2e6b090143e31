// SysUtils.cpp: files, folders and private folders on POSIX.
#include "platform/SysUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "platform/Exceptions.h"

namespace {
// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// dir as the operating system should see it: no trailing slash (a trailing
// slash would make it follow a link at the last step), "." for "".
std::string osDirectory(const std::string& dir)
{
    std::string path = dir;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.empty() ? std::string(".") : path;
}

// Opens dir when it is a real folder (not a link) owned by this user; -1
// otherwise. Later steps work relative to the descriptor, so the folder
// checked is the folder used.
int openOwnDirectory(const std::string& dir, struct stat* info = nullptr)
{
    Descriptor fd(::open(osDirectory(dir).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return -1;
    if (info != nullptr)
        *info = st;
    return fd.release();
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}
}  // namespace

std::string ExpandFileName(const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    char folder[PATH_MAX];
    if (::getcwd(folder, sizeof folder) == nullptr)
        return path;
    // "./show.sdt" becomes "<folder>/show.sdt"; ".." is kept, since a link
    // on the way may lead elsewhere than the folder above.
    std::string rest = path;
    while (rest.size() > 2 && rest.compare(0, 2, "./") == 0)
        rest.erase(0, rest.find_first_not_of('/', 2));
    return IncludeTrailingPathDelimiter(folder) + rest;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool CreateDir(const std::string& dir)
{
    return ::mkdir(osDirectory(dir).c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string& dir)
{
    const std::string path = osDirectory(dir);
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0777);
    ::mkdir(path.c_str(), 0777);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool RemoveDir(const std::string& dir)
{
    return ::rmdir(osDirectory(dir).c_str()) == 0;
}

std::vector<std::string> ListFiles(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* listing = ::opendir(osDirectory(dir).c_str());
    if (listing == nullptr)
        return names;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." || ::fstatat(::dirfd(listing), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode))
            names.push_back(name);
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

std::string GetTempDirectory()
{
    const std::string tmp = environment("TMPDIR");
    return IncludeTrailingPathDelimiter(tmp.empty() ? "/tmp" : tmp);
}

std::string GetProgramPath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string GetPrivateTempDirectory(const std::string& name)
{
    // The runtime folder is already private to the user (and not shared with
    // anyone); the shared temporary folder needs the user id in the name.
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime.front() == '/')
        return IncludeTrailingPathDelimiter(runtime) + name;
    return GetTempDirectory() + name + "-" + std::to_string(::geteuid());
}

bool ForcePrivateDirectory(const std::string& dir)
{
    ::mkdir(osDirectory(dir).c_str(), 0700);
    struct stat st {};
    const Descriptor fd(openOwnDirectory(dir, &st));
    if (fd.get() < 0)
        return false;
    if ((st.st_mode & 077) != 0)
        return ::fchmod(fd.get(), 0700) == 0;
    return true;
}

std::optional<std::string> CreateUniqueTempDirectory(const std::string& prefix)
{
    std::string pattern = GetTempDirectory() + prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)  // mode 0700
        return std::nullopt;
    return pattern;
}

std::unique_ptr<TFileStream> CreateNewFile(const std::string& path, ExistingEntry existing)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const Descriptor folder(openOwnDirectory(dir));
    if (folder.get() < 0 || name.empty())
        throw EFCreateError(path);

    if (existing == ExistingEntry::Replace) {
        // Remove the name, not what it may point to; a folder stays and the
        // creation below then fails.
        struct stat st {};
        if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
            ::unlinkat(folder.get(), name.c_str(), 0);
    }
    // O_EXCL with O_CREAT never follows a link and never opens what exists.
    const int fd = ::openat(folder.get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST && existing == ExistingEntry::Keep)
            return nullptr;
        throw EFCreateError(path);
    }
    return std::make_unique<TFileStream>(path, TFileStream::AdoptHandle{fd});
}

void DeleteFilesInPrivateDirectory(const std::string& dir)
{
    if (dir.empty())
        return;  // never the current directory by accident
    Descriptor folder(openOwnDirectory(dir));
    if (folder.get() < 0)
        return;
    DIR* listing = ::fdopendir(folder.get());
    if (listing == nullptr)
        return;
    folder.release();  // the listing owns it now
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int fd = ::dirfd(listing);
    for (const auto& name : names) {
        struct stat st {};
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
            ::unlinkat(fd, name.c_str(), 0);  // failures are skipped
    }
    ::closedir(listing);
}
