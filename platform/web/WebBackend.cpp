// WebBackend.cpp: the browser's show window, an RGBA buffer with the list of
// rectangles presented into it.
#include "platform/web/WebBackend.h"

#include <algorithm>
#include <utility>

#include "platform/Forms.h"

class TWebBackend::Window : public TNativeWindow {
public:
    Window(TWebBackend& backend, TForm& form) : backend_(backend), form_(form) { backend_.windows_.push_back(this); }
    ~Window() override { std::erase(backend_.windows_, this); }

    void Show() override
    {
        Resize();
        TForm* form = &form_;
        backend_.app_->Post([form] { form->DispatchPaint(); });
    }

    void Present(const TBitmap& bitmap, const TRect& rect) override
    {
        Resize();
        const int left = std::max(rect.Left, 0);
        const int top = std::max(rect.Top, 0);
        const int right = std::min({rect.Right, bitmap.Width(), width_});
        const int bottom = std::min({rect.Bottom, bitmap.Height(), height_});
        if (right <= left || bottom <= top)
            return;
        for (int y = top; y < bottom; ++y) {
            const uint32_t* source = bitmap.ScanLine(y) + left;
            uint8_t* out = rgba_.data() + (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(left)) * 4;
            for (int x = left; x < right; ++x, ++source, out += 4) {
                const uint32_t pixel = *source;
                out[0] = static_cast<uint8_t>(pixel >> 16);
                out[1] = static_cast<uint8_t>(pixel >> 8);
                out[2] = static_cast<uint8_t>(pixel);
                out[3] = 0xFF;
            }
        }
        changed_.push_back({left, top, right, bottom});
    }

    void Invalidate() override
    {
        TForm* form = &form_;
        backend_.app_->Post([form] { form->DispatchPaint(); });
    }

    void BringToFront() override {}

    const TForm& Form() const { return form_; }
    const uint8_t* Pixels() const { return rgba_.empty() ? nullptr : rgba_.data(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::vector<TRect> TakeChanged() { return std::exchange(changed_, {}); }

private:
    // The picture follows the form's size; a new size starts black and is
    // presented whole.
    void Resize()
    {
        const int width = std::max(form_.Width, 0);
        const int height = std::max(form_.Height, 0);
        if (width == width_ && height == height_)
            return;
        width_ = width;
        height_ = height;
        rgba_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
        for (size_t i = 3; i < rgba_.size(); i += 4)
            rgba_[i] = 0xFF;
        changed_ = {{0, 0, width, height}};
    }

    TWebBackend& backend_;
    TForm& form_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> rgba_;
    std::vector<TRect> changed_;
};

TWebBackend::TWebBackend(int width, int height, uint32_t desktopColor)
    : screen_{width, height}, desktopColor_(desktopColor)
{
}

TWebBackend::~TWebBackend() = default;

std::unique_ptr<TNativeWindow> TWebBackend::CreateNativeWindow(TForm& form)
{
    return std::make_unique<Window>(*this, form);
}

bool TWebBackend::WindowClassExists(const std::string& className)
{
    // One page, one process: only its own windows exist.
    return std::any_of(windows_.begin(), windows_.end(),
                       [&](const Window* window) { return window->Form().ClassName() == className; });
}

void TWebBackend::AdvanceTime(int64_t milliseconds)
{
    if (app_ == nullptr)
        return;
    const int64_t target = now_ + std::max<int64_t>(milliseconds, 0);
    for (auto due = app_->NextTimerDue(); due && *due <= target; due = app_->NextTimerDue()) {
        now_ = std::max(now_, *due);
        app_->ProcessMessages();
    }
    now_ = target;
    app_->ProcessMessages();
}

void TWebBackend::WaitEvents(std::optional<int64_t> deadlineMs)
{
    // The page owns the loop and never blocks: nothing can happen before the
    // deadline but what the page pushes in, so the clock jumps to it.
    if (deadlineMs && !std::exchange(woken_, false))
        now_ = std::max(now_, *deadlineMs);
}

void TWebBackend::ShowMessageBox(const std::string& text, const std::string& /*caption*/, TMessageKind /*kind*/)
{
    messages_.push_back(text);
}

bool TWebBackend::CopyDesktop(TBitmap& dest, int /*left*/, int /*top*/)
{
    for (int y = 0; y < dest.Height(); ++y)
        std::fill_n(dest.ScanLine(y), dest.Width(), desktopColor_);
    return true;
}

const uint8_t* TWebBackend::Pixels() const
{
    return windows_.empty() ? nullptr : windows_.back()->Pixels();
}

int TWebBackend::PictureWidth() const
{
    return windows_.empty() ? 0 : windows_.back()->Width();
}

int TWebBackend::PictureHeight() const
{
    return windows_.empty() ? 0 : windows_.back()->Height();
}

std::vector<TRect> TWebBackend::TakeChangedRects()
{
    return windows_.empty() ? std::vector<TRect>{} : windows_.back()->TakeChanged();
}
