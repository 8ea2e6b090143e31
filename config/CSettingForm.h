// CSettingForm.h: the settings dialog: which data file is current and whether
// moving the mouse ends the show, both stored when the user presses OK.
#pragma once

#include <memory>
#include <string>

#include "platform/DialogView.h"
#include "platform/Forms.h"

class TData;

// Created as the main window in configuration mode. Its logic talks to its
// controls only through the view its window builds from Resource(), so the
// same logic runs over GTK, a Win32 dialog and the tests' scripted view.
class TSettingForm : public TForm {
public:
    TSettingForm();
    ~TSettingForm() override;

    // The form's controls in declaration order, parents first, as the
    // designer laid them out (pixels; the form itself is 370 x 285).
    static const TDialogResource& Resource();
    // The settings of the file-open dialog, one object for the form's life:
    // a second run starts from the previous choice.
    TOpenDialog opdScrSavData;

protected:
    // Builds the controls; without any (no display) the form closes again
    // as soon as the loop runs, storing nothing.
    void Loaded() override;
    // Creates Data, names the help file, fills the controls from the store.
    void FormCreate() override;
    // Frees Data.
    void FormClose() override;
    void ControlClick(const std::string& control) override;

private:
    void btnCurrentScrSavClick();
    void btnOkClick();
    void btnCancelClick();
    void btnHelpClick();

    std::unique_ptr<TData> data_;  // Data points to it while the form is open
    TDialogView* view_ = nullptr;  // borrowed from the window; none without controls
};

// The makepath value of key main: the folder of the help file, which ends
// with its separator because the file name is appended directly.
std::string getMakePath(TData& data);
