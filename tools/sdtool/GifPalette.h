// GifPalette.h: the one palette of a GIF file, from every frame it shows.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "platform/headless/HeadlessBackend.h"

// Gathers the colours of the frames. A show of at most 256 colours gets them
// exactly, so its GIF is lossless; one with more gets 256 chosen by median
// cut over how often colours appear.
class GifPalette {
public:
    static constexpr size_t kMaxColours = 256;

    GifPalette();
    void add(const THeadlessPicture& picture);
    // 0x00RRGGBB colours, at most kMaxColours; at least one.
    std::vector<uint32_t> colours() const;

private:
    std::unordered_set<uint32_t> exact_;  // while there are few enough
    bool many_ = false;
    std::vector<uint64_t> histogram_;     // pixels by colour at 5 bits a channel
};
