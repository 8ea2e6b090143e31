// ShowHelper.cpp: the lurva program with a stand-in show window, for the
// tests of the real window backend: it presents a known picture, hides the
// cursor, and prints every handler call on standard output, one line each.
// LURVA_TEST_DESKTOP=1 makes it copy the desktop at creation and say what it
// got; LURVA_TEST_FAIL=1 makes its creation fail after the picture is made;
// LURVA_TEST_BOX=1 shows a message box over the window once its ticks are done.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/choice/ChooseBackend.h"
#include "shell/Entry.h"
#include "sdl/ShowPattern.h"

namespace {

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class TestShow : public TForm {
public:
    TestShow() : TForm("TMainForm")
    {
        BorderStyle = TFormBorderStyle::bsNone;
        FormStyle = TFormStyle::fsStayOnTop;
        KeyPreview = true;
        Position = TPosition::poScreenCenter;
        Caption = "lurva test show";
    }

protected:
    void FormCreate() override
    {
        const TScreenSize screen = Application->Screen();
        Width = screen.Width;
        Height = screen.Height;
        if (const char* desktop = std::getenv("LURVA_TEST_DESKTOP"); desktop != nullptr && std::string(desktop) == "1")
            reportDesktop();
        picture_ = std::make_unique<TBitmap>(Width, Height);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                picture_->ScanLine(y)[x] = showpattern::Pixel(x, y);
        if (const char* fail = std::getenv("LURVA_TEST_FAIL"); fail != nullptr && std::string(fail) == "1") {
            say("failing");
            throw Exception("the test asked for a failure");
        }
        Application->ShowCursor(false);
        timer_ = std::make_unique<TTimer>(this);
        timer_->SetInterval(100);
        timer_->OnTimer = [this] { tick(); };
        say("created " + std::to_string(Width) + "x" + std::to_string(Height));
    }
    void FormPaint() override
    {
        Present(*picture_, TRect{0, 0, Width, Height});
        say("paint");
    }
    void FormKeyDown(uint16_t key, TShiftState /*shift*/) override
    {
        say("key " + std::to_string(key));
        if (key == vkEscape)
            Close();
    }
    void FormClick() override { say("click"); }
    void FormMouseMove(TShiftState /*shift*/, int x, int y) override
    {
        say("move " + std::to_string(x) + " " + std::to_string(y));
    }
    void FormClose() override
    {
        Application->ShowCursor(true);
        if (timer_)
            timer_->SetEnabled(false);
        say("close");
    }

private:
    void fill(const TRect& r, uint32_t color)
    {
        for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, Height); ++y)
            for (int x = std::max(r.Left, 0); x < std::min(r.Right, Width); ++x)
                picture_->ScanLine(y)[x] = color;
    }
    void restore(const TRect& r)
    {
        for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, Height); ++y)
            for (int x = std::max(r.Left, 0); x < std::min(r.Right, Width); ++x)
                picture_->ScanLine(y)[x] = showpattern::Pixel(x, y);
    }
    void tick()
    {
        const int k = ticks_++;
        if (k >= showpattern::kTicks) {
            timer_->SetEnabled(false);
            say("ticks done");
            if (const char* box = std::getenv("LURVA_TEST_BOX"); box != nullptr && std::string(box) == "1") {
                ShowMessage("a box over the show");
                say("box closed");
            }
            return;
        }
        fill(showpattern::Presented(k), showpattern::PresentedColor(k));
        fill(showpattern::NotPresented(k), showpattern::kNotPresentedColor);
        Present(*picture_, std::vector<TRect>{showpattern::Presented(k)});
        restore(showpattern::NotPresented(k));
        say("tick " + std::to_string(k));
    }
    void reportDesktop()
    {
        TBitmap desktop(Width, Height);
        const bool copied = Application->CopyDesktop(desktop);
        std::map<uint32_t, int> colors;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                ++colors[desktop.ScanLine(y)[x]];
        std::string line = std::string("desktop ") + (copied ? "copied" : "none");
        for (const auto& [color, count] : colors) {
            char text[32];
            std::snprintf(text, sizeof text, " %06x:%d", color, count);
            line += text;
        }
        say(line);
    }

    std::unique_ptr<TBitmap> picture_;
    std::unique_ptr<TTimer> timer_;
    int ticks_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    const TFormFactories forms = {{"TMainForm", [] { return std::make_unique<TestShow>(); }}};
    // As the lurva program does: a host's window that cannot be used ends it.
    std::unique_ptr<TPlatformBackend> backend;
    try {
        backend = CreatePlatformBackend(arguments);
    } catch (const Exception& e) {
        std::fprintf(stderr, "lurva: error: %s\n", e.Message().c_str());
        return 1;
    }
    return LurvaMain(arguments, std::move(backend), forms);
}
