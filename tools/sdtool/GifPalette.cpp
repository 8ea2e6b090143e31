// GifPalette.cpp: exact colours when they fit, median cut when not.
#include "tools/sdtool/GifPalette.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kBins = 1 << 15;

int binOf(uint32_t colour)
{
    return static_cast<int>(((colour >> 9) & 0x7C00) | ((colour >> 6) & 0x03E0) | ((colour >> 3) & 0x001F));
}

int channelOf(int bin, int channel)
{
    return (bin >> (10 - 5 * channel)) & 0x1F;
}

// A box of histogram bins, the occupied ones.
struct Box {
    std::vector<int> bins;
    uint64_t pixels = 0;
    std::array<int, 3> low{}, high{};

    void measure(const std::vector<uint64_t>& histogram)
    {
        low = {31, 31, 31};
        high = {0, 0, 0};
        pixels = 0;
        for (const int bin : bins) {
            pixels += histogram[static_cast<size_t>(bin)];
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], channelOf(bin, c));
                high[c] = std::max(high[c], channelOf(bin, c));
            }
        }
    }
    int widest() const
    {
        int best = 0;
        for (int c = 1; c < 3; ++c)
            if (high[c] - low[c] > high[best] - low[best])
                best = c;
        return best;
    }
    int extent() const { return high[widest()] - low[widest()]; }
};

}  // namespace

GifPalette::GifPalette() : histogram_(kBins, 0) {}

void GifPalette::add(const THeadlessPicture& picture)
{
    uint32_t last = ~uint32_t{0};
    for (const uint32_t pixel : picture.Pixels) {
        const uint32_t colour = pixel & 0xFFFFFF;
        ++histogram_[static_cast<size_t>(binOf(colour))];
        if (many_ || colour == last)
            continue;
        last = colour;
        exact_.insert(colour);
        if (exact_.size() > kMaxColours) {
            many_ = true;
            exact_.clear();
        }
    }
}

std::vector<uint32_t> GifPalette::colours() const
{
    if (!many_) {
        std::vector<uint32_t> list(exact_.begin(), exact_.end());
        std::sort(list.begin(), list.end());
        if (list.empty())
            list.push_back(0);
        return list;
    }
    std::vector<Box> boxes(1);
    for (int bin = 0; bin < kBins; ++bin)
        if (histogram_[static_cast<size_t>(bin)] != 0)
            boxes[0].bins.push_back(bin);
    boxes[0].measure(histogram_);
    // Split the box with the most pixels that can still be split, at the
    // median pixel of its widest channel.
    while (boxes.size() < kMaxColours) {
        Box* chosen = nullptr;
        for (Box& box : boxes)
            if (box.bins.size() > 1 && box.extent() > 0 && (chosen == nullptr || box.pixels > chosen->pixels))
                chosen = &box;
        if (chosen == nullptr)
            break;
        const int channel = chosen->widest();
        std::sort(chosen->bins.begin(), chosen->bins.end(),
                  [channel](int a, int b) { return channelOf(a, channel) < channelOf(b, channel); });
        uint64_t seen = 0;
        size_t cut = 1;
        for (; cut < chosen->bins.size(); ++cut) {
            seen += histogram_[static_cast<size_t>(chosen->bins[cut - 1])];
            if (seen * 2 >= chosen->pixels)
                break;
        }
        cut = std::min(cut, chosen->bins.size() - 1);
        Box upper;
        upper.bins.assign(chosen->bins.begin() + static_cast<ptrdiff_t>(cut), chosen->bins.end());
        chosen->bins.resize(cut);
        chosen->measure(histogram_);
        upper.measure(histogram_);
        boxes.push_back(std::move(upper));
    }
    std::vector<uint32_t> list;
    for (const Box& box : boxes) {
        std::array<uint64_t, 3> sum{};
        for (const int bin : box.bins)
            for (int c = 0; c < 3; ++c)
                sum[static_cast<size_t>(c)] += histogram_[static_cast<size_t>(bin)]
                                               * static_cast<uint64_t>((channelOf(bin, c) << 3) | 4);
        uint32_t colour = 0;
        for (int c = 0; c < 3; ++c)
            colour = (colour << 8) | static_cast<uint32_t>(box.pixels == 0 ? 0 : sum[static_cast<size_t>(c)] / box.pixels);
        list.push_back(colour);
    }
    return list;
}
