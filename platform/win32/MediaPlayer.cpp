// MediaPlayer.cpp: the Windows module's music backend. Until the MCI
// sequencer backend is built, every open is refused, so a show plays silently
// (a show goes on when its music device cannot be opened).
#include "platform/Exceptions.h"
#include "platform/MPlayer.h"

namespace {
class UnavailableMediaPlayer : public MediaPlayerBackend {
public:
    void open(const std::string& fileName, TMPDeviceTypes) override
    {
        throw Exception("Cannot open music \"" + fileName + "\": this build has no MIDI player");
    }
    void close() override {}
    bool canPlay() const override { return false; }
    void play(std::function<void()>) override {}
    void rewind() override {}
    bool atEnd() const override { return false; }
};
}  // namespace

std::unique_ptr<MediaPlayerBackend> makeNativeMediaPlayerBackend()
{
    return std::make_unique<UnavailableMediaPlayer>();
}
