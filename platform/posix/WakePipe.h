// WakePipe.h: a self-pipe that wakes a poll()ing message loop from another
// thread or from a signal handler, and the close request that SIGTERM and
// SIGINT turn into.
#pragma once

#include <csignal>

// Both ends non-blocking and closed on exec.
class TWakePipe {
public:
    TWakePipe();  // raises Exception when no pipe can be made
    ~TWakePipe();
    TWakePipe(const TWakePipe&) = delete;
    TWakePipe& operator=(const TWakePipe&) = delete;

    // The end to poll for reading.
    int ReadFd() const { return read_; }
    int WriteFd() const { return write_; }
    // Async-signal-safe and thread-safe.
    void Wake() const;
    // Empties the pipe; true when anything was in it.
    bool Drain() const;

private:
    int read_ = -1;
    int write_ = -1;
};

// While an instance lives, SIGTERM and SIGINT do not end the process: they
// set a flag and wake the pipe, and the message loop closes the show through
// its normal close. A second signal before the first was taken ends the
// process the default way (someone means it). One instance at a time.
class TCloseSignals {
public:
    explicit TCloseSignals(const TWakePipe& pipe);
    ~TCloseSignals();  // restores the handlers that were there before
    TCloseSignals(const TCloseSignals&) = delete;
    TCloseSignals& operator=(const TCloseSignals&) = delete;

    // The signal number that asked for the close (0: none); clears it.
    int TakeRequest();

private:
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};
