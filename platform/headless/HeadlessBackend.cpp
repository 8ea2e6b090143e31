// HeadlessBackend.cpp: windows kept as pixel buffers, time and input pushed
// in by the caller.
#include "platform/headless/HeadlessBackend.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/Graphics.h"
#include "platform/Raster.h"

class THeadlessBackend::Window : public TNativeWindow {
public:
    // A host's window is not one of ours: it claims no class.
    Window(THeadlessBackend& backend, TForm& form)
        : backend_(backend), form_(form), claim_(backend.hosted_ ? nullptr : ClaimWindowClass(form.ClassName()))
    {
        backend_.windows_.push_back(this);
    }
    ~Window() override { std::erase(backend_.windows_, this); }

    void Show() override
    {
        Resize();
        // A window that appears is painted, as after a real expose.
        TForm* form = &form_;
        backend_.app_->Post([form] { form->DispatchPaint(); });
    }

    void Present(const TBitmap& bitmap, const TRect& rect) override
    {
        Resize();
        const int left = std::max(rect.Left, 0);
        const int top = std::max(rect.Top, 0);
        const int right = std::min(rect.Right, bitmap.Width());
        const int bottom = std::min(rect.Bottom, bitmap.Height());
        if (right > left && bottom > top)
            Raster::EnlargeBlock(bitmap.Pixels(), bitmap.Width(), left, top, right, bottom, std::max(form_.PixelScale, 1),
                picture_.Pixels.data(), picture_.Width, picture_.Width, picture_.Height, 0);
        ++backend_.presentCount_;
    }

    void Invalidate() override
    {
        TForm* form = &form_;
        backend_.app_->Post([form] { form->DispatchPaint(); });
    }

    void BringToFront() override {}

    TDialogView* CreateControls(const TDialogResource& resource) override
    {
        if (backend_.clock_ != TClock::Virtual)
            return nullptr;
        view_ = std::make_unique<THeadlessDialogView>(form_, resource);
        return view_.get();
    }

    TForm& Form() const { return form_; }
    THeadlessDialogView* View() const { return view_.get(); }
    const THeadlessPicture& Picture() const { return picture_; }

private:
    // The picture follows the form's size, keeping what it showed.
    void Resize()
    {
        const int width = std::max(form_.Width, 0);
        const int height = std::max(form_.Height, 0);
        if (width == picture_.Width && height == picture_.Height)
            return;
        THeadlessPicture resized{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * static_cast<size_t>(height), 0)};
        for (int y = 0; y < std::min(height, picture_.Height); ++y)
            for (int x = 0; x < std::min(width, picture_.Width); ++x)
                resized.Pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = picture_.Pixel(x, y);
        picture_ = std::move(resized);
    }

    THeadlessBackend& backend_;
    TForm& form_;
    std::unique_ptr<TWindowClaim> claim_;
    THeadlessPicture picture_;
    std::unique_ptr<THeadlessDialogView> view_;
};

// ---- THeadlessDialogView ----

THeadlessDialogView::THeadlessDialogView(TForm& form, TDialogResource resource) : form_(form)
{
    for (TControlResource& control : resource) {
        const std::string text = control.Text;
        controls_.push_back({std::move(control), text, false});
    }
    std::vector<TControlResource> declared;
    for (const Control& control : controls_)
        declared.push_back(control.resource);
    const auto sequence = TabSequence(declared);
    if (!sequence.empty())
        focused_ = sequence.front()->Name;
}

THeadlessDialogView::Control& THeadlessDialogView::Find(const std::string& control)
{
    for (Control& c : controls_)
        if (c.resource.Name == control)
            return c;
    throw std::invalid_argument("no control named " + control);
}

const THeadlessDialogView::Control& THeadlessDialogView::Find(const std::string& control) const
{
    return const_cast<THeadlessDialogView*>(this)->Find(control);
}

const TControlResource& THeadlessDialogView::Resource(const std::string& control) const
{
    return Find(control).resource;
}

std::string THeadlessDialogView::Text(const std::string& control) const
{
    return Find(control).text;
}

void THeadlessDialogView::SetText(const std::string& control, const std::string& text)
{
    Find(control).text = text;
}

bool THeadlessDialogView::Checked(const std::string& control) const
{
    const Control& c = Find(control);
    if (c.resource.Kind != TControlKind::CheckBox)
        throw std::invalid_argument(control + " is no check box");
    return c.checked;
}

void THeadlessDialogView::SetChecked(const std::string& control, bool checked)
{
    Control& c = Find(control);
    if (c.resource.Kind != TControlKind::CheckBox)
        throw std::invalid_argument(control + " is no check box");
    c.checked = checked;
}

std::optional<std::string> THeadlessDialogView::RunOpenDialog(const TOpenDialog& dialog)
{
    openDialogRuns_.push_back(dialog);
    while (!answers_.empty()) {
        std::optional<std::string> answer = std::move(answers_.front());
        answers_.pop_front();
        if (!answer)
            return std::nullopt;
        std::error_code ec;
        const std::filesystem::path path(*answer);
        const bool fileThere = std::filesystem::is_regular_file(path, ec);
        const bool folderThere = std::filesystem::is_directory(path.parent_path(), ec);
        if ((dialog.FileMustExist && !fileThere) || (dialog.PathMustExist && !folderThere))
            continue;
        return answer;
    }
    return std::nullopt;
}

void THeadlessDialogView::Click(const std::string& control)
{
    Control& c = Find(control);
    if (c.resource.Kind == TControlKind::CheckBox)
        c.checked = !c.checked;
    if (c.resource.Kind == TControlKind::CheckBox || c.resource.Kind == TControlKind::Button)
        form_.DispatchControlClick(control);
}

bool THeadlessDialogView::Type(const std::string& control, const std::string& text)
{
    Control& c = Find(control);
    if (c.resource.Kind != TControlKind::Edit || c.resource.ReadOnly)
        return false;
    c.text = text;
    return true;
}

void THeadlessDialogView::Focus(const std::string& control)
{
    focused_ = Find(control).resource.Name;
}

bool THeadlessDialogView::PressKey(uint16_t key)
{
    auto clickFirst = [this](auto wanted) {
        for (const Control& c : controls_)
            if (c.resource.Kind == TControlKind::Button && wanted(c.resource)) {
                const std::string name = c.resource.Name;
                form_.DispatchControlClick(name);
                return true;
            }
        return false;
    };
    if (key == vkReturn) {
        if (!focused_.empty() && Find(focused_).resource.Kind == TControlKind::Button) {
            const std::string name = focused_;
            form_.DispatchControlClick(name);
            return true;
        }
        return clickFirst([](const TControlResource& r) { return r.Default; });
    }
    if (key == vkEscape)
        return clickFirst([](const TControlResource& r) { return r.Cancel; });
    return false;
}

THeadlessBackend::THeadlessBackend(TClock clock) : clock_(clock) {}

THeadlessBackend::~THeadlessBackend() = default;

std::unique_ptr<TNativeWindow> THeadlessBackend::CreateNativeWindow(TForm& form)
{
    return std::make_unique<Window>(*this, form);
}

int64_t THeadlessBackend::NowMs()
{
    if (clock_ == TClock::Virtual)
        return virtualNow_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void THeadlessBackend::AdvanceTime(int64_t milliseconds)
{
    if (clock_ != TClock::Virtual || app_ == nullptr)
        return;
    const int64_t target = virtualNow_ + std::max<int64_t>(milliseconds, 0);
    for (auto due = app_->NextTimerDue(); due && *due <= target; due = app_->NextTimerDue()) {
        virtualNow_ = std::max(virtualNow_, *due);
        app_->ProcessMessages();
    }
    virtualNow_ = target;
    app_->ProcessMessages();
}

void THeadlessBackend::WaitEvents(std::optional<int64_t> deadlineMs)
{
    if (clock_ == TClock::Virtual) {
        // Nothing else can happen before the deadline: jump to it.
        if (deadlineMs) {
            if (!wake_.TakeWake())
                virtualNow_ = std::max(virtualNow_, *deadlineMs);
            return;
        }
        wake_.Wait(std::nullopt);
    } else if (deadlineMs) {
        wake_.Wait(std::max<int64_t>(*deadlineMs - NowMs(), 0));
    } else {
        wake_.Wait(std::nullopt);
    }
}

void THeadlessBackend::Wakeup()
{
    wake_.Wake();
}

TForm* THeadlessBackend::ActiveForm() const
{
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (!(*it)->Form().Closed())
            return &(*it)->Form();
    return nullptr;
}

const THeadlessPicture& THeadlessBackend::WindowPicture() const
{
    static const THeadlessPicture none;
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (!(*it)->Form().Closed())
            return (*it)->Picture();
    return none;
}

THeadlessDialogView* THeadlessBackend::DialogView() const
{
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (!(*it)->Form().Closed())
            return (*it)->View();
    return nullptr;
}

void THeadlessBackend::PressKey(uint16_t key, TShiftState shift)
{
    if (THeadlessDialogView* view = DialogView(); view != nullptr && shift == 0 && view->PressKey(key))
        return;
    if (TForm* form = ActiveForm())
        form->DispatchKeyDown(key, shift);
}

void THeadlessBackend::Click(int /*x*/, int /*y*/)
{
    // Only the click: a test moves the pointer itself when it wants a move.
    if (TForm* form = ActiveForm())
        form->DispatchClick();
}

void THeadlessBackend::MoveMouse(int x, int y, TShiftState shift)
{
    if (TForm* form = ActiveForm())
        form->DispatchMouseMove(shift, x, y);
}

void THeadlessBackend::ResizeHostWindow(int width, int height)
{
    screen_ = {width, height};
    const std::vector<Window*> windows = windows_;
    for (Window* window : windows)
        window->Form().DispatchResize(width, height);
}

void THeadlessBackend::RequestPaint()
{
    if (TForm* form = ActiveForm())
        form->DispatchPaint();
}

void THeadlessBackend::RequestClose()
{
    if (TForm* form = ActiveForm())
        form->Close();
}

void THeadlessBackend::ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind)
{
    boxes_.push_back({kind, caption, text});
    PrintMessageBoxText(text, kind);
}

void THeadlessBackend::ShowHelp(const std::string& helpFile, int context)
{
    helpRequests_.push_back({helpFile, context});
}

bool THeadlessBackend::CopyDesktop(TBitmap& dest, int left, int top)
{
    if (!desktop_ || left < 0 || top < 0)
        return false;
    const int width = std::min(dest.Width(), desktop_->Width - left);
    const int height = std::min(dest.Height(), desktop_->Height - top);
    for (int y = 0; y < height; ++y)
        std::copy_n(desktop_->Pixels.begin() + static_cast<ptrdiff_t>(y + top) * desktop_->Width + left, width,
            dest.ScanLine(y));
    return true;
}

std::vector<TMonitor> THeadlessBackend::Monitors()
{
    return monitors_.empty() ? TPlatformBackend::Monitors() : monitors_;
}

const THeadlessPicture* THeadlessBackend::PictureOf(const TForm& form) const
{
    for (const Window* window : windows_)
        if (&window->Form() == &form)
            return &window->Picture();
    return nullptr;
}
