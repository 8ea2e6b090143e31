// FluidSynthPlayer.h: MIDI music through libfluidsynth with a General MIDI sound font.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/MPlayer.h"

// Plays standard MIDI files as a sequencer device. Every rendering of the
// synthesizer (the sound device's thread, or renderOffline) and every command
// from the UI thread take one lock, so the player is only ever changed while
// nothing renders. The end of the piece is seen in the player's tick callback,
// on the rendering thread, when the tick reaches the file's last tick.
class FluidSynthPlayer : public MediaPlayerBackend {
public:
    // Debian's General MIDI sound font, as an SF2 file or, when only that is
    // installed, the compressed SF3 one.
    static constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
    static constexpr const char* kDefaultSoundFontSf3 = "/usr/share/sounds/sf3/default-GM.sf3";

    struct Options {
        std::string soundFont;  // empty: Debian's default

        // fluidsynth audio drivers tried in turn. Empty: no sound device at
        // all; the piece advances only through renderOffline.
        std::vector<std::string> audioDrivers = {"pulseaudio", "alsa", "oss"};
        double sampleRate = 44100.0;
    };

    FluidSynthPlayer();
    explicit FluidSynthPlayer(Options options);
    ~FluidSynthPlayer() override;

    // Raises Exception when the file cannot be read or is no playable MIDI
    // file, when the sound font is missing or unusable, when the synthesizer
    // cannot start, and when no audio driver finds a sound device.
    void open(const std::string& fileName, TMPDeviceTypes deviceType) override;
    void close() override;
    bool canPlay() const override;
    void play(std::function<void()> onEnd) override;
    void rewind() override;
    bool atEnd() const override;
    // The synthesizer's gain, scaled from its full level; at once when open.
    void setVolume(int percent) override;

    // Renders the next frames of the open piece as the sound device would,
    // into two channels; the piece advances and its end is reported on this
    // thread. For a player opened without audio drivers (tests, offline use).
    void renderOffline(float* left, float* right, int frames);
    double sampleRate() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
