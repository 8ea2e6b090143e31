// TestMain.cpp: the tests' entry point, and the shared helpers' bodies.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>

#include "support/TestSupport.h"

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("lurva-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

namespace {
void setEnvironment(const char* name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}
}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Settings and window lookups of this test process live in a directory
    // of its own: tests never see the user's real ones, nor each other's
    // when they run in parallel.
    TempDir isolated;
    const std::string windows = (isolated.path() / "windows").string();
    const std::string config = (isolated.path() / "config").string();
    setEnvironment("LURVA_WINDOW_DIR", windows);
    setEnvironment("XDG_CONFIG_HOME", config);
    return RUN_ALL_TESTS();
}
