// Win32DialogView.cpp: a form's controls as Win32 child windows, the dialog
// keyboard over them, and the common file-open dialog.
#include "platform/win32/Win32DialogView.h"

#include <cderr.h>
#include <commdlg.h>

#include <algorithm>
#include <stdexcept>

#include "platform/Exceptions.h"
#include "platform/Forms.h"
#include "platform/win32/WinText.h"

namespace {

constexpr const wchar_t* kRaisedPanelClass = L"LurvaRaisedPanel";
// The form's font is 12 pixels high; the resource's control sizes fit it.
constexpr LONG kFontHeight = -12;
// Room for the longest path the file-open dialog can return.
constexpr DWORD kOpenFileBufferChars = 32768;
constexpr int kFirstControlId = 1000;
// Set in a key message's lParam when the key was already down (auto-repeat).
constexpr LPARAM kRepeatBit = LPARAM(1) << 30;

bool isContainer(TControlKind kind)
{
    return kind == TControlKind::Panel || kind == TControlKind::GroupBox;
}

// A panel drawn raised: the button face with a one-pixel raised edge.
LRESULT CALLBACK raisedPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerRaisedPanelClass()
{
    // Registered once for the process; a second registration would only fail.
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &raisedPanelProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        windowClass.lpszClassName = kRaisedPanelClass;
        return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    (void)registered;
}

// The letter after a single "&" of a caption; 0 when it has none.
wchar_t mnemonicOf(const std::string& caption)
{
    const std::wstring wide = win32::toWide(caption);
    for (size_t i = 0; i + 1 < wide.size(); ++i) {
        if (wide[i] != L'&')
            continue;
        if (wide[i + 1] != L'&')
            return wide[i + 1];
        ++i;  // "&&" is a literal "&"
    }
    return 0;
}

wchar_t upper(wchar_t c)
{
    // CharUpperW takes a single character in the low word of its pointer argument.
    return static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(c)))));
}

bool styled(HWND window, LONG style)
{
    return (GetWindowLongW(window, GWL_STYLE) & style) == style;
}

}  // namespace

std::wstring Win32OpenFilter(const std::string& filter)
{
    std::wstring list;
    for (const TFileFilter& pair : ParseFilter(filter)) {
        list += win32::toWide(pair.Description);
        list += L'\0';
        std::string patterns;
        for (const std::string& pattern : pair.Patterns)
            patterns += (patterns.empty() ? "" : ";") + pattern;
        list += win32::toWide(patterns);
        list += L'\0';
    }
    list += L'\0';
    return list;
}

TWin32DialogView::TWin32DialogView(HWND window, TForm& form, const TDialogResource& resource)
    : window_(window), form_(form)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW face{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        face = metrics.lfMessageFont;
    else
        face.lfCharSet = DEFAULT_CHARSET;
    face.lfHeight = kFontHeight;
    face.lfWidth = 0;
    // The captions are Japanese: where the message font has no Japanese
    // glyphs the font mapper then takes a face of the same look that has.
    face.lfCharSet = SHIFTJIS_CHARSET;
    font_ = CreateFontIndirectW(&face);

    for (const TControlResource& control : resource) {
        if (!control.Parent.empty() && entries_.find(control.Parent) == entries_.end())
            throw std::invalid_argument("the parent of " + control.Name + " comes after it: " + control.Parent);
        if (!entries_.emplace(control.Name, Entry{control, nullptr, {}}).second)
            throw std::invalid_argument("two controls named " + control.Name);
        order_.push_back(control.Name);
        if (control.Kind == TControlKind::Button) {
            if (control.Default && defaultButton_.empty())
                defaultButton_ = control.Name;
            if (control.Cancel && cancelButton_.empty())
                cancelButton_ = control.Name;
        }
    }
    for (const TControlResource* control : TabSequence(resource))
        tabSequence_.push_back(control->Name);

    RECT client{};
    GetClientRect(window_, &client);
    int clientWidth = client.right - client.left;
    int clientHeight = client.bottom - client.top;
    if (clientWidth <= 0 || clientHeight <= 0) {
        // Not sized yet: the form's outer size less the frame of its style.
        RECT frame{0, 0, 0, 0};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
            static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
        clientWidth = std::max(form_.Width - static_cast<int>(frame.right - frame.left), 0);
        clientHeight = std::max(form_.Height - static_cast<int>(frame.bottom - frame.top), 0);
    }
    Layout(clientWidth, clientHeight);

    // The Z order is the tab order (as in a dialog template), and frames lie
    // under the controls they hold: controls first, in tab order, then the
    // containers, innermost first, each placed at the bottom.
    try {
        int nextId = kFirstControlId;
        auto idOf = [&](const Entry& entry) {
            if (entry.resource.Name == defaultButton_)
                return IDOK;
            if (entry.resource.Name == cancelButton_)
                return IDCANCEL;
            return nextId++;
        };
        for (const std::string& name : tabSequence_)
            Build(Find(name), idOf(Find(name)));
        for (const std::string& name : order_) {
            Entry& entry = Find(name);
            if (!isContainer(entry.resource.Kind) && entry.window == nullptr)
                Build(entry, idOf(entry));
        }
        for (auto name = order_.rbegin(); name != order_.rend(); ++name) {
            Entry& entry = Find(*name);
            if (isContainer(entry.resource.Kind))
                Build(entry, idOf(entry));
        }
    } catch (...) {
        for (auto& [name, entry] : entries_)
            if (entry.window != nullptr)
                DestroyWindow(entry.window);
        if (font_ != nullptr)
            DeleteObject(font_);
        throw;
    }
    if (!defaultButton_.empty())
        lookedDefault_ = Find(defaultButton_).window;
}

TWin32DialogView::~TWin32DialogView()
{
    for (auto& [name, entry] : entries_)
        if (entry.window != nullptr && IsWindow(entry.window) && GetParent(entry.window) == window_)
            DestroyWindow(entry.window);
    if (font_ != nullptr)
        DeleteObject(font_);
}

void TWin32DialogView::Build(Entry& entry, int id)
{
    const TControlResource& control = entry.resource;
    const wchar_t* windowClass = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (control.Kind) {
    case TControlKind::Panel:
        if (!control.RaisedBevel)
            return;  // only a place for its children
        registerRaisedPanelClass();
        windowClass = kRaisedPanelClass;
        break;
    case TControlKind::GroupBox:
        style |= BS_GROUPBOX;
        break;
    case TControlKind::CheckBox:
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
    case TControlKind::Edit:
        windowClass = L"EDIT";
        style |= ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | (control.ReadOnly ? ES_READONLY : 0);
        exStyle |= WS_EX_CLIENTEDGE;
        break;
    case TControlKind::Button:
        style |= (control.Name == defaultButton_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
        break;
    }
    const RECT& at = entry.bounds;
    entry.window = CreateWindowExW(exStyle, windowClass, win32::toWide(control.Text).c_str(), style, at.left, at.top,
        at.right - at.left, at.bottom - at.top, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        GetModuleHandleW(nullptr), nullptr);
    if (entry.window == nullptr)
        throw Exception("コントロール " + control.Name + " を作成できません");
    SetWindowPos(entry.window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (font_ != nullptr)
        SendMessageW(entry.window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (control.Kind == TControlKind::Edit)
        SendMessageW(entry.window, EM_SETLIMITTEXT, 0, 0);  // no limit below the system's
}

void TWin32DialogView::Layout(int clientWidth, int clientHeight)
{
    for (const std::string& name : order_) {
        Entry& entry = Find(name);
        const TControlResource& control = entry.resource;
        RECT parent{0, 0, clientWidth, clientHeight};
        if (!control.Parent.empty())
            parent = Find(control.Parent).bounds;
        if (control.AlignBottom)
            entry.bounds = RECT{parent.left, parent.bottom - control.Height, parent.right, parent.bottom};
        else
            entry.bounds = RECT{parent.left + control.Left, parent.top + control.Top,
                parent.left + control.Left + control.Width, parent.top + control.Top + control.Height};
        if (entry.window != nullptr)
            SetWindowPos(entry.window, nullptr, entry.bounds.left, entry.bounds.top,
                entry.bounds.right - entry.bounds.left, entry.bounds.bottom - entry.bounds.top,
                SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TWin32DialogView::Resize(int clientWidth, int clientHeight)
{
    Layout(clientWidth, clientHeight);
}

TWin32DialogView::Entry& TWin32DialogView::Find(const std::string& control)
{
    const auto found = entries_.find(control);
    if (found == entries_.end())
        throw std::invalid_argument("no control named " + control);
    return found->second;
}

const TWin32DialogView::Entry& TWin32DialogView::Find(const std::string& control) const
{
    return const_cast<TWin32DialogView*>(this)->Find(control);
}

const TWin32DialogView::Entry* TWin32DialogView::FindByWindow(HWND window) const
{
    if (window == nullptr)
        return nullptr;
    for (const auto& [name, entry] : entries_)
        if (entry.window == window)
            return &entry;
    return nullptr;
}

HWND TWin32DialogView::Control(const std::string& control) const
{
    return Find(control).window;
}

std::string TWin32DialogView::Focused() const
{
    const Entry* entry = FindByWindow(GetFocus());
    return entry != nullptr ? entry->resource.Name : std::string();
}

std::string TWin32DialogView::Text(const std::string& control) const
{
    const Entry& entry = Find(control);
    if (entry.resource.Kind != TControlKind::Edit)
        return entry.resource.Text;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(entry.window)) + 1, L'\0');
    const int length = GetWindowTextW(entry.window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(length, 0)));
    return win32::toUtf8(text);
}

void TWin32DialogView::SetText(const std::string& control, const std::string& text)
{
    Entry& entry = Find(control);
    if (entry.window != nullptr && entry.resource.Kind != TControlKind::Panel)
        SetWindowTextW(entry.window, win32::toWide(text).c_str());
    entry.resource.Text = text;
}

bool TWin32DialogView::Checked(const std::string& control) const
{
    const Entry& entry = Find(control);
    if (entry.resource.Kind != TControlKind::CheckBox)
        throw std::invalid_argument(control + " is no check box");
    return SendMessageW(entry.window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TWin32DialogView::SetChecked(const std::string& control, bool checked)
{
    // BM_SETCHECK notifies nobody: only the user's clicks are clicks.
    const Entry& entry = Find(control);
    if (entry.resource.Kind != TControlKind::CheckBox)
        throw std::invalid_argument(control + " is no check box");
    SendMessageW(entry.window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::optional<std::string> TWin32DialogView::RunOpenDialog(const TOpenDialog& dialog)
{
    const std::wstring filter = Win32OpenFilter(dialog.Filter);
    const auto filterCount = static_cast<int>(ParseFilter(dialog.Filter).size());
    const std::wstring initialDir = win32::toWide(dialog.InitialDir);
    std::wstring startName = win32::toWide(dialog.FileName);

    for (;;) {
        std::wstring file(kOpenFileBufferChars, L'\0');
        std::copy_n(startName.begin(), std::min<size_t>(startName.size(), kOpenFileBufferChars - 1), file.begin());
        OPENFILENAMEW open{};
        open.lStructSize = sizeof open;
        open.hwndOwner = window_;
        open.lpstrFilter = filterCount > 0 ? filter.c_str() : nullptr;
        open.nFilterIndex = static_cast<DWORD>(dialog.FilterIndex >= 1 && dialog.FilterIndex <= filterCount ? dialog.FilterIndex : 1);
        open.lpstrFile = file.data();
        open.nMaxFile = kOpenFileBufferChars;
        open.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
        open.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | (dialog.PathMustExist ? OFN_PATHMUSTEXIST : 0)
            | (dialog.FileMustExist ? OFN_FILEMUSTEXIST : 0);
        if (GetOpenFileNameW(&open))
            return win32::toUtf8(file.c_str());
        // A start name the dialog cannot take (bad characters, too long) would
        // keep it from ever opening: open it again without one.
        if (CommDlgExtendedError() == FNERR_INVALIDFILENAME && !startName.empty()) {
            startName.clear();
            continue;
        }
        return std::nullopt;
    }
}

bool TWin32DialogView::HandleCommand(WPARAM wParam, LPARAM lParam)
{
    const auto from = reinterpret_cast<HWND>(lParam);
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (from != nullptr) {
        const Entry* entry = FindByWindow(from);
        if (entry == nullptr)
            return false;
        const TControlKind kind = entry->resource.Kind;
        if ((kind == TControlKind::Button || kind == TControlKind::CheckBox) && code == BN_CLICKED)
            PostClick(entry->resource.Name);
        return true;
    }
    // No control: a command posted to the window, as a dialog's Enter and Esc are.
    if (id == IDOK && !defaultButton_.empty()) {
        PostClick(defaultButton_);
        return true;
    }
    if (id == IDCANCEL && !cancelButton_.empty()) {
        PostClick(cancelButton_);
        return true;
    }
    return false;
}

void TWin32DialogView::PostClick(const std::string& control)
{
    if (Application == nullptr)
        return;
    TForm* form = &form_;
    Application->Post([form, control] { form->DispatchControlClick(control); });
}

bool TWin32DialogView::IsButton(HWND window) const
{
    const Entry* entry = FindByWindow(window);
    return entry != nullptr && entry->resource.Kind == TControlKind::Button;
}

void TWin32DialogView::ShowDefaultOn(HWND focus)
{
    HWND wanted = IsButton(focus) ? focus : (defaultButton_.empty() ? nullptr : Find(defaultButton_).window);
    if (wanted == lookedDefault_)
        return;
    if (lookedDefault_ != nullptr && IsWindow(lookedDefault_))
        SendMessageW(lookedDefault_, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    if (wanted != nullptr)
        SendMessageW(wanted, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    lookedDefault_ = wanted;
}

void TWin32DialogView::MoveFocus(bool backwards)
{
    std::vector<HWND> stops;
    for (const std::string& name : tabSequence_) {
        HWND control = Find(name).window;
        if (control != nullptr && styled(control, WS_VISIBLE) && IsWindowEnabled(control))
            stops.push_back(control);
    }
    if (stops.empty())
        return;
    const auto at = std::find(stops.begin(), stops.end(), GetFocus());
    size_t next = 0;
    if (at == stops.end())
        next = backwards ? stops.size() - 1 : 0;
    else if (backwards)
        next = (static_cast<size_t>(at - stops.begin()) + stops.size() - 1) % stops.size();
    else
        next = (static_cast<size_t>(at - stops.begin()) + 1) % stops.size();
    SetFocus(stops[next]);
    if (const Entry* entry = FindByWindow(stops[next]); entry != nullptr && entry->resource.Kind == TControlKind::Edit)
        SendMessageW(stops[next], EM_SETSEL, 0, -1);  // as a dialog does when tabbing into an edit
    ShowDefaultOn(stops[next]);
}

bool TWin32DialogView::ClickMnemonic(wchar_t letter)
{
    if (letter == 0)
        return false;
    const wchar_t wanted = upper(letter);
    for (const std::string& name : tabSequence_) {
        Entry& entry = Find(name);
        const TControlKind kind = entry.resource.Kind;
        if (kind != TControlKind::Button && kind != TControlKind::CheckBox)
            continue;
        if (entry.window == nullptr || !IsWindowEnabled(entry.window) || !styled(entry.window, WS_VISIBLE))
            continue;
        const wchar_t mnemonic = mnemonicOf(entry.resource.Text);
        if (mnemonic == 0 || upper(mnemonic) != wanted)
            continue;
        SetFocus(entry.window);
        ShowDefaultOn(entry.window);
        if (kind == TControlKind::CheckBox)
            SendMessageW(entry.window, BM_SETCHECK, Checked(name) ? BST_UNCHECKED : BST_CHECKED, 0);
        PostClick(name);
        return true;
    }
    return false;
}

bool TWin32DialogView::PreTranslateMessage(MSG& message)
{
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd))
        return false;
    HWND focus = GetFocus();
    ShowDefaultOn(focus);
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    switch (message.message) {
    case WM_KEYDOWN:
        if (control || alt)
            return false;
        // A held Enter or Esc repeats its key-down; a press clicks once.
        if ((message.wParam == VK_RETURN || message.wParam == VK_ESCAPE) && (message.lParam & kRepeatBit) != 0)
            return (message.wParam == VK_RETURN && (IsButton(focus) || !defaultButton_.empty()))
                || (message.wParam == VK_ESCAPE && !cancelButton_.empty());
        switch (message.wParam) {
        case VK_TAB:
            MoveFocus(GetKeyState(VK_SHIFT) < 0);
            return true;
        case VK_RETURN:
            if (const Entry* entry = FindByWindow(focus); entry != nullptr && entry->resource.Kind == TControlKind::Button) {
                PostClick(entry->resource.Name);
                return true;
            }
            if (defaultButton_.empty())
                return false;
            PostClick(defaultButton_);
            return true;
        case VK_ESCAPE:
            if (cancelButton_.empty())
                return false;
            PostClick(cancelButton_);
            return true;
        default:
            return false;
        }
    case WM_SYSCHAR:
        return ClickMnemonic(static_cast<wchar_t>(message.wParam));
    case WM_CHAR:
        // An edit box takes its letters; elsewhere a letter is a mnemonic.
        if (const Entry* entry = FindByWindow(focus); entry != nullptr && entry->resource.Kind == TControlKind::Edit)
            return false;
        if (control || message.wParam < 0x20)
            return false;
        return ClickMnemonic(static_cast<wchar_t>(message.wParam));
    default:
        return false;
    }
}

void TWin32DialogView::Activate(bool active)
{
    if (!active) {
        if (HWND focus = GetFocus(); FindByWindow(focus) != nullptr)
            savedFocus_ = focus;
        return;
    }
    HWND target = savedFocus_ != nullptr && IsWindow(savedFocus_) ? savedFocus_ : nullptr;
    for (size_t i = 0; target == nullptr && i < tabSequence_.size(); ++i) {
        HWND control = Find(tabSequence_[i]).window;
        if (control != nullptr && IsWindowEnabled(control))
            target = control;
    }
    if (target != nullptr) {
        SetFocus(target);
        ShowDefaultOn(target);
    }
}
