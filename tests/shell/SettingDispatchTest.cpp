// The program's own settings dialog behind the mode dispatch: the switches
// that open it, and the single-instance guard.
#include <gtest/gtest.h>

#include "config/CData.h"
#include "platform/Forms.h"
#include "platform/Registry.h"
#include "platform/WindowClaims.h"
#include "platform/headless/HeadlessBackend.h"
#include "shell/Entry.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

namespace {

struct DialogRun {
    int exitCode = -1;
    int dialogsOpened = 0;
    bool sawOwnClass = false;  // its window was found by the class-name lookup
};

// Runs the program's dispatch headless. Each settings dialog it opens is
// answered once the loop runs: the user presses Enter.
DialogRun runWithEnter(const std::string& argument)
{
    DialogRun run;
    auto backend = std::make_unique<THeadlessBackend>();
    THeadlessBackend* headless = backend.get();
    TFormFactories forms = LurvaForms();
    const TFormFactory real = forms.at("TSettingForm");
    forms["TSettingForm"] = [&run, headless, real] {
        ++run.dialogsOpened;
        Application->Post([&run, headless] {
            run.sawOwnClass = WindowClassClaimed("TSettingForm");
            if (headless->DialogView() != nullptr)
                headless->PressKey(vkReturn);
            else
                Application->Terminate();  // never wait for input nobody gives
        });
        return real();
    };
    run.exitCode = LurvaMain({"lurva", argument}, std::move(backend), forms);
    return run;
}

}  // namespace

TEST(SettingDispatch, TheConfigurationSwitchesOpenTheDialogAndEnterStores)
{
    for (const char* argument : {"/c", "-C", "/c:1234", "/C5", "/Cfoo"}) {
        TempDir config;
        ScopedEnv configHome("XDG_CONFIG_HOME", config.str());
        const DialogRun run = runWithEnter(argument);
        EXPECT_EQ(run.exitCode, 0) << argument;
        EXPECT_EQ(run.dialogsOpened, 1) << argument;
        EXPECT_TRUE(run.sawOwnClass) << argument;
        EXPECT_EQ(Data, nullptr) << argument;
        EXPECT_FALSE(WindowClassClaimed("TSettingForm")) << argument;
        TRegistry reg;
        EXPECT_TRUE(reg.OpenKey("Software\\Kelvo\\rororade\\main", false)) << argument;
        EXPECT_TRUE(reg.ValueExists("filename0")) << argument;
        EXPECT_TRUE(reg.ValueExists("ignoreMouseMove")) << argument;
    }
}

TEST(SettingDispatch, ASecondDialogIsRefusedWhileOneIsOpen)
{
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.str());
    const auto open = ClaimWindowClass("TSettingForm");  // another copy's dialog
    ASSERT_NE(open, nullptr);
    const DialogRun run = runWithEnter("/c:99");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.dialogsOpened, 0);
    EXPECT_FALSE(std::filesystem::exists(config.path() / "lurva"));
}
