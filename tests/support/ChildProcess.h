// ChildProcess.h: run a piece of a test in a forked child process, start a
// program, read its output by lines, and wait for children without ever
// hanging the test run.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

// Standard streams of a started program that are not a descriptor of ours.
inline constexpr int kInheritStream = -1;  // the test's own
inline constexpr int kNullStream = -2;     // /dev/null

// Starts path (its own argv[0]) with arguments through posix_spawn, standard
// output and error on the given descriptors (or kInheritStream, kNullStream),
// with environment as its whole environment (none: the test's). The child's
// pid, or -1 when it could not be started.
inline pid_t spawnProgram(const std::string& path, const std::vector<std::string>& arguments, int stdoutFd,
    int stderrFd, const std::optional<std::vector<std::string>>& environment = std::nullopt)
{
    std::vector<std::string> all = {path};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = environment.value_or(std::vector<std::string>{});
    std::vector<char*> envp;
    for (std::string& e : envCopy)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int wanted[2] = {stdoutFd, stderrFd};
    const int streams[2] = {STDOUT_FILENO, STDERR_FILENO};
    for (int i = 0; i < 2; ++i) {
        if (wanted[i] != kInheritStream)
            posix_spawn_file_actions_adddup2(&actions, wanted[i] == kNullStream ? devNull : wanted[i], streams[i]);
    }
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environment ? envp.data() : environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (devNull >= 0)
        ::close(devNull);
    return pid;
}

// The next line of what fd (a pipe) delivers, without its line end: from
// buffer first, where the rest of each read stays for the next call. At the
// end of the output, a last line without a line end counts too. Empty
// optional when no line came by the deadline or the output has ended.
inline std::optional<std::string> readLine(int fd, std::string& buffer, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto newline = buffer.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            return line;
        }
        if (fd < 0)
            return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count()))) <= 0)
            return std::nullopt;
        char chunk[256];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0) {
            if (buffer.empty())
                return std::nullopt;
            std::string last;
            last.swap(buffer);
            return last;
        }
        buffer.append(chunk, static_cast<size_t>(got));
    }
}
