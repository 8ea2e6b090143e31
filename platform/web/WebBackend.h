// WebBackend.h: the show window in a browser page. Time moves only when the
// page says so (AdvanceTime, from its own timer), and the window's picture is
// an RGBA buffer the page copies to a canvas, only the rectangles that were
// presented since it last looked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"

class TWebBackend : public TPlatformBackend {
public:
    // A screen of width x height pixels; the desktop (background mode 1) is
    // desktopColor all over, as nothing of the page lies behind the show.
    TWebBackend(int width, int height, uint32_t desktopColor);
    ~TWebBackend() override;

    // -- what the page drives --
    // Moves the clock on, running every tick due on the way at its own time.
    void AdvanceTime(int64_t milliseconds);
    // The picture of the show window (the last one made): R, G, B, A bytes,
    // rows top-down, Width() * 4 bytes a row; null before a window exists.
    const uint8_t* Pixels() const;
    int PictureWidth() const;
    int PictureHeight() const;
    // The rectangles presented since the last call (clipped to the picture),
    // taken: the page copies exactly these.
    std::vector<TRect> TakeChangedRects();
    // The texts of the message boxes shown so far, oldest first.
    const std::vector<std::string>& Messages() const { return messages_; }

    // -- the backend --
    const char* Name() const override { return "web"; }
    void Attach(TApplication& app) override { app_ = &app; }
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& form) override;
    bool WindowClassExists(const std::string& className) override;
    int64_t NowMs() override { return now_; }
    void WaitEvents(std::optional<int64_t> deadlineMs) override;
    void Wakeup() override { woken_ = true; }
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
    void ShowHelp(const std::string& /*helpFile*/, int /*context*/) override {}
    TScreenSize ScreenSize() override { return screen_; }
    void SetCursorVisible(bool /*visible*/) override {}
    // One colour all over: any corner of it looks the same. The page lays the
    // show out at one pixel a CSS pixel and enlarges it itself, so windows
    // keep PixelScale 1.
    bool CopyDesktop(TBitmap& dest, int left, int top) override;

private:
    class Window;
    friend class Window;

    TApplication* app_ = nullptr;
    TScreenSize screen_;
    uint32_t desktopColor_;
    int64_t now_ = 0;
    bool woken_ = false;
    std::vector<Window*> windows_;  // in creation order
    std::vector<std::string> messages_;
};
