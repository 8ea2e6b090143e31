// TestMain.cpp: the tests' entry point, and the shared helpers' bodies.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>

#include "support/TestSupport.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {
// Plain "\n" line ends on standard output (test discovery parses the test
// list), and no error box that would wait for a click when a test crashes.
void prepareWindowsTestRun()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

// HKEY_CURRENT_USER of this test process is a key of its own, so tests see
// neither the user's settings nor those of tests running in parallel.
class RegistryIsolation {
public:
    RegistryIsolation()
        : path_(L"Software\\LurvaTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()))
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                            nullptr) != ERROR_SUCCESS ||
            RegOverridePredefKey(HKEY_CURRENT_USER, root_) != ERROR_SUCCESS) {
            std::fprintf(stderr, "tests: cannot isolate HKEY_CURRENT_USER\n");
            std::exit(2);
        }
    }
    ~RegistryIsolation()
    {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\LurvaTests");  // once no other test process uses it
    }
    RegistryIsolation(const RegistryIsolation&) = delete;
    RegistryIsolation& operator=(const RegistryIsolation&) = delete;

private:
    std::wstring path_;
    HKEY root_ = nullptr;
};
}  // namespace
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
#ifdef _WIN32
    prepareWindowsTestRun();
    const RegistryIsolation registry;
#endif
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
