// The show window's music through the real synthesizer, rendered offline:
// the tune sounds, and each time it ends the window plays it again from the start.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/MidiBuilder.h"
#include "platform/fluidsynth/FluidSynthPlayer.h"
#include "shell/ShowFixtures.h"

using namespace showfix;

namespace {

constexpr int kBlock = 64;  // frames a render call, as a sound device asks for them
constexpr double kRate = 44100.0;

int64_t framesOf(double seconds)
{
    return static_cast<int64_t>(std::llround(seconds * kRate));
}

float peak(const std::vector<float>& samples, int64_t from, int64_t to)
{
    float p = 0;
    for (int64_t i = std::max<int64_t>(from, 0); i < std::min<int64_t>(to, static_cast<int64_t>(samples.size())); ++i)
        p = std::max(p, std::fabs(samples[static_cast<size_t>(i)]));
    return p;
}

// Every media player made while it lives is an offline synthesizer.
class OfflineMusic {
public:
    OfflineMusic()
        : previous_(setMediaPlayerBackendFactory([this] {
              FluidSynthPlayer::Options options;
              options.audioDrivers = {};
              auto player = std::make_unique<FluidSynthPlayer>(options);
              player_ = player.get();
              return player;
          }))
    {
    }
    ~OfflineMusic() { setMediaPlayerBackendFactory(std::move(previous_)); }
    OfflineMusic(const OfflineMusic&) = delete;
    OfflineMusic& operator=(const OfflineMusic&) = delete;
    FluidSynthPlayer* player() const { return player_; }

private:
    MediaPlayerBackendFactory previous_;
    FluidSynthPlayer* player_ = nullptr;
};

class MainFormSoundTest : public ShowTest {};

}  // namespace

TEST_F(MainFormSoundTest, TheTuneSoundsAndStartsAgainWheneverItEnds)
{
    // Two short notes, then a rest: the piece ends at 2.0 s.
    const auto tune = temp_.path() / "tune.mid";
    writeBytes(tune, midiFile(0, 480,
                              {TrackBuilder()
                                   .tempo(0, 500000)
                                   .program(0, 0, 0)
                                   .noteOn(0, 0, 72)
                                   .noteOff(240, 0, 72)
                                   .noteOn(240, 0, 76)
                                   .noteOff(240, 0, 76)
                                   .end(1200)}));
    OfflineMusic music;
    ShowRun run(showOf([&](TCharactorList& list) {
        list.getSetting().setBgmFile(tune.string());
        list.getSetting().setPlayBgm(true);
    }));
    ASSERT_NE(music.player(), nullptr);
    ASSERT_TRUE(run.form().isRunning());

    // The sound device's thread, played by hand: after each block the window's
    // message loop runs what was posted to it (the end reports among them).
    std::vector<float> left;
    float l[kBlock], r[kBlock];
    for (int64_t n = framesOf(7.0) / kBlock; n > 0; --n) {
        music.player()->renderOffline(l, r, kBlock);
        left.insert(left.end(), l, l + kBlock);
        run.app().ProcessMessages();
    }
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const double start = 2.0 * round;
        EXPECT_GT(peak(left, framesOf(start), framesOf(start + 0.25)), 0.02f) << "the first note sounds";
        if (round < 3) {
            EXPECT_LT(peak(left, framesOf(start + 1.6), framesOf(start + 1.95)), 1e-3f) << "then the rest";
        }
    }
}
