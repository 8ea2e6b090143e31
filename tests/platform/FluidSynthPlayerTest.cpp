// FluidSynthPlayerTest.cpp: the libfluidsynth music rendered offline: sound, the end report, and the loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Exceptions.h"
#include "platform/MPlayer.h"
#include "platform/fluidsynth/FluidSynthPlayer.h"

#include "MidiBuilder.h"
#include "support/TestSupport.h"

namespace {

constexpr int kBlock = 64;  // frames per render call, as a sound device asks for them
constexpr double kRate = 44100.0;

int64_t framesOf(double seconds)
{
    return int64_t(std::llround(seconds * kRate));
}

// Two short notes, then a rest; the piece ends at tick 1920 = 2.0 s at 120 beats a minute.
std::vector<uint8_t> twoSecondTune()
{
    return midiFile(0, 480,
                    {TrackBuilder()
                         .tempo(0, 500000)
                         .program(0, 0, 0)
                         .noteOn(0, 0, 72)
                         .noteOff(240, 0, 72)
                         .noteOn(240, 0, 76)
                         .noteOff(240, 0, 76)
                         .end(1200)});
}

FluidSynthPlayer::Options offline()
{
    FluidSynthPlayer::Options options;
    options.audioDrivers = {};
    return options;
}

float peak(const std::vector<float>& samples, int64_t from, int64_t to)
{
    float p = 0;
    for (int64_t i = std::max<int64_t>(from, 0); i < std::min<int64_t>(to, int64_t(samples.size())); ++i)
        p = std::max(p, std::fabs(samples[size_t(i)]));
    return p;
}

// The media player over an offline fluidsynth backend, with a stand-in UI
// thread: the posted reports run after each rendered block, as the window's
// message loop would run them between the sound device's buffers.
class FluidSynthPlayerTest : public ::testing::Test {
protected:
    void openTune(const std::vector<uint8_t>& bytes)
    {
        const auto path = dir.path() / "bgm00.mid";
        writeBytes(path, bytes);
        auto backendOwned = std::make_unique<FluidSynthPlayer>(offline());
        backend = backendOwned.get();
        player = std::make_unique<TMediaPlayer>(
            [this](std::function<void()> f) { uiQueue.push_back(std::move(f)); }, std::move(backendOwned));
        player->OnNotify = [this] {
            reportFrames.push_back(rendered());
            if (loop) {  // what the show window's completion handler does
                player->SetNotify(true);
                player->Play();
            }
        };
        player->FileName = path.string();
        player->Open();
        ASSERT_TRUE(player->CanPlay());
    }

    int64_t rendered() const { return int64_t(left.size()); }

    void render(double seconds)
    {
        float l[kBlock], r[kBlock];
        for (int64_t n = framesOf(seconds) / kBlock; n > 0; --n) {
            backend->renderOffline(l, r, kBlock);
            left.insert(left.end(), l, l + kBlock);
            while (!uiQueue.empty()) {
                auto f = std::move(uiQueue.front());
                uiQueue.pop_front();
                f();
            }
        }
    }

    TempDir dir;
    std::deque<std::function<void()>> uiQueue;
    FluidSynthPlayer* backend = nullptr;
    std::unique_ptr<TMediaPlayer> player;
    std::vector<float> left;
    std::vector<int64_t> reportFrames;  // frames rendered when each report ran
    bool loop = false;
};

// The end is seen in the block where the player's tick reaches the last one.
void expectNear(int64_t actual, int64_t expected)
{
    EXPECT_GE(actual, expected - kBlock);
    EXPECT_LE(actual, expected + 2 * kBlock);
}

}  // namespace

TEST_F(FluidSynthPlayerTest, playsTheTuneAndReportsItsEndOnce)
{
    openTune(twoSecondTune());
    player->Play();
    render(3.5);
    EXPECT_GT(peak(left, 0, framesOf(0.25)), 0.02f) << "the first note sounds";
    EXPECT_GT(peak(left, framesOf(0.5), framesOf(0.75)), 0.02f) << "the second note sounds";
    EXPECT_LT(peak(left, framesOf(1.6), framesOf(2.0)), 1e-3f) << "the rest is silent";
    ASSERT_EQ(reportFrames.size(), 1u);
    expectNear(reportFrames[0], framesOf(2.0));
    EXPECT_EQ(player->NotifyValue(), nvSuccessful);
    EXPECT_TRUE(backend->atEnd());
    EXPECT_LT(peak(left, framesOf(2.1), rendered()), 1e-3f) << "nothing plays after the end";
}

TEST_F(FluidSynthPlayerTest, playingAgainFromTheReportStartsTheTuneFromTheBeginning)
{
    loop = true;
    openTune(twoSecondTune());
    player->Play();
    render(7.0);
    ASSERT_EQ(reportFrames.size(), 3u);
    expectNear(reportFrames[0], framesOf(2.0));
    for (size_t i = 1; i < reportFrames.size(); ++i) {
        SCOPED_TRACE(i);
        // Each round starts with the block after the report and lasts the piece's length.
        expectNear(reportFrames[i] - reportFrames[i - 1], framesOf(2.0));
        const int64_t start = reportFrames[i - 1];
        double difference = 0, energy = 0;
        for (int64_t k = 0; k < framesOf(0.8); ++k) {
            const double first = left[size_t(k)], again = left[size_t(start + k)];
            difference += (first - again) * (first - again);
            energy += first * first;
        }
        EXPECT_LT(std::sqrt(difference / energy), 0.02) << "the round sounds like the first";
    }
    EXPECT_GT(peak(left, reportFrames[2], reportFrames[2] + framesOf(0.25)), 0.02f) << "the fourth round sounds";
}

TEST_F(FluidSynthPlayerTest, theEndFollowsTempoChangesAndTheLongestTrack)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        double endSeconds;
    };
    const Case cases[] = {
        // 960 ticks at 0.5 s a beat, then 1920 ticks at 0.25 s a beat: 1.0 s + 1.0 s.
        {"a tempo change halfway",
         midiFile(0, 480,
                  {TrackBuilder().tempo(0, 500000).noteOn(0, 0, 60).noteOff(480, 0, 60).tempo(480, 250000).end(1920)}),
         2.0},
        // The tempo track ends first; the notes go on to tick 2880 at 0.25 s a beat.
        {"the second track is longer",
         midiFile(1, 480,
                  {TrackBuilder().tempo(0, 250000).end(10),
                   TrackBuilder().noteOn(0, 1, 64).noteOff(480, 1, 64).end(2400)}),
         1.5},
        {"no tempo given: 120 beats a minute", midiFile(0, 96, {TrackBuilder().noteOn(0, 0, 67).noteOff(96, 0, 67).end(0)}),
         0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reportFrames.clear();
        left.clear();
        openTune(c.bytes);
        player->Play();
        render(c.endSeconds + 0.5);
        ASSERT_EQ(reportFrames.size(), 1u);
        expectNear(reportFrames[0], framesOf(c.endSeconds));
        EXPECT_GT(peak(left, 0, framesOf(0.2)), 0.01f);
    }
}

TEST_F(FluidSynthPlayerTest, closeSilencesWithoutAReportAndTheTuneCanBeOpenedAgain)
{
    openTune(twoSecondTune());
    player->Play();
    render(0.5);
    player->Close();
    EXPECT_FALSE(player->CanPlay());
    EXPECT_THROW_MSG(backend->renderOffline(nullptr, nullptr, 0), Exception, "FluidSynthPlayer: nothing is open");
    EXPECT_TRUE(reportFrames.empty());

    player->Open();
    player->Play();
    const int64_t restart = rendered();
    render(2.5);
    ASSERT_EQ(reportFrames.size(), 1u);
    expectNear(reportFrames[0] - restart, framesOf(2.0));
}

TEST_F(FluidSynthPlayerTest, rewindWhilePlayingStartsOverWithoutTheOldReport)
{
    openTune(twoSecondTune());
    int ends = 0;
    backend->play([&ends] { ++ends; });
    render(1.2);
    backend->rewind();
    EXPECT_FALSE(backend->atEnd());
    backend->play([&ends] { ends += 10; });
    const int64_t restart = rendered();
    render(1.0);
    EXPECT_GT(peak(left, restart, restart + framesOf(0.25)), 0.02f) << "the first note sounds again";
    render(1.5);
    EXPECT_EQ(ends, 10);
    EXPECT_TRUE(backend->atEnd());
}

TEST_F(FluidSynthPlayerTest, openRefusalsSayWhy)
{
    const auto tune = (dir.path() / "tune.mid").string();
    writeBytes(tune, twoSecondTune());
    const auto notMidi = (dir.path() / "text.mid").string();
    std::ofstream(notMidi) << "hello";
    const auto notSoundFont = (dir.path() / "broken.sf2").string();
    std::ofstream(notSoundFont) << "RIFF but not really a sound font";
    const auto missing = (dir.path() / "missing.mid").string();

    auto withSoundFont = [](std::string path) {
        auto o = offline();
        o.soundFont = std::move(path);
        return o;
    };
    auto withDrivers = [](std::vector<std::string> drivers) {
        auto o = offline();
        o.audioDrivers = std::move(drivers);
        return o;
    };
    struct Case {
        const char* name;
        FluidSynthPlayer::Options options;
        std::string file;
        TMPDeviceTypes type;
        std::string messageStart;
    };
    const Case cases[] = {
        {"missing file", offline(), missing, dtSequencer,
         "Cannot open music \"" + missing + "\": cannot read the file: No such file or directory"},
        {"not a MIDI file", offline(), notMidi, dtSequencer,
         "Cannot open music \"" + notMidi + "\": no MThd header: not a MIDI file"},
        {"not a sequencer", offline(), tune, dtWaveAudio,
         "Cannot open music \"" + tune + "\": only MIDI files can be played"},
        {"no sound font", withSoundFont("/nonexistent/default-GM.sf2"), tune, dtSequencer,
         "Cannot open music \"" + tune + "\": no sound font at /nonexistent/default-GM.sf2"},
        {"a broken sound font", withSoundFont(notSoundFont), tune, dtSequencer,
         "Cannot open music \"" + tune + "\": cannot load the sound font " + notSoundFont},
        {"no sound device", withDrivers({"no-such-driver"}), tune, dtSequencer,
         "Cannot open music \"" + tune + "\": no sound device: no-such-driver"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FluidSynthPlayer synth(c.options);
        try {
            synth.open(c.file, c.type);
            ADD_FAILURE() << "open succeeded";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().substr(0, c.messageStart.size()), c.messageStart) << e.Message();
        }
        EXPECT_FALSE(synth.canPlay());
    }
}

// Without a sound card ALSA's library prints a line of its own for every
// step of the failed open; the refusal's message is the one that is said.
TEST_F(FluidSynthPlayerTest, aFailedAlsaOpenPrintsNothingOfItsOwn)
{
    const auto tune = (dir.path() / "tune.mid").string();
    writeBytes(tune, twoSecondTune());
    auto options = offline();
    options.audioDrivers = {"alsa"};
    FluidSynthPlayer synth(options);
    ::testing::internal::CaptureStderr();
    bool opened = true;
    try {
        synth.open(tune, dtSequencer);
    } catch (const Exception& e) {
        opened = false;
        EXPECT_NE(e.Message().find("no sound device"), std::string::npos) << e.Message();
    }
    const std::string printed = ::testing::internal::GetCapturedStderr();
    if (opened)
        GTEST_SKIP() << "this machine has a sound card: ALSA's open did not fail";
    EXPECT_EQ(printed.find("ALSA lib"), std::string::npos) << printed;
}

namespace {

// A UI thread's queue that other threads post to.
class ThreadSafeQueue {
public:
    PostToUiThread post()
    {
        return [this](std::function<void()> f) {
            {
                std::lock_guard lock(mutex_);
                queue_.push_back(std::move(f));
            }
            wake_.notify_one();
        };
    }
    // Runs what was posted, waiting a little for something to arrive.
    void runPosted()
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return !queue_.empty(); });
        while (!queue_.empty()) {
            auto f = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            f();
            lock.lock();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace

// The sound device renders on its own thread while the UI thread restarts the
// piece from each report: every report arrives, on the UI thread, and the loop goes on.
TEST(FluidSynthThreadTest, reportsFromTheRenderingThreadReachTheUiThreadAndTheLoopGoesOn)
{
    TempDir dir;
    const auto path = dir.path() / "short.mid";
    writeBytes(path, midiFile(0, 96, {TrackBuilder().noteOn(0, 0, 67).noteOff(48, 0, 67).end(48)}));  // 0.5 s
    ThreadSafeQueue ui;
    auto owned = std::make_unique<FluidSynthPlayer>(offline());
    FluidSynthPlayer* backend = owned.get();
    TMediaPlayer player(ui.post(), std::move(owned));
    const auto uiThread = std::this_thread::get_id();
    constexpr int kRounds = 5;
    int reports = 0;
    bool allOnUiThread = true;
    player.OnNotify = [&] {
        ++reports;
        allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
        if (reports < kRounds) {
            player.SetNotify(true);
            player.Play();
        }
    };
    player.FileName = path.string();
    player.Open();
    player.Play();

    std::atomic<bool> stop{false};
    std::atomic<int64_t> frames{0};
    std::thread device([&] {
        float l[kBlock], r[kBlock];
        while (!stop) {
            backend->renderOffline(l, r, kBlock);
            frames += kBlock;
        }
    });
    // Enough audio for every round many times over; the wall-clock limit only keeps a fault from hanging.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (reports < kRounds && frames < framesOf(60.0) && std::chrono::steady_clock::now() < giveUp) ui.runPosted();
    stop = true;
    device.join();
    ui.runPosted();
    EXPECT_EQ(reports, kRounds);
    EXPECT_TRUE(allOnUiThread);
    EXPECT_TRUE(backend->atEnd());
}

// The volume scales the synthesizer's output: set before opening, and while
// the piece plays.
TEST_F(FluidSynthPlayerTest, theVolumeScalesTheSound)
{
    openTune(twoSecondTune());
    player->Play();
    render(1.0);
    const std::vector<float> full = left;

    left.clear();
    openTune(twoSecondTune());
    player->SetVolume(40);
    player->Play();
    render(1.0);
    ASSERT_EQ(left.size(), full.size());
    const float fullPeak = peak(full, 0, rendered());
    ASSERT_GT(fullPeak, 0.02f);
    EXPECT_NEAR(peak(left, 0, rendered()) / fullPeak, 0.4f, 0.01f);
    for (size_t i = 0; i < full.size(); i += 997)
        EXPECT_NEAR(left[i], 0.4f * full[i], 1e-4f) << "frame " << i;

    left.clear();
    openTune(twoSecondTune());
    player->SetVolume(0);
    player->Play();
    render(0.5);
    EXPECT_LT(peak(left, 0, rendered()), 1e-5f) << "0 is silence";
    player->SetVolume(100);
    render(0.5);
    EXPECT_NEAR(peak(left, framesOf(0.5), rendered()) / peak(full, framesOf(0.5), framesOf(1.0)), 1.0f, 0.02f)
        << "the playing piece comes back at full level";
}
