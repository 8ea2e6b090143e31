// MidiFile.h: checks a standard MIDI file before a synthesizer is asked to play it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// What a music backend needs to know of a standard MIDI file.
struct MidiFileSummary {
    int format = 0;            // 0: one track; 1: tracks played together
    int trackCount = 0;        // MTrk chunks
    int division = 0;          // ticks per quarter note
    int64_t lengthTicks = 0;   // tick of the last track's end: where the piece ends
    int noteCount = 0;         // note-on events with a velocity above 0
};

// Limits of what we play; a synthesizer's own parser is no better.
constexpr int kMaxMidiTracks = 128;
constexpr int64_t kMaxMidiTicks = INT32_MAX;

// Reads the whole file structure (header, every track's events) without
// playing anything. Raises Exception naming the first fault: not a MIDI file,
// a truncated or malformed chunk or event, SMPTE timing, format 2, too many
// tracks, or a piece of length 0 (it would end as soon as it starts).
MidiFileSummary checkMidiFile(std::span<const uint8_t> bytes);
