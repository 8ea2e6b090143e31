// MPlayer.cpp: the media player's commands and its completion reports, over any backend.
#include "platform/MPlayer.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/Exceptions.h"

namespace {

MediaPlayerBackendFactory& installedFactory()
{
    static MediaPlayerBackendFactory factory;
    return factory;
}

std::string lowerExtension(const std::string& fileName)
{
    const auto slash = fileName.find_last_of("/\\");
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = fileName.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

}  // namespace

TMPDeviceTypes deviceTypeForFile(const std::string& fileName)
{
    const std::string ext = lowerExtension(fileName);
    if (ext == ".mid" || ext == ".midi" || ext == ".rmi") return dtSequencer;
    if (ext == ".wav") return dtWaveAudio;
    if (ext == ".avi") return dtAVIVideo;
    return dtOther;
}

MediaPlayerBackendFactory setMediaPlayerBackendFactory(MediaPlayerBackendFactory factory)
{
    return std::exchange(installedFactory(), std::move(factory));
}

std::unique_ptr<MediaPlayerBackend> createMediaPlayerBackend()
{
    if (installedFactory()) return installedFactory()();
    return makeNativeMediaPlayerBackend();
}

// Lives as long as the player; reports on their way hold it weakly.
struct TMediaPlayer::Token {
    TMediaPlayer* player;
};

TMediaPlayer::TMediaPlayer(PostToUiThread post) : TMediaPlayer(std::move(post), createMediaPlayerBackend()) {}

TMediaPlayer::TMediaPlayer(PostToUiThread post, std::unique_ptr<MediaPlayerBackend> backend)
    : post_(std::move(post)), backend_(std::move(backend)), token_(std::make_shared<Token>(Token{this}))
{
    if (!post_) throw Exception("TMediaPlayer: no way to reach the UI thread was given");
    if (!backend_) throw Exception("TMediaPlayer: no backend was given");
}

TMediaPlayer::~TMediaPlayer()
{
    // Reports already posted find no player; then the backend stops its threads.
    token_->player = nullptr;
    backend_.reset();
}

void TMediaPlayer::Open()
{
    Close();
    if (FileName.empty()) throw Exception("Cannot open music: no file name was given");
    const TMPDeviceTypes type = DeviceType == dtAutoSelect ? deviceTypeForFile(FileName) : DeviceType;
    if (type == dtOther) throw Exception("Cannot open music \"" + FileName + "\": no device plays files of this type");
    backend_->open(FileName, type);
    open_ = true;
}

void TMediaPlayer::SetVolume(int percent)
{
    volume_ = std::clamp(percent, 0, 100);
    backend_->setVolume(volume_);
}

void TMediaPlayer::Close()
{
    notifyChosen_ = false;
    if (!open_) return;
    generation_ = 0;  // a report still on its way is dropped
    open_ = false;
    backend_->close();
}

bool TMediaPlayer::CanPlay() const
{
    return open_ && backend_->canPlay();
}

void TMediaPlayer::Play()
{
    const bool report = notifyChosen_ ? notify_ : true;
    notify_ = report;
    notifyChosen_ = false;
    if (!open_) throw Exception("Cannot play music: nothing is open");

    // A newer play's report replaces the older one: reporting the older as
    // superseded would only make the owner start the piece once more.
    generation_ = report ? ++lastGeneration_ : 0;
    if (backend_->atEnd()) {
        if (!AutoRewind) {
            // Nothing left to play: the command ends at once.
            if (report) post_(reportFor(generation_));
            return;
        }
        backend_->rewind();
    }
    backend_->play(report ? reportFor(generation_) : std::function<void()>());
}

// A callable for any thread that brings the report of one play to the UI thread.
std::function<void()> TMediaPlayer::reportFor(uint64_t generation)
{
    std::weak_ptr<Token> weak = token_;
    PostToUiThread post = post_;
    return [weak = std::move(weak), post = std::move(post), generation] {
        post([weak, generation] {
            if (auto token = weak.lock(); token && token->player)
                token->player->deliver(generation, nvSuccessful);
        });
    };
}

void TMediaPlayer::deliver(uint64_t generation, TMPNotifyValues value)
{
    if (generation == 0 || generation != generation_) return;  // closed or replaced since
    generation_ = 0;
    notifyValue_ = value;
    if (OnNotify) OnNotify();
}
