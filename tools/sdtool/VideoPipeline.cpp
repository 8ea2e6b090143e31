// VideoPipeline.cpp: the queue between rendering and encoding.
#include "tools/sdtool/VideoPipeline.h"

#include <chrono>
#include <vector>

#include "tools/sdtool/Interrupt.h"

#include "tools/sdtool/OfflineTune.h"
#include "tools/sdtool/VideoEncoder.h"

namespace {

constexpr size_t kWaitingFrames = 4;
// One timer step of sound.
constexpr int kSamplesPerFrame = OfflineTune::kSampleRate / 10;

}  // namespace

VideoPipeline::VideoPipeline(std::unique_ptr<VideoEncoder> encoder, std::unique_ptr<OfflineTune> tune, int64_t tuneSteps)
    : encoder_(std::move(encoder)), tune_(std::move(tune)), tuneSteps_(tuneSteps), thread_([this] { run(); })
{
}

VideoPipeline::~VideoPipeline()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void VideoPipeline::rethrowFailure()
{
    if (failure_)
        std::rethrow_exception(failure_);
}

VideoPipeline::Picture VideoPipeline::copyOf(const THeadlessPicture& picture)
{
    Picture buffer;
    {
        // A buffer only the spare list holds is free; reusing it spares the
        // system clearing fresh pages for every frame.
        std::lock_guard guard(lock_);
        for (Picture& spare : spare_)
            if (spare.use_count() == 1) {
                buffer = std::move(spare);
                spare = std::move(spare_.back());
                spare_.pop_back();
                break;
            }
    }
    if (!buffer)
        return std::make_shared<THeadlessPicture>(picture);
    *buffer = picture;
    return buffer;
}

void VideoPipeline::push(const THeadlessPicture& picture)
{
    // Some steps of a show change nothing: the same picture goes again, and
    // the encoder skips its conversion.
    if (!previous_ || previous_->Pixels != picture.Pixels)
        previous_ = copyOf(picture);
    std::unique_lock guard(lock_);
    // A signal does not wake the wait: it is looked for now and then.
    while (!changed_.wait_for(guard, std::chrono::milliseconds(50),
                              [this] { return queue_.size() < kWaitingFrames || failure_ || done_; }))
        throwIfInterrupted();
    rethrowFailure();
    queue_.push_back(previous_);
    changed_.notify_all();
}

void VideoPipeline::finish()
{
    std::unique_lock guard(lock_);
    ending_ = true;
    changed_.notify_all();
    changed_.wait(guard, [this] { return done_; });
    rethrowFailure();
}

void VideoPipeline::run()
{
    std::vector<float> left(kSamplesPerFrame), right(kSamplesPerFrame);
    Picture last;  // the frame encoded before
    try {
        if (tune_)
            tune_->skipSteps(tuneSteps_, stopping_);
        for (;;) {
            Picture item;
            {
                std::unique_lock guard(lock_);
                changed_.wait(guard, [this] { return stopping_ || ending_ || !queue_.empty(); });
                if (stopping_)
                    break;
                if (queue_.empty()) {
                    guard.unlock();
                    encoder_->finish();
                    break;
                }
                item = std::move(queue_.front());
                queue_.pop_front();
            }
            changed_.notify_all();
            encoder_->addFrame(*item, last.get());
            if (last != item) {
                std::lock_guard guard(lock_);
                if (last)
                    spare_.push_back(std::move(last));
                last = std::move(item);
            }
            if (tune_) {
                tune_->render(left.data(), right.data(), kSamplesPerFrame);
                encoder_->addAudio(left.data(), right.data(), kSamplesPerFrame);
            }
        }
    } catch (...) {
        std::lock_guard guard(lock_);
        failure_ = std::current_exception();
    }
    {
        std::lock_guard guard(lock_);
        done_ = true;
    }
    changed_.notify_all();
}
