// CQDFileStream.cpp: the value encodings of data files over a file or bytes in memory.
#include "datafile/CQDFileStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"

namespace {
// The counters are signed 32-bit: a step that would leave that range is an
// error, checked before any byte moves, so a refused operation changes nothing.
int32_t checkedAdd(int32_t counter, int64_t step)
{
    const int64_t next = int64_t{counter} + step;
    if (next > std::numeric_limits<int32_t>::max() || next < std::numeric_limits<int32_t>::min())
        throw EIntOverflow();
    return static_cast<int32_t>(next);
}

// Byte i (0 = least significant) of v as a number of any width: bytes beyond
// the fourth repeat the sign.
uint8_t byteOf(int32_t v, int32_t i)
{
    if (i >= 4)
        return v < 0 ? 0xFF : 0x00;
    return static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

std::array<uint8_t, 8> doubleBytes(double d)
{
    // memcpy rather than std::bit_cast: the WebAssembly toolchain's library
    // has no bit_cast yet, and the two compile to the same move.
    uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    std::array<uint8_t, 8> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(bits >> (8 * i));  // least significant first
    return bytes;
}
}  // namespace

TQDStream::TQDStream(std::unique_ptr<TStream> source) : source_(std::move(source))
{
}

TQDFileStream::TQDFileStream(const std::string& fileName, uint16_t mode)
    : TQDStream(std::make_unique<TFileStream>(fileName, mode)), fileName_(fileName)
{
}

TQDMemoryStream::TQDMemoryStream(std::vector<uint8_t> bytes)
    : TQDStream(std::make_unique<TMemoryStream>(std::move(bytes)))
{
}

void TQDStream::init()
{
    writedByte_ = 0;
    readedByte_ = 0;
    filter_ = 0;
    Seek(0, soFromBeginning);
}

void TQDStream::close()
{
}

void TQDStream::setFilter(int32_t key)
{
    if (key < 0 && key % 256 != 0)
        throw ERangeError();
    filter_ = static_cast<uint8_t>(key < 0 ? 0 : key % 256);
}

void TQDStream::resetFilter()
{
    filter_ = 0;
}

// --- raw filtered bytes, not counted ---------------------------------------

// Multi-byte values move in one call to the base stream each: the bytes on
// the wire are the same as one call per byte, with far fewer system calls.
void TQDStream::putFilteredBytes(const uint8_t* bytes, size_t count)
{
    std::array<uint8_t, 256> out{};
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(out.size(), count - done);
        for (size_t i = 0; i < n; ++i)
            out[i] = bytes[done + i] ^ filter_;
        WriteBuffer(out.data(), static_cast<int64_t>(n));
        done += n;
    }
}

void TQDStream::getFilteredBytes(uint8_t* bytes, size_t count)
{
    ReadBuffer(bytes, static_cast<int64_t>(count));
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= filter_;
}

// Overwrites count bytes starting distance bytes before the current position,
// then comes back to it.
void TQDStream::patchBack(int64_t distance, const void* bytes, int64_t count)
{
    const int64_t here = Position();
    if (distance > here)
        throw ERangeError();  // would reach before the start of the file
    Seek(-distance, soFromCurrent);
    try {
        WriteBuffer(bytes, count);
    } catch (...) {
        Seek(here, soFromBeginning);
        throw;
    }
    Seek(here, soFromBeginning);
}

// --- writing ------------------------------------------------------------------

void TQDStream::writeByte(uint8_t b)
{
    const int32_t next = checkedAdd(writedByte_, 1);
    putFilteredBytes(&b, 1);
    writedByte_ = next;
}

void TQDStream::writeShortInt(int8_t v)
{
    writeByte(static_cast<uint8_t>(v));
}

void TQDStream::writeSmallInt(int16_t v)
{
    writeInteger(v, 2);
}

void TQDStream::writeLongInt(int32_t v)
{
    writeInteger(v, 4);
}

void TQDStream::writeInteger(int32_t v, int32_t n)
{
    if (n <= 0)
        return;
    const int32_t next = checkedAdd(writedByte_, n);
    std::array<uint8_t, 64> chunk{};
    for (int32_t i = n - 1; i >= 0;) {  // i: the byte's place, most significant first
        size_t used = 0;
        for (; i >= 0 && used < chunk.size(); --i)
            chunk[used++] = byteOf(v, i);
        putFilteredBytes(chunk.data(), used);
    }
    writedByte_ = next;
}

void TQDStream::writeDelta(uint32_t v)
{
    // Groups are written for n = 3..1 only when v >= n * 128 (not 128^n): the
    // files in use were written this way, so 256 and up are not the shortest form.
    std::array<uint8_t, 4> groups{};
    int count = 0;
    for (uint32_t n = 3; n > 0; --n) {
        if (v >= n * 128)
            groups[static_cast<size_t>(count++)] = static_cast<uint8_t>(((v >> (7 * n)) & 0x7F) | 0x80);
    }
    groups[static_cast<size_t>(count++)] = static_cast<uint8_t>(v & 0x7F);
    const int32_t next = checkedAdd(writedByte_, count);
    putFilteredBytes(groups.data(), static_cast<size_t>(count));
    writedByte_ = next;
}

void TQDStream::writeString(const std::string& s)
{
    if (s.size() > static_cast<size_t>(kMaxStringLength))
        throw Exception("theString is too long.");
    const int32_t next = checkedAdd(writedByte_, static_cast<int64_t>(s.size()));
    WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
    writedByte_ = next;
}

void TQDStream::writeDeltaString(const std::string& s)
{
    // 254, not 255: the limit the authoring side has always enforced.
    if (s.size() > static_cast<size_t>(kMaxStringLength - 1))
        throw Exception("writeDeltaString : too long string");
    const int32_t next = checkedAdd(writedByte_, 1 + static_cast<int64_t>(s.size()));
    std::array<char, kMaxStringLength + 1> out{};
    out[0] = static_cast<char>(static_cast<uint8_t>(s.size()) ^ filter_);  // only the length is filtered
    std::copy(s.begin(), s.end(), out.begin() + 1);
    WriteBuffer(out.data(), 1 + static_cast<int64_t>(s.size()));
    writedByte_ = next;
}

void TQDStream::writeDouble(double d)
{
    const int32_t next = checkedAdd(writedByte_, 8);
    const auto bytes = doubleBytes(d);
    WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    writedByte_ = next;
}

void TQDStream::writeBoolean(bool b)
{
    const int32_t next = checkedAdd(writedByte_, 1);
    const uint8_t byte = b ? 1 : 0;
    WriteBuffer(&byte, 1);
    writedByte_ = next;
}

void TQDStream::writeDateTime(TDateTime t)
{
    writeDouble(t);
}

void TQDStream::beginItem(uint8_t group, uint8_t tag)
{
    const int32_t next = checkedAdd(writedByte_, 3);
    const std::array<uint8_t, 3> header = {group, tag, 0};  // the length is patched by endItem
    putFilteredBytes(header.data(), header.size());
    writedByte_ = next;
    itemStart_ = next;
}

void TQDStream::endItem(uint8_t /*group*/, uint8_t /*tag*/)
{
    const int64_t payload = int64_t{writedByte_} - itemStart_;
    if (payload < 0 || payload > 255)
        throw ERangeError();
    writeBackLen(static_cast<uint8_t>(payload));
}

void TQDStream::writeBackLen(uint8_t n)
{
    const uint8_t out = n ^ filter_;
    patchBack(int64_t{n} + 1, &out, 1);
}

void TQDStream::writeBackLenLong(int32_t n)
{
    if (n < 0)
        throw ERangeError();
    std::array<uint8_t, 4> out{};
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(static_cast<uint32_t>(n) >> (8 * (3 - i))) ^ filter_;
    patchBack(int64_t{n} + 4, out.data(), static_cast<int64_t>(out.size()));
}

// --- reading ------------------------------------------------------------------

uint8_t TQDStream::readByte()
{
    const int32_t next = checkedAdd(readedByte_, 1);
    uint8_t b = 0;
    getFilteredBytes(&b, 1);
    readedByte_ = next;
    return b;
}

int8_t TQDStream::readShortint()
{
    return static_cast<int8_t>(readByte());
}

int32_t TQDStream::readInteger(int32_t n)
{
    if (n <= 0)
        return 0;
    const int32_t next = checkedAdd(readedByte_, n);
    uint32_t result = 0;
    std::array<uint8_t, 64> chunk{};
    for (int32_t left = n; left > 0;) {
        const size_t count = std::min(chunk.size(), static_cast<size_t>(left));
        getFilteredBytes(chunk.data(), count);
        for (size_t i = 0; i < count; ++i)
            result = (result << 8) | chunk[i];  // only the low 32 bits are kept
        left -= static_cast<int32_t>(count);
    }
    readedByte_ = next;
    return static_cast<int32_t>(result);
}

int32_t TQDStream::readLongInt()
{
    return readInteger(4);
}

int16_t TQDStream::readSmallInt()
{
    return static_cast<int16_t>(static_cast<uint16_t>(readInteger(2)));
}

uint32_t TQDStream::readDelta()
{
    // No limit on the number of groups: leading 0x80 bytes add nothing, and
    // bits shifted out of the top are dropped, as the files have always been read.
    uint32_t result = 0;
    uint8_t b = 0;
    do {
        b = readByte();
        result = (result << 7) | (b & 0x7Fu);
    } while (b >= 0x80);
    return result;
}

std::string TQDStream::readString(int32_t n)
{
    if (n > kMaxStringLength) {
        ShowMessage("TAbsLoadStream: 255 文字以上の ReadString には対応していません");
        return {};
    }
    if (n <= 0)
        return {};
    const int32_t next = checkedAdd(readedByte_, n);
    std::array<char, kMaxStringLength + 1> buffer{};
    ReadBuffer(buffer.data(), n);
    readedByte_ = next;
    return std::string(buffer.data());  // up to the first zero byte
}

std::string TQDStream::readDeltaString()
{
    return readString(readByte());
}

double TQDStream::readDouble()
{
    const int32_t next = checkedAdd(readedByte_, 8);
    std::array<uint8_t, 8> bytes{};
    ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    uint64_t bits = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        bits |= uint64_t{bytes[i]} << (8 * i);
    readedByte_ = next;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool TQDStream::readBoolean()
{
    const int32_t next = checkedAdd(readedByte_, 1);
    uint8_t b = 0;
    ReadBuffer(&b, 1);
    readedByte_ = next;
    return b != 0;
}

TDateTime TQDStream::readDateTime()
{
    return readDouble();
}

uint8_t TQDStream::nextByte()
{
    uint8_t b = 0;
    getFilteredBytes(&b, 1);
    Seek(-1, soFromCurrent);
    return b;
}

void TQDStream::readPass(int32_t n)
{
    const int32_t next = checkedAdd(readedByte_, n);
    Seek(n, soFromCurrent);
    readedByte_ = next;
}
