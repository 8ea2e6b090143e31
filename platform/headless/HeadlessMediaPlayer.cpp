// HeadlessMediaPlayer.cpp: the silent, recording media player backend.
#include "platform/headless/HeadlessMediaPlayer.h"

#include <filesystem>
#include <utility>

#include "platform/Exceptions.h"

namespace {

const char* deviceTypeName(TMPDeviceTypes type)
{
    switch (type) {
    case dtSequencer: return "sequencer";
    case dtWaveAudio: return "waveaudio";
    case dtAVIVideo: return "avivideo";
    default: return "other";
    }
}

}  // namespace

bool HeadlessMediaLog::finishPiece()
{
    if (!playing_) return false;
    playing_->finish();
    return true;
}

HeadlessMediaPlayerBackend::HeadlessMediaPlayerBackend(std::shared_ptr<HeadlessMediaLog> log) : log_(std::move(log)) {}

HeadlessMediaPlayerBackend::~HeadlessMediaPlayerBackend()
{
    stopPlaying();
}

void HeadlessMediaPlayerBackend::open(const std::string& fileName, TMPDeviceTypes deviceType)
{
    close();
    log_->commands.push_back(std::string("open ") + fileName + " " + deviceTypeName(deviceType));
    if (log_->openError) throw Exception(*log_->openError);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        throw Exception("Cannot open music \"" + fileName + "\": no such file");
    open_ = true;
    atEnd_ = false;
}

void HeadlessMediaPlayerBackend::close()
{
    if (!open_) return;
    log_->commands.push_back("close");
    stopPlaying();
    open_ = false;
    atEnd_ = false;
}

bool HeadlessMediaPlayerBackend::canPlay() const
{
    return open_ && log_->canPlay;
}

void HeadlessMediaPlayerBackend::play(std::function<void()> onEnd)
{
    log_->commands.push_back("play");
    onEnd_ = std::move(onEnd);
    if (log_->playing_ && log_->playing_ != this) log_->playing_->stopPlaying();
    log_->playing_ = this;
}

void HeadlessMediaPlayerBackend::rewind()
{
    log_->commands.push_back("rewind");
    stopPlaying();
    atEnd_ = false;
}

void HeadlessMediaPlayerBackend::finish()
{
    auto onEnd = std::move(onEnd_);
    stopPlaying();
    atEnd_ = true;
    if (onEnd) onEnd();
}

void HeadlessMediaPlayerBackend::stopPlaying()
{
    onEnd_ = nullptr;
    if (log_->playing_ == this) log_->playing_ = nullptr;
}

MediaPlayerRecorder::MediaPlayerRecorder()
    : log_(std::make_shared<HeadlessMediaLog>()),
      previous_(setMediaPlayerBackendFactory([log = log_] { return std::make_unique<HeadlessMediaPlayerBackend>(log); }))
{
}

MediaPlayerRecorder::~MediaPlayerRecorder()
{
    setMediaPlayerBackendFactory(std::move(previous_));
}
