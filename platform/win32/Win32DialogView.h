// Win32DialogView.h: the controls of a form's window as Win32 child controls.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "platform/DialogView.h"

class TForm;

// Every control is a direct child of the form's window, placed at its
// parent's offset, so each WM_COMMAND arrives at the form's own window
// procedure. Invisible panels have no window at all. The view owns its
// controls and their font and destroys them with itself.
class TWin32DialogView final : public TDialogView {
public:
    // Builds the controls of resource as child windows of window (the form's own top-level
    // window, already created, not yet shown), at the resource's pixel positions in its client area.
    TWin32DialogView(HWND window, TForm& form, const TDialogResource& resource);
    ~TWin32DialogView() override;
    // From the window procedure of window, for WM_COMMAND: true when it came from one of this
    // view's controls. A button click reaches the form as form.DispatchControlClick(name),
    // posted through Application->Post (never run inside the window procedure, since the
    // handler may close the form and destroy this view).
    bool HandleCommand(WPARAM wParam, LPARAM lParam);
    // Called by the message loop for each message before TranslateMessage/DispatchMessage:
    // the dialog keyboard (Tab/Shift+Tab in TabSequence order, Enter clicks the Default
    // button unless another button has the focus, Esc clicks the Cancel button, Alt+mnemonic
    // and plain mnemonic letters). True when the message was taken.
    bool PreTranslateMessage(MSG& message);
    std::string Text(const std::string& control) const override;
    void SetText(const std::string& control, const std::string& text) override;
    bool Checked(const std::string& control) const override;
    void SetChecked(const std::string& control, bool checked) override;
    std::optional<std::string> RunOpenDialog(const TOpenDialog& dialog) override;

    // From the window procedure for WM_SIZE: controls aligned to the bottom
    // follow the new client size (so do their children).
    void Resize(int clientWidth, int clientHeight);
    // From the window procedure for WM_ACTIVATE: leaving remembers the focused
    // control, coming back gives it the focus again (the first of the tab
    // sequence the first time).
    void Activate(bool active);
    // The window of a control; nullptr for an invisible panel. Unknown names
    // raise std::invalid_argument.
    HWND Control(const std::string& control) const;
    // The component name of the control with the keyboard focus; "" when the
    // focus is on none of them.
    std::string Focused() const;
    // The font of every control (owned by the view, deleted with it).
    HFONT Font() const { return font_; }

private:
    struct Entry {
        TControlResource resource;
        HWND window = nullptr;
        RECT bounds{};  // in the form's client area
    };

    Entry& Find(const std::string& control);
    const Entry& Find(const std::string& control) const;
    const Entry* FindByWindow(HWND window) const;
    void Layout(int clientWidth, int clientHeight);
    void Build(Entry& entry, int id);
    void PostClick(const std::string& control);
    void MoveFocus(bool backwards);
    bool ClickMnemonic(wchar_t letter);
    // The focused push button looks like the default one; otherwise the Default button does.
    void ShowDefaultOn(HWND focus);
    bool IsButton(HWND window) const;

    HWND window_;
    TForm& form_;
    HFONT font_ = nullptr;
    std::vector<std::string> order_;           // resource order, parents first
    std::map<std::string, Entry> entries_;
    std::vector<std::string> tabSequence_;     // controls the Tab key visits
    std::string defaultButton_;
    std::string cancelButton_;
    HWND savedFocus_ = nullptr;
    HWND lookedDefault_ = nullptr;             // the button drawn as the default one
};

// The common dialog's filter list from a "|"-separated filter string:
// description and patterns (";"-joined) each NUL-terminated, the list ending
// with one more NUL. Pairs without a pattern are left out.
std::wstring Win32OpenFilter(const std::string& filter);
