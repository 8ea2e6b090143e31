// Interrupt.h: SIGINT and SIGTERM during a long command. The handlers only
// note the signal; the work checks for it between its steps and unwinds with
// Interrupted, so every destructor on the way removes what the run made.
#pragma once

#include <stdexcept>

// Raised by throwIfInterrupted once a signal has come.
class Interrupted : public std::runtime_error {
public:
    explicit Interrupted(int signal);
    int signal() const { return signal_; }
    int exitStatus() const { return 128 + signal_; }

private:
    int signal_;
};

// Installs the noting handlers for SIGINT and SIGTERM (once per process); a
// second signal of the same kind takes its default course.
void installInterruptHandlers();
// Interrupted when a signal has come since the handlers were installed.
void throwIfInterrupted();
