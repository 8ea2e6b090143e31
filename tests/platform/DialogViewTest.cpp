// Dialogs with controls: filter strings, wildcards, mnemonics, the tab
// sequence, and the scripted headless view that the tests play the user in.
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "platform/DialogView.h"
#include "platform/Forms.h"
#include "platform/WindowClaims.h"
#include "platform/headless/HeadlessBackend.h"
#include "support/TestSupport.h"

namespace {

TControlResource control(const char* name, TControlKind kind, const char* parent, int tabOrder, const char* text = "")
{
    TControlResource made;
    made.Name = name;
    made.Kind = kind;
    made.Parent = parent;
    made.TabOrder = tabOrder;
    made.Text = text;
    return made;
}

// Declared out of tab order on purpose: the sequence follows TabOrder.
TDialogResource sampleResource()
{
    TDialogResource resource;
    resource.push_back(control("pnlButtons", TControlKind::Panel, "", 1));
    resource.push_back(control("pnlTop", TControlKind::Panel, "", 0));
    resource.push_back(control("grpOptions", TControlKind::GroupBox, "pnlTop", 1, "Options"));
    resource.push_back(control("ckbOption", TControlKind::CheckBox, "grpOptions", 0, "&Option"));
    resource.push_back(control("edtName", TControlKind::Edit, "pnlTop", 0, "resource text"));
    resource.back().ReadOnly = true;
    resource.push_back(control("edtFree", TControlKind::Edit, "pnlTop", 2));
    resource.push_back(control("btnCancel", TControlKind::Button, "pnlButtons", 1, "Cancel"));
    resource.back().Cancel = true;
    resource.push_back(control("btnOk", TControlKind::Button, "pnlButtons", 0, "OK"));
    resource.back().Default = true;
    return resource;
}

// Builds its controls from a resource and writes down every click and key.
class ControlsForm : public TForm {
public:
    explicit ControlsForm(TDialogResource resource, bool failInLoaded = false)
        : TForm("TControlsForm"), resource_(std::move(resource)), failInLoaded_(failInLoaded)
    {
    }
    std::vector<std::string> calls;
    TDialogView* view = nullptr;

protected:
    void Loaded() override
    {
        view = CreateControls(resource_);
        if (failInLoaded_)
            throw Exception("no controls");
    }
    void FormCreate() override { calls.push_back("create"); }
    void ControlClick(const std::string& name) override
    {
        calls.push_back("click " + name);
        if (name == "btnOk" || name == "btnCancel")
            Close();
    }
    void FormKeyDown(uint16_t key, TShiftState) override { calls.push_back("key " + std::to_string(key)); }

private:
    TDialogResource resource_;
    bool failInLoaded_;
};

class HeadlessControls : public ::testing::Test {
protected:
    HeadlessControls()
    {
        auto backend = std::make_unique<THeadlessBackend>();
        headless_ = backend.get();
        app_ = std::make_unique<TApplication>(std::move(backend));
        form_ = &app_->CreateForm<ControlsForm>(sampleResource());
        view_ = headless_->DialogView();
    }

    THeadlessBackend* headless_;
    std::unique_ptr<TApplication> app_;
    ControlsForm* form_;
    THeadlessDialogView* view_;
};

}  // namespace

TEST(DialogHelpers, FilterStringsSplitIntoPairs)
{
    using Filters = std::vector<TFileFilter>;
    struct Row {
        const char* filter;
        Filters expected;
    };
    const Row rows[] = {
        {"スクリーンセーバーデータ(*.sdt)|*.sdt|すべてのファイル(*.*)|*.*",
            Filters{{"スクリーンセーバーデータ(*.sdt)", {"*.sdt"}}, {"すべてのファイル(*.*)", {"*.*"}}}},
        {"Pictures|*.bmp;*.jpg;;*.ico", Filters{{"Pictures", {"*.bmp", "*.jpg", "*.ico"}}}},
        {"Data|*.sdt|Lonely description", Filters{{"Data", {"*.sdt"}}}},
        {"No pattern||Data|*.sdt", Filters{{"Data", {"*.sdt"}}}},
        {"", Filters{}},
        {"*.sdt", Filters{}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ParseFilter(row.filter), row.expected) << row.filter;
}

TEST(DialogHelpers, WildcardsMatchAsOnWindows)
{
    struct Row {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const Row rows[] = {
        {"show.sdt", "*.sdt", true},
        {"SHOW.SDT", "*.sdt", true},
        {"show.sdt.bak", "*.sdt", false},
        {"show.sd", "*.sdt", false},
        {".sdt", "*.sdt", true},
        {"Makefile", "*.*", true},
        {"Makefile", "*", true},
        {"a.b", "?.b", true},
        {"ab.b", "?.b", false},
        {"ショー.sdt", "*.sdt", true},
        {"x.sdt", "*.bmp", false},
        {"back0.bmp", "back*.bmp", true},
        {"back0.bmp", "*0*", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(MatchesFilterPattern(row.name, row.pattern), row.matches) << row.name << " ~ " << row.pattern;
}

TEST(DialogHelpers, MnemonicMarks)
{
    struct Row {
        const char* caption;
        const char* forGtk;
        const char* stripped;
    };
    const Row rows[] = {
        {"ヘルプ(&H)", "ヘルプ(_H)", "ヘルプ(H)"},
        {"&OK", "_OK", "OK"},
        {"Save && quit", "Save & quit", "Save & quit"},
        {"snake_case &x", "snake__case _x", "snake_case x"},
        {"trailing &", "trailing ", "trailing "},
        {"変更...", "変更...", "変更..."},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TranslateMnemonic(row.caption, '_'), row.forGtk) << row.caption;
        EXPECT_EQ(StripMnemonic(row.caption), row.stripped) << row.caption;
    }
}

TEST(DialogHelpers, TheTabSequenceFollowsTabOrderThroughTheContainers)
{
    // The sequence points into the resource, which must outlive the loop.
    const auto resource = sampleResource();
    std::vector<std::string> names;
    for (const TControlResource* c : TabSequence(resource))
        names.push_back(c->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"edtName", "ckbOption", "edtFree", "btnOk", "btnCancel"}));
    EXPECT_TRUE(TabSequence({}).empty());
}

TEST_F(HeadlessControls, ControlsStartInTheirResourceState)
{
    ASSERT_NE(view_, nullptr);
    EXPECT_EQ(form_->view, view_) << "the form holds the view its window built";
    EXPECT_EQ(view_->Text("edtName"), "resource text");
    EXPECT_EQ(view_->Text("btnOk"), "OK");
    EXPECT_FALSE(view_->Checked("ckbOption"));
    EXPECT_EQ(view_->Focused(), "edtName");
    EXPECT_EQ(form_->calls, (std::vector<std::string>{"create"}));
}

TEST_F(HeadlessControls, TheUserCannotTypeIntoAReadOnlyEdit)
{
    EXPECT_FALSE(view_->Type("edtName", "typed"));
    EXPECT_EQ(view_->Text("edtName"), "resource text");
    EXPECT_TRUE(view_->Type("edtFree", "typed"));
    EXPECT_EQ(view_->Text("edtFree"), "typed");
    view_->SetText("edtName", "set by the logic");
    EXPECT_EQ(view_->Text("edtName"), "set by the logic");
    EXPECT_FALSE(view_->Type("ckbOption", "typed")) << "a check box takes no text";
}

TEST_F(HeadlessControls, ClickingACheckBoxTogglesItAndTellsTheForm)
{
    view_->Click("ckbOption");
    EXPECT_TRUE(view_->Checked("ckbOption"));
    view_->SetChecked("ckbOption", false);
    EXPECT_FALSE(view_->Checked("ckbOption"));
    EXPECT_EQ(form_->calls, (std::vector<std::string>{"create", "click ckbOption"}));
}

TEST_F(HeadlessControls, EnterClicksTheDefaultButtonUnlessAnotherButtonHasTheFocus)
{
    struct Row {
        const char* focus;
        uint16_t key;
        const char* clicked;
    };
    const Row rows[] = {
        {"edtName", vkReturn, "click btnOk"},
        {"ckbOption", vkReturn, "click btnOk"},
        {"btnOk", vkReturn, "click btnOk"},
        {"btnCancel", vkReturn, "click btnCancel"},
        {"edtName", vkEscape, "click btnCancel"},
        {"btnOk", vkEscape, "click btnCancel"},
    };
    for (const Row& row : rows) {
        auto backend = std::make_unique<THeadlessBackend>();
        THeadlessBackend& headless = *backend;
        app_.reset();
        app_ = std::make_unique<TApplication>(std::move(backend));
        auto& form = app_->CreateForm<ControlsForm>(sampleResource());
        headless.DialogView()->Focus(row.focus);
        headless.PressKey(row.key);
        EXPECT_EQ(form.calls, (std::vector<std::string>{"create", row.clicked})) << row.focus << " " << row.key;
        EXPECT_TRUE(form.Closed());
        EXPECT_EQ(headless.DialogView(), nullptr) << "the controls went with the window";
    }
}

TEST_F(HeadlessControls, OtherKeysReachTheForm)
{
    headless_->PressKey('A');
    headless_->PressKey(vkReturn, ssShift);
    EXPECT_EQ(form_->calls, (std::vector<std::string>{"create", "key 65", "key 13"}));
    EXPECT_FALSE(form_->Closed());

    // Without default and cancel buttons Enter and Esc are the form's too.
    TDialogResource plain = {control("edtFree", TControlKind::Edit, "", 0)};
    auto& other = app_->CreateForm<ControlsForm>(plain);
    headless_->PressKey(vkReturn);
    headless_->PressKey(vkEscape);
    EXPECT_EQ(other.calls, (std::vector<std::string>{"create", "key 13", "key 27"}));
}

TEST_F(HeadlessControls, TheOpenDialogTakesTheAnswersInTurnAndRefusesMissingFiles)
{
    TempDir temp;
    const std::string there = (temp.path() / "there.sdt").string();
    std::ofstream(there) << "x";
    const std::string missing = (temp.path() / "missing.sdt").string();
    const std::string noFolder = (temp.path() / "nofolder" / "x.sdt").string();

    TOpenDialog dialog;
    dialog.Filter = "Data|*.sdt";
    dialog.FileMustExist = true;
    dialog.PathMustExist = true;
    view_->AnswerOpenDialog(there);
    view_->AnswerOpenDialog(std::nullopt);
    view_->AnswerOpenDialog(missing);
    view_->AnswerOpenDialog(noFolder);
    view_->AnswerOpenDialog(there);
    EXPECT_EQ(view_->RunOpenDialog(dialog), there);
    EXPECT_EQ(view_->RunOpenDialog(dialog), std::nullopt) << "cancelled";
    EXPECT_EQ(view_->RunOpenDialog(dialog), there) << "the missing file and folder were refused";
    EXPECT_EQ(view_->RunOpenDialog(dialog), std::nullopt) << "no answer left: cancelled";
    ASSERT_EQ(view_->OpenDialogRuns().size(), 4u);
    EXPECT_EQ(view_->OpenDialogRuns()[0].Filter, "Data|*.sdt");

    // Without the options a name that does not exist yet is taken.
    TOpenDialog lax;
    view_->AnswerOpenDialog(missing);
    EXPECT_EQ(view_->RunOpenDialog(lax), missing);
    EXPECT_EQ(view_->PendingAnswers(), 0u);
}

TEST_F(HeadlessControls, AnUnknownControlIsAProgrammingError)
{
    EXPECT_THROW(view_->Text("edtNone"), std::invalid_argument);
    EXPECT_THROW(view_->SetChecked("edtName", true), std::invalid_argument);
    EXPECT_THROW(view_->Click("btnNone"), std::invalid_argument);
}

TEST(HeadlessControlsOnTheRealClock, AProgramWithoutADisplayHasNoControls)
{
    TApplication app(std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real));
    auto& form = app.CreateForm<ControlsForm>(sampleResource());
    EXPECT_EQ(form.view, nullptr);
    EXPECT_FALSE(form.Closed());
}

TEST(FormsLoaded, AnExceptionWhileBuildingTheControlsKeepsTheFormFromOpening)
{
    TApplication app(std::make_unique<THeadlessBackend>());
    EXPECT_THROW_MSG(app.CreateForm<ControlsForm>(sampleResource(), true), Exception, "no controls");
    EXPECT_FALSE(WindowClassClaimed("TControlsForm")) << "its window is gone";
    app.Run();  // returns at once: there is no open main form
    auto& second = app.CreateForm<ControlsForm>(sampleResource());
    EXPECT_EQ(app.MainForm(), &second);
    EXPECT_EQ(second.calls, (std::vector<std::string>{"create"}));
}
