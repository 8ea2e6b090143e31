// Entry.cpp: start-up and mode dispatch of the screen saver program.
#include "shell/Entry.h"

#include <cstdio>
#include <initializer_list>

#include "platform/Forms.h"

namespace {

bool isOneOf(const std::string& text, std::initializer_list<const char*> candidates)
{
    for (const char* candidate : candidates)
        if (text == candidate)
            return true;
    return false;
}

// Creates the window of className as the main window.
void createForm(TApplication& app, const TFormFactories& forms, const std::string& className)
{
    const auto factory = forms.find(className);
    if (factory == forms.end())
        return;
    app.CreateForm(factory->second());
}

// The same unless a top-level window of that class exists already, in this
// or another process.
void createUnlessOpen(TApplication& app, const TFormFactories& forms, const std::string& className)
{
    if (!app.WindowClassExists(className))
        createForm(app, forms, className);
}

}  // namespace

TRunMode ChooseRunMode(const std::string& firstArgument)
{
    if (isOneOf(firstArgument, {"/p", "/P", "-p", "-P", "/l", "/L", "-l", "-L"}))
        return TRunMode::Preview;
    if (isOneOf(firstArgument, {"/a", "/A", "-a", "-A"}))
        return TRunMode::LockCodeChange;
    // The prefix rule holds for the slash forms only: Windows appends the
    // parent window's number to "/c" (as in "/c:1234").
    const std::string prefix = firstArgument.substr(0, 2);
    if (isOneOf(firstArgument, {"/c", "/C", "-c", "-C"}) || isOneOf(prefix, {"/C", "/c"}))
        return TRunMode::Configuration;
    if (firstArgument == "--window")
        return TRunMode::Window;
    return TRunMode::Show;
}

int LurvaMain(const std::vector<std::string>& arguments, std::unique_ptr<TPlatformBackend> backend,
    const TFormFactories& forms)
{
    std::unique_ptr<TApplication> app;
    try {
        const std::string firstArgument = arguments.size() > 1 ? arguments[1] : std::string();
        app = std::make_unique<TApplication>(std::move(backend));
        app->Initialize();
        app->SetArguments(arguments);
        app->SetTitle("Lurvasaver");
        switch (ChooseRunMode(firstArgument)) {
        case TRunMode::Preview:
        case TRunMode::LockCodeChange:
            break;
        case TRunMode::Configuration:
            createUnlessOpen(*app, forms, "TSettingForm");
            break;
        case TRunMode::Show:
            // A copy that draws into a host's window opens no window of its
            // own, and a host may run one per monitor: the guard is only for
            // the show's own full-screen window.
            if (app->Backend().DrawsIntoHostWindow())
                createForm(*app, forms, "TMainForm");
            else
                createUnlessOpen(*app, forms, "TMainForm");
            break;
        case TRunMode::Window:
            createForm(*app, forms, "TShowWindow");
            break;
        }
        app->Run();
    } catch (const Exception& e) {
        if (app)
            app->ShowException(e);
        else
            std::fprintf(stderr, "lurva: error: %s\n", e.Message().c_str());
    }
    return 0;
}
