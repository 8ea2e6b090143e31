// WebMusic.cpp: the show's music in a page. The MIDI file goes to the page
// (Module.lurvaMusic), which plays it with a synthesizer of its own once the
// user lets it sound. The page loops the piece exactly at its end, so the end
// of a play is never reported back: the show would only rewind and play again.
#include <emscripten.h>

#include <cstdint>
#include <vector>

#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/MPlayer.h"
#include "platform/MidiFile.h"

namespace {

EM_JS(void, pageMusicOpen, (const uint8_t* data, int size), {
    if (Module["lurvaMusic"])
        Module["lurvaMusic"].open(HEAPU8.slice(data, data + size));
});
EM_JS(void, pageMusicPlay, (), {
    if (Module["lurvaMusic"])
        Module["lurvaMusic"].play();
});
EM_JS(void, pageMusicStop, (), {
    if (Module["lurvaMusic"])
        Module["lurvaMusic"].stop();
});
EM_JS(void, pageMusicClose, (), {
    if (Module["lurvaMusic"])
        Module["lurvaMusic"].close();
});

std::vector<uint8_t> readWholeFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

class TPageMusic : public MediaPlayerBackend {
public:
    ~TPageMusic() override { close(); }

    void open(const std::string& fileName, TMPDeviceTypes deviceType) override
    {
        close();
        const std::string prefix = "Cannot open music \"" + fileName + "\": ";
        if (deviceType != dtSequencer)
            throw Exception(prefix + "only MIDI files can be played");
        std::vector<uint8_t> midi;
        try {
            midi = readWholeFile(fileName);
            checkMidiFile(midi);
        } catch (const Exception& e) {
            throw Exception(prefix + e.Message());
        }
        pageMusicOpen(midi.data(), static_cast<int>(midi.size()));
        open_ = true;
    }

    void close() override
    {
        if (open_)
            pageMusicClose();
        open_ = false;
    }

    bool canPlay() const override { return open_; }

    void play(std::function<void()> /*onEnd*/) override
    {
        if (!open_)
            throw Exception("Cannot play music: nothing is open");
        pageMusicPlay();
    }

    void rewind() override
    {
        if (open_)
            pageMusicStop();
    }

    bool atEnd() const override { return false; }

private:
    bool open_ = false;
};

}  // namespace

std::unique_ptr<MediaPlayerBackend> makeNativeMediaPlayerBackend()
{
    return std::make_unique<TPageMusic>();
}
