// SdlPresentBench.cpp: what presenting costs through the SDL backend: the
// whole screen against the changed rectangles only. Needs an X display of the
// size to measure, e.g.
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_sdl_present
//   xvfb-run -a -s "-screen 0 3840x2160x24" build/bench/bench_sdl_present --benchmark_filter=Scaled
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/sdl/SdlBackend.h"

namespace {

class BenchForm : public TForm {
public:
    BenchForm() : TForm("TMainForm")
    {
        BorderStyle = TFormBorderStyle::bsNone;
        FormStyle = TFormStyle::fsStayOnTop;
    }
};

// One full-screen window for every benchmark of the run.
struct Screen {
    std::unique_ptr<TApplication> app;
    TForm* form = nullptr;
    std::unique_ptr<TBitmap> picture;

    Screen()
    {
        if (std::getenv("DISPLAY") == nullptr)
            return;
        app = std::make_unique<TApplication>(std::make_unique<TSdlBackend>());
        form = &app->CreateForm<BenchForm>();
        const TScreenSize size = app->Screen();
        form->Width = size.Width;
        form->Height = size.Height;
        form->Show();
        picture = std::make_unique<TBitmap>(size.Width, size.Height);
        for (int y = 0; y < size.Height; ++y)
            for (int x = 0; x < size.Width; ++x)
                picture->ScanLine(y)[x] = static_cast<uint32_t>((x * 7 + y * 3) & 0xFFFFFF);
    }
};

Screen& screen()
{
    static Screen s;
    return s;
}

// count rectangles of side pixels spread over the screen.
std::vector<TRect> spread(int count, int side, int width, int height)
{
    std::vector<TRect> rects;
    for (int i = 0; i < count; ++i) {
        const int x = (i * 397) % std::max(width - side, 1);
        const int y = (i * 211) % std::max(height - side, 1);
        rects.push_back({x, y, x + side, y + side});
    }
    return rects;
}

void presentWholeScreen(benchmark::State& state)
{
    Screen& s = screen();
    if (!s.form) {
        state.SkipWithError("no DISPLAY");
        return;
    }
    const TRect all{0, 0, s.picture->Width(), s.picture->Height()};
    for (auto _ : state)
        s.form->Present(*s.picture, all);
    state.counters["pixels"] = static_cast<double>(all.Width()) * all.Height();
    state.SetLabel(std::to_string(all.Width()) + "x" + std::to_string(all.Height()));
}

// Arguments: number of rectangles, side, one call for all (1) or one each (0).
void presentRectangles(benchmark::State& state)
{
    Screen& s = screen();
    if (!s.form) {
        state.SkipWithError("no DISPLAY");
        return;
    }
    const auto rects = spread(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
        s.picture->Width(), s.picture->Height());
    const bool together = state.range(2) != 0;
    for (auto _ : state) {
        if (together) {
            s.form->Present(*s.picture, rects);
        } else {
            for (const TRect& r : rects)
                s.form->Present(*s.picture, r);
        }
    }
    state.SetLabel(together ? "one call" : "a call each");
}

// The same rectangles on a desktop scaled by range(2): the show is laid out
// at the screen's size divided by the scale and every pixel presented as a
// square; arguments: number of rectangles, side (in show pixels), scale.
void presentRectanglesScaled(benchmark::State& state)
{
    Screen& s = screen();
    if (!s.form) {
        state.SkipWithError("no DISPLAY");
        return;
    }
    const int scale = static_cast<int>(state.range(2));
    const TBitmap small(s.picture->Width() / scale, s.picture->Height() / scale);
    const auto rects = spread(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), small.Width(),
        small.Height());
    s.form->PixelScale = scale;
    for (auto _ : state)
        s.form->Present(small, rects);
    s.form->PixelScale = 1;
    state.SetLabel("scale " + std::to_string(scale));
}

}  // namespace

BENCHMARK(presentRectanglesScaled)->Args({10, 64, 1})->Args({10, 64, 2})->Args({10, 64, 3})->Unit(benchmark::kMicrosecond);
BENCHMARK(presentWholeScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(presentRectangles)
    ->Args({1, 64, 1})
    ->Args({10, 64, 1})
    ->Args({10, 64, 0})
    ->Args({50, 64, 1})
    ->Args({10, 256, 1})
    ->Unit(benchmark::kMicrosecond);
