// MPlayer.h: the media player component that plays the show's background music.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Device types; dtAutoSelect chooses one from the file name's extension.
enum TMPDeviceTypes {
    dtAutoSelect,
    dtAVIVideo,
    dtCDAudio,
    dtDAT,
    dtDigitalVideo,
    dtMMMovie,
    dtOther,
    dtOverlay,
    dtScanner,
    dtSequencer,
    dtVCR,
    dtVideodisc,
    dtWaveAudio
};

// The kind of a completion report.
enum TMPNotifyValues { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

// The device type a file name asks for: ".mid", ".midi", ".rmi" a sequencer,
// ".wav" wave audio, ".avi" video (any case); dtOther for anything else.
TMPDeviceTypes deviceTypeForFile(const std::string& fileName);

// What a backend does for one TMediaPlayer: at most one open piece at a time.
// Every call comes from the UI thread.
class MediaPlayerBackend {
public:
    virtual ~MediaPlayerBackend() = default;
    MediaPlayerBackend() = default;
    MediaPlayerBackend(const MediaPlayerBackend&) = delete;
    MediaPlayerBackend& operator=(const MediaPlayerBackend&) = delete;

    // Opens fileName as deviceType (never dtAutoSelect), positioned at the
    // start. Raises Exception saying why when it cannot.
    virtual void open(const std::string& fileName, TMPDeviceTypes deviceType) = 0;
    // Silences and closes the open piece; nothing when nothing is open.
    // Once it returns, no onEnd of an earlier play is called any more.
    virtual void close() = 0;
    virtual bool canPlay() const = 0;
    // Plays from the current position; already playing, it plays on. onEnd
    // replaces any earlier one and is called at most once, on any thread, when
    // the position reaches the end of the piece, where it then stays.
    virtual void play(std::function<void()> onEnd) = 0;
    // Stops and goes back to the start; a pending onEnd is never called.
    virtual void rewind() = 0;
    // True while the position stands at the end of the piece.
    virtual bool atEnd() const = 0;
    // The loudness from 0 (silent) to 100 (the device's full level), for the
    // open piece and every later one. A device without a volume control
    // plays at its full level.
    virtual void setVolume(int /*percent*/) {}
};

// Makes the backend for each new TMediaPlayer. The default is the operating
// system's own music (libfluidsynth on POSIX); the headless application and
// tests install another. Returns the previous factory (empty: the default).
using MediaPlayerBackendFactory = std::function<std::unique_ptr<MediaPlayerBackend>()>;
MediaPlayerBackendFactory setMediaPlayerBackendFactory(MediaPlayerBackendFactory factory);
std::unique_ptr<MediaPlayerBackend> createMediaPlayerBackend();
// The operating system's own backend, defined by the platform's backend files.
std::unique_ptr<MediaPlayerBackend> makeNativeMediaPlayerBackend();

// Runs a callback on the UI thread, soon, from any thread (the application's Post).
using PostToUiThread = std::function<void(std::function<void()>)>;

// The media player the show window owns, never shown. Commands run at once on
// the UI thread; the completion report arrives later through post, so OnNotify
// always runs on the UI thread, never inside a command.
class TMediaPlayer {
public:
    // post must be set: reports are raised on the backend's own threads.
    explicit TMediaPlayer(PostToUiThread post);
    TMediaPlayer(PostToUiThread post, std::unique_ptr<MediaPlayerBackend> backend);
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    std::string FileName;
    TMPDeviceTypes DeviceType = dtAutoSelect;
    // A Play given while the position stands at the end rewinds to the start first.
    bool AutoRewind = true;
    // Runs on the UI thread when a command that asked for a report has ended.
    std::function<void()> OnNotify;

    // Closes what is open, then opens FileName with DeviceType (dtAutoSelect:
    // chosen from the file name). Raises Exception saying why it cannot.
    void Open();
    // Closes the open piece; nothing happens when nothing is open. A report
    // still pending for it is dropped.
    void Close();
    bool IsOpen() const { return open_; }
    // Whether the open device can play (false when nothing is open).
    bool CanPlay() const;
    // Plays from the current position (the start after Open; with AutoRewind,
    // the start again after the piece has ended). Reports the end of the piece
    // unless Notify(false) was asked for just before. A newer Play's report
    // replaces an older one still pending: one report per piece played.
    // Raises Exception when nothing is open.
    void Play();

    // 0 (silent) to 100 (the device's full level, the default); numbers
    // outside are taken as the nearest of the two. Holds for the open piece
    // and the ones opened later.
    void SetVolume(int percent);
    int Volume() const { return volume_; }

    // The report choice for the next command only; without a choice, Play reports.
    void SetNotify(bool notify)
    {
        notify_ = notify;
        notifyChosen_ = true;
    }
    bool Notify() const { return notify_; }
    // The kind of the last report delivered.
    TMPNotifyValues NotifyValue() const { return notifyValue_; }

private:
    struct Token;
    void deliver(uint64_t generation, TMPNotifyValues value);
    std::function<void()> reportFor(uint64_t generation);

    PostToUiThread post_;
    std::unique_ptr<MediaPlayerBackend> backend_;
    // Shared with every report on its way, so a late report finds the player gone.
    std::shared_ptr<Token> token_;
    bool open_ = false;
    bool notify_ = false;
    bool notifyChosen_ = false;
    TMPNotifyValues notifyValue_ = nvSuccessful;
    uint64_t generation_ = 0;      // the play whose report is awaited; 0: none
    uint64_t lastGeneration_ = 0;
    int volume_ = 100;
};
