// ModelBench.cpp: building the mask of a 256 x 256 frame when it is installed
// in a character slot (the copy of the frame into a picture is included).
#include <benchmark/benchmark.h>

#include <memory>

#include "model/CCharactor.h"
#include "platform/Graphics.h"

namespace {

constexpr int kSide = 256;

void fillFrame(TBitmap& frame)
{
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int dx = x - kSide / 2, dy = y - kSide / 2;
            const bool inside = dx * dx + dy * dy < 100 * 100;
            frame.ScanLine(y)[x] = inside ? static_cast<uint32_t>((x << 16) | (y << 8) | ((x + y) & 0xFF)) : 0x00FFFFFFu;
        }
}

void BM_SetGraphicMask(benchmark::State& state)
{
    const bool transparent = state.range(0) != 0;
    TBitmap frame(kSide, kSide);
    fillFrame(frame);
    TCharactor charactor;
    charactor.setTransparent(transparent);
    for (auto _ : state) {
        auto copy = std::make_unique<TBitmap>(kSide, kSide);
        copy->Canvas().Draw(0, 0, frame);
        auto picture = std::make_unique<TPicture>();
        picture->SetGraphic(std::move(copy));
        charactor.setGraphic(0, std::move(picture));
        benchmark::DoNotOptimize(charactor.getMask(0));
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_SetGraphicMask)->ArgName("transparent")->Arg(1)->Arg(0);

}  // namespace
