// Interrupt.cpp: the noting signal handlers.
#include "tools/sdtool/Interrupt.h"

#include <csignal>
#include <string>

namespace {

volatile std::sig_atomic_t pendingSignal = 0;

extern "C" void noteSignal(int signal)
{
    pendingSignal = signal;
}

}  // namespace

Interrupted::Interrupted(int signal)
    : std::runtime_error(std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM")), signal_(signal)
{
}

void installInterruptHandlers()
{
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes carry on; the next step between them sees the signal.
    // A second signal ends the process at once, should a step never end
    // (a read from a pipe that stays silent).
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void throwIfInterrupted()
{
    if (const int signal = pendingSignal; signal != 0)
        throw Interrupted(signal);
}
