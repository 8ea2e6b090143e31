// LurvaForms.cpp: the windows the mode dispatch creates, by class name. Each
// window unit adds its entry here.
#include "config/CSettingForm.h"
#include "datafile/CFileManage.h"
#include "platform/Forms.h"
#include "shell/CMain.h"
#include "shell/Entry.h"

const TFormFactories& LurvaForms()
{
    static const TFormFactories forms = {
        {"TMainForm", [] { return std::make_unique<TMainForm>(loadScrSavData); }},
        {TMainForm::kWindowedClassName,
            [] { return std::make_unique<TMainForm>(loadScrSavData, TMainForm::TPlacement::Windowed); }},
        {"TSettingForm", [] { return std::make_unique<TSettingForm>(); }},
    };
    return forms;
}
