// ThumbnailBench.cpp: sdtool thumbnail of the demo show at 256, as a file
// manager asks for it (load, the busiest step, one step drawn at 1024x768,
// scaled down, the PNG written), and the scaling down alone.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/SysUtils.h"
#include "tools/sdtool/Thumbnail.h"

namespace {

void BM_ThumbnailOfTheDemo(benchmark::State& state)
{
    const auto dir = CreateUniqueTempDirectory("bench-thumbnail-");
    if (!dir) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string out = IncludeTrailingPathDelimiter(*dir) + "demo.png";
    const std::vector<std::string> args = {LURVA_DEMO_SDT, out, "--size", std::to_string(state.range(0))};
    for (auto _ : state)
        if (runThumbnail(args) != 0)
            state.SkipWithError("sdtool thumbnail failed (is the demo built?)");
    std::filesystem::remove_all(*dir);
}
BENCHMARK(BM_ThumbnailOfTheDemo)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_ScaleDown(benchmark::State& state)
{
    const THeadlessPicture screen{1024, 768, std::vector<uint32_t>(1024 * 768, 0x336699)};
    for (auto _ : state)
        benchmark::DoNotOptimize(scaleDown(screen, 256, 192));
}
BENCHMARK(BM_ScaleDown)->Unit(benchmark::kMillisecond);

}  // namespace
