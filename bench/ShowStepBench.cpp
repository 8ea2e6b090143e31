// ShowStepBench.cpp: one animation step of the show window, composed the
// incremental way against the whole-screen reference, at full-HD and 4K with
// 1, 10 and 50 characters of 64x64 and 256x256 pixels. A step includes giving
// the window what changed (a copy into a window-sized buffer, as a window
// surface takes it).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "model/CCharactorList.h"
#include "platform/Graphics.h"
#include "platform/Raster.h"
#include "shell/CScenePainter.h"

namespace {

std::unique_ptr<TPicture> frame(int side, uint32_t seed)
{
    auto bitmap = std::make_unique<TBitmap>(side, side);
    uint32_t state = seed * 2654435761u + 1u;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool edge = x < 2 || y < 2 || x >= side - 2 || y >= side - 2;
            bitmap->ScanLine(y)[x] = edge ? 0x00FFFFFF : (state >> 8) & 0x00FFFFFF;
        }
    auto picture = std::make_unique<TPicture>();
    picture->SetGraphic(std::move(bitmap));
    return picture;
}

// count characters of three frames each, spread over the screen, each
// walking its own ellipse once a loop (a few pixels a step at these sizes).
std::unique_ptr<TCharactorList> show(int count, int side)
{
    auto list = std::make_unique<TCharactorList>();
    for (int i = 0; i < count; ++i) {
        TCharactor& c = list->add();
        for (int slot = 0; slot < 3; ++slot)
            c.setGraphic(slot, frame(side, static_cast<uint32_t>(i * 3 + slot)));
        const double cx = 0.15 + 0.7 * ((i * 37) % 100) / 100.0;
        const double cy = 0.15 + 0.7 * ((i * 61) % 100) / 100.0;
        const double phase = i * 0.7;
        for (int p = 0; p < TCharactor::kPointCount; ++p) {
            const double a = phase + p * 6.283185307179586 / TCharactor::kPointCount;
            c.setPoint(p, cx + 0.12 * std::cos(a), cy + 0.1 * std::sin(a));
        }
    }
    return list;
}

struct Scene {
    Scene(int width, int height, int count, int side)
        : list(show(count, side)), back(width, height), draw(width, height), window(width, height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                back.ScanLine(y)[x] = static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF));
    }
    void present(const TRect& r)
    {
        const auto n = static_cast<size_t>(r.Width());
        for (int y = r.Top; y < r.Bottom; ++y)
            Raster::CopyRow(window.ScanLine(y) + r.Left, draw.ScanLine(y) + r.Left, n);
    }

    std::unique_ptr<TCharactorList> list;
    TBitmap back, draw, window;
};

int heightFor(int64_t width)
{
    return static_cast<int>(width * 9 / 16);
}

void BM_StepIncremental(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    Scene scene(width, heightFor(width), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    TScenePainter painter;
    int32_t step = 0;
    int64_t wholeSteps = 0;
    for (auto _ : state) {
        const auto frames = framesForStep(*scene.list, step % 600, step / 10, width, scene.draw.Height());
        for (const TRect& r : painter.paint(scene.draw, scene.back, frames))
            scene.present(r);
        wholeSteps += painter.lastWasWhole() ? 1 : 0;
        ++step;
        benchmark::ClobberMemory();
    }
    state.counters["whole"] = benchmark::Counter(static_cast<double>(wholeSteps) / static_cast<double>(step));
}

void BM_StepReference(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    Scene scene(width, heightFor(width), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    int32_t step = 0;
    for (auto _ : state) {
        const auto frames = framesForStep(*scene.list, step % 600, step / 10, width, scene.draw.Height());
        renderReference(scene.draw, scene.back, frames);
        scene.present({0, 0, width, scene.draw.Height()});
        ++step;
        benchmark::ClobberMemory();
    }
}

// width (height = width * 9 / 16), characters, frame side
BENCHMARK(BM_StepIncremental)->ArgNames({"w", "chars", "side"})->ArgsProduct({{1920, 3840}, {1, 10, 50}, {64, 256}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepReference)->ArgNames({"w", "chars", "side"})->ArgsProduct({{1920, 3840}, {1, 10, 50}, {64, 256}})->Unit(benchmark::kMicrosecond);

}  // namespace
