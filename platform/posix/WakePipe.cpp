// WakePipe.cpp: the self-pipe and the close-request signal handlers.
#include "platform/posix/WakePipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Exceptions.h"

namespace {

// A signal handler has no other way to find its pipe and to leave a note:
// these two are the whole shared state, written only while an instance of
// TCloseSignals lives.
volatile sig_atomic_t gCloseRequest = 0;
volatile sig_atomic_t gWakeFd = -1;

extern "C" void onCloseSignal(int signal)
{
    const int savedErrno = errno;
    if (gCloseRequest != 0) {
        // The first request was not taken yet: the loop is stuck, so end the
        // process the way the signal normally does.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    gCloseRequest = signal;
    if (gWakeFd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(gWakeFd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

TWakePipe::TWakePipe()
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        throw Exception(std::string("cannot make a wake-up pipe: ") + std::strerror(errno));
    read_ = ends[0];
    write_ = ends[1];
}

TWakePipe::~TWakePipe()
{
    ::close(read_);
    ::close(write_);
}

void TWakePipe::Wake() const
{
    // A full pipe already wakes the reader: losing this byte loses nothing.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(write_, &byte, 1);
}

bool TWakePipe::Drain() const
{
    bool any = false;
    char buffer[64];
    for (;;) {
        const ssize_t got = ::read(read_, buffer, sizeof buffer);
        if (got > 0) {
            any = true;
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return any;
    }
}

TCloseSignals::TCloseSignals(const TWakePipe& pipe)
{
    gCloseRequest = 0;
    gWakeFd = pipe.WriteFd();
    struct sigaction action {};
    action.sa_handler = onCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking poll returns at once
    ::sigaction(SIGTERM, &action, &previousTerm_);
    ::sigaction(SIGINT, &action, &previousInt_);
}

TCloseSignals::~TCloseSignals()
{
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    ::sigaction(SIGINT, &previousInt_, nullptr);
    gWakeFd = -1;
    gCloseRequest = 0;
}

int TCloseSignals::TakeRequest()
{
    const int request = gCloseRequest;
    gCloseRequest = 0;
    return request;
}
