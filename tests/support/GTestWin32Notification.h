// GTestWin32Notification.h: GoogleTest's thread start signal on a Win32 event,
// for mingw-w64 builds whose thread model has no std::mutex (forced include).
#pragma once

#ifdef _WIN32
#include <windows.h>

namespace testing {
namespace internal {

// The same contract as GoogleTest's own Notification: Notify once from the
// controlling thread; WaitForNotification returns once it was notified.
class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif
