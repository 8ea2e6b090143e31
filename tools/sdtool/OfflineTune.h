// OfflineTune.h: a show's tune rendered ahead of time, as the Linux player
// sounds it, for the audio track of a video.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class FluidSynthPlayer;

// The tune through the player's synthesizer and sound font, with no sound
// device: stereo at kSampleRate, played again from its beginning as soon as
// it ends, as the show window plays its music.
class OfflineTune {
public:
    static constexpr int kSampleRate = 44100;

    // Opens the MIDI file; Exception (the player's text) when it cannot be
    // played. The tune starts at its beginning.
    explicit OfflineTune(const std::string& midiFile);
    ~OfflineTune();
    OfflineTune(const OfflineTune&) = delete;
    OfflineTune& operator=(const OfflineTune&) = delete;

    // Renders and drops what the tune plays in its first steps timer steps
    // (100 ms each); a tune that has looped before then is taken up at the
    // same point of a later round, so this costs at most two rounds. Stops
    // early once cancel is set.
    void skipSteps(int64_t steps, const std::atomic<bool>& cancel);
    // The next frames of the tune, one buffer a channel.
    void render(float* left, float* right, int frames);

private:
    void renderBlock(float* left, float* right, int frames);

    std::unique_ptr<FluidSynthPlayer> player_;
    bool ended_ = false;      // the round played out; the next block starts another
    bool silent_ = false;     // the player stopped for good (a file with no notes to play)
    int64_t position_ = 0;    // samples rendered since the start
    int64_t roundLength_ = 0; // samples of the first whole round, once known
};
