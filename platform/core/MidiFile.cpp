// MidiFile.cpp: a bounds-checked walk over a standard MIDI file's chunks and events.
#include "platform/MidiFile.h"

#include <string>

#include "platform/Exceptions.h"

namespace {

// Reads big-endian numbers and variable-length quantities from a byte range,
// raising Exception with the given context instead of reading past the end.
class ByteReader {
public:
    ByteReader(std::span<const uint8_t> bytes, const char* what) : bytes_(bytes), what_(what) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }

    uint8_t u8()
    {
        need(1);
        return bytes_[pos_++];
    }
    uint32_t u16()
    {
        need(2);
        const uint32_t v = (uint32_t{bytes_[pos_]} << 8) | bytes_[pos_ + 1];
        pos_ += 2;
        return v;
    }
    uint32_t u32()
    {
        need(4);
        const uint32_t v = (uint32_t{bytes_[pos_]} << 24) | (uint32_t{bytes_[pos_ + 1]} << 16) |
                           (uint32_t{bytes_[pos_ + 2]} << 8) | bytes_[pos_ + 3];
        pos_ += 4;
        return v;
    }
    // At most four bytes, seven bits each: the largest is 0x0FFFFFFF.
    uint32_t varLen()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = u8();
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0) return value;
        }
        throw Exception(std::string("a variable-length number in ") + what_ + " is longer than four bytes");
    }
    void skip(size_t count)
    {
        need(count);
        pos_ += count;
    }
    std::span<const uint8_t> take(size_t count)
    {
        need(count);
        auto part = bytes_.subspan(pos_, count);
        pos_ += count;
        return part;
    }

private:
    void need(size_t count) const
    {
        if (count > remaining()) throw Exception(std::string(what_) + " ends early");
    }

    std::span<const uint8_t> bytes_;
    const char* what_;
    size_t pos_ = 0;
};

bool isChunkId(std::span<const uint8_t> id, const char (&name)[5])
{
    return id[0] == uint8_t(name[0]) && id[1] == uint8_t(name[1]) && id[2] == uint8_t(name[2]) &&
           id[3] == uint8_t(name[3]);
}

struct TrackResult {
    int64_t lengthTicks = 0;
    int noteCount = 0;
};

// Walks one track's events up to its end-of-track event or the chunk's end.
TrackResult readTrack(std::span<const uint8_t> chunk, int trackNumber)
{
    const std::string what = "track " + std::to_string(trackNumber);
    ByteReader in(chunk, what.c_str());
    TrackResult result;
    int runningStatus = 0;  // 0: none; meta and system exclusive events cancel it
    while (!in.atEnd()) {
        result.lengthTicks += in.varLen();
        if (result.lengthTicks > kMaxMidiTicks) throw Exception(what + " is too long");
        int status = in.u8();
        bool firstDataByteRead = false;
        if (status < 0x80) {
            if (runningStatus == 0) throw Exception(what + " has a data byte where an event should start");
            firstDataByteRead = true;  // the byte just read is the event's first data byte
            status = runningStatus;
        }
        if (status == 0xFF) {
            const uint8_t type = in.u8();
            in.skip(in.varLen());
            runningStatus = 0;
            if (type == 0x2F) return result;  // end of track; bytes after it are ignored
        } else if (status == 0xF0 || status == 0xF7) {
            in.skip(in.varLen());
            runningStatus = 0;
        } else if (status >= 0xF0) {
            throw Exception(what + " has a system event that does not belong in a file");
        } else {
            const int kind = status & 0xF0;
            const int dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            if (!firstDataByteRead) in.u8();
            const uint8_t secondData = dataBytes == 2 ? in.u8() : 0;
            if (kind == 0x90 && secondData > 0) ++result.noteCount;  // velocity 0 is a note-off
            runningStatus = status;
        }
    }
    return result;  // no end-of-track event: the chunk's end ends the track
}

}  // namespace

MidiFileSummary checkMidiFile(std::span<const uint8_t> bytes)
{
    ByteReader in(bytes, "the header");
    if (bytes.size() < 4 || !isChunkId(bytes.first(4), "MThd")) throw Exception("no MThd header: not a MIDI file");
    in.skip(4);
    if (in.u32() != 6) throw Exception("the MThd header has a length other than 6");
    MidiFileSummary summary;
    summary.format = int(in.u16());
    summary.trackCount = int(in.u16());
    const uint32_t division = in.u16();
    if (summary.format == 2) throw Exception("format 2 (independent sequences) is not supported");
    if (summary.format > 2) throw Exception("unknown format " + std::to_string(summary.format));
    if (summary.trackCount == 0) throw Exception("the file has no tracks");
    if (summary.format == 0 && summary.trackCount != 1) throw Exception("a format 0 file must have exactly one track");
    if (summary.trackCount > kMaxMidiTracks)
        throw Exception("more than " + std::to_string(kMaxMidiTracks) + " tracks");
    if (division & 0x8000) throw Exception("SMPTE time division is not supported");
    if (division == 0) throw Exception("the time division is 0");
    summary.division = int(division);

    ByteReader chunks(bytes.subspan(in.position()), "the file");
    for (int track = 1; track <= summary.trackCount;) {
        const auto id = chunks.take(4);
        const uint32_t length = chunks.u32();
        for (uint8_t c : id)
            if (c < 0x20 || c > 0x7E) throw Exception("a chunk with a non-text name: damaged file");
        const auto body = chunks.take(length);
        if (!isChunkId(id, "MTrk")) continue;  // unknown chunks are skipped, as the format asks
        const TrackResult result = readTrack(body, track);
        if (result.lengthTicks > summary.lengthTicks) summary.lengthTicks = result.lengthTicks;
        summary.noteCount += result.noteCount;
        ++track;
    }
    if (summary.lengthTicks == 0) throw Exception("the piece has no length");
    return summary;
}
