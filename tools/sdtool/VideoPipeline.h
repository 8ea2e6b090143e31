// VideoPipeline.h: a video encoded on a thread of its own while the show
// renders its next steps.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/headless/HeadlessBackend.h"

class OfflineTune;
class VideoEncoder;

// Takes the frames of the rendering thread and encodes them, with the tune's
// next 100 ms after each frame, on the encoding thread. A few frames wait at
// most; push blocks meanwhile. An error of the encoder comes back from the
// next push or from finish.
class VideoPipeline {
public:
    // tune: none for a video without sound; its first tuneSteps timer steps
    // are skipped (on the encoding thread) before the first frame's sound.
    VideoPipeline(std::unique_ptr<VideoEncoder> encoder, std::unique_ptr<OfflineTune> tune, int64_t tuneSteps);
    // Stops the encoding thread, dropping what still waits; the file is left
    // unfinished (for its owner to remove).
    ~VideoPipeline();
    VideoPipeline(const VideoPipeline&) = delete;
    VideoPipeline& operator=(const VideoPipeline&) = delete;

    // Interrupted when a signal comes while it waits.
    void push(const THeadlessPicture& picture);
    // Encodes what waits and completes the file.
    void finish();

private:
    using Picture = std::shared_ptr<THeadlessPicture>;
    // A copy of picture in a buffer the encoding thread is done with, or a new one.
    Picture copyOf(const THeadlessPicture& picture);
    void run();
    void rethrowFailure();

    std::unique_ptr<VideoEncoder> encoder_;
    std::unique_ptr<OfflineTune> tune_;
    int64_t tuneSteps_;
    Picture previous_;  // the last frame pushed (rendering thread)

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Picture> queue_;  // the same picture again for an unchanged step
    std::vector<Picture> spare_;  // buffers of frames encoded, for copies to come
    bool ending_ = false;    // no more frames come
    std::atomic<bool> stopping_ = false;  // drop the rest
    bool done_ = false;      // the thread has finished its work
    std::exception_ptr failure_;
    std::thread thread_;
};
