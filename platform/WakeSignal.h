// WakeSignal.h: lets one thread sleep until another wakes it or a time
// passes (std::mutex is not in every toolchain this builds with).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

class TWakeSignal {
public:
    TWakeSignal();
    ~TWakeSignal();
    TWakeSignal(const TWakeSignal&) = delete;
    TWakeSignal& operator=(const TWakeSignal&) = delete;

    // Thread-safe: the current or next wait returns; wakes before it count once.
    void Wake();
    // Whether a wake is pending, taking it; never waits.
    bool TakeWake();
    // Waits for a wake at most timeoutMs (none: for as long as it takes) and
    // takes it. Returns whether it was woken.
    bool Wait(std::optional<int64_t> timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
