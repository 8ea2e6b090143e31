// Win32Backend.cpp: each form is a top-level window of its own class name, so
// FindWindowA finds it from any process; the message loop waits on the
// thread's queue, a wake-up event and a thread timer for the next tick.
#include "platform/win32/Win32Backend.h"

#include <imm.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/win32/Win32DialogView.h"
#include "platform/win32/WinText.h"
#include "res/LurvaResources.h"

namespace {

TShiftState keyShiftState()
{
    TShiftState shift = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        shift |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0)
        shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0)
        shift |= ssAlt;
    if (GetKeyState(VK_LBUTTON) < 0)
        shift |= ssLeft;
    if (GetKeyState(VK_RBUTTON) < 0)
        shift |= ssRight;
    if (GetKeyState(VK_MBUTTON) < 0)
        shift |= ssMiddle;
    return shift;
}

// The state a mouse message carries in its wParam, with Alt from the keyboard.
TShiftState mouseShiftState(WPARAM keys)
{
    TShiftState shift = 0;
    if (keys & MK_SHIFT)
        shift |= ssShift;
    if (keys & MK_CONTROL)
        shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0)
        shift |= ssAlt;
    if (keys & MK_LBUTTON)
        shift |= ssLeft;
    if (keys & MK_RBUTTON)
        shift |= ssRight;
    if (keys & MK_MBUTTON)
        shift |= ssMiddle;
    return shift;
}

// A 32-bit top-down DIB header for pixels laid out as TBitmap keeps them:
// 0x00RRGGBB words are the bytes B, G, R, 0 that BI_RGB expects.
BITMAPINFO dibHeader(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void registerClass(const std::wstring& className, bool hasFrame, WNDPROC procedure)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, className.c_str(), &existing))
        return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_LURVA));
    // A frameless window paints all of itself; a dialog's face shows between controls.
    windowClass.hbrBackground = hasFrame ? reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1) : nullptr;
    windowClass.lpszClassName = className.c_str();
    RegisterClassExW(&windowClass);
}

}  // namespace

// ---- one window ----

class TWin32Backend::Window final : public TNativeWindow {
public:
    Window(TWin32Backend& backend, TForm& form) : backend_(backend), form_(form)
    {
        const std::wstring className = win32::toWide(form.ClassName());
        const bool hasFrame = form.BorderStyle != TFormBorderStyle::bsNone;
        registerClass(className, hasFrame, &Window::Procedure);

        const TPlacement placement = PlacementOf(form);
        hwnd_ = CreateWindowExW(placement.exStyle, className.c_str(), win32::toWide(TitleOf(form)).c_str(),
            placement.style, placement.x, placement.y, placement.width, placement.height, nullptr, nullptr,
            GetModuleHandleW(nullptr), this);
        if (hwnd_ == nullptr)
            throw Exception("cannot open a window: " + win32::lastErrorText());
        backend_.windows_.push_back(this);

        // Where the pointer is now: a move report at this place is the window
        // appearing under the pointer, not a movement.
        POINT pointer{};
        if (GetCursorPos(&pointer) && ScreenToClient(hwnd_, &pointer)) {
            pointerKnown_ = true;
            pointerX_ = pointer.x;
            pointerY_ = pointer.y;
        }
    }

    ~Window() override
    {
        std::erase(backend_.windows_, this);
        view_.reset();
        // No message reaches this object any more, whatever the destruction sends.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        if (inputContextTaken_)
            ImmAssociateContext(hwnd_, previousInputContext_);
        DestroyWindow(hwnd_);
    }

    HWND Handle() const { return hwnd_; }
    TForm& Form() const { return form_; }

    // FormCreate may have changed the bounds, border and style since the
    // window was made: they are taken now.
    void Show() override
    {
        const TPlacement placement = PlacementOf(form_);
        SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(placement.style));
        SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, static_cast<LONG_PTR>(placement.exStyle));
        SetWindowTextW(hwnd_, win32::toWide(TitleOf(form_)).c_str());
        const bool onTop = form_.FormStyle == TFormStyle::fsStayOnTop;
        SetWindowPos(hwnd_, onTop ? HWND_TOPMOST : HWND_TOP, placement.x, placement.y, placement.width,
            placement.height, SWP_FRAMECHANGED);
        ShowWindow(hwnd_, SW_SHOW);
        SetForegroundWindow(hwnd_);
        SetFocus(hwnd_);
        UpdateWindow(hwnd_);
    }

    void Present(const TBitmap& bitmap, const TRect& rect) override { PresentRects(bitmap, &rect, 1); }

    // The bitmap's own memory is the DIB that GDI reads: no copy in between.
    // Each rectangle's rows are given as a DIB of their own (full rows, so
    // the stride matches), with the source at its top row: how a partial
    // source rectangle of a top-down DIB is measured differs between GDI
    // implementations, a source that spans the whole DIB does not.
    void PresentRects(const TBitmap& bitmap, const TRect* rects, size_t count) override
    {
        if (bitmap.Empty())
            return;
        RECT client{};
        GetClientRect(hwnd_, &client);
        // A scaled window shows each bitmap pixel as a scale x scale square
        // (COLORONCOLOR stretches by repeating pixels: the picture stays sharp).
        const int scale = std::max(form_.PixelScale, 1);
        const int width = std::min<int>(bitmap.Width(), (client.right + scale - 1) / scale);
        const int height = std::min<int>(bitmap.Height(), (client.bottom + scale - 1) / scale);
        HDC dc = GetDC(hwnd_);
        if (dc == nullptr)
            return;
        if (scale > 1)
            SetStretchBltMode(dc, COLORONCOLOR);
        for (size_t i = 0; i < count; ++i) {
            const int left = std::max(rects[i].Left, 0);
            const int top = std::max(rects[i].Top, 0);
            const int right = std::min(rects[i].Right, width);
            const int bottom = std::min(rects[i].Bottom, height);
            if (right <= left || bottom <= top)
                continue;
            const int rows = bottom - top;
            const BITMAPINFO info = dibHeader(bitmap.Width(), rows);
            if (scale > 1)
                StretchDIBits(dc, left * scale, top * scale, (right - left) * scale, rows * scale, left, 0, right - left,
                    rows, bitmap.ScanLine(top), &info, DIB_RGB_COLORS, SRCCOPY);
            else
                SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(right - left), static_cast<DWORD>(rows), left, 0, 0,
                    static_cast<UINT>(rows), bitmap.ScanLine(top), &info, DIB_RGB_COLORS);
        }
        GdiFlush();
        ReleaseDC(hwnd_, dc);
    }

    void Invalidate() override { InvalidateRect(hwnd_, nullptr, FALSE); }

    void BringToFront() override
    {
        SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(hwnd_);
    }

    // The controls are children of this window; a group box paints no face
    // of its own, so the window draws its face under them (no clipping of
    // children).
    TDialogView* CreateControls(const TDialogResource& resource) override
    {
        SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
        view_ = std::make_unique<TWin32DialogView>(hwnd_, form_, resource);
        return view_.get();
    }

    TWin32DialogView* View() const { return view_.get(); }

    void DisableInputMethod() override
    {
        const HIMC previous = ImmAssociateContext(hwnd_, nullptr);
        if (!inputContextTaken_) {
            previousInputContext_ = previous;
            inputContextTaken_ = true;
        }
    }

private:
    struct TPlacement {
        DWORD style = 0;
        DWORD exStyle = 0;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    static TPlacement PlacementOf(const TForm& form)
    {
        TPlacement placement;
        placement.style = WS_POPUP;
        switch (form.BorderStyle) {
        case TFormBorderStyle::bsNone:
            break;
        case TFormBorderStyle::bsDialog:
            placement.style |= WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
            placement.exStyle |= WS_EX_DLGMODALFRAME;
            break;
        case TFormBorderStyle::bsSingle:
            placement.style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
            break;
        case TFormBorderStyle::bsSizeable:
            placement.style |= WS_OVERLAPPEDWINDOW;
            break;
        }
        if (form.FormStyle == TFormStyle::fsStayOnTop)
            placement.exStyle |= WS_EX_TOPMOST;
        placement.width = std::max(form.Width, 1);
        placement.height = std::max(form.Height, 1);
        placement.x = form.Left;
        placement.y = form.Top;
        if (form.Position == TPosition::poScreenCenter) {
            placement.x = (GetSystemMetrics(SM_CXSCREEN) - placement.width) / 2;
            placement.y = (GetSystemMetrics(SM_CYSCREEN) - placement.height) / 2;
        }
        return placement;
    }

    std::string TitleOf(const TForm& form) const
    {
        return !form.Caption.empty() || backend_.app_ == nullptr ? form.Caption : backend_.app_->Title();
    }

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            auto* created = static_cast<Window*>(create->lpCreateParams);
            created->hwnd_ = hwnd;  // messages come before CreateWindowExW returns
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        }
        auto* window = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (window == nullptr)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        return window->Handle(message, wParam, lParam);
    }

    // A handler may close the form, which destroys this object: every case
    // that dispatches to the form returns at once without touching members.
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd_, &paint);
            EndPaint(hwnd_, &paint);
            form_.DispatchPaint();
            return 0;
        }
        case WM_ERASEBKGND:
            if (form_.BorderStyle == TFormBorderStyle::bsNone)
                return 1;  // FormPaint covers the whole window
            break;
        case WM_KEYDOWN:
            form_.DispatchKeyDown(static_cast<uint16_t>(wParam), keyShiftState());
            return 0;
        case WM_SYSKEYDOWN:
            // Alt with a key, and F10: the form sees them as any other key;
            // Alt+F4 still closes a window with a frame.
            if (wParam == VK_F4 && form_.BorderStyle != TFormBorderStyle::bsNone)
                break;
            form_.DispatchKeyDown(static_cast<uint16_t>(wParam), keyShiftState() | ssAlt);
            return 0;
        case WM_LBUTTONDOWN:
            leftPressed_ = true;
            SetCapture(hwnd_);
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd_)
                ReleaseCapture();
            if (leftPressed_) {
                leftPressed_ = false;
                form_.DispatchClick();
            }
            return 0;
        case WM_MOUSEMOVE: {
            const int x = static_cast<short>(LOWORD(lParam));
            const int y = static_cast<short>(HIWORD(lParam));
            // Windows repeats a move report when the window under the pointer
            // changes; only a new position is a movement.
            if (pointerKnown_ && x == pointerX_ && y == pointerY_)
                return 0;
            pointerKnown_ = true;
            pointerX_ = x;
            pointerY_ = y;
            form_.DispatchMouseMove(mouseShiftState(wParam), x, y);
            return 0;
        }
        case WM_SYSCOMMAND:
            // This program is the screen saver: another must not start over it.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER)
                return 0;
            break;
        case WM_CLOSE:
            form_.Close();
            return 0;
        case WM_COMMAND:
            if (view_ && view_->HandleCommand(wParam, lParam))
                return 0;
            break;
        case WM_SIZE:
            if (view_)
                view_->Resize(LOWORD(lParam), HIWORD(lParam));
            break;
        case WM_ACTIVATE:
            if (view_) {
                const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
                view_->Activate(LOWORD(wParam) != WA_INACTIVE);
                return result;
            }
            break;
        default:
            break;
        }
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }

    TWin32Backend& backend_;
    TForm& form_;
    HWND hwnd_ = nullptr;
    std::unique_ptr<TWin32DialogView> view_;  // the controls, when the form has any
    HIMC previousInputContext_ = nullptr;
    bool inputContextTaken_ = false;
    bool leftPressed_ = false;
    bool pointerKnown_ = false;
    int pointerX_ = 0;
    int pointerY_ = 0;
};

// ---- the backend ----

TWin32Backend::TWin32Backend() : wakeEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (wakeEvent_ == nullptr)
        throw Exception("cannot make the message loop's wake-up event: " + win32::lastErrorText());
}

TWin32Backend::~TWin32Backend()
{
    CloseHandle(wakeEvent_);
}

void TWin32Backend::Attach(TApplication& app)
{
    app_ = &app;
}

std::unique_ptr<TNativeWindow> TWin32Backend::CreateNativeWindow(TForm& form)
{
    return std::make_unique<Window>(*this, form);
}

bool TWin32Backend::WindowClassExists(const std::string& className)
{
    return FindWindowA(className.c_str(), nullptr) != nullptr;
}

int64_t TWin32Backend::NowMs()
{
    return static_cast<int64_t>(GetTickCount64());
}

// The dialog keyboard (Tab, Enter, Esc, mnemonics) of the window the message
// is for, before the focused control sees the key.
bool TWin32Backend::PreTranslate(MSG& message)
{
    if (message.hwnd == nullptr)
        return false;
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    for (Window* window : windows_)
        if (window->Handle() == root && window->View() != nullptr)
            return window->View()->PreTranslateMessage(message);
    return false;
}

bool TWin32Backend::DispatchPending()
{
    bool any = false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        if (message.message == WM_QUIT) {
            // Whoever posted it (PostQuitMessage) asks the loop to end.
            if (app_ != nullptr)
                app_->Terminate();
            break;
        }
        if (PreTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return any;
}

void TWin32Backend::WaitEvents(std::optional<int64_t> deadlineMs)
{
    if (DispatchPending())
        return;
    // The next tick arrives as a thread timer's WM_TIMER, which wakes the wait.
    UINT_PTR timer = 0;
    DWORD timeout = INFINITE;
    if (deadlineMs) {
        const int64_t wait = *deadlineMs - NowMs();
        if (wait <= 0)
            return;
        const UINT delay = static_cast<UINT>(std::min<int64_t>(wait, INT_MAX));
        timer = SetTimer(nullptr, 0, delay, nullptr);
        if (timer == 0)
            timeout = delay;
    }
    MsgWaitForMultipleObjectsEx(1, &wakeEvent_, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (timer != 0)
        KillTimer(nullptr, timer);
    DispatchPending();
}

void TWin32Backend::Wakeup()
{
    SetEvent(wakeEvent_);
}

HWND TWin32Backend::NewestWindow() const
{
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (!(*it)->Form().Closed() && IsWindowVisible((*it)->Handle()))
            return (*it)->Handle();
    return nullptr;
}

void TWin32Backend::ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind)
{
    // Also on standard error, where a script or a console sees it.
    PrintMessageBoxText(text, kind);
    UINT type = MB_OK | MB_SETFOREGROUND;
    type |= kind == TMessageKind::Error ? MB_ICONSTOP : 0;
    HWND owner = NewestWindow();
    if (owner == nullptr)
        type |= MB_TASKMODAL | MB_TOPMOST;
    MessageBoxW(owner, win32::toWide(text).c_str(), win32::toWide(caption).c_str(), type);
}

void TWin32Backend::ShowHelp(const std::string& helpFile, int context)
{
    if (helpFile.empty())
        return;
    HWND owner = NewestWindow();
    if (!WinHelpW(owner, win32::toWide(helpFile).c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(context)))
        std::fprintf(stderr, "cannot open the help file %s: %s\n", helpFile.c_str(), win32::lastErrorText().c_str());
}

TScreenSize TWin32Backend::ScreenSize()
{
    return TScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

namespace {

// GetDpiForMonitor (Windows 8.1 and later, shcore.dll), looked up once: the
// module also runs where it is missing, and every monitor is then 96 dpi.
using TGetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

TGetDpiForMonitor getDpiForMonitor()
{
    static const TGetDpiForMonitor function = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        return shcore != nullptr
            ? reinterpret_cast<TGetDpiForMonitor>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
            : nullptr;
    }();
    return function;
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    UINT dpiX = 0;
    UINT dpiY = 0;
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI: the scale the user chose
    if (TGetDpiForMonitor function = getDpiForMonitor(); function == nullptr || function(monitor, kEffectiveDpi, &dpiX, &dpiY) != S_OK)
        dpiX = 96;
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<TMonitor>*>(data)->push_back(TMonitor{static_cast<int>(r.left),
        static_cast<int>(r.top), static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top),
        (info.dwFlags & MONITORINFOF_PRIMARY) != 0, static_cast<int>(dpiX)});
    return TRUE;
}

}  // namespace

std::vector<TMonitor> TWin32Backend::Monitors()
{
    std::vector<TMonitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors.empty() ? TPlatformBackend::Monitors() : monitors;
}

void TWin32Backend::SetCursorVisible(bool visible)
{
    ::ShowCursor(visible ? TRUE : FALSE);
}

bool TWin32Backend::CopyDesktop(TBitmap& dest, int left, int top)
{
    if (dest.Empty())
        return false;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return false;
    bool copied = false;
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const BITMAPINFO info = dibHeader(dest.Width(), dest.Height());
    HBITMAP section = memory != nullptr
        ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
        : nullptr;
    if (section != nullptr) {
        HGDIOBJ previous = SelectObject(memory, section);
        if (BitBlt(memory, 0, 0, dest.Width(), dest.Height(), screen, left, top, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            const auto* source = static_cast<const uint32_t*>(bits);
            const size_t width = static_cast<size_t>(dest.Width());
            for (int y = 0; y < dest.Height(); ++y) {
                const uint32_t* in = source + static_cast<size_t>(y) * width;
                uint32_t* out = dest.ScanLine(y);
                for (size_t x = 0; x < width; ++x)
                    out[x] = in[x] & 0x00FFFFFFu;
            }
            copied = true;
        }
        SelectObject(memory, previous);
        DeleteObject(section);
    }
    if (memory != nullptr)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied;
}

HWND TWin32Backend::WindowOf(const TForm& form) const
{
    for (Window* window : windows_)
        if (&window->Form() == &form)
            return window->Handle();
    return nullptr;
}
