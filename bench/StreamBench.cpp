// StreamBench.cpp: cost of the data file stream's byte-by-byte reads and of
// extracting files under numbered names.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "config/CData.h"
#include "datafile/CQDFileStream.h"
#include "platform/SysUtils.h"

namespace {
// A folder of the benchmark's own, removed at exit.
struct ScratchFolder {
    std::string path = CreateUniqueTempDirectory("lurva-bench-").value();
    ~ScratchFolder() { std::filesystem::remove_all(path); }
};

const std::string& scratchFolder()
{
    static const ScratchFolder folder;
    return folder.path;
}

// A file of count path points (two doubles each) and count delta integers.
std::string makeStreamFile(int count)
{
    const std::string path = scratchFolder() + "/points.bin";
    TQDFileStream out(path, fmCreate);
    for (int i = 0; i < count; ++i) {
        out.writeDouble(i / 600.0);
        out.writeDouble(1.0 - i / 600.0);
        out.writeDelta(static_cast<uint32_t>(i * 37));
    }
    return path;
}

// One show's worth of path points: the loaders read them value by value.
void BM_ReadPathPoints(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string path = makeStreamFile(count);
    for (auto _ : state) {
        TQDFileStream in(path, fmOpenRead);
        in.init();
        double sum = 0;
        for (int i = 0; i < count; ++i) {
            sum += in.readDouble() + in.readDouble();
            sum += in.readDelta();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ReadPathPoints)->Arg(600)->Arg(60000);

// Extraction into a work directory holding `present` files of the same name.
void BM_WriteStreamToFile(benchmark::State& state)
{
    const auto present = static_cast<int>(state.range(0));
    const std::string dir = scratchFolder() + "/work" + std::to_string(present) + "/";
    setWorkDirOverride(dir);
    getWorkDir();
    TMemoryStream source(std::vector<uint8_t>(4096, 0x42));
    for (int i = 0; i < present; ++i) {
        source.SetPosition(0);
        writeStreamToFile(source, dir + "back.bmp", 4096);
    }
    for (auto _ : state) {
        source.SetPosition(0);
        const std::string written = writeStreamToFile(source, dir + "back.bmp", 4096);
        state.PauseTiming();
        DeleteFile(written);
        state.ResumeTiming();
    }
    deleteFilesIn(dir);
    RemoveDir(dir);
    setWorkDirOverride(std::nullopt);
}
BENCHMARK(BM_WriteStreamToFile)->Arg(0)->Arg(999);
}  // namespace
