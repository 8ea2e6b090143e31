// MidiFileTest.cpp: what the MIDI file check accepts, what it counts, and why it refuses.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/MidiFile.h"

#include "MidiBuilder.h"
#include "support/TestSupport.h"

namespace {

TrackBuilder oneNote(uint32_t length)
{
    return TrackBuilder().program(0, 0, 0).noteOn(0, 0, 60).noteOff(length / 2, 0, 60).end(length - length / 2);
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> withTrackBody(const std::vector<uint8_t>& body)
{
    return concat(midiHeader(0, 1, 480), chunk("MTrk", body));
}

}  // namespace

TEST(MidiFileTest, summarisesAFormat0File)
{
    const auto bytes = midiFile(0, 480, {oneNote(1920)});
    const MidiFileSummary s = checkMidiFile(bytes);
    EXPECT_EQ(s.format, 0);
    EXPECT_EQ(s.trackCount, 1);
    EXPECT_EQ(s.division, 480);
    EXPECT_EQ(s.lengthTicks, 1920);
    EXPECT_EQ(s.noteCount, 1);
}

TEST(MidiFileTest, theLongestTrackGivesTheLengthAndUnknownChunksAreSkipped)
{
    auto bytes = midiHeader(1, 2, 96);
    bytes = concat(bytes, chunk("MTrk", TrackBuilder().tempo(0, 400000).end(10).bytes()));
    bytes = concat(bytes, chunk("XFIH", {1, 2, 3}));  // a vendor chunk between the tracks
    bytes = concat(bytes, chunk("MTrk", oneNote(700).bytes()));
    const MidiFileSummary s = checkMidiFile(bytes);
    EXPECT_EQ(s.format, 1);
    EXPECT_EQ(s.trackCount, 2);
    EXPECT_EQ(s.lengthTicks, 700);
    EXPECT_EQ(s.noteCount, 1);
}

TEST(MidiFileTest, runningStatusAndNoteOnWithVelocityZero)
{
    // 90 3C 64, then running status: 3E 64 (a second note), 3C 00 and 3E 00 (note-offs).
    TrackBuilder t;
    t.raw(0, {0x90, 0x3C, 0x64}).raw(0, {0x3E, 0x64}).raw(100, {0x3C, 0x00}).raw(0, {0x3E, 0x00}).end(20);
    const MidiFileSummary s = checkMidiFile(midiFile(0, 480, {t}));
    EXPECT_EQ(s.noteCount, 2);
    EXPECT_EQ(s.lengthTicks, 120);
}

TEST(MidiFileTest, aTrackWithoutEndEventEndsWithItsChunkAndBytesAfterTheEndAreIgnored)
{
    EXPECT_EQ(checkMidiFile(withTrackBody(TrackBuilder().noteOn(0, 0, 60).noteOff(300, 0, 60).bytes())).lengthTicks,
              300);
    auto body = TrackBuilder().noteOn(0, 0, 60).noteOff(50, 0, 60).end(0).bytes();
    body.insert(body.end(), {0xF2, 0xFF, 0xFF});  // junk after the end of the track
    EXPECT_EQ(checkMidiFile(withTrackBody(body)).lengthTicks, 50);
}

TEST(MidiFileTest, refusesWhatNoSynthesizerShouldBeGiven)
{
    const std::vector<uint8_t> riff = {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'};
    auto badHeaderLength = midiFile(0, 480, {oneNote(10)});
    badHeaderLength[7] = 7;
    auto twoTracksDeclaredOneGiven = midiFile(1, 480, {oneNote(10)});
    twoTracksDeclaredOneGiven[11] = 2;
    auto truncatedChunk = midiFile(0, 480, {oneNote(10)});
    truncatedChunk.pop_back();
    auto binaryChunkName = midiFile(0, 480, {oneNote(10)});
    binaryChunkName[14] = 0x01;
    std::vector<uint8_t> tooManyTracks = midiHeader(1, kMaxMidiTracks + 1, 480);
    TrackBuilder longRests;  // nine of the longest deltas pass 2^31 ticks
    for (int i = 0; i < 9; ++i) longRests.raw(0x0FFFFFFF, {0xFF, 0x01, 0x00});
    const std::vector<uint8_t> nineLongRests = longRests.end(0).bytes();

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {"empty", {}, "no MThd header: not a MIDI file"},
        {"a wave file", riff, "no MThd header: not a MIDI file"},
        {"header cut short", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "the header ends early"},
        {"header length 7", badHeaderLength, "the MThd header has a length other than 6"},
        {"format 2", midiFile(2, 480, {oneNote(10)}), "format 2 (independent sequences) is not supported"},
        {"format 3", midiFile(3, 480, {oneNote(10)}), "unknown format 3"},
        {"no tracks", midiHeader(1, 0, 480), "the file has no tracks"},
        {"format 0, two tracks", midiFile(0, 480, {oneNote(10), oneNote(10)}),
         "a format 0 file must have exactly one track"},
        {"too many tracks", tooManyTracks, "more than 128 tracks"},
        {"SMPTE timing", midiFile(0, 0xE728, {oneNote(10)}), "SMPTE time division is not supported"},
        {"division 0", midiFile(0, 0, {oneNote(10)}), "the time division is 0"},
        {"a declared track missing", twoTracksDeclaredOneGiven, "the file ends early"},
        {"chunk longer than the file", truncatedChunk, "the file ends early"},
        {"chunk name not text", binaryChunkName, "a chunk with a non-text name: damaged file"},
        {"event cut short", withTrackBody({0x00, 0x90, 0x3C}), "track 1 ends early"},
        {"five-byte delta", withTrackBody({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}),
         "a variable-length number in track 1 is longer than four bytes"},
        {"data byte first", withTrackBody({0x00, 0x3C, 0x40}), "track 1 has a data byte where an event should start"},
        {"data byte after a meta event",
         withTrackBody({0x00, 0xFF, 0x01, 0x01, 'a', 0x00, 0x3C, 0x40}),
         "track 1 has a data byte where an event should start"},
        {"system common event", withTrackBody({0x00, 0xF2, 0x00, 0x00}),
         "track 1 has a system event that does not belong in a file"},
        {"meta text longer than the track", withTrackBody({0x00, 0xFF, 0x01, 0x10, 'a'}), "track 1 ends early"},
        {"sysex longer than the track", withTrackBody({0x00, 0xF0, 0x05, 0x7E}), "track 1 ends early"},
        {"no length", midiFile(0, 480, {TrackBuilder().noteOn(0, 0, 60).noteOff(0, 0, 60).end(0)}),
         "the piece has no length"},
        {"ticks beyond 31 bits", withTrackBody(nineLongRests), "track 1 is too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW_MSG(checkMidiFile(c.bytes), Exception, c.message);
    }
}
