// Forms.cpp: the event model shared by every backend: forms, timers, posted
// callbacks and the message loop.
#include "platform/Forms.h"

#include <algorithm>
#include <utility>

#include "platform/Graphics.h"

TApplication* Application = nullptr;

// ---- TNativeWindow ----

void TNativeWindow::PresentRects(const TBitmap& bitmap, const TRect* rects, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        Present(bitmap, rects[i]);
}

std::vector<TMonitor> TPlatformBackend::Monitors()
{
    const TScreenSize screen = ScreenSize();
    return {TMonitor{0, 0, screen.Width, screen.Height, true, 96}};
}

// ---- TForm ----

TForm::TForm(std::string className) : className_(std::move(className)) {}

TForm::~TForm() = default;

void TForm::Guarded(const std::function<void()>& handler)
{
    if (app_ != nullptr)
        app_->HandleEvent(handler);
    else
        handler();
}

void TForm::Show()
{
    if (closed_ || shown_ || !window_)
        return;
    shown_ = true;
    Guarded([this] { window_->Show(); });
}

void TForm::Close()
{
    if (closing_ || closed_)
        return;
    closing_ = true;
    Guarded([this] { FormClose(); });
    closed_ = true;
    closing_ = false;
    window_.reset();  // the class-name lookup no longer finds it
    if (app_ != nullptr && app_->mainForm_ == this)
        app_->backend_->Wakeup();
}

void TForm::DispatchControlClick(const std::string& control)
{
    if (!closed_)
        Guarded([&] { ControlClick(control); });
}

TDialogView* TForm::CreateControls(const TDialogResource& resource)
{
    return window_ ? window_->CreateControls(resource) : nullptr;
}

void TForm::Present(const TBitmap& bitmap, const TRect& rect)
{
    if (window_ && !closed_)
        window_->Present(bitmap, rect);
}

void TForm::Present(const TBitmap& bitmap, const std::vector<TRect>& rects)
{
    if (window_ && !closed_ && !rects.empty())
        window_->PresentRects(bitmap, rects.data(), rects.size());
}

void TForm::Invalidate()
{
    if (window_ && !closed_)
        window_->Invalidate();
}

void TForm::BringToFront()
{
    if (window_ && !closed_)
        window_->BringToFront();
}

void TForm::DisableInputMethod()
{
    if (window_ && !closed_)
        window_->DisableInputMethod();
}

void TForm::DispatchPaint()
{
    if (!closed_)
        Guarded([this] { FormPaint(); });
}

void TForm::DispatchKeyDown(uint16_t key, TShiftState shift)
{
    if (!closed_)
        Guarded([&] { FormKeyDown(key, shift); });
}

void TForm::DispatchClick()
{
    if (!closed_)
        Guarded([this] { FormClick(); });
}

void TForm::DispatchMouseMove(TShiftState shift, int x, int y)
{
    if (!closed_)
        Guarded([&] { FormMouseMove(shift, x, y); });
}

void TForm::DispatchResize(int width, int height)
{
    if (closed_)
        return;
    Width = width;
    Height = height;
    Guarded([this] { FormResize(); });
}

// ---- TTimer ----

TTimer::TTimer(TForm* owner) : app_(Application), owner_(owner)
{
    if (app_ != nullptr) {
        app_->timers_.push_back(this);
        Restart();
    }
}

TTimer::~TTimer()
{
    if (app_ != nullptr)
        std::erase(app_->timers_, this);
}

void TTimer::SetInterval(uint32_t milliseconds)
{
    interval_ = milliseconds;
    Restart();
}

void TTimer::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    Restart();
}

void TTimer::Restart()
{
    if (app_ != nullptr) {
        due_ = app_->NowMs() + interval_;
        app_->backend_->Wakeup();  // a waiting loop must learn the new deadline
    }
}

// ---- TApplication ----

TApplication::TApplication(std::unique_ptr<TPlatformBackend> backend) : backend_(std::move(backend))
{
    if (Application != nullptr)
        throw Exception("an application object exists already");
    Application = this;
    backend_->Attach(*this);
    previousShowMessage_ = setShowMessageHandler(
        [this](const std::string& text) { backend_->ShowMessageBox(text, title_, TMessageKind::Information); });
}

TApplication::~TApplication()
{
    setShowMessageHandler(std::move(previousShowMessage_));
    // Calls posted but never run are dropped.
    for (PostedCall* call = posted_.exchange(nullptr); call != nullptr;) {
        PostedCall* next = call->next;
        delete call;
        call = next;
    }
    // Forms (and the timers they own) go first, while the backend still lives.
    while (!forms_.empty())
        forms_.pop_back();
    for (TTimer* timer : timers_)
        timer->app_ = nullptr;
    timers_.clear();
    Application = nullptr;
}

TForm& TApplication::CreateForm(std::unique_ptr<TForm> form)
{
    TForm& created = *form;
    forms_.push_back(std::move(form));
    created.app_ = this;
    const bool becomesMain = mainForm_ == nullptr || mainForm_->closed_;
    try {
        created.window_ = backend_->CreateNativeWindow(created);
        created.Loaded();
    } catch (...) {
        created.closed_ = true;
        created.window_.reset();  // the class-name lookup no longer finds it
        throw;
    }
    if (becomesMain)
        mainForm_ = &created;
    HandleEvent([&created] { created.FormCreate(); });
    return created;
}

void TApplication::Run()
{
    if (mainForm_ == nullptr || mainForm_->closed_)
        return;
    mainForm_->Show();
    while (!terminated_ && !mainForm_->closed_) {
        ProcessMessages();
        if (terminated_ || mainForm_->closed_)
            break;
        backend_->WaitEvents(NextTimerDue());
    }
    terminated_ = false;
}

void TApplication::Terminate()
{
    terminated_ = true;
    backend_->Wakeup();
}

void TApplication::Post(std::function<void()> callback)
{
    auto* call = new PostedCall{std::move(callback), posted_.load(std::memory_order_relaxed)};
    while (!posted_.compare_exchange_weak(call->next, call, std::memory_order_release, std::memory_order_relaxed)) {
    }
    backend_->Wakeup();
}

void TApplication::ProcessMessages()
{
    // Taking the whole stack at once leaves no room for the ABA problem.
    std::unique_ptr<PostedCall> newestFirst(posted_.exchange(nullptr, std::memory_order_acquire));
    std::vector<std::unique_ptr<PostedCall>> batch;
    while (newestFirst) {
        std::unique_ptr<PostedCall> rest(newestFirst->next);
        batch.push_back(std::move(newestFirst));
        newestFirst = std::move(rest);
    }
    for (auto it = batch.rbegin(); it != batch.rend(); ++it)
        HandleEvent((*it)->callback);
    FireDueTimers();
}

void TApplication::FireDueTimers()
{
    const int64_t now = NowMs();
    std::vector<TTimer*> due;
    for (TTimer* timer : timers_)
        if (timer->enabled_ && timer->interval_ > 0 && timer->due_ <= now && !timer->firing_)
            due.push_back(timer);
    std::stable_sort(due.begin(), due.end(), [](const TTimer* a, const TTimer* b) { return a->due_ < b->due_; });
    for (TTimer* timer : due) {
        // An earlier tick's handler may have destroyed or stopped this timer.
        if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end() || !timer->enabled_
            || timer->due_ > now)
            continue;
        timer->due_ += timer->interval_;
        if (timer->due_ <= now)
            timer->due_ = now + timer->interval_;
        if ((timer->owner_ != nullptr && timer->owner_->closed_) || !timer->OnTimer)
            continue;
        timer->firing_ = true;
        HandleEvent(timer->OnTimer);
        if (std::find(timers_.begin(), timers_.end(), timer) != timers_.end())
            timer->firing_ = false;
    }
}

std::optional<int64_t> TApplication::NextTimerDue() const
{
    std::optional<int64_t> next;
    for (const TTimer* timer : timers_) {
        if (!timer->enabled_ || timer->interval_ == 0 || !timer->OnTimer)
            continue;
        if (timer->owner_ != nullptr && timer->owner_->closed_)
            continue;
        if (!next || timer->due_ < *next)
            next = timer->due_;
    }
    return next;
}

void TApplication::ShowException(const Exception& e)
{
    backend_->ShowMessageBox(e.Message(), title_, TMessageKind::Error);
}

void TApplication::HandleEvent(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& e) {
        ShowException(e);
    }
}

void TApplication::HelpContext(int context)
{
    backend_->ShowHelp(helpFile_, context);
}

int TApplication::ShowCursor(bool show)
{
    const bool wasVisible = cursorCount_ >= 0;
    cursorCount_ += show ? 1 : -1;
    const bool visible = cursorCount_ >= 0;
    if (visible != wasVisible)
        backend_->SetCursorVisible(visible);
    return cursorCount_;
}

bool FindTopLevelWindow(const std::string& className)
{
    return Application != nullptr && Application->WindowClassExists(className);
}
