// QDFileStreamTest.cpp: the value encodings, item framing, filter, counters and
// errors of the data file stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "datafile/CQDFileStream.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

namespace {
using Bytes = std::vector<uint8_t>;
using Action = std::function<void(TQDStream&)>;

// Lets a test start a counter near its limit.
class CounterStream : public TQDFileStream {
public:
    using TQDFileStream::setCounters;
    using TQDFileStream::TQDFileStream;
};

class QDFileStreamTest : public ::testing::Test {
protected:
    std::string path() const { return dir_.str() + "/stream.bin"; }

    Bytes fileBytes() const
    {
        std::ifstream in(path(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    void putFile(const Bytes& bytes) const
    {
        std::ofstream out(path(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // A stream over a fresh empty file, for writing.
    std::unique_ptr<CounterStream> writer() const { return std::make_unique<CounterStream>(path(), fmCreate); }

    // A read-only stream over a file holding bytes.
    std::unique_ptr<CounterStream> reader(const Bytes& bytes) const
    {
        putFile(bytes);
        return std::make_unique<CounterStream>(path(), fmOpenRead);
    }

    // The same bytes read from a file or from memory: both must read alike.
    std::unique_ptr<TQDStream> source(const Bytes& bytes, bool inMemory) const
    {
        if (inMemory)
            return std::make_unique<TQDMemoryStream>(bytes);
        return reader(bytes);
    }

private:
    TempDir dir_;
};

Bytes repeat(size_t n, uint8_t b)
{
    return Bytes(n, b);
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One value and its bytes. A row with a write action checks that exactly
// these bytes are written and counted; a row with a read check checks that
// reading these bytes gives the value and counts them all. Most rows do both.
struct EncodingCase {
    const char* what;
    uint8_t filter;
    Action write;  // may be empty
    Bytes bytes;
    Action read;  // reads and checks the value; may be empty
};

const std::vector<EncodingCase>& encodingCases()
{
    static const std::vector<EncodingCase> cases = {
        // bytes
        {"byte 0x41", 0, [](auto& s) { s.writeByte(0x41); }, {0x41}, [](auto& s) { EXPECT_EQ(s.readByte(), 0x41); }},
        {"byte 0xFF", 0, [](auto& s) { s.writeByte(0xFF); }, {0xFF}, [](auto& s) { EXPECT_EQ(s.readByte(), 0xFF); }},
        {"shortint -1", 0, [](auto& s) { s.writeShortInt(-1); }, {0xFF}, [](auto& s) { EXPECT_EQ(s.readShortint(), -1); }},
        {"shortint -128", 0, [](auto& s) { s.writeShortInt(-128); }, {0x80}, [](auto& s) { EXPECT_EQ(s.readShortint(), -128); }},
        {"shortint 127", 0, [](auto& s) { s.writeShortInt(127); }, {0x7F}, [](auto& s) { EXPECT_EQ(s.readShortint(), 127); }},
        // fixed-size integers, most significant byte first
        {"smallint 0x1234", 0, [](auto& s) { s.writeSmallInt(0x1234); }, {0x12, 0x34},
         [](auto& s) { EXPECT_EQ(s.readSmallInt(), 0x1234); }},
        {"smallint 32767", 0, [](auto& s) { s.writeSmallInt(32767); }, {0x7F, 0xFF},
         [](auto& s) { EXPECT_EQ(s.readSmallInt(), 32767); }},
        {"smallint -2 reads back negative", 0, [](auto& s) { s.writeSmallInt(-2); }, {0xFF, 0xFE},
         [](auto& s) { EXPECT_EQ(s.readSmallInt(), -2); }},
        {"smallint -32768", 0, [](auto& s) { s.writeSmallInt(-32768); }, {0x80, 0x00},
         [](auto& s) { EXPECT_EQ(s.readSmallInt(), -32768); }},
        {"longint 1", 0, [](auto& s) { s.writeLongInt(1); }, {0, 0, 0, 1}, [](auto& s) { EXPECT_EQ(s.readLongInt(), 1); }},
        {"longint -2", 0, [](auto& s) { s.writeLongInt(-2); }, {0xFF, 0xFF, 0xFF, 0xFE},
         [](auto& s) { EXPECT_EQ(s.readLongInt(), -2); }},
        {"longint 0x12345678", 0, [](auto& s) { s.writeLongInt(0x12345678); }, {0x12, 0x34, 0x56, 0x78},
         [](auto& s) { EXPECT_EQ(s.readLongInt(), 0x12345678); }},
        {"longint min", 0, [](auto& s) { s.writeLongInt(std::numeric_limits<int32_t>::min()); }, {0x80, 0, 0, 0},
         [](auto& s) { EXPECT_EQ(s.readLongInt(), std::numeric_limits<int32_t>::min()); }},
        {"integer of 3 bytes", 0, [](auto& s) { s.writeInteger(0x123456, 3); }, {0x12, 0x34, 0x56},
         [](auto& s) { EXPECT_EQ(s.readInteger(3), 0x123456); }},
        {"integer of 1 byte keeps the low byte", 0, [](auto& s) { s.writeInteger(0x1FF, 1); }, {0xFF},
         [](auto& s) { EXPECT_EQ(s.readInteger(1), 0xFF); }},
        {"integer of 3 bytes is not sign-extended on reading", 0, [](auto& s) { s.writeInteger(-1, 3); },
         {0xFF, 0xFF, 0xFF}, [](auto& s) { EXPECT_EQ(s.readInteger(3), 0xFFFFFF); }},
        {"integer of 6 bytes carries the sign", 0, [](auto& s) { s.writeInteger(-2, 6); },
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, [](auto& s) { EXPECT_EQ(s.readInteger(6), -2); }},
        {"integer of 5 bytes, positive", 0, [](auto& s) { s.writeInteger(0x12345678, 5); },
         {0x00, 0x12, 0x34, 0x56, 0x78}, [](auto& s) { EXPECT_EQ(s.readInteger(5), 0x12345678); }},
        {"integer reading keeps the low 32 bits", 0, nullptr, {0xAB, 0x12, 0x34, 0x56, 0x78},
         [](auto& s) { EXPECT_EQ(s.readInteger(5), 0x12345678); }},
        {"integer of 0 bytes", 0, [](auto& s) { s.writeInteger(7, 0); }, {}, [](auto& s) { EXPECT_EQ(s.readInteger(0), 0); }},
        {"integer of -3 bytes", 0, [](auto& s) { s.writeInteger(7, -3); }, {}, [](auto& s) { EXPECT_EQ(s.readInteger(-3), 0); }},
        // delta integers: n * 128 thresholds, so not the shortest form from 256 up
        {"delta 0", 0, [](auto& s) { s.writeDelta(0); }, {0x00}, [](auto& s) { EXPECT_EQ(s.readDelta(), 0u); }},
        {"delta 127", 0, [](auto& s) { s.writeDelta(127); }, {0x7F}, [](auto& s) { EXPECT_EQ(s.readDelta(), 127u); }},
        {"delta 128", 0, [](auto& s) { s.writeDelta(128); }, {0x81, 0x00}, [](auto& s) { EXPECT_EQ(s.readDelta(), 128u); }},
        {"delta 200", 0, [](auto& s) { s.writeDelta(200); }, {0x81, 0x48}, [](auto& s) { EXPECT_EQ(s.readDelta(), 200u); }},
        {"delta 255", 0, [](auto& s) { s.writeDelta(255); }, {0x81, 0x7F}, [](auto& s) { EXPECT_EQ(s.readDelta(), 255u); }},
        {"delta 256", 0, [](auto& s) { s.writeDelta(256); }, {0x80, 0x82, 0x00},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 256u); }},
        {"delta 300", 0, [](auto& s) { s.writeDelta(300); }, {0x80, 0x82, 0x2C},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 300u); }},
        {"delta 383", 0, [](auto& s) { s.writeDelta(383); }, {0x80, 0x82, 0x7F},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 383u); }},
        {"delta 384", 0, [](auto& s) { s.writeDelta(384); }, {0x80, 0x80, 0x83, 0x00},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 384u); }},
        {"delta 1000", 0, [](auto& s) { s.writeDelta(1000); }, {0x80, 0x80, 0x87, 0x68},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 1000u); }},
        {"delta 2097152", 0, [](auto& s) { s.writeDelta(2097152); }, {0x81, 0x80, 0x80, 0x00},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 2097152u); }},
        {"delta 2^28 - 1", 0, [](auto& s) { s.writeDelta((1u << 28) - 1); }, {0xFF, 0xFF, 0xFF, 0x7F},
         [](auto& s) { EXPECT_EQ(s.readDelta(), (1u << 28) - 1); }},
        {"delta 2^28 is stored modulo 2^28", 0, [](auto& s) { s.writeDelta(1u << 28); }, {0x80, 0x80, 0x80, 0x00},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 0u); }},
        {"delta max is stored modulo 2^28", 0, [](auto& s) { s.writeDelta(0xFFFFFFFFu); }, {0xFF, 0xFF, 0xFF, 0x7F},
         [](auto& s) { EXPECT_EQ(s.readDelta(), (1u << 28) - 1); }},
        {"delta shortest form of 300 reads too", 0, nullptr, {0x82, 0x2C}, [](auto& s) { EXPECT_EQ(s.readDelta(), 300u); }},
        {"delta with leading empty groups", 0, nullptr, {0x80, 0x80, 0x80, 0x80, 0x05},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 5u); }},
        {"delta of 35 bits keeps the low 32", 0, nullptr, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
         [](auto& s) { EXPECT_EQ(s.readDelta(), 0xFFFFFFFFu); }},
        // strings: bytes as they are, Shift-JIS included
        {"string", 0, [](auto& s) { s.writeString("AB"); }, {0x41, 0x42}, [](auto& s) { EXPECT_EQ(s.readString(2), "AB"); }},
        {"string of Shift-JIS bytes", 0, [](auto& s) { s.writeString("\x82\xA0\x5C"); }, {0x82, 0xA0, 0x5C},
         [](auto& s) { EXPECT_EQ(s.readString(3), "\x82\xA0\x5C"); }},
        {"empty string", 0, [](auto& s) { s.writeString(""); }, {}, [](auto& s) { EXPECT_EQ(s.readString(0), ""); }},
        {"string stops at the first zero", 0, nullptr, {0x41, 0x00, 0x42, 0x43},
         [](auto& s) { EXPECT_EQ(s.readString(4), "A"); }},
        {"string of 255 bytes", 0, [](auto& s) { s.writeString(std::string(255, 'x')); }, repeat(255, 'x'),
         [](auto& s) { EXPECT_EQ(s.readString(255), std::string(255, 'x')); }},
        {"delta string", 0, [](auto& s) { s.writeDeltaString("AB"); }, {0x02, 0x41, 0x42},
         [](auto& s) { EXPECT_EQ(s.readDeltaString(), "AB"); }},
        {"empty delta string", 0, [](auto& s) { s.writeDeltaString(""); }, {0x00},
         [](auto& s) { EXPECT_EQ(s.readDeltaString(), ""); }},
        {"delta string of 254 bytes", 0, [](auto& s) { s.writeDeltaString(std::string(254, 'y')); },
         concat({0xFE}, repeat(254, 'y')), [](auto& s) { EXPECT_EQ(s.readDeltaString(), std::string(254, 'y')); }},
        {"delta string of 255 bytes reads", 0, nullptr, concat({0xFF}, repeat(255, 'z')),
         [](auto& s) { EXPECT_EQ(s.readDeltaString(), std::string(255, 'z')); }},
        // doubles, booleans, date-times: least significant byte first, unfiltered
        {"double 1.0", 0, [](auto& s) { s.writeDouble(1.0); }, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F},
         [](auto& s) { EXPECT_EQ(s.readDouble(), 1.0); }},
        {"double -0.5", 0, [](auto& s) { s.writeDouble(-0.5); }, {0, 0, 0, 0, 0, 0, 0xE0, 0xBF},
         [](auto& s) { EXPECT_EQ(s.readDouble(), -0.5); }},
        {"boolean true", 0, [](auto& s) { s.writeBoolean(true); }, {0x01}, [](auto& s) { EXPECT_TRUE(s.readBoolean()); }},
        {"boolean false", 0, [](auto& s) { s.writeBoolean(false); }, {0x00}, [](auto& s) { EXPECT_FALSE(s.readBoolean()); }},
        {"boolean any non-zero byte", 0, nullptr, {0x02}, [](auto& s) { EXPECT_TRUE(s.readBoolean()); }},
        {"date-time noon 1 Jan 2000", 0, [](auto& s) { s.writeDateTime(36526.5); }, {0, 0, 0, 0, 0xD0, 0xD5, 0xE1, 0x40},
         [](auto& s) { EXPECT_EQ(s.readDateTime(), 36526.5); }},
        // the filter: integer bytes and the delta string's length, nothing else
        {"filtered byte", 0x5A, [](auto& s) { s.writeByte(0x41); }, {0x1B}, [](auto& s) { EXPECT_EQ(s.readByte(), 0x41); }},
        {"filtered longint", 0x5A, [](auto& s) { s.writeLongInt(1); }, {0x5A, 0x5A, 0x5A, 0x5B},
         [](auto& s) { EXPECT_EQ(s.readLongInt(), 1); }},
        {"filtered smallint", 0x5A, [](auto& s) { s.writeSmallInt(-2); }, {0xA5, 0xA4},
         [](auto& s) { EXPECT_EQ(s.readSmallInt(), -2); }},
        {"filtered delta", 0x5A, [](auto& s) { s.writeDelta(128); }, {0xDB, 0x5A}, [](auto& s) { EXPECT_EQ(s.readDelta(), 128u); }},
        {"filtered shortint, high filter", 0x80, [](auto& s) { s.writeShortInt(1); }, {0x81},
         [](auto& s) { EXPECT_EQ(s.readShortint(), 1); }},
        {"filtered shortint -128, high filter", 0xFF, [](auto& s) { s.writeShortInt(-128); }, {0x7F},
         [](auto& s) { EXPECT_EQ(s.readShortint(), -128); }},
        {"string is not filtered", 0x5A, [](auto& s) { s.writeString("A"); }, {0x41}, [](auto& s) { EXPECT_EQ(s.readString(1), "A"); }},
        {"delta string: only the length", 0x5A, [](auto& s) { s.writeDeltaString("A"); }, {0x5B, 0x41},
         [](auto& s) { EXPECT_EQ(s.readDeltaString(), "A"); }},
        {"double is not filtered", 0x5A, [](auto& s) { s.writeDouble(1.0); }, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F},
         [](auto& s) { EXPECT_EQ(s.readDouble(), 1.0); }},
        {"boolean is not filtered", 0x5A, [](auto& s) { s.writeBoolean(true); }, {0x01}, [](auto& s) { EXPECT_TRUE(s.readBoolean()); }},
    };
    return cases;
}
}  // namespace

TEST_F(QDFileStreamTest, WritesEachEncoding)
{
    for (const auto& c : encodingCases()) {
        if (!c.write)
            continue;
        SCOPED_TRACE(c.what);
        {
            auto s = writer();
            s->setFilter(c.filter);
            c.write(*s);
            EXPECT_EQ(s->getWritedByte(), static_cast<int32_t>(c.bytes.size()));
            EXPECT_EQ(s->getReadedByte(), 0);
            EXPECT_EQ(s->Position(), static_cast<int64_t>(c.bytes.size()));
        }
        EXPECT_EQ(fileBytes(), c.bytes);
    }
}

TEST_F(QDFileStreamTest, ReadsEachEncoding)
{
    for (const bool inMemory : {false, true})
        for (const auto& c : encodingCases()) {
            if (!c.read)
                continue;
            SCOPED_TRACE(std::string(c.what) + (inMemory ? " in memory" : " in a file"));
            // A trailing byte shows that a read takes exactly its own bytes.
            auto s = source(concat(c.bytes, {0xEE}), inMemory);
            s->setFilter(c.filter);
            c.read(*s);
            EXPECT_EQ(s->getReadedByte(), static_cast<int32_t>(c.bytes.size()));
            EXPECT_EQ(s->getWritedByte(), 0);
            EXPECT_EQ(s->Position(), static_cast<int64_t>(c.bytes.size()));
        }
}

TEST_F(QDFileStreamTest, WrongFilterGivesOtherValues)
{
    auto s = reader({0x1B});
    EXPECT_EQ(s->readByte(), 0x1B);  // written with 0x5A, read plain
    s->Seek(0, soFromBeginning);
    s->setFilter(0x5A);
    EXPECT_EQ(s->readByte(), 0x41);
}

TEST_F(QDFileStreamTest, SetFilterKeys)
{
    struct Case {
        int32_t key;
        int expected;  // -1: ERangeError, filter kept
    };
    const Case cases[] = {
        {0, 0},         {0x5A, 0x5A},   {255, 255}, {256, 0},   {300, 44},
        {std::numeric_limits<int32_t>::max(), 255}, {-256, 0}, {-512, 0},
        {std::numeric_limits<int32_t>::min(), 0},   {-1, -1},  {-255, -1}, {-257, -1},
    };
    auto s = writer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        s->setFilter(0x33);
        if (c.expected < 0) {
            EXPECT_THROW_MSG(s->setFilter(c.key), ERangeError, "範囲チェックエラー");
            EXPECT_EQ(s->getFilter(), 0x33);
        } else {
            s->setFilter(c.key);
            EXPECT_EQ(s->getFilter(), c.expected);
        }
    }
    s->resetFilter();
    EXPECT_EQ(s->getFilter(), 0);
}

TEST_F(QDFileStreamTest, ItemFraming)
{
    {
        auto s = writer();
        s->beginItem(129, 0);
        s->writeByte(3);
        s->endItem(129, 0);
        EXPECT_EQ(s->getWritedByte(), 4);
        EXPECT_EQ(s->Position(), 4);
        s->beginItem(130, 7);  // an empty payload
        s->endItem(130, 7);
        s->beginItem(131, 1);
        s->writeString(std::string(255, 'p'));  // the largest payload
        s->endItem(131, 1);
        s->writeByte(0x99);  // writing goes on after the payload
        EXPECT_EQ(s->getWritedByte(), 4 + 3 + 3 + 255 + 1);
    }
    Bytes expected = {0x81, 0x00, 0x01, 0x03, 0x82, 0x07, 0x00, 0x83, 0x01, 0xFF};
    expected = concat(expected, repeat(255, 'p'));
    expected.push_back(0x99);
    EXPECT_EQ(fileBytes(), expected);
}

TEST_F(QDFileStreamTest, ItemFramingIsFiltered)
{
    {
        auto s = writer();
        s->setFilter(0x0F);
        s->beginItem(129, 0);
        s->writeByte(3);
        s->writeString("A");
        s->endItem(129, 0);
    }
    EXPECT_EQ(fileBytes(), (Bytes{0x8E, 0x0F, 0x0D, 0x0C, 0x41}));
    auto s = reader(fileBytes());
    s->setFilter(0x0F);
    EXPECT_EQ(s->readByte(), 129);
    EXPECT_EQ(s->readByte(), 0);
    EXPECT_EQ(s->readByte(), 2);
}

TEST_F(QDFileStreamTest, ItemPayloadAbove255FailsAndPatchesNothing)
{
    {
        auto s = writer();
        s->beginItem(129, 0);
        s->writeString(std::string(255, 'p'));
        s->writeByte(1);
        EXPECT_THROW_MSG(s->endItem(129, 0), ERangeError, "範囲チェックエラー");
        EXPECT_EQ(s->Position(), 3 + 256);
        EXPECT_EQ(s->getWritedByte(), 3 + 256);
    }
    const Bytes bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 3u + 256u);
    EXPECT_EQ(bytes[2], 0x00);  // the placeholder is left as it was
}

TEST_F(QDFileStreamTest, EndItemAfterInitHasNoPayloadToMeasure)
{
    auto s = writer();
    s->beginItem(129, 0);
    s->init();  // counters restart, itemStart does not
    EXPECT_THROW(s->endItem(129, 0), ERangeError);
}

TEST_F(QDFileStreamTest, WriteBackLenLongPatchesAFourByteLength)
{
    const Bytes payload = repeat(300, 0xAB);
    {
        auto s = writer();
        s->setFilter(0x01);
        s->writeByte(0xFF);
        s->writeByte(0x00);
        s->writeLongInt(0);  // placeholder
        s->writeString(std::string(payload.begin(), payload.begin() + 255));
        s->writeString(std::string(payload.begin() + 255, payload.end()));
        s->writeBackLenLong(300);
        EXPECT_EQ(s->getWritedByte(), 2 + 4 + 300);
        EXPECT_EQ(s->Position(), 2 + 4 + 300);
    }
    const Bytes expected = concat({0xFE, 0x01, 0x01, 0x01, 0x00, 0x2D}, payload);  // 00 00 01 2C XOR 01
    EXPECT_EQ(fileBytes(), expected);
}

TEST_F(QDFileStreamTest, WriteBackReachingBeforeTheStartIsRefused)
{
    {
        auto s = writer();
        s->writeLongInt(0x01020304);
        EXPECT_THROW(s->writeBackLen(4), ERangeError);      // 5 bytes back from 4
        EXPECT_THROW(s->writeBackLenLong(1), ERangeError);  // 5 bytes back from 4
        EXPECT_THROW(s->writeBackLenLong(-1), ERangeError);
        EXPECT_EQ(s->Position(), 4);
        EXPECT_EQ(s->getWritedByte(), 4);
        s->writeBackLen(3);  // exactly to the start
        EXPECT_EQ(s->Position(), 4);
        EXPECT_EQ(s->getWritedByte(), 4);
    }
    EXPECT_EQ(fileBytes(), (Bytes{0x03, 0x02, 0x03, 0x04}));
}

TEST_F(QDFileStreamTest, StringLimits)
{
    MessageRecorder messages;
    {
        auto s = writer();
        EXPECT_THROW_MSG(s->writeString(std::string(256, 'x')), Exception, "theString is too long.");
        EXPECT_THROW_MSG(s->writeDeltaString(std::string(255, 'x')), Exception, "writeDeltaString : too long string");
        EXPECT_EQ(s->getWritedByte(), 0);
        EXPECT_EQ(s->Position(), 0);
    }
    EXPECT_TRUE(fileBytes().empty());  // not even the length byte

    auto s = reader(repeat(300, 'r'));
    s->readPass(2);
    EXPECT_EQ(s->readString(256), "");
    EXPECT_EQ(s->Position(), 2);
    EXPECT_EQ(s->getReadedByte(), 2);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0], "TAbsLoadStream: 255 文字以上の ReadString には対応していません");
    EXPECT_EQ(s->readString(-1), "");  // a negative length reads nothing
    EXPECT_EQ(s->Position(), 2);
    EXPECT_EQ(s->getReadedByte(), 2);
    EXPECT_EQ(s->readString(255), std::string(255, 'r'));
    EXPECT_EQ(messages.messages().size(), 1u);
}

TEST_F(QDFileStreamTest, NextBytePeeksAndReadPassSkips)
{
    auto s = reader({0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B});
    s->setFilter(0x01);
    EXPECT_EQ(s->nextByte(), 0x11);
    EXPECT_EQ(s->nextByte(), 0x11);
    EXPECT_EQ(s->Position(), 0);
    EXPECT_EQ(s->getReadedByte(), 0);
    s->readPass(10);
    EXPECT_EQ(s->Position(), 10);
    EXPECT_EQ(s->getReadedByte(), 10);
    EXPECT_EQ(s->readByte(), 0x1B);
    s->readPass(-3);
    EXPECT_EQ(s->Position(), 8);
    EXPECT_EQ(s->getReadedByte(), 8);
    s->Seek(11, soFromBeginning);  // the base's seek is not counted
    EXPECT_EQ(s->getReadedByte(), 8);
    EXPECT_EQ(s->nextByte(), 0x1A);
}

TEST_F(QDFileStreamTest, InitRestartsCountersFilterAndPosition)
{
    auto s = writer();
    s->setFilter(0x44);
    s->writeLongInt(5);
    s->Seek(0, soFromBeginning);
    s->readByte();
    s->init();
    EXPECT_EQ(s->getWritedByte(), 0);
    EXPECT_EQ(s->getReadedByte(), 0);
    EXPECT_EQ(s->getFilter(), 0);
    EXPECT_EQ(s->Position(), 0);
    s->close();  // leaves the file open
    EXPECT_EQ(s->readLongInt(), 0x44444441);
}

TEST_F(QDFileStreamTest, OpeningAndCreating)
{
    putFile({1, 2, 3});
    {
        TQDFileStream s(path(), fmCreate);  // empties an existing file
        EXPECT_EQ(s.Size(), 0);
        EXPECT_EQ(s.getWritedByte(), 0);
        EXPECT_EQ(s.getReadedByte(), 0);
        EXPECT_EQ(s.getFilter(), 0);
    }
    const std::string missing = path() + ".missing";
    EXPECT_THROW_MSG(TQDFileStream(missing, fmOpenRead), EFOpenError, "ファイル " + missing + " は開けません");
    const std::string noDir = path() + ".d/x.sdt";
    EXPECT_THROW_MSG(TQDFileStream(noDir, fmCreate), EFCreateError, "ファイル " + noDir + " を作成できません");
}

// Every read that runs out of bytes raises EReadError, the one failure the
// loaders turn into a false result, and nothing else.
TEST_F(QDFileStreamTest, ShortReadsRaiseOnlyReadError)
{
    struct Case {
        const char* what;
        Bytes bytes;
        Action read;
    };
    const Case cases[] = {
        {"readByte", {}, [](auto& s) { s.readByte(); }},
        {"readShortint", {}, [](auto& s) { s.readShortint(); }},
        {"readSmallInt", {0x01}, [](auto& s) { s.readSmallInt(); }},
        {"readLongInt", {0x01, 0x02, 0x03}, [](auto& s) { s.readLongInt(); }},
        {"readInteger(6)", {1, 2, 3, 4, 5}, [](auto& s) { s.readInteger(6); }},
        {"readDelta unterminated", {0x80, 0x81}, [](auto& s) { s.readDelta(); }},
        {"readString", {0x41, 0x42, 0x43}, [](auto& s) { s.readString(4); }},
        {"readDeltaString", {0x05, 0x41, 0x42}, [](auto& s) { s.readDeltaString(); }},
        {"readDeltaString without length", {}, [](auto& s) { s.readDeltaString(); }},
        {"readDouble", {0, 0, 0, 0, 0, 0, 0xF0}, [](auto& s) { s.readDouble(); }},
        {"readDateTime", {0}, [](auto& s) { s.readDateTime(); }},
        {"readBoolean", {}, [](auto& s) { s.readBoolean(); }},
        {"nextByte", {}, [](auto& s) { s.nextByte(); }},
    };
    for (const bool inMemory : {false, true})
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (inMemory ? " in memory" : " in a file"));
        auto s = source(c.bytes, inMemory);
        bool readError = false;
        try {
            c.read(*s);
        } catch (const EReadError& e) {
            readError = true;
            EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "other error: " << e.what();
        }
        EXPECT_TRUE(readError);
    }
}

TEST_F(QDFileStreamTest, WritesToAReadOnlyFileRaiseWriteError)
{
    const Action writes[] = {
        [](auto& s) { s.writeByte(1); },      [](auto& s) { s.writeLongInt(1); },
        [](auto& s) { s.writeDelta(1000); },  [](auto& s) { s.writeString("abc"); },
        [](auto& s) { s.writeDeltaString("a"); }, [](auto& s) { s.writeDouble(2.0); },
        [](auto& s) { s.writeBoolean(true); }, [](auto& s) { s.beginItem(1, 2); },
    };
    auto s = reader({});
    for (const auto& write : writes) {
        EXPECT_THROW_MSG(write(*s), EWriteError, "ストリームへの書き込みエラー");
        EXPECT_EQ(s->getWritedByte(), 0);
    }
}

TEST_F(QDFileStreamTest, CountersRaiseOverflowInsteadOfWrapping)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    {
        auto s = writer();
        s->setCounters(kMax - 3, 0);
        EXPECT_THROW_MSG(s->writeLongInt(1), EIntOverflow, "整数オーバーフロー");
        EXPECT_THROW(s->writeDouble(1.0), EIntOverflow);
        EXPECT_THROW(s->writeDelta(1000), EIntOverflow);
        EXPECT_THROW(s->writeDeltaString("abc"), EIntOverflow);
        EXPECT_THROW(s->writeInteger(0, 4), EIntOverflow);
        EXPECT_EQ(s->Position(), 0);  // a refused operation wrote nothing
        s->beginItem(1, 1);           // exactly fits
        EXPECT_EQ(s->getWritedByte(), kMax);
        EXPECT_THROW(s->writeByte(0), EIntOverflow);
        EXPECT_THROW(s->writeBoolean(true), EIntOverflow);
        EXPECT_THROW(s->writeString("a"), EIntOverflow);
        s->writeString("");  // nothing to count
        EXPECT_EQ(s->getWritedByte(), kMax);
    }
    {
        auto s = reader(repeat(16, 0x80));
        s->setCounters(0, kMax - 1);
        EXPECT_THROW(s->readLongInt(), EIntOverflow);
        EXPECT_THROW(s->readDouble(), EIntOverflow);
        EXPECT_THROW(s->readString(2), EIntOverflow);
        EXPECT_THROW(s->readPass(2), EIntOverflow);
        EXPECT_EQ(s->Position(), 0);
        s->readByte();
        EXPECT_THROW(s->readDelta(), EIntOverflow);  // runs out on its first group
        EXPECT_EQ(s->nextByte(), 0x80);              // peeking counts nothing
        EXPECT_THROW(s->readBoolean(), EIntOverflow);
        s->setCounters(0, kMin + 1);
        s->readPass(-1);
        EXPECT_EQ(s->getReadedByte(), kMin);
        EXPECT_THROW(s->readPass(-1), EIntOverflow);
    }
}
