// WindowClaims.cpp: window lookup by class name with one lock file per class
// in a private per-user directory. A window holds a shared flock on its
// class's file; a lookup tries an exclusive one without waiting.
#include "platform/WindowClaims.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The directory is shared with nobody: it must be a real directory (not a
// link) owned by this user; a new one is made with mode 0700.
int openPrivateDirectory(const std::string& path, std::string& problem)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = std::strerror(errno);
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ELOOP || errno == ENOTDIR ? "not a directory" : std::strerror(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid()) {
        problem = "owned by another user";
        ::close(fd);
        return -1;
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        problem = "open to other users";
        ::close(fd);
        return -1;
    }
    return fd;
}

// Class names become file names: letters, digits and "_" stay, anything else
// is written as %XX.
std::string fileNameFor(const std::string& className)
{
    std::string name;
    for (const unsigned char c : className) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') {
            name.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return name + ".window";
}

int openClassFile(const std::string& className, bool report)
{
    const std::string dir = WindowClaimDirectory();
    std::string problem;
    const int dirFd = dir.empty() ? -1 : openPrivateDirectory(dir, problem);
    if (dirFd < 0) {
        if (report)
            std::fprintf(stderr, "lurva: the window directory %s cannot be used (%s); a second copy will not be noticed\n",
                dir.c_str(), problem.c_str());
        return -1;
    }
    const int fd = ::openat(dirFd, fileNameFor(className).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::close(dirFd);
    if (fd < 0 && report)
        std::fprintf(stderr, "lurva: no window lock in %s (%s)\n", dir.c_str(), std::strerror(errno));
    return fd;
}

class PosixWindowClaim : public TWindowClaim {
public:
    explicit PosixWindowClaim(int fd) : fd_(fd) {}
    ~PosixWindowClaim() override { ::close(fd_); }  // closing drops the lock

private:
    int fd_;
};

}  // namespace

std::string WindowClaimDirectory()
{
    if (const char* chosen = std::getenv("LURVA_WINDOW_DIR"); chosen != nullptr && chosen[0] != '\0')
        return chosen;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/')
        return std::string(runtime) + "/lurva-windows";
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    return base + "/lurva-windows-" + std::to_string(::getuid());
}

std::unique_ptr<TWindowClaim> ClaimWindowClass(const std::string& className)
{
    const int fd = openClassFile(className, true);
    if (fd < 0)
        return nullptr;
    // Shared, so windows of one class can coexist; it waits only while a
    // lookup holds its momentary exclusive lock.
    while (::flock(fd, LOCK_SH) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return nullptr;
        }
    }
    return std::make_unique<PosixWindowClaim>(fd);
}

bool WindowClassClaimed(const std::string& className)
{
    const int fd = openClassFile(className, false);
    if (fd < 0)
        return false;
    const bool claimed = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return claimed;
}
