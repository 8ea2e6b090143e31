// CQDFileStream.h: the typed stream in which data files are encoded, over a
// file or over bytes already in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Classes.h"

// A stream with one operation per value type a data file holds, over a source
// stream it owns. Integers are stored most significant byte first and pass
// through a one-byte XOR filter; strings, doubles and booleans are stored as
// they are. Every value moves through the source's exact reads and writes, so
// a stream that ends too early raises EReadError and nothing else; every
// other failure is a different class (ERangeError, EIntOverflow, Exception).
// A file and bytes in memory read alike, with the same errors.
//
// The counters count the bytes moved through this class's own operations;
// the plain Read, Write, Seek and CopyFrom leave them alone.
class TQDStream : public TStream {
public:
    explicit TQDStream(std::unique_ptr<TStream> source);

    int64_t Read(void* buffer, int64_t count) override { return source_->Read(buffer, count); }
    int64_t Write(const void* buffer, int64_t count) override { return source_->Write(buffer, count); }
    int64_t Seek(int64_t offset, int origin) override { return source_->Seek(offset, origin); }
    int64_t Size() override { return source_->Size(); }

    // Counters and filter to 0, position to the start; itemStart is kept.
    virtual void init();
    // Does nothing: a file stays open until the object is destroyed.
    virtual void close();

    // filter := key mod 256. A negative key raises ERangeError (filter kept)
    // unless it is a multiple of 256, which gives 0.
    void setFilter(int32_t key);
    void resetFilter();
    uint8_t getFilter() const { return filter_; }

    int32_t getWritedByte() const { return writedByte_; }
    int32_t getReadedByte() const { return readedByte_; }

    void writeByte(uint8_t b);
    // The byte's two's-complement pattern XOR filter, for every filter value.
    void writeShortInt(int8_t v);
    void writeSmallInt(int16_t v);
    void writeLongInt(int32_t v);
    // The low n bytes of v, most significant first; bytes beyond the fourth
    // carry v's sign (0x00 or 0xFF). Nothing when n <= 0.
    void writeInteger(int32_t v, int32_t n);
    // 1 to 4 groups of 7 bits, values from 2^28 up stored modulo 2^28.
    void writeDelta(uint32_t v);
    // The bytes of s unfiltered; s longer than 255 bytes raises Exception.
    void writeString(const std::string& s);
    // A filtered length byte, then the text; s longer than 254 bytes raises
    // Exception and nothing is written.
    void writeDeltaString(const std::string& s);
    void writeDouble(double d);
    void writeBoolean(bool b);
    void writeDateTime(TDateTime t);

    // Group, tag and a length placeholder; the payload follows. Items do not nest.
    void beginItem(uint8_t group, uint8_t tag);
    // Patches the placeholder with the payload's size; a size outside 0..255
    // raises ERangeError and nothing is patched.
    void endItem(uint8_t group, uint8_t tag);
    // Writes n at the byte n + 1 bytes back, then returns to the current position.
    void writeBackLen(uint8_t n);
    // Writes n as a 32-bit integer at the 4 bytes n + 4 bytes back, then returns.
    // A negative n or one reaching before the start raises ERangeError.
    void writeBackLenLong(int32_t n);

    uint8_t readByte();
    int8_t readShortint();
    // n bytes, most significant first, keeping the low 32 bits; 0 when n <= 0.
    int32_t readInteger(int32_t n);
    int32_t readLongInt();
    // Two bytes as a two's-complement number: the inverse of writeSmallInt.
    int16_t readSmallInt();
    // Groups of 7 bits until a byte below 0x80; bits beyond 32 are dropped.
    uint32_t readDelta();
    // n bytes, the text being those up to the first zero byte. For n above
    // 255 a message is shown and nothing is read; n <= 0 reads nothing.
    std::string readString(int32_t n);
    std::string readDeltaString();
    double readDouble();
    // Any non-zero byte is true.
    bool readBoolean();
    TDateTime readDateTime();

    // The next byte, filtered, without moving past it; the counter is unchanged.
    uint8_t nextByte();
    // Skips n bytes without reading them (they are counted as read).
    void readPass(int32_t n);

    // The longest text readString reads and writeString writes.
    static constexpr int32_t kMaxStringLength = 255;

protected:
    // For tests that start a counter near its limit.
    void setCounters(int32_t writed, int32_t readed)
    {
        writedByte_ = writed;
        readedByte_ = readed;
    }

private:
    void putFilteredBytes(const uint8_t* bytes, size_t count);
    void getFilteredBytes(uint8_t* bytes, size_t count);
    void patchBack(int64_t distance, const void* bytes, int64_t count);

    std::unique_ptr<TStream> source_;
    uint8_t filter_ = 0;
    int32_t itemStart_ = 0;   // writedByte right after the last beginItem's placeholder
    int32_t writedByte_ = 0;  // bytes written through this class's operations
    int32_t readedByte_ = 0;  // bytes read through this class's operations
};

// The typed stream over a file. mode fmCreate creates (or empties) the file;
// any other mode opens an existing one (fmOpenRead for the loaders).
// EFCreateError / EFOpenError. The file is closed when the stream is destroyed.
class TQDFileStream : public TQDStream {
public:
    TQDFileStream(const std::string& fileName, uint16_t mode);

    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// The typed stream over bytes in memory, read as the same bytes in a file
// would be read; writes extend the bytes.
class TQDMemoryStream : public TQDStream {
public:
    explicit TQDMemoryStream(std::vector<uint8_t> bytes);
};
