// HeadlessBackend.h: forms without a display, for tests and tools: a virtual
// (or real) clock, injected input, message boxes recorded and printed to
// standard error, and the window's picture readable.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/DialogView.h"
#include "platform/Forms.h"
#include "platform/WakeSignal.h"
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

// The controls of a headless window, with the test as the user: it clicks,
// types, moves the focus, presses Enter or Esc, and answers the file-open
// dialog. Keys and clicks behave as the resource says (default and cancel
// buttons, read-only edits).
class THeadlessDialogView : public TDialogView {
public:
    THeadlessDialogView(TForm& form, TDialogResource resource);

    std::string Text(const std::string& control) const override;
    void SetText(const std::string& control, const std::string& text) override;
    bool Checked(const std::string& control) const override;
    void SetChecked(const std::string& control, bool checked) override;
    // Takes the next answer given with AnswerOpenDialog (none left: cancelled).
    std::optional<std::string> RunOpenDialog(const TOpenDialog& dialog) override;

    // -- the user --
    // Clicks a button, or a check box (which toggles first).
    void Click(const std::string& control);
    // Replaces the text of an edit box as typing would; false, and nothing
    // changes, when the box is read-only.
    bool Type(const std::string& control, const std::string& text);
    void Focus(const std::string& control);
    // The control with the focus: at first the first of the tab sequence.
    const std::string& Focused() const { return focused_; }
    // Enter clicks the focused button, or the default button when the focus is
    // on no button; Esc clicks the cancel button. False when the key clicked
    // nothing (the form then gets it).
    bool PressKey(uint16_t key);
    // The user's answer to the next file-open dialog: a path to confirm, or
    // none to cancel. A path that does not exist is refused, as the real
    // dialog does when the file must exist, and the next answer is taken.
    void AnswerOpenDialog(std::optional<std::string> answer) { answers_.push_back(std::move(answer)); }
    // The settings of every file-open dialog run, in order.
    const std::vector<TOpenDialog>& OpenDialogRuns() const { return openDialogRuns_; }
    // Answers that were given and not used yet.
    size_t PendingAnswers() const { return answers_.size(); }
    const TControlResource& Resource(const std::string& control) const;

private:
    struct Control {
        TControlResource resource;
        std::string text;
        bool checked = false;
    };
    Control& Find(const std::string& control);
    const Control& Find(const std::string& control) const;

    TForm& form_;
    std::vector<Control> controls_;
    std::string focused_;
    std::deque<std::optional<std::string>> answers_;
    std::vector<TOpenDialog> openDialogRuns_;
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
    // Windows stand for a host's window drawn into, as a screen saver hack's.
    void SetDrawsIntoHostWindow(bool hosted) { hosted_ = hosted; }
    // The host gives its window a new size: the screen takes it, and every
    // open window gets FormResize.
    void ResizeHostWindow(int width, int height);
    // The monitors Monitors gives; none (the default): one of the screen's size.
    void SetMonitors(std::vector<TMonitor> monitors) { monitors_ = std::move(monitors); }
    // The desktop CopyDesktop copies; none by default.
    void SetDesktopImage(THeadlessPicture picture) { desktop_ = std::move(picture); }
    // Moves the virtual clock on, running every tick due on the way at its own time.
    void AdvanceTime(int64_t milliseconds);
    // Input for the active window (the last created one that is still open);
    // keys go to its controls first.
    void PressKey(uint16_t key, TShiftState shift = 0);
    void Click(int x = 0, int y = 0);
    void MoveMouse(int x, int y, TShiftState shift = 0);
    void RequestPaint();
    // The window manager's close button.
    void RequestClose();

    TForm* ActiveForm() const;
    // The controls of the active window; none when it has none. Only a
    // backend on the virtual clock builds controls: a program running without
    // a display has nobody to answer them.
    THeadlessDialogView* DialogView() const;
    // What the active window shows (black before anything was presented).
    const THeadlessPicture& WindowPicture() const;
    // What the window of form shows; none when it has no window here.
    const THeadlessPicture* PictureOf(const TForm& form) const;
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
    bool DrawsIntoHostWindow() const override { return hosted_; }
    int64_t NowMs() override;
    void WaitEvents(std::optional<int64_t> deadlineMs) override;
    void Wakeup() override;
    void ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
    void ShowHelp(const std::string& helpFile, int context) override;
    TScreenSize ScreenSize() override { return screen_; }
    std::vector<TMonitor> Monitors() override;
    void SetCursorVisible(bool visible) override { cursorVisible_ = visible; }
    bool CopyDesktop(TBitmap& dest, int left, int top) override;

private:
    class Window;
    friend class Window;

    TClock clock_;
    TApplication* app_ = nullptr;
    int64_t virtualNow_ = 0;
    TWakeSignal wake_;
    TScreenSize screen_{800, 600};
    std::vector<TMonitor> monitors_;
    std::optional<THeadlessPicture> desktop_;
    std::vector<Window*> windows_;  // in creation order
    std::vector<THeadlessBox> boxes_;
    std::vector<THeadlessHelpRequest> helpRequests_;
    bool cursorVisible_ = true;
    bool hosted_ = false;
    int presentCount_ = 0;
};
