// WakeSignal.cpp: the wake signal of a page, which has one thread and never
// blocks it: a wake is a flag, and a wait only takes it.
#include "platform/WakeSignal.h"

#include <utility>

struct TWakeSignal::Impl {
    bool woken = false;
};

TWakeSignal::TWakeSignal() : impl_(std::make_unique<Impl>()) {}

TWakeSignal::~TWakeSignal() = default;

void TWakeSignal::Wake()
{
    impl_->woken = true;
}

bool TWakeSignal::TakeWake()
{
    return std::exchange(impl_->woken, false);
}

bool TWakeSignal::Wait(std::optional<int64_t> /*timeoutMs*/)
{
    return TakeWake();
}
