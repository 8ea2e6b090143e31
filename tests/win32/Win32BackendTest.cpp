// The Win32 window backend on the prefix's Xvfb: the window takes the form's
// class name and properties when shown, input reaches the form, only the
// rectangles given are presented, the desktop copy sees the windows, and the
// message loop wakes for timers and for other threads.
#include <gtest/gtest.h>

#include <windows.h>
#include <imm.h>

#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/win32/Win32Backend.h"

namespace {

class RecordingForm : public TForm {
public:
    explicit RecordingForm(std::string className) : TForm(std::move(className)) {}

    std::vector<std::string> events;
    // What FormCreate sets, as the show window sets its bounds there.
    std::optional<TRect> boundsOnCreate;

protected:
    void FormCreate() override
    {
        if (boundsOnCreate) {
            Left = boundsOnCreate->Left;
            Top = boundsOnCreate->Top;
            Width = boundsOnCreate->Right - boundsOnCreate->Left;
            Height = boundsOnCreate->Bottom - boundsOnCreate->Top;
        }
    }
    void FormPaint() override { events.push_back("paint"); }
    void FormKeyDown(uint16_t key, TShiftState shift) override
    {
        events.push_back("key " + std::to_string(key) + ((shift & ssShift) ? " shift" : ""));
    }
    void FormClick() override { events.push_back("click"); }
    void FormMouseMove(TShiftState, int x, int y) override
    {
        events.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    }
    void FormClose() override { events.push_back("close"); }
};

// The events other than paints, which come whenever the window is exposed.
std::vector<std::string> inputEvents(const RecordingForm& form)
{
    std::vector<std::string> input;
    for (const std::string& event : form.events)
        if (event != "paint")
            input.push_back(event);
    return input;
}

class Win32Backend : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto made = std::make_unique<TWin32Backend>();
        backend_ = made.get();
        app_ = std::make_unique<TApplication>(std::move(made));
        app_->SetTitle("Lurvasaver");
    }

    // A shown form of className, or a skip when there is no display.
    RecordingForm* open(const std::string& className, std::optional<TRect> bounds = std::nullopt)
    {
        auto made = std::make_unique<RecordingForm>(className);
        made->BorderStyle = TFormBorderStyle::bsNone;
        made->boundsOnCreate = bounds;
        RecordingForm* form = made.get();
        try {
            app_->CreateForm(std::move(made));
        } catch (const Exception&) {
            return nullptr;
        }
        form->Show();
        pump();
        return form;
    }

    // Lets the queued messages reach the form.
    void pump()
    {
        for (int i = 0; i < 5; ++i) {
            app_->ProcessMessages();
            backend_->WaitEvents(backend_->NowMs() + 20);
        }
    }

    // The window's pixel at (x, y) as a pixel word 0x00RRGGBB, read back through GDI.
    uint32_t pixelAt(HWND window, int x, int y) const
    {
        HDC dc = GetDC(window);
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    }

    TWin32Backend* backend_ = nullptr;
    std::unique_ptr<TApplication> app_;
};

#define OPEN_OR_SKIP(form, ...)                                  \
    RecordingForm* form = open(__VA_ARGS__);                     \
    if (form == nullptr)                                         \
        GTEST_SKIP() << "no display: windows cannot be made here"

TEST_F(Win32Backend, TheWindowHasTheFormsClassNameUntilItCloses)
{
    EXPECT_FALSE(app_->WindowClassExists("TBackendTestForm"));
    OPEN_OR_SKIP(form, "TBackendTestForm");
    EXPECT_TRUE(app_->WindowClassExists("TBackendTestForm"));
    EXPECT_EQ(FindWindowA("TBackendTestForm", nullptr), backend_->WindowOf(*form));
    wchar_t title[64] = {};
    GetWindowTextW(backend_->WindowOf(*form), title, 64);
    EXPECT_EQ(std::wstring(title), L"Lurvasaver");  // no caption: the application's title
    form->Close();
    EXPECT_FALSE(app_->WindowClassExists("TBackendTestForm"));
}

TEST_F(Win32Backend, ShowTakesTheBoundsAndStyleFormCreateSet)
{
    const TScreenSize screen = app_->Screen();
    ASSERT_GT(screen.Width, 0);
    OPEN_OR_SKIP(form, "TBackendTestForm", TRect{0, 0, screen.Width, screen.Height});
    HWND window = backend_->WindowOf(*form);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, screen.Width);
    EXPECT_EQ(rect.bottom - rect.top, screen.Height);
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(Win32Backend, InputReachesTheForm)
{
    OPEN_OR_SKIP(form, "TBackendTestForm", TRect{0, 0, 200, 100});
    HWND window = backend_->WindowOf(*form);
    form->events.clear();
    PostMessageW(window, WM_KEYDOWN, 'A', 0);
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 20));
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 20));  // the same place again: no movement
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(11, 20));
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(11, 20));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(11, 20));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(11, 20));  // no press before it: no click
    PostMessageW(window, WM_CLOSE, 0, 0);
    pump();
    EXPECT_EQ(inputEvents(*form),
        (std::vector<std::string>{"key 65", "move 10,20", "move 11,20", "click", "close"}));
    EXPECT_TRUE(form->Closed());
}

TEST_F(Win32Backend, OnlyTheGivenRectanglesArePresented)
{
    OPEN_OR_SKIP(form, "TBackendTestForm", TRect{0, 0, 120, 90});
    HWND window = backend_->WindowOf(*form);
    TBitmap first(120, 90);
    first.Canvas().BrushColor = 0x102030;
    first.Canvas().FillRect({0, 0, 120, 90});
    form->Present(first, TRect{0, 0, 120, 90});
    // Each row its own colour, so a rectangle taken from the wrong rows shows.
    TBitmap second(120, 90);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x)
            second.Canvas().SetPixel(x, y, static_cast<TColor>(0x000080 | (y * 2) << 8 | x << 16));
    form->Present(second, std::vector<TRect>{{10, 60, 30, 80}, {90, 5, 200, 15}});

    const struct {
        int x;
        int y;
        bool presented;
    } probes[] = {{10, 60, true}, {29, 79, true}, {90, 5, true}, {119, 14, true},
        {9, 60, false}, {30, 70, false}, {50, 40, false}, {90, 15, false}};
    for (const auto& probe : probes) {
        SCOPED_TRACE(std::to_string(probe.x) + "," + std::to_string(probe.y));
        const uint32_t expected = ColorToPixel(probe.presented ? second.Canvas().Pixel(probe.x, probe.y) : 0x102030);
        EXPECT_EQ(pixelAt(window, probe.x, probe.y), expected);
    }
}

TEST_F(Win32Backend, TheDesktopCopySeesTheWindowsOnTheScreen)
{
    OPEN_OR_SKIP(form, "TBackendTestForm", TRect{40, 30, 100, 80});
    TBitmap colour(60, 50);
    colour.Canvas().BrushColor = 0x3070B0;
    colour.Canvas().FillRect({0, 0, 60, 50});
    form->Present(colour, TRect{0, 0, 60, 50});
    // The window reaches the screen when wine flushes it to the X server:
    // copy until it shows, within a limit.
    TBitmap desktop(200, 150);
    for (int i = 0; i < 100; ++i) {
        pump();
        ASSERT_TRUE(app_->CopyDesktop(desktop));
        if (desktop.Canvas().Pixel(45, 35) == 0x3070B0)
            break;
    }
    EXPECT_EQ(desktop.Canvas().Pixel(45, 35), 0x3070B0u);
    EXPECT_EQ(desktop.Canvas().Pixel(99, 79), 0x3070B0u);
}

TEST_F(Win32Backend, TheInputMethodCanBeTurnedOff)
{
    OPEN_OR_SKIP(form, "TBackendTestForm", TRect{0, 0, 50, 50});
    form->DisableInputMethod();
    HWND window = backend_->WindowOf(*form);
    HIMC context = ImmGetContext(window);
    EXPECT_EQ(context, nullptr);
    if (context != nullptr)
        ImmReleaseContext(window, context);
}

DWORD WINAPI wakeLater(void* backend)
{
    Sleep(50);
    static_cast<TPlatformBackend*>(backend)->Wakeup();
    return 0;
}

TEST_F(Win32Backend, TheLoopWakesForTheNextTickAndForOtherThreads)
{
    // No deadline: only the other thread's Wakeup ends the wait.
    HANDLE thread = CreateThread(nullptr, 0, wakeLater, backend_, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    backend_->WaitEvents(std::nullopt);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    // A deadline: the wait ends when the clock reaches it. A wait may end
    // early for a message or a wake still pending (the first wait may have
    // returned for a message before the other thread's wake came), so the
    // loop waits again, as the application's loop does; it must not spin.
    const int64_t deadline = backend_->NowMs() + 30;
    int waits = 0;
    while (backend_->NowMs() < deadline && waits < 100) {
        backend_->WaitEvents(deadline);
        ++waits;
    }
    EXPECT_GE(backend_->NowMs(), deadline);
    EXPECT_LE(waits, 5) << "the wait returned again and again before its deadline";
}

TEST_F(Win32Backend, TimersTickInTheRunningLoop)
{
    OPEN_OR_SKIP(form, "TBackendTestForm", TRect{0, 0, 50, 50});
    TTimer timer(form);
    timer.SetInterval(20);
    int ticks = 0;
    timer.OnTimer = [&] {
        if (++ticks == 3)
            form->Close();
    };
    app_->Run();
    EXPECT_EQ(ticks, 3);
}

}  // namespace
