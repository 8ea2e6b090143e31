// Classes.h: byte streams over files and memory, as the loaders and the work
// directory use them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using TDateTime = double;  // days since 30 December 1899; the fraction is the time of day

// Seek origins.
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

// File open modes: fmCreate creates (or empties) a file open for reading and
// writing; the others open an existing file, optionally with sharing flags.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Move up to count bytes at the current position; return how many moved.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position; never raises.
    virtual int64_t Seek(int64_t offset, int origin) = 0;

    int64_t Position();
    void SetPosition(int64_t position);
    virtual int64_t Size();

    // Exactly count bytes or EReadError / EWriteError; a count of 0 does nothing.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies exactly count bytes from source's current position; a count of 0
    // copies nothing. Raises EReadError when source runs short.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over an operating-system file handle.
class THandleStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;

protected:
    explicit THandleStream(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;
};

// Opens (mode != fmCreate) or creates (fmCreate) a file by name.
// Raises EFOpenError / EFCreateError; the destructor closes the file.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    // Takes over a handle the platform has already opened on fileName by its
    // own rules (see CreateNewFile in SysUtils.h).
    struct AdoptHandle {
        intptr_t handle;
    };
    TFileStream(const std::string& fileName, AdoptHandle adopted);
    ~TFileStream() override;

    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// A growable stream in memory (tests, decoders, the fuzz targets).
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
};
