// GtkBackend.h: forms as GTK 3 windows with native controls, for the
// settings dialog on Linux. GTK's main context is iterated from the
// application's message loop; GTK callbacks only post to that loop.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/Backend.h"

class TGtkBackend : public TPlatformBackend {
public:
    // Initialises GTK; none when it cannot open a display.
    static std::unique_ptr<TGtkBackend> Open();
    ~TGtkBackend() override;

    const char* Name() const override { return "gtk"; }
    void Attach(TApplication& app) override { app_ = &app; }
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& form) override;
    bool WindowClassExists(const std::string& className) override;
    int64_t NowMs() override;
    void WaitEvents(std::optional<int64_t> deadlineMs) override;
    void Wakeup() override;
    // A modal GtkMessageDialog over the topmost window.
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
    // Opens the help file with the desktop's viewer (xdg-open), which knows
    // no topics; a missing file is named in a message box.
    void ShowHelp(const std::string& helpFile, int context) override;
    TScreenSize ScreenSize() override;
    // The dialogs leave the pointer alone; only the show window hides it.
    void SetCursorVisible(bool /*visible*/) override {}
    // No desktop image: the show window (another backend) takes it.
    bool CopyDesktop(TBitmap& /*dest*/, int /*left*/, int /*top*/) override { return false; }

    class Window;
    class View;

private:
    TGtkBackend() = default;
    // The topmost visible window of this backend (a GtkWidget), for message
    // boxes to sit on; null when none is shown yet.
    void* TopWindow() const;

    TApplication* app_ = nullptr;
    std::atomic<bool> woken_{false};
    std::vector<Window*> windows_;  // in creation order
};
