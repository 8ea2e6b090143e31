// SdlBackend.h: forms as SDL2 windows on an X11 display: input to the forms'
// handlers, presenting through the window surface (MIT-SHM), the loop waiting
// on the X connection, a wake-up pipe and the timers' deadlines; or, as an
// XScreenSaver hack, drawing into a window that another client owns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Backend.h"
#include "platform/x11/EmbedTarget.h"

// What a form's window does with the form's properties, read when it is shown:
// bounds (Position poScreenCenter centres it on the primary screen), Caption
// (the application title when empty) and:
//  - BorderStyle bsNone: no frame; bsSizeable: resizable.
//  - FormStyle fsStayOnTop: on top of the others; with bsNone as well, the
//    window bypasses the window manager (override-redirect), like screen
//    savers' windows, so no panel covers it.
//  - KeyPreview: the keyboard is grabbed, so every key press reaches the form
//    whatever has the focus.
// Input: a key press is FormKeyDown (Windows virtual key codes), a left-button
// release after a press in the window is FormClick, and a pointer movement is
// FormMouseMove only when the pointer's position changed (X reports the
// pointer entering a window that maps under it as a motion: that is not a
// movement). An embedded window gets no input: its owner ends the show with
// SIGTERM. SIGTERM and SIGINT close the main form (FormClose runs); so does
// the embedding window's destruction. When its host resizes the embedding
// window, the form gets FormResize with the new size (ScreenSize tells it too).
class TSdlBackend final : public TPlatformBackend {
public:
    // Starts SDL's video (the X11 driver unless SDL_VIDEODRIVER names
    // another); raises Exception with SDL's reason when it cannot. The first
    // window created draws into embed's window when it names one.
    explicit TSdlBackend(const TEmbedTarget& embed = {});
    ~TSdlBackend() override;

    const char* Name() const override { return "sdl"; }
    void Attach(TApplication& app) override;
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& form) override;
    bool WindowClassExists(const std::string& className) override;
    bool DrawsIntoHostWindow() const override { return Embedded(); }
    int64_t NowMs() override;
    void WaitEvents(std::optional<int64_t> deadlineMs) override;
    void Wakeup() override;
    // Always printed on standard error as well; a dialog box unless embedded
    // (a hack's boxes could appear over the daemon's lock screen).
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
    void ShowHelp(const std::string& helpFile, int context) override;
    // The primary screen's size; embedded, the size of the window drawn into.
    TScreenSize ScreenSize() override;
    // The RandR monitors with the desktop's Xft.dpi; embedded, the window.
    std::vector<TMonitor> Monitors() override;
    // Ignored when embedded: the cursor belongs to the window's owner.
    void SetCursorVisible(bool visible) override;
    bool CopyDesktop(TBitmap& dest, int left, int top) override;

    bool Embedded() const;
    // The pixel format of the window surfaces (an SDL_PIXELFORMAT_* value);
    // 0 before a window was shown.
    uint32_t SurfaceFormat() const { return surfaceFormat_; }

private:
    class Window;
    struct State;
    friend class Window;

    bool DrainEvents();
    void Dispatch(const void* event);
    Window* WindowById(uint32_t id) const;
    Window* InputWindow() const;
    void TakeCloseRequests();
    // The host gave the window drawn into a new size: the form lays itself out anew.
    void HostWindowResized(int width, int height);
    void CloseMainForm();

    std::unique_ptr<State> state_;
    uint32_t surfaceFormat_ = 0;
};

// Windows virtual key code of an SDL key code; 0 for keys without one.
uint16_t VirtualKeyOfSdlKey(int32_t sdlKey);
