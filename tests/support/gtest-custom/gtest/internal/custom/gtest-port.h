// gtest-port.h: GoogleTest's own hook for local changes (found before its
// empty default): its thread start signal without std::mutex, for mingw-w64
// builds whose thread model has none.
#pragma once

#ifdef _WIN32
#include <atomic>

// Declared here rather than through <windows.h>, whose macros (DeleteFile...)
// must not reach every test source.
extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace testing {
namespace internal {

// The same contract as GoogleTest's own Notification: Notify once from the
// controlling thread; WaitForNotification returns once it was notified. Only
// GoogleTest's own thread helpers use it, which these tests do not.
class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    void WaitForNotification()
    {
        while (!notified_.load())
            Sleep(1);
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif
