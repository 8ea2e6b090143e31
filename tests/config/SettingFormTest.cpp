// The settings dialog's logic, driven through the scripted headless view:
// what it shows, what OK, Cancel, Enter, Esc and closing store, the open
// dialog, the help file, and registry errors.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "config/CData.h"
#include "config/CSettingForm.h"
#include "platform/Forms.h"
#include "platform/Registry.h"
#include "platform/WindowClaims.h"
#include "platform/headless/HeadlessBackend.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

namespace {

constexpr const char* kMainKey = "Software\\Kelvo\\rororade\\main";
constexpr const char* kEdit = "edtCurrentScrSav";
constexpr const char* kCheck = "ckbIgnoreMouseMove";

// A stored value as the registry holds it: its type and its text.
struct Stored {
    TRegDataType type = TRegDataType::rdUnknown;
    std::string text;  // a string's text, or a DWORD's number
    bool operator==(const Stored&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stored& stored)
{
    return out << static_cast<int>(stored.type) << ":" << stored.text;
}

class SettingForm : public ::testing::Test {
protected:
    SettingForm() : configHome_("XDG_CONFIG_HOME", config_.str()) {}
    ~SettingForm() override { EXPECT_EQ(Data, nullptr) << "every test closes the dialog"; }

    std::filesystem::path StoreFile() const { return config_.path() / "lurva" / "registry.reg"; }

    // The key main with these lines of values, as the authoring tool might leave it.
    void WriteStore(const std::string& mainValues) const { writeMainSettings(StoreFile(), mainValues); }
    std::string StoreText() const { return readTextFileIfAny(StoreFile()); }

    bool MainKeyExists()
    {
        TRegistry reg;
        return reg.KeyExists(kMainKey);
    }

    // None when the value (or the key) is missing.
    std::optional<Stored> Value(const std::string& name)
    {
        TRegistry reg;
        if (!reg.OpenKey(kMainKey, false) || !reg.ValueExists(name))
            return std::nullopt;
        const TRegDataType type = reg.GetDataType(name);
        if (type == TRegDataType::rdString)
            return Stored{type, reg.ReadString(name)};
        if (type == TRegDataType::rdInteger)
            return Stored{type, std::to_string(reg.ReadInteger(name))};
        return Stored{type, "?"};
    }

    static Stored String(const std::string& text) { return {TRegDataType::rdString, text}; }
    static Stored Dword(int value) { return {TRegDataType::rdInteger, std::to_string(value)}; }

    // Opens the dialog as the dispatch does: the application's main form.
    void Open()
    {
        app_.reset();  // one application at a time
        auto backend = std::make_unique<THeadlessBackend>();
        headless_ = backend.get();
        app_ = std::make_unique<TApplication>(std::move(backend));
        app_->SetTitle("Lurvasaver");
        form_ = &app_->CreateForm<TSettingForm>();
        view_ = headless_->DialogView();
        ASSERT_NE(view_, nullptr);
        ASSERT_EQ(app_->MainForm(), form_);
    }

    // A data file that exists, for the open dialog to accept.
    std::string DataFile(const std::string& name)
    {
        const std::string path = (files_.path() / name).string();
        std::ofstream(path) << "QDsm";
        return path;
    }

    TempDir config_;
    ScopedEnv configHome_;
    TempDir files_;
    THeadlessBackend* headless_ = nullptr;
    std::unique_ptr<TApplication> app_;
    TSettingForm* form_ = nullptr;
    THeadlessDialogView* view_ = nullptr;
};

}  // namespace

TEST_F(SettingForm, TheResourceGivesTheTextsTheKeysAndTheReadOnlyBox)
{
    Open();
    EXPECT_EQ(form_->ClassName(), "TSettingForm");
    EXPECT_EQ(form_->Caption, "設定");
    EXPECT_EQ(form_->HelpContext, 16);
    EXPECT_EQ(form_->Width, 370);
    EXPECT_EQ(form_->Height, 285);
    EXPECT_EQ(form_->Position, TPosition::poScreenCenter);
    struct Row {
        const char* name;
        const char* caption;
    };
    const Row rows[] = {
        {"GroupBox2", "現在のスクリーンセーバーデータ"},
        {"btnCurrentScrSav", "変更..."},
        {kCheck, "マウスを動かしても終了しない"},
        {"btnOk", "OK"},
        {"btnCancel", "キャンセル"},
        {"btnHelp", "ヘルプ(&H)"},
        {"GroupBox1", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(view_->Resource(row.name).Text, row.caption) << row.name;
    EXPECT_EQ(StripMnemonic(view_->Resource("btnHelp").Text), "ヘルプ(H)");
    EXPECT_TRUE(view_->Resource("btnOk").Default);
    EXPECT_TRUE(view_->Resource("btnCancel").Cancel);
    EXPECT_EQ(view_->Focused(), "btnOk") << "the bottom panel comes first in the tab order";

    EXPECT_FALSE(view_->Type(kEdit, "/typed/by/hand.sdt")) << "the edit box is read-only";
    EXPECT_EQ(view_->Text(kEdit), "");

    const std::vector<TFileFilter> filters = ParseFilter(form_->opdScrSavData.Filter);
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0], (TFileFilter{"スクリーンセーバーデータ(*.sdt)", {"*.sdt"}}));
    EXPECT_EQ(filters[1], (TFileFilter{"すべてのファイル(*.*)", {"*.*"}}));
    view_->Click("btnCancel");
}

TEST_F(SettingForm, AnEmptyRegistryShowsDefaultsAndOkCreatesTheKeyWithBothValues)
{
    Open();
    EXPECT_EQ(view_->Text(kEdit), "") << "the resource text is replaced";
    EXPECT_FALSE(view_->Checked(kCheck));
    EXPECT_EQ(app_->HelpFile(), "rororade.hlp");
    EXPECT_TRUE(headless_->Boxes().empty());
    EXPECT_FALSE(MainKeyExists()) << "opening reads, and reads create nothing";
    ASSERT_NE(Data, nullptr);
    EXPECT_EQ(Data->regManage().getBasePath(), "Software\\Kelvo\\rororade\\");

    view_->Click("btnOk");
    EXPECT_TRUE(form_->Closed());
    EXPECT_EQ(Data, nullptr) << "closing frees Data";
    EXPECT_TRUE(MainKeyExists());
    EXPECT_EQ(Value("filename0"), String(""));
    EXPECT_EQ(Value("ignoreMouseMove"), Dword(0));
    EXPECT_FALSE(WindowClassClaimed("TSettingForm"));
}

TEST_F(SettingForm, TheStoreFillsTheControlsAndOkWritesBothAgainEvenUnchanged)
{
    WriteStore("\"filename0\"=\"/shows/ショー.sdt\"\n\"ignoreMouseMove\"=dword:00000005\n\"other\"=\"kept\"\n");
    Open();
    EXPECT_EQ(view_->Text(kEdit), "/shows/ショー.sdt");
    EXPECT_TRUE(view_->Checked(kCheck)) << "any non-zero DWORD is true";
    headless_->PressKey(vkReturn);
    EXPECT_TRUE(form_->Closed());
    EXPECT_EQ(Value("filename0"), String("/shows/ショー.sdt"));
    EXPECT_EQ(Value("ignoreMouseMove"), Dword(1)) << "written as a bool";
    EXPECT_EQ(Value("other"), String("kept"));
}

TEST_F(SettingForm, ChoosingAFileAndTheCheckBoxThenOkStoresThem)
{
    const std::string chosen = DataFile("chosen.sdt");
    Open();
    view_->AnswerOpenDialog(chosen);
    view_->Click("btnCurrentScrSav");
    EXPECT_EQ(view_->Text(kEdit), chosen);
    view_->Click(kCheck);
    view_->Click("btnOk");
    EXPECT_EQ(Value("filename0"), String(chosen));
    EXPECT_EQ(Value("ignoreMouseMove"), Dword(1));
}

TEST_F(SettingForm, CancelEscAndTheCloseButtonStoreNothing)
{
    const std::string before = "\"filename0\"=\"/shows/old.sdt\"\n\"ignoreMouseMove\"=dword:00000000\n";
    const std::string chosen = DataFile("new.sdt");
    enum class How { CancelButton, Esc, WindowClose };
    for (How how : {How::CancelButton, How::Esc, How::WindowClose}) {
        WriteStore(before);
        const std::string storeBefore = StoreText();
        Open();
        view_->AnswerOpenDialog(chosen);
        view_->Click("btnCurrentScrSav");
        view_->Click(kCheck);
        ASSERT_EQ(view_->Text(kEdit), chosen);
        switch (how) {
        case How::CancelButton:
            view_->Click("btnCancel");
            break;
        case How::Esc:
            headless_->PressKey(vkEscape);
            break;
        case How::WindowClose:
            headless_->RequestClose();
            break;
        }
        EXPECT_TRUE(form_->Closed()) << static_cast<int>(how);
        EXPECT_EQ(Data, nullptr);
        EXPECT_EQ(StoreText(), storeBefore) << static_cast<int>(how);
        app_.reset();
    }
}

TEST_F(SettingForm, CancellingTheOpenDialogChangesNothing)
{
    WriteStore("\"filename0\"=\"/shows/old.sdt\"\n");
    Open();
    view_->AnswerOpenDialog(std::nullopt);
    view_->Click("btnCurrentScrSav");
    EXPECT_EQ(view_->Text(kEdit), "/shows/old.sdt");
    ASSERT_EQ(view_->OpenDialogRuns().size(), 1u);
    const TOpenDialog& run = view_->OpenDialogRuns()[0];
    EXPECT_EQ(run.Filter, "スクリーンセーバーデータ(*.sdt)|*.sdt|すべてのファイル(*.*)|*.*");
    EXPECT_EQ(run.FilterIndex, 1) << "the *.sdt entry is selected";
    EXPECT_EQ(run.FileName, "") << "no start file set by the dialog";
    EXPECT_EQ(run.InitialDir, "");
    EXPECT_TRUE(run.FileMustExist);
    EXPECT_TRUE(run.PathMustExist);
    view_->Click("btnOk");
    EXPECT_EQ(Value("filename0"), String("/shows/old.sdt"));
}

TEST_F(SettingForm, TheOpenDialogAdmitsOnlyExistingFilesAndStartsFromThePreviousChoice)
{
    const std::string first = DataFile("first.sdt");
    Open();
    view_->AnswerOpenDialog((files_.path() / "missing.sdt").string());
    view_->AnswerOpenDialog(first);
    view_->Click("btnCurrentScrSav");
    EXPECT_EQ(view_->Text(kEdit), first) << "the missing file was refused, the next answer taken";

    view_->AnswerOpenDialog(std::nullopt);
    view_->Click("btnCurrentScrSav");
    ASSERT_EQ(view_->OpenDialogRuns().size(), 2u);
    EXPECT_EQ(view_->OpenDialogRuns()[1].FileName, first);
    EXPECT_EQ(view_->Text(kEdit), first);
    view_->Click("btnCancel");
}

TEST_F(SettingForm, EnterActsAsOkUnlessAnotherButtonHasTheFocus)
{
    const std::string chosen = DataFile("enter.sdt");
    struct Row {
        const char* focus;
        bool stored;
        bool dialogRan;
    };
    const Row rows[] = {
        {"btnOk", true, false},
        {kEdit, true, false},
        {kCheck, true, false},
        {"btnCancel", false, false},
        {"btnCurrentScrSav", false, true},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(StoreFile());
        Open();
        view_->AnswerOpenDialog(chosen);
        view_->Focus(row.focus);
        headless_->PressKey(vkReturn);
        EXPECT_EQ(MainKeyExists(), row.stored) << row.focus;
        EXPECT_EQ(view_ != nullptr && !form_->Closed() && view_->OpenDialogRuns().size() == 1, row.dialogRan)
            << row.focus;
        if (!form_->Closed())
            view_->Click("btnCancel");
        app_.reset();
    }
}

TEST_F(SettingForm, TheHelpFileIsMakepathFollowedDirectlyByTheFileName)
{
    struct Row {
        const char* makepath;  // none: not stored
        const char* helpFile;
    };
    const Row rows[] = {
        {nullptr, "rororade.hlp"},
        {"", "rororade.hlp"},
        {"C:\\\\Tools\\\\", "C:\\Tools\\rororade.hlp"},
        {"C:\\\\Tools", "C:\\Toolsrororade.hlp"},
        {"/opt/rororade/", "/opt/rororade/rororade.hlp"},
    };
    for (const Row& row : rows) {
        WriteStore(row.makepath != nullptr ? std::string("\"makepath\"=\"") + row.makepath + "\"\n" : "");
        Open();
        EXPECT_EQ(getMakePath(*Data) + "rororade.hlp", row.helpFile);
        EXPECT_EQ(app_->HelpFile(), row.helpFile);
        view_->Click("btnHelp");
        ASSERT_EQ(headless_->HelpRequests().size(), 1u) << "one request per click";
        EXPECT_EQ(headless_->HelpRequests()[0].HelpFile, row.helpFile);
        EXPECT_EQ(headless_->HelpRequests()[0].Context, 16);
        EXPECT_FALSE(form_->Closed()) << "help leaves the dialog open";
        EXPECT_TRUE(headless_->Boxes().empty());
        view_->Click("btnCancel");
        app_.reset();
    }
}

TEST_F(SettingForm, AValueOfTheWrongTypeShowsTheErrorAndTheDialogOpensAnyway)
{
    // Each failing read skips the rest of FormCreate: later controls keep
    // their resource state.
    struct Row {
        const char* values;
        const char* error;
        const char* edit;
        bool checked;
        const char* helpFile;
    };
    const Row rows[] = {
        {"\"ignoreMouseMove\"=\"1\"\n\"filename0\"=\"/shows/a.sdt\"\n", "'ignoreMouseMove' のデータ型が不正です",
            "/shows/a.sdt", false, "rororade.hlp"},
        {"\"filename0\"=dword:00000001\n\"ignoreMouseMove\"=dword:00000001\n", "'filename0' のデータ型が不正です",
            "edtCurrentScrSav", false, "rororade.hlp"},
        {"\"makepath\"=hex:01,02\n\"filename0\"=\"/shows/a.sdt\"\n", "'makepath' のデータ型が不正です", "edtCurrentScrSav",
            false, ""},
    };
    for (const Row& row : rows) {
        WriteStore(row.values);
        const std::string storeBefore = StoreText();
        Open();
        ASSERT_EQ(headless_->Boxes().size(), 1u) << row.error;
        EXPECT_EQ(headless_->Boxes()[0].Kind, TMessageKind::Error);
        EXPECT_EQ(headless_->Boxes()[0].Caption, "Lurvasaver");
        EXPECT_EQ(headless_->Boxes()[0].Text, row.error);
        EXPECT_FALSE(form_->Closed());
        EXPECT_NE(Data, nullptr);
        EXPECT_EQ(view_->Text(kEdit), row.edit) << row.error;
        EXPECT_EQ(view_->Checked(kCheck), row.checked) << row.error;
        EXPECT_EQ(app_->HelpFile(), row.helpFile) << row.error;
        headless_->PressKey(vkEscape);
        EXPECT_TRUE(form_->Closed());
        EXPECT_EQ(StoreText(), storeBefore);
        app_.reset();
    }
}

TEST_F(SettingForm, AFailedWriteOnOkLeavesTheSecondValueUnwrittenAndTheDialogOpen)
{
    const std::string chosen = DataFile("late.sdt");
    // A file where the settings folder belongs: no key can be created.
    const auto blocker = StoreFile().parent_path();
    std::ofstream(blocker) << "x";
    Open();
    view_->AnswerOpenDialog(chosen);
    view_->Click("btnCurrentScrSav");
    view_->Click("btnOk");
    ASSERT_EQ(headless_->Boxes().size(), 1u);
    EXPECT_EQ(headless_->Boxes()[0].Text, "'filename0' の設定に失敗しました") << "the first write fails, the second is not tried";
    EXPECT_FALSE(form_->Closed());
    EXPECT_EQ(view_->Text(kEdit), chosen);

    // The user presses OK again once the store can be written.
    std::filesystem::remove(blocker);
    view_->Click("btnOk");
    EXPECT_TRUE(form_->Closed());
    EXPECT_EQ(headless_->Boxes().size(), 1u);
    EXPECT_EQ(Value("filename0"), String(chosen));
    EXPECT_EQ(Value("ignoreMouseMove"), Dword(0));
}

TEST_F(SettingForm, DataLivesFromCreationToClose)
{
    EXPECT_EQ(Data, nullptr);
    Open();
    TData* opened = Data;
    ASSERT_NE(opened, nullptr);
    view_->Click(kCheck);
    EXPECT_EQ(Data, opened) << "clicks use the same Data";
    view_->Click("btnCancel");
    EXPECT_EQ(Data, nullptr);

    // A loop ended without closing the window: destroying the form lets go of Data.
    Open();
    EXPECT_NE(Data, nullptr);
    app_.reset();
    EXPECT_EQ(Data, nullptr);
}

TEST(SettingFormWithoutControls, ClosesAtOnceAndStoresNothing)
{
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.str());
    TApplication app(std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real));
    auto& form = app.CreateForm<TSettingForm>();
    EXPECT_FALSE(form.Closed());
    app.Run();  // returns: the form closed itself
    EXPECT_TRUE(form.Closed());
    EXPECT_EQ(Data, nullptr);
    EXPECT_FALSE(std::filesystem::exists(config.path() / "lurva"));
}
