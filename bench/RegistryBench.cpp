// Cost of the settings reads the show makes on every mouse movement.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/CRegManage.h"

namespace {

// A settings file of its own in a fresh directory, removed afterwards.
class ScratchConfig {
public:
    ScratchConfig()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lurva-bench-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    ~ScratchConfig() { std::filesystem::remove_all(dir_); }
    ScratchConfig(const ScratchConfig&) = delete;
    ScratchConfig& operator=(const ScratchConfig&) = delete;

private:
    std::string dir_;
};

void BM_ReadBoolOnTheCachedKey(benchmark::State& state)
{
    ScratchConfig config;
    TRegManage store;
    store.init("rororade");
    store.writeString("main", "filename0", "/home/user/shows/demo.sdt");
    store.writeBool("main", "ignoreMouseMove", true);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.readBool("main", "ignoreMouseMove", false));
}
BENCHMARK(BM_ReadBoolOnTheCachedKey);

// The first read after another process changed the file: one parse.
void BM_ReadBoolAfterTheFileChanged(benchmark::State& state)
{
    ScratchConfig config;
    TRegManage store;
    store.init("rororade");
    TRegManage other;
    other.init("rororade");
    store.writeString("main", "filename0", "/home/user/shows/demo.sdt");
    bool value = false;
    for (auto _ : state) {
        state.PauseTiming();
        value = !value;
        other.writeBool("main", "ignoreMouseMove", value);
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.readBool("main", "ignoreMouseMove", false));
    }
}
BENCHMARK(BM_ReadBoolAfterTheFileChanged);

void BM_WriteBool(benchmark::State& state)
{
    ScratchConfig config;
    TRegManage store;
    store.init("rororade");
    bool value = false;
    for (auto _ : state) {
        value = !value;
        store.writeBool("main", "ignoreMouseMove", value);
    }
}
BENCHMARK(BM_WriteBool);

}  // namespace
