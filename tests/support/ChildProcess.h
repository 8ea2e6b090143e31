// ChildProcess.h: run a piece of a test in a forked child process, and wait
// for children without ever hanging the test run.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

// Runs body in a child; the child exits 0 when body returns, 1 when it throws.
inline pid_t forkChild(const std::function<void()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            body();
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    return pid;
}

// The child's exit status (0..255), 128 + signal when a signal ended it, or
// -1 when it did not end within the limit (it is then killed).
inline int waitChild(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
