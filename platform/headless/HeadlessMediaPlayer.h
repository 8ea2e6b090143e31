// HeadlessMediaPlayer.h: a silent media player backend that records its commands, for tests and sdtool.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MPlayer.h"

class HeadlessMediaPlayerBackend;

// What the headless players made from one log did, and how they answer.
// Commands are recorded one line each: "open FILE sequencer", "play",
// "rewind", "close" ("close" only when something was open), "volume N".
class HeadlessMediaLog {
public:
    std::vector<std::string> commands;
    // How the next open answers: raise Exception with this text, or succeed.
    std::optional<std::string> openError;
    bool canPlay = true;

    // Brings the playing piece to its end, as if it had played out: its end
    // report goes to the player's post. False when nothing is playing.
    bool finishPiece();
    bool playing() const { return playing_ != nullptr; }

private:
    friend class HeadlessMediaPlayerBackend;
    HeadlessMediaPlayerBackend* playing_ = nullptr;
};

class HeadlessMediaPlayerBackend : public MediaPlayerBackend {
public:
    explicit HeadlessMediaPlayerBackend(std::shared_ptr<HeadlessMediaLog> log);
    ~HeadlessMediaPlayerBackend() override;

    void open(const std::string& fileName, TMPDeviceTypes deviceType) override;
    void close() override;
    bool canPlay() const override;
    void play(std::function<void()> onEnd) override;
    void rewind() override;
    bool atEnd() const override { return atEnd_; }
    void setVolume(int percent) override { log_->commands.push_back("volume " + std::to_string(percent)); }

private:
    friend class HeadlessMediaLog;
    void finish();
    void stopPlaying();

    std::shared_ptr<HeadlessMediaLog> log_;
    bool open_ = false;
    bool atEnd_ = false;
    std::function<void()> onEnd_;
};

// Makes every TMediaPlayer created while it lives headless, recording into
// one log (tests of the show window). Restores the previous factory.
class MediaPlayerRecorder {
public:
    MediaPlayerRecorder();
    ~MediaPlayerRecorder();
    MediaPlayerRecorder(const MediaPlayerRecorder&) = delete;
    MediaPlayerRecorder& operator=(const MediaPlayerRecorder&) = delete;
    HeadlessMediaLog& log() { return *log_; }

private:
    std::shared_ptr<HeadlessMediaLog> log_;
    MediaPlayerBackendFactory previous_;
};
