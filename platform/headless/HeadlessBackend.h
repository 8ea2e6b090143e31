// HeadlessBackend.h: forms without a display, for tests and tools: a virtual
// (or real) clock, injected input, message boxes recorded and printed to
// standard error, and the window's picture readable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/Forms.h"
#include "platform/WindowClaims.h"

struct THeadlessBox {
    TMessageKind Kind = TMessageKind::Information;
    std::string Caption;
    std::string Text;
};

// Pixels as TBitmap keeps them (0x00RRGGBB), rows top-down.
struct THeadlessPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t Pixel(int x, int y) const { return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)]; }
};

struct THeadlessHelpRequest {
    std::string HelpFile;
    int Context = 0;
};

class THeadlessBackend : public TPlatformBackend {
public:
    // Virtual: time moves only by AdvanceTime, or when the message loop has
    // nothing to do but wait for the next tick (so a loop runs as fast as the
    // handlers do). Real: the monotonic clock, for programs run without a display.
    enum class TClock { Virtual, Real };
    explicit THeadlessBackend(TClock clock = TClock::Virtual);
    ~THeadlessBackend() override;

    // -- what tests and tools drive --
    void SetScreenSize(int width, int height) { screen_ = {width, height}; }
    // The desktop CopyDesktop copies; none by default.
    void SetDesktopImage(THeadlessPicture picture) { desktop_ = std::move(picture); }
    // Moves the virtual clock on, running every tick due on the way at its own time.
    void AdvanceTime(int64_t milliseconds);
    // Input for the active window (the last created one that is still open).
    void PressKey(uint16_t key, TShiftState shift = 0);
    void Click(int x = 0, int y = 0);
    void MoveMouse(int x, int y, TShiftState shift = 0);
    void RequestPaint();
    // The window manager's close button.
    void RequestClose();

    TForm* ActiveForm() const;
    // What the active window shows (black before anything was presented).
    const THeadlessPicture& WindowPicture() const;
    // How many times anything was presented, over all windows.
    int PresentCount() const { return presentCount_; }
    const std::vector<THeadlessBox>& Boxes() const { return boxes_; }
    const std::vector<THeadlessHelpRequest>& HelpRequests() const { return helpRequests_; }
    bool CursorVisible() const { return cursorVisible_; }

    // -- the backend --
    const char* Name() const override { return "headless"; }
    void Attach(TApplication& app) override { app_ = &app; }
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& form) override;
    bool WindowClassExists(const std::string& className) override { return WindowClassClaimed(className); }
    int64_t NowMs() override;
    void WaitEvents(std::optional<int64_t> deadlineMs) override;
    void Wakeup() override;
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
    void ShowHelp(const std::string& helpFile, int context) override;
    TScreenSize ScreenSize() override { return screen_; }
    void SetCursorVisible(bool visible) override { cursorVisible_ = visible; }
    bool CopyDesktop(TBitmap& dest) override;

private:
    class Window;
    friend class Window;

    TClock clock_;
    TApplication* app_ = nullptr;
    int64_t virtualNow_ = 0;
    std::mutex wakeMutex_;
    std::condition_variable wakeSignal_;
    bool woken_ = false;
    TScreenSize screen_{800, 600};
    std::optional<THeadlessPicture> desktop_;
    std::vector<Window*> windows_;  // in creation order
    std::vector<THeadlessBox> boxes_;
    std::vector<THeadlessHelpRequest> helpRequests_;
    bool cursorVisible_ = true;
    int presentCount_ = 0;
};
