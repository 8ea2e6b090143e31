// DialogView.h: forms with native controls (dialogs): the resource that
// describes their controls, and the view through which the form's logic reads
// and sets them. Each backend builds the controls its own way (GTK widgets,
// a Win32 dialog, a scripted stand-in for tests); the logic sees only this.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class TControlKind { Panel, GroupBox, CheckBox, Edit, Button };

// One control as the form's resource declares it. Positions are pixels in the
// client area of the parent (for a group box that includes its caption line).
struct TControlResource {
    std::string Name;    // the component name, by which the logic addresses it
    TControlKind Kind = TControlKind::Panel;
    std::string Parent;  // component name of the parent; empty for the form
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    // Caption of buttons, check boxes and group boxes ("&" marks the mnemonic
    // letter, "&&" is a literal "&"); the text of an edit box.
    std::string Text;
    int TabOrder = 0;            // among the parent's children
    bool AlignBottom = false;    // spans the parent's width at its bottom, Height high
    bool RaisedBevel = false;    // panels: drawn raised; otherwise invisible
    bool ReadOnly = false;       // edit boxes: the user cannot type into it
    bool Default = false;        // buttons: Enter clicks it when no other button has the focus
    bool Cancel = false;         // buttons: Esc clicks it
};

using TDialogResource = std::vector<TControlResource>;  // parents before their children

// The common file-open dialog's settings (one object, reused between runs).
struct TOpenDialog {
    // Pairs of description and pattern, separated by "|"; several patterns in
    // one pair are separated by ";" (the Windows filter string).
    std::string Filter;
    int FilterIndex = 1;    // 1-based: the pair selected when the dialog opens
    std::string InitialDir;
    std::string FileName;   // where the dialog starts; empty: the platform's choice
    bool PathMustExist = false;
    bool FileMustExist = false;
};

// One pair of a filter string.
struct TFileFilter {
    std::string Description;
    std::vector<std::string> Patterns;  // Windows wildcards: "*.sdt", "*.*"
    bool operator==(const TFileFilter&) const = default;
};

// The pairs of filter, in order; a description without a pattern is dropped.
std::vector<TFileFilter> ParseFilter(const std::string& filter);
// Whether the file name (no folder) matches a Windows wildcard: "*" and "?",
// ASCII letters in either case, and "*.*" matches every name.
bool MatchesFilterPattern(const std::string& fileName, const std::string& pattern);
// The caption with its "&" mnemonic marks written with marker instead ("_"
// for GTK): "&&" becomes "&", and a marker character of the text is doubled.
std::string TranslateMnemonic(const std::string& caption, char marker);
// The caption as shown, without mnemonic marks.
std::string StripMnemonic(const std::string& caption);
// The controls in the order the Tab key visits them: containers by their tab
// order, each one's children before the next container.
std::vector<const TControlResource*> TabSequence(const TDialogResource& resource);

// The controls of one form's window, addressed by component name. The view
// belongs to the window and goes with it when the form closes. Clicks and the
// keys that click a button (Enter, Esc) reach the form through
// TForm::DispatchControlClick. An unknown name is a programming error
// (std::invalid_argument).
class TDialogView {
public:
    TDialogView() = default;
    TDialogView(const TDialogView&) = delete;
    TDialogView& operator=(const TDialogView&) = delete;
    virtual ~TDialogView() = default;

    // The text of an edit box (or the caption of another control).
    virtual std::string Text(const std::string& control) const = 0;
    virtual void SetText(const std::string& control, const std::string& text) = 0;
    // The state of a check box.
    virtual bool Checked(const std::string& control) const = 0;
    virtual void SetChecked(const std::string& control, bool checked) = 0;
    // Runs the file-open dialog modally over the window: the full path of the
    // file the user confirmed, none when the user cancelled.
    virtual std::optional<std::string> RunOpenDialog(const TOpenDialog& dialog) = 0;
};
