// OfflineTune.cpp: the show's tune rendered block by block, looping at its end.
#include "tools/sdtool/OfflineTune.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/fluidsynth/FluidSynthPlayer.h"

namespace {

// The block a sound device asks for; the loop restarts at a block's edge, as
// it does in the player.
constexpr int kBlock = 64;

FluidSynthPlayer::Options offlineOptions()
{
    FluidSynthPlayer::Options options;
    options.audioDrivers = {};
    options.sampleRate = OfflineTune::kSampleRate;
    return options;
}

}  // namespace

OfflineTune::OfflineTune(const std::string& midiFile) : player_(std::make_unique<FluidSynthPlayer>(offlineOptions()))
{
    player_->open(midiFile, dtSequencer);
    player_->play([this] { ended_ = true; });
}

OfflineTune::~OfflineTune() = default;

void OfflineTune::renderBlock(float* left, float* right, int frames)
{
    if (ended_ && !silent_) {
        // The window plays the piece again from its beginning when it ends.
        ended_ = false;
        player_->rewind();
        player_->play([this] { ended_ = true; });
    }
    player_->renderOffline(left, right, frames);
    position_ += frames;
    if (ended_ && roundLength_ == 0)
        roundLength_ = position_;
    // A player that stops without reporting an end stays silent from then on.
    silent_ = silent_ || (!ended_ && player_->atEnd());
}

void OfflineTune::render(float* left, float* right, int frames)
{
    for (int done = 0; done < frames;) {
        const int block = std::min(kBlock, frames - done);
        renderBlock(left + done, right + done, block);
        done += block;
    }
}

void OfflineTune::skipSteps(int64_t steps, const std::atomic<bool>& cancel)
{
    constexpr int64_t kSamplesPerStep = kSampleRate / 10;
    std::vector<float> left(kBlock), right(kBlock);
    // Far steps would overflow as samples; they are reduced once a round is known.
    int64_t sample = steps <= std::numeric_limits<int64_t>::max() / kSamplesPerStep ? steps * kSamplesPerStep : -1;
    while ((sample < 0 || position_ < sample) && !silent_ && !cancel.load(std::memory_order_relaxed)) {
        if (roundLength_ > 0 && position_ == roundLength_ && (sample < 0 || sample >= 2 * roundLength_)) {
            // Every later round sounds as the second does (with the first
            // round's tails ringing into it): go on at the same point of it.
            sample = roundLength_ + ((steps % roundLength_) * kSamplesPerStep) % roundLength_;
        }
        const int64_t left_to_go = sample < 0 ? kBlock : sample - position_;
        if (left_to_go <= 0)
            break;
        renderBlock(left.data(), right.data(), static_cast<int>(std::min<int64_t>(kBlock, left_to_go)));
    }
}
