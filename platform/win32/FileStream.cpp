// FileStream.cpp: file streams over Win32 file handles (UTF-8 names opened
// through the UTF-16 API).
#include <windows.h>

#include <algorithm>

#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/win32/WinText.h"

namespace {
HANDLE fileHandle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// ReadFile and WriteFile move at most a DWORD at a time.
constexpr int64_t kMaxTransfer = 0x40000000;

DWORD accessOf(uint16_t mode)
{
    switch (mode & 3) {
    case fmOpenWrite: return GENERIC_WRITE;
    case fmOpenReadWrite: return GENERIC_READ | GENERIC_WRITE;
    default: return GENERIC_READ;
    }
}

DWORD shareOf(uint16_t mode)
{
    switch (mode & 0xF0) {
    case fmShareExclusive: return 0;
    case fmShareDenyWrite: return FILE_SHARE_READ;
    case 0x30: return FILE_SHARE_WRITE;  // deny read
    case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    // No sharing flag: others may still read the file, nobody may change it
    // under us (an exclusive open would fail for a file another program reads).
    default: return FILE_SHARE_READ;
    }
}

intptr_t openFile(const std::string& fileName, uint16_t mode)
{
    const std::wstring name = win32::toWide(fileName);
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (mode == fmCreate) {
        // A new file is the creator's alone until it is closed.
        handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            throw EFCreateError(fileName);
    } else {
        handle = CreateFileW(name.c_str(), accessOf(mode), shareOf(mode), nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            throw EFOpenError(fileName);
    }
    return reinterpret_cast<intptr_t>(handle);
}
}  // namespace

int64_t THandleStream::Read(void* buffer, int64_t count)
{
    int64_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const auto wanted = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        DWORD moved = 0;
        if (!ReadFile(fileHandle(handle_), out + done, wanted, &moved, nullptr) || moved == 0)
            break;
        done += moved;
    }
    return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count)
{
    int64_t done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < count) {
        const auto wanted = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        DWORD moved = 0;
        if (!WriteFile(fileHandle(handle_), in + done, wanted, &moved, nullptr) || moved == 0)
            break;
        done += moved;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, int origin)
{
    const DWORD method = origin == soFromCurrent ? FILE_CURRENT : origin == soFromEnd ? FILE_END : FILE_BEGIN;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(fileHandle(handle_), distance, &position, method)) {
        // Refused (before the start, say): the position stays where it was.
        distance.QuadPart = 0;
        if (!SetFilePointerEx(fileHandle(handle_), distance, &position, FILE_CURRENT))
            return -1;
    }
    return position.QuadPart;
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
    CloseHandle(fileHandle(handle_));
}
