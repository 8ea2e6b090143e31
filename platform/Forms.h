// Forms.h: the application object, forms with their event handlers, and the
// timer. Every handler runs on the user-interface thread, one at a time,
// inside the framework's error handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/DialogView.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"

using TShiftState = uint32_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;

// Virtual key codes (the Windows values).
constexpr uint16_t vkReturn = 0x0D;
constexpr uint16_t vkEscape = 0x1B;
constexpr uint16_t vkSpace = 0x20;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum class TFormStyle { fsNormal, fsStayOnTop };
enum class TPosition { poDesigned, poScreenCenter };

class TApplication;
class TTimer;

// A top-level window. Subclasses override the handlers they need; the
// platform class name of the window is the one given here.
class TForm {
public:
    explicit TForm(std::string className);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    const std::string& ClassName() const { return className_; }

    // Window properties, taken when the window is shown.
    std::string Caption;
    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
    TFormStyle FormStyle = TFormStyle::fsNormal;
    TPosition Position = TPosition::poDesigned;
    bool KeyPreview = false;  // the form sees every key, whatever has the focus
    int Left = 0;
    int Top = 0;
    int Width = 320;
    int Height = 240;
    // Each pixel of a presented bitmap is shown as a PixelScale x PixelScale
    // square of the window (whose bounds above are the window's own pixels).
    int PixelScale = 1;
    int HelpContext = 0;  // the help topic of the form, 0 for none

    // Shows the window (the message loop does this for the main form).
    void Show();
    // Runs FormClose, then destroys the window; closing the main form ends
    // the message loop. Later events and further Close calls do nothing.
    void Close();
    bool Closed() const { return closed_; }
    bool Shown() const { return shown_; }

    // Copies rect of bitmap to the same place in the window.
    void Present(const TBitmap& bitmap, const TRect& rect);
    // Copies each of the rectangles, in one go where the windowing system can.
    void Present(const TBitmap& bitmap, const std::vector<TRect>& rects);
    void Invalidate();
    void BringToFront();
    // Key presses reach the window as plain key events, never through an
    // input method's composition.
    void DisableInputMethod();

    // Called by backends, one event at a time on the UI thread.
    void DispatchPaint();
    void DispatchKeyDown(uint16_t key, TShiftState shift);
    void DispatchClick();
    void DispatchMouseMove(TShiftState shift, int x, int y);
    // The window was given a new size by whoever owns it (a host's window
    // that the form draws into); Width and Height hold it already.
    void DispatchResize(int width, int height);
    // A click on one of the form's controls (by component name), from its view.
    void DispatchControlClick(const std::string& control);

protected:
    // The window exists, FormCreate has not run yet: the place to build the
    // form's controls. An Exception here keeps the form from opening.
    virtual void Loaded() {}
    // Builds the controls of resource into the window; the view goes with the
    // window. None when the backend shows no controls (no display).
    TDialogView* CreateControls(const TDialogResource& resource);

    virtual void FormCreate() {}
    virtual void FormPaint() {}
    virtual void FormKeyDown(uint16_t /*key*/, TShiftState /*shift*/) {}
    virtual void FormClick() {}
    virtual void FormMouseMove(TShiftState /*shift*/, int /*x*/, int /*y*/) {}
    virtual void FormResize() {}
    virtual void FormClose() {}
    virtual void ControlClick(const std::string& /*control*/) {}

private:
    friend class TApplication;
    void Guarded(const std::function<void()>& handler);

    std::string className_;
    TApplication* app_ = nullptr;  // set by CreateForm
    std::unique_ptr<TNativeWindow> window_;
    bool shown_ = false;
    bool closing_ = false;
    bool closed_ = false;
};

// Calls OnTimer every Interval milliseconds on the UI thread while Enabled.
// A late tick is not caught up. An Exception escaping OnTimer is shown in the
// error box and the timer keeps running. Needs the application to exist.
class TTimer {
public:
    explicit TTimer(TForm* owner = nullptr);  // no ticks once owner has closed
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t milliseconds);  // restarts the wait; 0 stops the ticks
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);            // enabling restarts the wait

    std::function<void()> OnTimer;

private:
    friend class TApplication;
    void Restart();

    TApplication* app_;
    TForm* owner_;
    uint32_t interval_ = 1000;
    bool enabled_ = true;
    bool firing_ = false;
    int64_t due_ = 0;
};

class TApplication {
public:
    // Becomes the global Application until destroyed. While it lives,
    // ShowMessage goes to its backend's box with the title as caption.
    explicit TApplication(std::unique_ptr<TPlatformBackend> backend);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    void Initialize() {}
    // The command line as the platform split it, the program name first.
    void SetArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
    // Argument index (0: the program); "" past the end.
    std::string ParamStr(size_t index) const { return index < arguments_.size() ? arguments_[index] : std::string(); }
    // How many arguments follow the program name.
    size_t ParamCount() const { return arguments_.empty() ? 0 : arguments_.size() - 1; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }
    const std::string& HelpFile() const { return helpFile_; }
    void SetHelpFile(const std::string& helpFile) { helpFile_ = helpFile; }

    // Takes the form and makes its window; then runs its FormCreate inside
    // the error handler (an Exception is shown and the form lives on). The
    // first form created, or the first after the main form closed, becomes
    // the main form. Raises Exception when no window can be made.
    TForm& CreateForm(std::unique_ptr<TForm> form);
    template <class T, class... Args>
    T& CreateForm(Args&&... args)
    {
        return static_cast<T&>(CreateForm(std::make_unique<T>(std::forward<Args>(args)...)));
    }
    TForm* MainForm() const { return mainForm_; }

    // Shows the main form and handles events until it closes or Terminate is
    // called. Returns at once when there is no open main form.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Runs the posted callbacks and the due timer ticks, without waiting.
    void ProcessMessages();
    // Thread-safe: callback runs on the UI thread, inside the error handler.
    void Post(std::function<void()> callback);

    // The standard error box: the message, a stop icon, the title as caption.
    void ShowException(const Exception& e);
    // Runs handler inside the error handler.
    void HandleEvent(const std::function<void()>& handler);
    // Shows the help topic of HelpFile.
    void HelpContext(int context);

    // The cursor display counter: the cursor shows while it is 0 or more.
    // Returns the new count.
    int ShowCursor(bool show);
    TScreenSize Screen() { return backend_->ScreenSize(); }
    bool WindowClassExists(const std::string& className) { return backend_->WindowClassExists(className); }
    std::vector<TMonitor> Monitors() { return backend_->Monitors(); }
    bool CopyDesktop(TBitmap& dest, int left = 0, int top = 0) { return backend_->CopyDesktop(dest, left, top); }

    int64_t NowMs() { return backend_->NowMs(); }
    // When the next timer tick is due; none when no timer runs.
    std::optional<int64_t> NextTimerDue() const;
    TPlatformBackend& Backend() { return *backend_; }

private:
    friend class TTimer;
    friend class TForm;
    void FireDueTimers();

    std::unique_ptr<TPlatformBackend> backend_;
    std::string title_;
    std::string helpFile_;
    std::vector<std::string> arguments_;
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    std::vector<TTimer*> timers_;
    bool terminated_ = false;
    int cursorCount_ = 0;
    // Callbacks posted from any thread: a lock-free stack, newest first,
    // that the UI thread takes whole (std::mutex is not in every toolchain).
    struct PostedCall {
        std::function<void()> callback;
        PostedCall* next = nullptr;
    };
    std::atomic<PostedCall*> posted_{nullptr};
    ShowMessageHandler previousShowMessage_;
};

// The application object of the process; none outside a TApplication's life.
extern TApplication* Application;

// Whether a top-level window of className exists (this process or another).
bool FindTopLevelWindow(const std::string& className);
