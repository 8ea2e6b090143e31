// XTestSupport.h: an Xvfb server of the test's own, a client connection to
// it with screenshots, fake input and the cursor's picture, and a started
// program whose output lines the test reads. Every wait has a limit.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/Environment.h"

// A value for ScopedEnv from a C string that may be null (unset).
inline std::optional<std::string> envValue(const char* value)
{
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// The path of an executable program named name on PATH.
std::optional<std::string> findProgram(const std::string& name);

// An Xvfb on a free display number (it picks one itself: -displayfd),
// -noreset so that the root window keeps what a test paints on it.
class XvfbServer {
public:
    // Whether the Xvfb program is installed at all.
    static bool Available();
    XvfbServer(int width = 1280, int height = 1024, int depth = 24);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Started() const { return !display_.empty(); }
    const std::string& Display() const { return display_; }  // ":N"

private:
    pid_t pid_ = -1;
    std::string display_;
};

// What a client of the test sees on the server.
class XClient {
public:
    explicit XClient(const std::string& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    ::Display* get() const { return display_; }
    bool Connected() const { return display_ != nullptr; }
    ::Window Root() const;

    // The pixels of window (0x00RRGGBB, rows top-down); empty when it cannot be read.
    std::vector<uint32_t> Screenshot(::Window window, int width, int height) const;
    // Top-level windows whose name is name.
    std::vector<::Window> FindTopLevel(const std::string& name) const;
    // Takes the CLIPBOARD selection for this client, holding nothing, so
    // that the next copy another client makes can be waited for.
    void TakeClipboard();
    // Waits until another client takes the CLIPBOARD from this one (it
    // copied), then gives its text (UTF-8). Empty optional when that did not
    // happen within the limit, or the owner gives no text.
    std::optional<std::string> WaitForClipboardText(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // The cursor's picture has any pixel that is not fully transparent.
    bool CursorVisible() const;

    void MovePointer(int x, int y) const;
    void PressKey(const char* keysym) const;
    void ClickButton(unsigned button) const;
    // A plain window of this client, mapped, black.
    ::Window CreateWindow(int x, int y, int width, int height) const;
    void PaintRoot(uint32_t background, uint32_t rectColor, int x, int y, int width, int height) const;

private:
    ::Display* display_ = nullptr;
    ::Window clipboardOwner_ = 0;  // created by TakeClipboard, unmapped
};

// A started program with its standard output read line by line; standard
// error goes to a file the test can read.
class ShowProcess {
public:
    // environment: NAME=VALUE entries that replace or add to this process's;
    // "NAME" alone removes the variable.
    ShowProcess(const std::string& path, const std::vector<std::string>& arguments,
        const std::vector<std::string>& environment);
    ~ShowProcess();  // kills the program if it still runs
    ShowProcess(const ShowProcess&) = delete;
    ShowProcess& operator=(const ShowProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Reads lines until one equals line (or starts with it, when prefix);
    // returns every line read on the way, that one last. Empty optional when
    // it did not come within the limit or the output ended.
    std::optional<std::vector<std::string>> WaitForLine(const std::string& line, bool prefix = false,
        std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Every line the program writes from now until it ends (within the limit).
    std::vector<std::string> RestOfOutput(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Exit status; -1 when it did not end within the limit (it is then killed).
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(20));
    void Signal(int signal) const;
    std::string Stderr() const;

private:
    std::optional<std::string> ReadLine(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::string stderrPath_;
};
