// WakeSignal.cpp: the wake signal on a Win32 auto-reset event.
#include "platform/WakeSignal.h"

#include <windows.h>

#include <algorithm>

struct TWakeSignal::Impl {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ~Impl() { CloseHandle(event); }
};

TWakeSignal::TWakeSignal() : impl_(std::make_unique<Impl>()) {}

TWakeSignal::~TWakeSignal() = default;

void TWakeSignal::Wake()
{
    SetEvent(impl_->event);
}

bool TWakeSignal::TakeWake()
{
    return WaitForSingleObject(impl_->event, 0) == WAIT_OBJECT_0;
}

bool TWakeSignal::Wait(std::optional<int64_t> timeoutMs)
{
    // INFINITE is the largest DWORD: a longer finite wait stops just short of it.
    const DWORD wait = timeoutMs ? static_cast<DWORD>(std::clamp<int64_t>(*timeoutMs, 0, INFINITE - 1)) : INFINITE;
    return WaitForSingleObject(impl_->event, wait) == WAIT_OBJECT_0;
}
