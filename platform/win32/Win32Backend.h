// Win32Backend.h: the forms as Win32 windows of their own class names, and the
// message loop of the Windows module.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Backend.h"

// One backend serves the UI thread that made it; every window of that thread
// (the player's message window included) gets its messages through WaitEvents.
class TWin32Backend final : public TPlatformBackend {
public:
    TWin32Backend();
    ~TWin32Backend() override;

    const char* Name() const override { return "win32"; }
    void Attach(TApplication& app) override;
    // Raises Exception when the window cannot be made (under wine: no display).
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& form) override;
    // FindWindowA on the class name: windows of other programs of the class count too.
    bool WindowClassExists(const std::string& className) override;
    int64_t NowMs() override;
    void WaitEvents(std::optional<int64_t> deadlineMs) override;
    void Wakeup() override;
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
    void ShowHelp(const std::string& helpFile, int context) override;
    TScreenSize ScreenSize() override;
    // Every monitor of the virtual screen, each with its own DPI.
    std::vector<TMonitor> Monitors() override;
    void SetCursorVisible(bool visible) override;
    bool CopyDesktop(TBitmap& dest, int left, int top) override;

    // The window of the form, none when it has none (tests).
    HWND WindowOf(const TForm& form) const;

private:
    class Window;
    friend class Window;

    // Dispatches what is queued; true when any message was dispatched.
    bool DispatchPending();
    bool PreTranslate(MSG& message);
    // The newest window still open, the owner of message boxes.
    HWND NewestWindow() const;

    TApplication* app_ = nullptr;
    HANDLE wakeEvent_ = nullptr;  // set by Wakeup from any thread
    std::vector<Window*> windows_;  // in creation order
};
