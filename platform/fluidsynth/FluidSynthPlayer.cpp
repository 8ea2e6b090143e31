// FluidSynthPlayer.cpp: the sequencer device over libfluidsynth's synthesizer, player and audio drivers.
#include "platform/fluidsynth/FluidSynthPlayer.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/MidiFile.h"

namespace {

// fluidsynth logs through one process-wide function. While a command of ours
// runs on a thread, that thread's errors are collected for its exception;
// other errors (the sound device's thread) go to standard error; chatter is dropped.
thread_local std::string* collectedErrors = nullptr;

void logFluidMessage(int level, const char* message, void*)
{
    if (collectedErrors) {
        if (level > FLUID_WARN) return;
        if (!collectedErrors->empty()) *collectedErrors += "; ";
        *collectedErrors += message;
    } else if (level <= FLUID_ERR) {
        std::fprintf(stderr, "lurva: fluidsynth: %s\n", message);
    }
}

// ALSA's library prints its own lines for every step of a failed device
// open (eight of them without a sound card); fluidsynth reports the failure
// itself, and that report is the one that reaches the user.
extern "C" void dropAlsaMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/,
    const char* /*format*/, ...)
{
}

void routeFluidLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, logFluidMessage, nullptr);
        snd_lib_error_set_handler(dropAlsaMessage);
    });
}

class ErrorCollector {
public:
    ErrorCollector() : previous_(std::exchange(collectedErrors, &text_)) {}
    ~ErrorCollector() { collectedErrors = previous_; }
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;
    // The errors so far, as " (...)" for a message, and forgets them.
    std::string take()
    {
        std::string part = text_.empty() ? std::string() : " (" + text_ + ")";
        text_.clear();
        return part;
    }

private:
    std::string text_;
    std::string* previous_;
};

std::vector<uint8_t> readWholeFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw Exception(std::string("cannot read the file: ") + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Exception("cannot read the file");
    return bytes;
}

}  // namespace

namespace {

// The synthesizer's gain at full volume: fluidsynth's default of 0.2 leaves a
// single melody line barely audible. The volume scales it linearly.
constexpr double kFullGain = 0.5;

double gainFor(int percent)
{
    return kFullGain * percent / 100.0;
}

}  // namespace

struct FluidSynthPlayer::Impl {
    enum class State { Closed, AtStart, Playing, AtEnd };

    explicit Impl(Options o) : options(std::move(o)) {}

    Options options;
    std::vector<uint8_t> midi;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* driver = nullptr;

    // Held while the synthesizer renders and while a command changes what follows.
    mutable std::mutex renderLock;
    fluid_player_t* player = nullptr;
    State state = State::Closed;
    int volume = 100;  // percent of kFullGain
    std::function<void()> onEnd;
    bool tickSeen = false;

    // Called on the rendering thread, inside the synthesizer's rendering.
    static int onTick(void* data, int tick)
    {
        auto* self = static_cast<Impl*>(data);
        self->tickSeen = true;
        if (self->state == State::Playing && tick >= fluid_player_get_total_ticks(self->player)) self->reachEnd();
        return FLUID_OK;
    }

    static int onAudio(void* data, int len, int, float*[], int nout, float* out[])
    {
        auto* self = static_cast<Impl*>(data);
        std::lock_guard lock(self->renderLock);
        // The drivers give no effect buffers: reverb and chorus mix into the dry ones.
        const int result = fluid_synth_process(self->synth, len, nout, out, nout, out);
        self->afterRender();
        return result;
    }

    void reachEnd()
    {
        state = State::AtEnd;
        if (auto report = std::exchange(onEnd, nullptr)) report();
    }

    // A player that stopped without reaching the last tick (fluidsynth could
    // not load the file after all) ends the piece once it had played at all;
    // one that never ticked stays silent rather than restarting at every block.
    void afterRender()
    {
        if (state != State::Playing || fluid_player_get_status(player) != FLUID_PLAYER_DONE) return;
        if (tickSeen) {
            reachEnd();
        } else {
            state = State::AtEnd;
            onEnd = nullptr;
            std::fputs("lurva: fluidsynth: the MIDI player stopped before the piece began\n", stderr);
        }
    }

    // A fresh fluid player for every start: one that has played out cannot be
    // rewound reliably while the sound device keeps rendering. Lock held.
    void startFromBeginning()
    {
        dropPlayer();
        player = new_fluid_player(synth);
        if (!player) throw Exception("Cannot play music: the MIDI player cannot be created");
        fluid_player_set_tick_callback(player, &Impl::onTick, this);
        if (fluid_player_add_mem(player, midi.data(), midi.size()) != FLUID_OK ||
            fluid_player_play(player) != FLUID_OK) {
            dropPlayer();
            throw Exception("Cannot play music: the MIDI player refused the piece");
        }
        tickSeen = false;
        state = State::Playing;
    }

    // Lock held. Notes still held by the player are released, not cut.
    void dropPlayer()
    {
        if (!player) return;
        delete_fluid_player(player);
        player = nullptr;
        fluid_synth_all_notes_off(synth, -1);
    }

    void closeAll()
    {
        // The sound device's thread stops first; it may wait for renderLock.
        if (driver) delete_fluid_audio_driver(driver);
        driver = nullptr;
        {
            std::lock_guard lock(renderLock);
            if (player) delete_fluid_player(player);
            player = nullptr;
            state = State::Closed;
            onEnd = nullptr;
        }
        if (synth) delete_fluid_synth(synth);
        synth = nullptr;
        if (settings) delete_fluid_settings(settings);
        settings = nullptr;
        midi.clear();
    }
};

FluidSynthPlayer::FluidSynthPlayer() : FluidSynthPlayer(Options{}) {}

FluidSynthPlayer::FluidSynthPlayer(Options options) : impl_(std::make_unique<Impl>(std::move(options)))
{
    routeFluidLog();
}

FluidSynthPlayer::~FluidSynthPlayer()
{
    impl_->closeAll();
}

void FluidSynthPlayer::open(const std::string& fileName, TMPDeviceTypes deviceType)
{
    close();
    const std::string prefix = "Cannot open music \"" + fileName + "\": ";
    if (deviceType != dtSequencer) throw Exception(prefix + "only MIDI files can be played");
    Impl& d = *impl_;
    try {
        d.midi = readWholeFile(fileName);
        checkMidiFile(d.midi);
    } catch (const Exception& e) {
        d.midi.clear();
        throw Exception(prefix + e.Message());
    }

    std::string soundFont = d.options.soundFont;
    std::error_code ec;
    if (soundFont.empty()) {
        soundFont = kDefaultSoundFont;
        if (!std::filesystem::is_regular_file(soundFont, ec) && std::filesystem::is_regular_file(kDefaultSoundFontSf3, ec))
            soundFont = kDefaultSoundFontSf3;
    }
    if (!std::filesystem::is_regular_file(soundFont, ec))
        throw Exception(prefix + "no sound font at " + soundFont);

    ErrorCollector errors;
    try {
        d.settings = new_fluid_settings();
        if (!d.settings) throw Exception(prefix + "the synthesizer cannot start" + errors.take());
        fluid_settings_setnum(d.settings, "synth.sample-rate", d.options.sampleRate);
        fluid_settings_setnum(d.settings, "synth.gain", gainFor(d.volume));
        // Release tails ring on across the loop instead of being cut at the end.
        fluid_settings_setint(d.settings, "player.reset-synth", 0);
        d.synth = new_fluid_synth(d.settings);
        if (!d.synth) throw Exception(prefix + "the synthesizer cannot start" + errors.take());
        if (fluid_synth_sfload(d.synth, soundFont.c_str(), 1) == FLUID_FAILED)
            throw Exception(prefix + "cannot load the sound font " + soundFont + errors.take());
        d.state = Impl::State::AtStart;

        std::string tried;
        for (const std::string& name : d.options.audioDrivers) {
            if (fluid_settings_setstr(d.settings, "audio.driver", name.c_str()) == FLUID_OK)
                d.driver = new_fluid_audio_driver2(d.settings, &Impl::onAudio, &d);
            if (d.driver) break;
            const std::string why = errors.take();
            tried += (tried.empty() ? "" : ", ") + name + (why.empty() ? " (not available)" : why);
        }
        if (!d.options.audioDrivers.empty() && !d.driver)
            throw Exception(prefix + "no sound device: " + tried);
    } catch (...) {
        d.closeAll();
        throw;
    }
}

void FluidSynthPlayer::setVolume(int percent)
{
    Impl& d = *impl_;
    std::lock_guard lock(d.renderLock);
    d.volume = std::clamp(percent, 0, 100);
    if (d.synth) fluid_synth_set_gain(d.synth, static_cast<float>(gainFor(d.volume)));
}

void FluidSynthPlayer::close()
{
    impl_->closeAll();
}

bool FluidSynthPlayer::canPlay() const
{
    std::lock_guard lock(impl_->renderLock);
    return impl_->state != Impl::State::Closed;
}

void FluidSynthPlayer::play(std::function<void()> onEnd)
{
    Impl& d = *impl_;
    std::lock_guard lock(d.renderLock);
    switch (d.state) {
    case Impl::State::Closed:
        throw Exception("Cannot play music: nothing is open");
    case Impl::State::AtStart:
        d.onEnd = std::move(onEnd);
        d.startFromBeginning();
        break;
    case Impl::State::Playing:
        d.onEnd = std::move(onEnd);
        break;
    case Impl::State::AtEnd:
        // Nothing is left to play: the piece ends at once.
        if (onEnd) onEnd();
        break;
    }
}

void FluidSynthPlayer::rewind()
{
    Impl& d = *impl_;
    std::lock_guard lock(d.renderLock);
    if (d.state == Impl::State::Closed) return;
    d.dropPlayer();
    d.onEnd = nullptr;
    d.state = Impl::State::AtStart;
}

bool FluidSynthPlayer::atEnd() const
{
    std::lock_guard lock(impl_->renderLock);
    return impl_->state == Impl::State::AtEnd;
}

void FluidSynthPlayer::renderOffline(float* left, float* right, int frames)
{
    Impl& d = *impl_;
    if (d.driver) throw Exception("FluidSynthPlayer: a sound device is rendering this piece");
    if (!d.synth) throw Exception("FluidSynthPlayer: nothing is open");
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    float* out[2] = {left, right};
    std::lock_guard lock(d.renderLock);
    fluid_synth_process(d.synth, frames, 2, out, 2, out);
    d.afterRender();
}

double FluidSynthPlayer::sampleRate() const
{
    return impl_->options.sampleRate;
}

std::unique_ptr<MediaPlayerBackend> makeNativeMediaPlayerBackend()
{
    return std::make_unique<FluidSynthPlayer>();
}
