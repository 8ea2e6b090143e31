// Tests of the settings dialog's controls as Win32 child windows: texts,
// check boxes, clicks, the dialog keyboard, layout and the file-open dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/CSettingForm.h"
#include "platform/Forms.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/win32/WinText.h"
#include "platform/win32/Win32DialogView.h"
#include "support/TestSupport.h"

namespace {

// A form that only records the clicks its controls send it.
class ClickRecorder : public TForm {
public:
    ClickRecorder() : TForm("TDialogViewTestForm")
    {
        Width = 370;
        Height = 285;
    }
    std::vector<std::string> clicks;

protected:
    void ControlClick(const std::string& control) override { clicks.push_back(control); }
};

constexpr const wchar_t* kTestWindowClass = L"LurvaDialogViewTestWindow";

// The form's window as the window backend would run it: WM_COMMAND goes to the view.
LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* view = reinterpret_cast<TWin32DialogView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_COMMAND && view != nullptr && view->HandleCommand(wParam, lParam))
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

class Win32DialogView : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = std::make_unique<TApplication>(std::make_unique<THeadlessBackend>());
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &testWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        windowClass.lpszClassName = kTestWindowClass;
        RegisterClassExW(&windowClass);
        window = CreateWindowExW(WS_EX_DLGMODALFRAME, kTestWindowClass, L"設定", WS_OVERLAPPEDWINDOW, 100, 100,
            form.Width, form.Height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window == nullptr)
            GTEST_SKIP() << "no display for windows";
    }

    void TearDown() override
    {
        if (window != nullptr)
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        view.reset();
        if (window != nullptr)
            DestroyWindow(window);
        app.reset();
    }

    void Build(const TDialogResource& resource = TSettingForm::Resource())
    {
        view = std::make_unique<TWin32DialogView>(window, form, resource);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view.get()));
    }

    void ShowAndActivate()
    {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        view->Activate(true);
        Pump();
    }

    // Runs the window messages waiting, then the application's posted calls.
    void Pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (view != nullptr && view->PreTranslateMessage(message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        app->ProcessMessages();
    }

    bool Key(UINT message, WPARAM key, LPARAM flags = 0)
    {
        MSG msg{};
        msg.hwnd = GetFocus() != nullptr ? GetFocus() : window;
        msg.message = message;
        msg.wParam = key;
        msg.lParam = flags;
        return view->PreTranslateMessage(msg);
    }

    std::wstring WindowText(HWND control)
    {
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    // The control's rectangle in the client area of the form's window.
    RECT Placement(const std::string& control)
    {
        RECT rect{};
        GetWindowRect(view->Control(control), &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    std::unique_ptr<TApplication> app;
    ClickRecorder form;
    HWND window = nullptr;
    std::unique_ptr<TWin32DialogView> view;
};

TControlResource control(const char* name, TControlKind kind, const char* parent, int left, int top, const char* text,
    int tabOrder)
{
    TControlResource made;
    made.Name = name;
    made.Kind = kind;
    made.Parent = parent;
    made.Left = left;
    made.Top = top;
    made.Width = 80;
    made.Height = 22;
    made.Text = text;
    made.TabOrder = tabOrder;
    return made;
}

}  // namespace

TEST(Win32OpenFilter, PairsBecomeTheNulSeparatedList)
{
    using namespace std::string_literals;
    EXPECT_EQ(Win32OpenFilter("スクリーンセーバーデータ(*.sdt)|*.sdt|すべてのファイル(*.*)|*.*"),
        L"スクリーンセーバーデータ(*.sdt)\0*.sdt\0すべてのファイル(*.*)\0*.*\0\0"s);
    EXPECT_EQ(Win32OpenFilter("Pictures|*.bmp;*.jpg"), L"Pictures\0*.bmp;*.jpg\0\0"s);
    EXPECT_EQ(Win32OpenFilter("No patterns||All|*.*"), L"All\0*.*\0\0"s) << "a pair without a pattern is left out";
    EXPECT_EQ(Win32OpenFilter(""), L"\0"s);
}

TEST_F(Win32DialogView, TextsRoundTripThroughTheControls)
{
    Build();
    EXPECT_EQ(view->Text("edtCurrentScrSav"), "edtCurrentScrSav") << "the resource's text at first";
    EXPECT_EQ(WindowText(view->Control("GroupBox2")), L"現在のスクリーンセーバーデータ");
    EXPECT_EQ(WindowText(view->Control("btnHelp")), L"ヘルプ(&H)") << "mnemonics stay as Win32 writes them";

    const std::string path = "C:\\ユーザー\\データ\\ろろ & らーで.sdt";
    view->SetText("edtCurrentScrSav", path);
    EXPECT_EQ(view->Text("edtCurrentScrSav"), path);
    EXPECT_EQ(WindowText(view->Control("edtCurrentScrSav")), win32::toWide(path));

    const std::string longPath = "C:\\" + std::string(300, 'a') + "\\" + std::string(100, 'b') + ".sdt";
    view->SetText("edtCurrentScrSav", longPath);
    EXPECT_EQ(view->Text("edtCurrentScrSav"), longPath) << "paths longer than MAX_PATH fit";
    view->SetText("edtCurrentScrSav", "");
    EXPECT_EQ(view->Text("edtCurrentScrSav"), "");

    view->SetText("btnCurrentScrSav", "参照(&B)...");
    EXPECT_EQ(view->Text("btnCurrentScrSav"), "参照(&B)...");
    EXPECT_EQ(WindowText(view->Control("btnCurrentScrSav")), L"参照(&B)...");
}

TEST_F(Win32DialogView, CheckBoxStateIsTheControlsAndSettingItClicksNothing)
{
    Build();
    HWND box = view->Control("ckbIgnoreMouseMove");
    EXPECT_FALSE(view->Checked("ckbIgnoreMouseMove"));
    view->SetChecked("ckbIgnoreMouseMove", true);
    EXPECT_TRUE(view->Checked("ckbIgnoreMouseMove"));
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    EXPECT_FALSE(view->Checked("ckbIgnoreMouseMove")) << "the state is read from the control";
    view->SetChecked("ckbIgnoreMouseMove", false);
    Pump();
    EXPECT_TRUE(form.clicks.empty());
    EXPECT_THROW(view->Checked("btnOk"), std::invalid_argument);
    EXPECT_THROW(view->SetChecked("edtCurrentScrSav", true), std::invalid_argument);
}

TEST_F(Win32DialogView, ReadOnlyEditRefusesTypingButTakesSetText)
{
    TDialogResource resource{control("edtLocked", TControlKind::Edit, "", 8, 8, "fixed", 0),
        control("edtFree", TControlKind::Edit, "", 8, 40, "", 1)};
    resource[0].ReadOnly = true;
    Build(resource);
    EXPECT_NE(GetWindowLongW(view->Control("edtLocked"), GWL_STYLE) & ES_READONLY, 0);
    for (HWND edit : {view->Control("edtLocked"), view->Control("edtFree")}) {
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SendMessageW(edit, WM_CHAR, L'あ', 1);
        SendMessageW(edit, WM_CHAR, L'x', 1);
    }
    EXPECT_EQ(view->Text("edtLocked"), "fixed");
    EXPECT_EQ(view->Text("edtFree"), "あx") << "a writable edit takes the same typing";
    view->SetText("edtLocked", "D:\\新しい.sdt");
    EXPECT_EQ(view->Text("edtLocked"), "D:\\新しい.sdt");
}

TEST_F(Win32DialogView, AButtonClickReachesTheFormOnceFromTheLoop)
{
    Build();
    SendMessageW(view->Control("btnHelp"), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.clicks.empty()) << "never inside the window procedure";
    Pump();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"btnHelp"});
    Pump();
    EXPECT_EQ(form.clicks.size(), 1U);

    form.clicks.clear();
    HWND box = view->Control("ckbIgnoreMouseMove");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), BN_CLICKED), reinterpret_cast<LPARAM>(box));
    Pump();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"ckbIgnoreMouseMove"});

    // Other notifications of its controls are the view's, and clicks nothing.
    HWND edit = view->Control("edtCurrentScrSav");
    EXPECT_TRUE(view->HandleCommand(MAKEWPARAM(GetDlgCtrlID(edit), EN_CHANGE), reinterpret_cast<LPARAM>(edit)));
    EXPECT_FALSE(view->HandleCommand(MAKEWPARAM(5, BN_CLICKED), reinterpret_cast<LPARAM>(window)))
        << "a window that is not one of its controls";
    EXPECT_FALSE(view->HandleCommand(MAKEWPARAM(4711, 0), 0)) << "a command of no control";
    Pump();
    EXPECT_EQ(form.clicks.size(), 1U);
}

TEST_F(Win32DialogView, PostedOkAndCancelCommandsClickTheirButtons)
{
    Build();
    EXPECT_EQ(GetDlgCtrlID(view->Control("btnOk")), IDOK);
    EXPECT_EQ(GetDlgCtrlID(view->Control("btnCancel")), IDCANCEL);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    Pump();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"btnOk"});
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    Pump();
    EXPECT_EQ(form.clicks, (std::vector<std::string>{"btnOk", "btnCancel"}));
}

TEST_F(Win32DialogView, EnterClicksTheDefaultOrFocusedButtonAndEscTheCancelButton)
{
    Build();
    ShowAndActivate();
    struct Case {
        const char* focus;
        WPARAM key;
        const char* clicked;
    };
    const Case cases[] = {
        {"edtCurrentScrSav", VK_RETURN, "btnOk"},
        {"ckbIgnoreMouseMove", VK_RETURN, "btnOk"},
        {"btnHelp", VK_RETURN, "btnHelp"},
        {"btnCurrentScrSav", VK_RETURN, "btnCurrentScrSav"},
        {"edtCurrentScrSav", VK_ESCAPE, "btnCancel"},
        {"btnOk", VK_ESCAPE, "btnCancel"},
    };
    for (const Case& c : cases) {
        SetFocus(view->Control(c.focus));
        ASSERT_EQ(view->Focused(), c.focus);
        form.clicks.clear();
        EXPECT_TRUE(Key(WM_KEYDOWN, c.key)) << c.focus;
        EXPECT_TRUE(form.clicks.empty());
        Pump();
        EXPECT_EQ(form.clicks, std::vector<std::string>{c.clicked}) << c.focus << " key " << c.key;
    }
    EXPECT_FALSE(Key(WM_KEYDOWN, 'A')) << "other keys are the controls'";

    // Holding the key down clicks once.
    SetFocus(view->Control("edtCurrentScrSav"));
    form.clicks.clear();
    const LPARAM repeated = LPARAM(1) << 30;
    EXPECT_TRUE(Key(WM_KEYDOWN, VK_RETURN));
    EXPECT_TRUE(Key(WM_KEYDOWN, VK_RETURN, repeated));
    EXPECT_TRUE(Key(WM_KEYDOWN, VK_RETURN, repeated));
    EXPECT_TRUE(Key(WM_KEYDOWN, VK_ESCAPE));
    EXPECT_TRUE(Key(WM_KEYDOWN, VK_ESCAPE, repeated));
    Pump();
    EXPECT_EQ(form.clicks, (std::vector<std::string>{"btnOk", "btnCancel"}));
}

TEST_F(Win32DialogView, WithoutDefaultOrCancelButtonEnterAndEscPassOn)
{
    TDialogResource resource{control("edtName", TControlKind::Edit, "", 8, 8, "", 0),
        control("btnGo", TControlKind::Button, "", 8, 40, "Go", 1)};
    Build(resource);
    ShowAndActivate();
    SetFocus(view->Control("edtName"));
    EXPECT_FALSE(Key(WM_KEYDOWN, VK_RETURN));
    EXPECT_FALSE(Key(WM_KEYDOWN, VK_ESCAPE));
    EXPECT_FALSE(view->HandleCommand(IDOK, 0));
    Pump();
    EXPECT_TRUE(form.clicks.empty());
}

TEST_F(Win32DialogView, TabMovesTheFocusInTabSequenceOrder)
{
    Build();
    ShowAndActivate();
    std::vector<std::string> sequence;
    for (const TControlResource* c : TabSequence(TSettingForm::Resource()))
        sequence.push_back(c->Name);
    ASSERT_EQ(sequence.size(), 6U);
    EXPECT_EQ(view->Focused(), sequence.front()) << "the first stop has the focus on activation";

    std::vector<std::string> forward{view->Focused()};
    for (size_t i = 0; i < sequence.size(); ++i) {
        EXPECT_TRUE(Key(WM_KEYDOWN, VK_TAB));
        forward.push_back(view->Focused());
    }
    std::vector<std::string> expected = sequence;
    expected.push_back(sequence.front());
    EXPECT_EQ(forward, expected) << "round and back to the first";

    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    std::vector<std::string> backward;
    for (size_t i = 0; i < sequence.size(); ++i) {
        EXPECT_TRUE(Key(WM_KEYDOWN, VK_TAB));
        backward.push_back(view->Focused());
    }
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    std::vector<std::string> reversed(sequence.rbegin(), sequence.rend());
    EXPECT_EQ(backward, reversed);
    Pump();
    EXPECT_TRUE(form.clicks.empty()) << "moving the focus clicks nothing";
}

TEST_F(Win32DialogView, ComingBackGivesTheFocusToTheControlThatHadIt)
{
    Build();
    ShowAndActivate();
    SetFocus(view->Control("btnHelp"));
    view->Activate(false);
    SetFocus(window);
    EXPECT_EQ(view->Focused(), "");
    view->Activate(true);
    EXPECT_EQ(view->Focused(), "btnHelp");
}

TEST_F(Win32DialogView, TheFocusedButtonLooksLikeTheDefaultOne)
{
    Build();
    ShowAndActivate();
    auto isDefault = [&](const char* name) {
        return (GetWindowLongW(view->Control(name), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    };
    SetFocus(view->Control("edtCurrentScrSav"));
    ASSERT_TRUE(Key(WM_KEYDOWN, VK_TAB));
    ASSERT_EQ(view->Focused(), "btnCurrentScrSav");
    EXPECT_TRUE(isDefault("btnCurrentScrSav"));
    EXPECT_FALSE(isDefault("btnOk"));
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    ASSERT_TRUE(Key(WM_KEYDOWN, VK_TAB));
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    ASSERT_EQ(view->Focused(), "edtCurrentScrSav");
    EXPECT_TRUE(isDefault("btnOk")) << "back on the Default button when no button has the focus";
    EXPECT_FALSE(isDefault("btnCurrentScrSav"));
}

TEST_F(Win32DialogView, MnemonicLettersClickTheirControls)
{
    TDialogResource resource = TSettingForm::Resource();
    resource.push_back(control("ckbLoop", TControlKind::CheckBox, "Panel2", 16, 190, "繰り返す(&L)", 5));
    Build(resource);
    ShowAndActivate();

    SetFocus(view->Control("edtCurrentScrSav"));
    EXPECT_FALSE(Key(WM_CHAR, 'h')) << "a plain letter in an edit box is the edit box's";
    EXPECT_FALSE(Key(WM_SYSCHAR, 'q')) << "no control has that letter";
    EXPECT_TRUE(Key(WM_SYSCHAR, 'h')) << "Alt+H, whatever has the focus";
    Pump();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"btnHelp"});
    EXPECT_EQ(view->Focused(), "btnHelp");

    form.clicks.clear();
    SetFocus(view->Control("btnOk"));
    EXPECT_TRUE(Key(WM_CHAR, 'L')) << "a plain letter outside edit boxes, either case";
    Pump();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"ckbLoop"});
    EXPECT_TRUE(view->Checked("ckbLoop")) << "a check box toggles as a click does";
}

TEST_F(Win32DialogView, NestedControlsSitAtTheirParentsOffsets)
{
    Build();
    RECT client{};
    GetClientRect(window, &client);
    struct Case {
        const char* name;
        LONG left, top, width, height;
    };
    const LONG bottomPanelTop = client.bottom - 41;
    const Case cases[] = {
        {"Panel2", 8, 8, 345, 201},
        {"GroupBox2", 8 + 16, 8 + 16, 305, 97},
        {"edtCurrentScrSav", 8 + 16 + 16, 8 + 16 + 24, 265, 20},
        {"btnCurrentScrSav", 8 + 16 + 208, 8 + 16 + 56, 75, 25},
        {"GroupBox1", 8 + 16, 8 + 128, 305, 57},
        {"ckbIgnoreMouseMove", 8 + 16 + 16, 8 + 128 + 24, 193, 17},
        {"btnOk", 56, bottomPanelTop + 8, 75, 25},
        {"btnHelp", 232, bottomPanelTop + 8, 75, 25},
    };
    for (const Case& c : cases) {
        const RECT at = Placement(c.name);
        EXPECT_EQ(at.left, c.left) << c.name;
        EXPECT_EQ(at.top, c.top) << c.name;
        EXPECT_EQ(at.right - at.left, c.width) << c.name;
        EXPECT_EQ(at.bottom - at.top, c.height) << c.name;
    }
    EXPECT_EQ(view->Control("Panel1"), nullptr) << "an invisible panel has no window";

    view->Resize(500, 400);
    EXPECT_EQ(Placement("btnOk").top, 400 - 41 + 8) << "the bottom panel follows the client size";
    EXPECT_EQ(Placement("btnCancel").left, 144);
    EXPECT_EQ(Placement("edtCurrentScrSav").top, 8 + 16 + 24);
}

TEST_F(Win32DialogView, ControlsUseTheTwelvePixelMessageFont)
{
    Build();
    ASSERT_NE(view->Font(), nullptr);
    LOGFONTW face{};
    ASSERT_NE(GetObjectW(view->Font(), sizeof face, &face), 0);
    EXPECT_EQ(face.lfHeight, -12);
    for (const char* name : {"edtCurrentScrSav", "btnOk", "GroupBox2", "ckbIgnoreMouseMove"})
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(view->Control(name), WM_GETFONT, 0, 0)), view->Font()) << name;
}

TEST_F(Win32DialogView, TheFontHasJapaneseGlyphsWhereTheSystemHasAny)
{
    Build();
    HDC dc = GetDC(window);
    LOGFONTW wanted{};
    wanted.lfCharSet = SHIFTJIS_CHARSET;
    bool japaneseFont = false;
    EnumFontFamiliesExW(
        dc, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&japaneseFont), 0);
    if (!japaneseFont) {
        ReleaseDC(window, dc);
        GTEST_SKIP() << "no Japanese font installed";
    }
    HGDIOBJ previous = SelectObject(dc, view->Font());
    const std::wstring caption = L"現在のスクリーンセーバーデータ";
    std::vector<WORD> glyphs(caption.size());
    const DWORD converted = GetGlyphIndicesW(dc, caption.c_str(), static_cast<int>(caption.size()), glyphs.data(),
        GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    ASSERT_EQ(converted, caption.size());
    for (size_t i = 0; i < glyphs.size(); ++i)
        EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for character " << i;
}

TEST_F(Win32DialogView, UnknownNamesAreProgrammingErrors)
{
    Build();
    EXPECT_THROW(view->Text("edtNone"), std::invalid_argument);
    EXPECT_THROW(view->SetText("edtNone", "x"), std::invalid_argument);
    EXPECT_THROW(view->Checked("ckbNone"), std::invalid_argument);
    EXPECT_THROW(view->SetChecked("ckbNone", true), std::invalid_argument);
    EXPECT_THROW(view->Control(""), std::invalid_argument);
}

TEST_F(Win32DialogView, DestroyingTheViewRemovesItsControls)
{
    Build();
    HWND edit = view->Control("edtCurrentScrSav");
    ASSERT_TRUE(IsWindow(edit));
    view.reset();
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(GetWindow(window, GW_CHILD), nullptr);
}

namespace {

// Plays the user of the file-open dialog from a thread timer, which the
// dialog's own modal loop runs: types the answer and confirms it, or cancels.
// Should the dialog not take the answer, it is cancelled, then ended, so that
// the test never hangs.
struct OpenDialogUser {
    HWND owner = nullptr;
    std::wstring answer;  // empty: cancel
    int ticks = 0;
    bool seen = false;
    std::wstring selectedFilter;
    std::wstring startName;
};
OpenDialogUser* openDialogUser = nullptr;

BOOL CALLBACK findOwnedDialog(HWND window, LPARAM found)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) == L"#32770" && GetWindow(window, GW_OWNER) == openDialogUser->owner
        && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring itemText(HWND dialog, int id)
{
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

void CALLBACK playOpenDialogUser(HWND, UINT, UINT_PTR, DWORD)
{
    OpenDialogUser& user = *openDialogUser;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &findOwnedDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr)
        return;
    ++user.ticks;
    if (!user.seen) {
        user.seen = true;
        HWND filters = GetDlgItem(dialog, cmb1);
        const auto selected = SendMessageW(filters, CB_GETCURSEL, 0, 0);
        if (selected >= 0) {
            std::wstring text(static_cast<size_t>(SendMessageW(filters, CB_GETLBTEXTLEN, selected, 0)) + 1, L'\0');
            SendMessageW(filters, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text.data()));
            user.selectedFilter = text.c_str();
        }
        user.startName = GetDlgItem(dialog, cmb13) != nullptr ? itemText(dialog, cmb13) : itemText(dialog, edt1);
    }
    if (user.ticks == 1 && !user.answer.empty()) {
        SetDlgItemTextW(dialog, cmb13, user.answer.c_str());
        SetDlgItemTextW(dialog, edt1, user.answer.c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    } else if (user.ticks == 1 || user.ticks == 20) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else if (user.ticks > 40) {
        EndDialog(dialog, 0);
    }
}

}  // namespace

class Win32OpenDialog : public Win32DialogView {
protected:
    std::optional<std::string> Run(const TOpenDialog& dialog, std::wstring answer)
    {
        user.owner = window;
        user.answer = std::move(answer);
        openDialogUser = &user;
        const UINT_PTR timer = SetTimer(nullptr, 0, 100, &playOpenDialogUser);
        std::optional<std::string> chosen = view->RunOpenDialog(dialog);
        KillTimer(nullptr, timer);
        openDialogUser = nullptr;
        return chosen;
    }

    OpenDialogUser user;
};

TEST_F(Win32OpenDialog, ConfirmedFileComesBackAsItsFullPath)
{
    Build();
    ShowAndActivate();
    TempDir folder;
    const std::filesystem::path file = folder.path() / pathFromUtf8("スクリーン データ.sdt");
    std::ofstream(file) << "x";
    TSettingForm settings;
    TOpenDialog dialog = settings.opdScrSavData;
    dialog.InitialDir = folder.str();

    const std::optional<std::string> chosen = Run(dialog, file.wstring());
    ASSERT_TRUE(user.seen) << "the dialog opened";
    EXPECT_EQ(user.ticks, 1) << "it took the first answer";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_TRUE(std::filesystem::equivalent(pathFromUtf8(*chosen), file)) << *chosen;
    EXPECT_EQ(user.selectedFilter, L"スクリーンセーバーデータ(*.sdt)");
    Pump();
    EXPECT_TRUE(form.clicks.empty());
}

TEST_F(Win32OpenDialog, StartsFromThePreviousChoiceAndCancelReturnsNone)
{
    Build();
    ShowAndActivate();
    TempDir folder;
    const std::filesystem::path file = folder.path() / pathFromUtf8("前回.sdt");
    std::ofstream(file) << "x";
    TOpenDialog dialog;
    dialog.Filter = "A|*.a|B|*.b|Shows|*.sdt";
    dialog.FilterIndex = 3;
    dialog.FileName = win32::toUtf8(file.wstring());

    EXPECT_EQ(Run(dialog, L""), std::nullopt);
    ASSERT_TRUE(user.seen);
    EXPECT_EQ(user.selectedFilter, L"Shows");
    EXPECT_NE(user.startName.find(L"前回.sdt"), std::wstring::npos) << win32::toUtf8(user.startName);
}

TEST_F(Win32OpenDialog, AStartNameLongerThanAnyPathStillOpensTheDialog)
{
    Build();
    ShowAndActivate();
    TOpenDialog dialog;
    dialog.Filter = "Shows|*.sdt";
    dialog.FileName = "C:\\" + std::string(40000, 'x') + ".sdt";
    EXPECT_EQ(Run(dialog, L""), std::nullopt);
    EXPECT_TRUE(user.seen) << "the name is cut to the buffer, the dialog opens";
}
