// LurvaForms.cpp: the windows the mode dispatch creates, by class name. Each
// window unit adds its entry here.
#include "config/CSettingForm.h"
#include "datafile/CFileManage.h"
#include "platform/Forms.h"
#include "shell/CMain.h"
#include "shell/Entry.h"

TFormFactories LurvaForms(const TShowOptions& showOptions)
{
    return {
        {"TMainForm", [showOptions] { return std::make_unique<TMainForm>(loadScrSavData, showOptions); }},
        {TMainForm::kWindowedClassName, [showOptions] {
             return std::make_unique<TMainForm>(loadScrSavData, showOptions, TMainForm::TPlacement::Windowed);
         }},
        {"TSettingForm", [] { return std::make_unique<TSettingForm>(); }},
    };
}
