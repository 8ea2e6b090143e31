// LurvaForms.cpp: the windows the mode dispatch creates, by class name. Each
// window unit adds its entry here when it lands.
#include "platform/Forms.h"
#include "shell/Entry.h"

const TFormFactories& LurvaForms()
{
    static const TFormFactories forms = {};
    return forms;
}
