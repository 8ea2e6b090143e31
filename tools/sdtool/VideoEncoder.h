// VideoEncoder.h: video files through FFmpeg's libraries: the frames of a
// show at 10 a second and, where the format has one, its tune.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/headless/HeadlessBackend.h"

// A video that cannot be made: an encoder missing from the system's FFmpeg,
// one that refuses its settings, a file that cannot be written.
class VideoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class VideoFormat {
    Mp4,   // H.264 (libx264) in yuv420p, AAC
    WebM,  // VP9 (libvpx-vp9), Opus
    Mkv,   // lossless H.264 in RGB (libx264rgb), FLAC
    Gif,   // one palette for the whole file, looping, no sound
};

struct VideoSettings {
    VideoFormat format = VideoFormat::Mp4;
    int width = 0;
    int height = 0;
    bool audio = false;  // a stereo track at audioRate, fed through addAudio
    int audioRate = 44100;
    // GIF: the colours (0x00RRGGBB, at most 256) every frame is drawn with;
    // each pixel takes the nearest.
    std::vector<uint32_t> palette;
};

// Writes one video file. Frames are 100 ms each; the audio track, when there
// is one, ends with the last frame whatever was fed.
class VideoEncoder {
public:
    // Opens the encoders and the file at path (written in the format
    // whatever its name). VideoError naming a missing encoder, or saying why
    // the file cannot be made.
    VideoEncoder(const std::string& path, const VideoSettings& settings);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // The next frame. previous: the one added before, when the caller still
    // has it; only what differs from it is converted again, and none of the
    // picture when it is the same object.
    void addFrame(const THeadlessPicture& picture, const THeadlessPicture* previous);
    // Samples of the tune, one buffer a channel, at settings.audioRate.
    void addAudio(const float* left, const float* right, int frames);
    // Drains the encoders and completes the file. VideoError when it cannot.
    void finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
