// WakeSignal.cpp: the wake signal on a mutex and a condition variable.
#include "platform/WakeSignal.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

struct TWakeSignal::Impl {
    std::mutex mutex;
    std::condition_variable signal;
    bool woken = false;
};

TWakeSignal::TWakeSignal() : impl_(std::make_unique<Impl>()) {}

TWakeSignal::~TWakeSignal() = default;

void TWakeSignal::Wake()
{
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->woken = true;
    }
    impl_->signal.notify_all();
}

bool TWakeSignal::TakeWake()
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const bool woken = impl_->woken;
    impl_->woken = false;
    return woken;
}

bool TWakeSignal::Wait(std::optional<int64_t> timeoutMs)
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    const auto woken = [this] { return impl_->woken; };
    if (timeoutMs)
        impl_->signal.wait_for(lock, std::chrono::milliseconds(std::max<int64_t>(*timeoutMs, 0)), woken);
    else
        impl_->signal.wait(lock, woken);
    const bool result = impl_->woken;
    impl_->woken = false;
    return result;
}
