// Backend.h: the seam between the portable event model of Forms.h and a
// windowing system (headless, SDL, Win32). One backend serves a process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DialogView.h"

class TApplication;
class TBitmap;
class TForm;
struct TRect;

enum class TMessageKind {
    Information,  // ShowMessage: the text and an OK button
    Error,        // the framework's error box: the text, a stop icon
};

// Writes what a box says to standard error as well, as one line
// "lurva: text" ("lurva: error: text" for the error box): a show may run
// where nobody sees its boxes, and a script reads them there.
void PrintMessageBoxText(const std::string& text, TMessageKind kind);

struct TScreenSize {
    int Width = 0;
    int Height = 0;
};

// One monitor of the desktop, in the desktop's physical pixels.
struct TMonitor {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Primary = false;
    int Dpi = 0;  // the desktop's scale as dots per inch (96 is 100 %); 0 when not known
};

// The native side of one form. Made when the form is created, before its
// FormCreate runs (from then on the class-name lookup finds it), shown when
// the message loop starts, destroyed when the form closes.
class TNativeWindow {
public:
    TNativeWindow() = default;
    TNativeWindow(const TNativeWindow&) = delete;
    TNativeWindow& operator=(const TNativeWindow&) = delete;
    virtual ~TNativeWindow() = default;

    // Maps the window with the form's current properties (bounds, border, topmost).
    virtual void Show() = 0;
    // Copies rect of bitmap to the same place in the window, clipped to both.
    virtual void Present(const TBitmap& bitmap, const TRect& rect) = 0;
    // The same for several rectangles at once (a windowing system that can
    // show them in one go does so).
    virtual void PresentRects(const TBitmap& bitmap, const TRect* rects, size_t count);
    // Asks for a FormPaint soon.
    virtual void Invalidate() = 0;
    virtual void BringToFront() = 0;
    // Turns the input method off for this window; nothing where there is none.
    virtual void DisableInputMethod() {}
    // Builds the form's controls into the window and returns their view, which
    // lives as long as the window. None when this backend has no controls.
    virtual TDialogView* CreateControls(const TDialogResource& /*resource*/) { return nullptr; }
};

// Names here avoid the ones <windows.h> turns into macros (FindWindow, MessageBox).
class TPlatformBackend {
public:
    TPlatformBackend() = default;
    TPlatformBackend(const TPlatformBackend&) = delete;
    TPlatformBackend& operator=(const TPlatformBackend&) = delete;
    virtual ~TPlatformBackend() = default;

    virtual const char* Name() const = 0;
    // Called by the application that takes the backend: events go to its forms.
    virtual void Attach(TApplication& app) = 0;

    // Raises Exception when no window can be made.
    virtual std::unique_ptr<TNativeWindow> CreateNativeWindow(TForm& form) = 0;
    // Whether a top-level window of that class exists, in this or any other process.
    virtual bool WindowClassExists(const std::string& className) = 0;
    // Whether the show draws into a window that another program owns (a
    // screen saver host's) instead of a top-level window of its own.
    virtual bool DrawsIntoHostWindow() const { return false; }

    // Milliseconds on the clock timers run by (monotonic; virtual in tests).
    virtual int64_t NowMs() = 0;
    // Blocks until native events were dispatched to the forms, Wakeup was
    // called, or the clock reached deadlineMs (none: no deadline).
    virtual void WaitEvents(std::optional<int64_t> deadlineMs) = 0;
    // Thread-safe: ends the current or next WaitEvents.
    virtual void Wakeup() = 0;

    // Modal: returns when the user has closed the box.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) = 0;
    virtual void ShowHelp(const std::string& helpFile, int context) = 0;
    virtual TScreenSize ScreenSize() = 0;
    // The monitors the desktop spans; by default one, of ScreenSize, at 96 dpi.
    virtual std::vector<TMonitor> Monitors();
    virtual void SetCursorVisible(bool visible) = 0;
    // Copies the desktop as it looks now, from the desktop's (left, top) (the
    // corner of a monitor), into dest at (0, 0) at dest's size. False (dest
    // untouched) when there is no image.
    virtual bool CopyDesktop(TBitmap& dest, int left, int top) = 0;
};
