// TestMain.cpp: the tests' entry point, and the shared helpers' bodies.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>

#include "support/TestSupport.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

// Plain "\n" line ends on standard output (test discovery parses the test
// list), and no error box that would wait for a click when a test crashes.
static void prepareWindowsTestRun()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}
#endif

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

std::string TempDir::str() const
{
    const std::u8string text = path_.u8string();
    return std::string(text.begin(), text.end());
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

int main(int argc, char** argv)
{
#ifdef _WIN32
    prepareWindowsTestRun();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
