// FileStream.cpp: file streams over POSIX file descriptors.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Classes.h"
#include "platform/Exceptions.h"

namespace {
int fd(intptr_t handle)
{
    return static_cast<int>(handle);
}

intptr_t openFile(const std::string& fileName, uint16_t mode)
{
    int flags = O_CLOEXEC;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 3) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
        }
    }
    const int handle = ::open(fileName.c_str(), flags, 0600);
    if (handle < 0) {
        if (mode == fmCreate)
            throw EFCreateError(fileName);
        throw EFOpenError(fileName);
    }
    return handle;
}
}  // namespace

int64_t THandleStream::Read(void* buffer, int64_t count)
{
    int64_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fd(handle_), out + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count)
{
    int64_t done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(fd(handle_), in + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, int origin)
{
    const int whence = origin == soFromCurrent ? SEEK_CUR : origin == soFromEnd ? SEEK_END : SEEK_SET;
    const off_t position = ::lseek(fd(handle_), static_cast<off_t>(offset), whence);
    if (position < 0)
        return ::lseek(fd(handle_), 0, SEEK_CUR);
    return position;
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : THandleStream(openFile(fileName, mode)), fileName_(fileName)
{
}

TFileStream::TFileStream(const std::string& fileName, AdoptHandle adopted)
    : THandleStream(adopted.handle), fileName_(fileName)
{
}

TFileStream::~TFileStream()
{
    ::close(fd(handle_));
}
