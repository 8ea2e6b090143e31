// LurvaForms.cpp: the windows the mode dispatch creates, by class name. Each
// window unit adds its entry here when it lands.
#include "config/CSettingForm.h"
#include "platform/Forms.h"
#include "shell/Entry.h"

const TFormFactories& LurvaForms()
{
    static const TFormFactories forms = {
        {"TSettingForm", [] { return std::make_unique<TSettingForm>(); }},
    };
    return forms;
}
