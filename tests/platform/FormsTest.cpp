// The application object, forms and timers, driven through the headless backend.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Forms.h"
#include "platform/headless/HeadlessBackend.h"
#include "support/TestSupport.h"

namespace {

// A form that writes down every handler call.
class RecordingForm : public TForm {
public:
    explicit RecordingForm(std::string className = "TRecordingForm") : TForm(std::move(className)) {}

    std::vector<std::string> calls;
    std::function<void()> onCreate;
    std::function<void()> onClose;

protected:
    void FormCreate() override
    {
        calls.push_back("create");
        if (onCreate)
            onCreate();
    }
    void FormPaint() override { calls.push_back("paint"); }
    void FormKeyDown(uint16_t key, TShiftState shift) override
    {
        calls.push_back("key " + std::to_string(key) + " " + std::to_string(shift));
    }
    void FormClick() override { calls.push_back("click"); }
    void FormMouseMove(TShiftState, int x, int y) override
    {
        calls.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    }
    void FormClose() override
    {
        calls.push_back("close");
        if (onClose)
            onClose();
    }
};

class Forms : public ::testing::Test {
protected:
    // Runs callback once the loop has started and the window's first paint is done.
    void AfterFirstPaint(std::function<void()> callback)
    {
        app_->Post([this, callback] { app_->Post(callback); });
    }

    Forms()
    {
        auto backend = std::make_unique<THeadlessBackend>();
        headless_ = backend.get();
        app_ = std::make_unique<TApplication>(std::move(backend));
        app_->SetTitle("Lurvasaver");
    }

    THeadlessBackend* headless_;
    std::unique_ptr<TApplication> app_;
};

}  // namespace

TEST_F(Forms, TheApplicationIsTheGlobalOneWhileItLives)
{
    EXPECT_EQ(Application, app_.get());
    EXPECT_THROW(TApplication second(std::make_unique<THeadlessBackend>()), Exception);
    app_.reset();
    EXPECT_EQ(Application, nullptr);
}

TEST_F(Forms, RunReturnsAtOnceWithoutAMainForm)
{
    EXPECT_EQ(app_->MainForm(), nullptr);
    app_->Run();
    EXPECT_TRUE(headless_->Boxes().empty());
}

TEST_F(Forms, AnExceptionInFormCreateIsShownAndTheWindowStillOpens)
{
    app_->CreateForm<RecordingForm>().Close();
    auto failing = std::make_unique<RecordingForm>("TFailing");
    failing->onCreate = [] { throw EReadError(); };
    auto& second = static_cast<RecordingForm&>(app_->CreateForm(std::move(failing)));
    ASSERT_EQ(headless_->Boxes().size(), 1u);
    EXPECT_EQ(headless_->Boxes()[0].Kind, TMessageKind::Error);
    EXPECT_EQ(headless_->Boxes()[0].Caption, "Lurvasaver");
    EXPECT_EQ(headless_->Boxes()[0].Text, "ストリームからの読み込みエラー");
    EXPECT_EQ(app_->MainForm(), &second) << "the first form after a closed main form becomes the main form";
    EXPECT_TRUE(FindTopLevelWindow("TFailing"));
    AfterFirstPaint([&] { second.Close(); });
    app_->Run();
    EXPECT_TRUE(second.Shown());
    EXPECT_EQ(second.calls, (std::vector<std::string>{"create", "paint", "close"}));
}

TEST_F(Forms, CloseRunsFormCloseOnceAndLaterEventsDoNothing)
{
    auto& form = app_->CreateForm<RecordingForm>();
    EXPECT_TRUE(FindTopLevelWindow("TRecordingForm"));
    EXPECT_FALSE(FindTopLevelWindow("TOtherForm"));
    form.onClose = [&] { form.Close(); };  // a Close inside FormClose is ignored
    headless_->PressKey(vkEscape, ssShift);
    form.Close();
    form.Close();
    headless_->PressKey('A');
    form.DispatchKeyDown('B', 0);
    form.DispatchClick();
    form.DispatchMouseMove(0, 1, 2);
    form.DispatchPaint();
    EXPECT_EQ(form.calls, (std::vector<std::string>{"create", "key 27 1", "close"}));
    EXPECT_TRUE(form.Closed());
    EXPECT_FALSE(FindTopLevelWindow("TRecordingForm"));
    app_->Run();  // the main form is closed: returns at once
}

TEST_F(Forms, InputGoesToTheActiveForm)
{
    auto& form = app_->CreateForm<RecordingForm>();
    headless_->MoveMouse(10, 20);
    headless_->Click(3, 4);
    headless_->PressKey(vkReturn);
    headless_->RequestPaint();
    EXPECT_EQ(form.calls,
        (std::vector<std::string>{"create", "move 10,20", "click", "key 13 0", "paint"}));
    headless_->RequestClose();
    EXPECT_TRUE(form.Closed());
    EXPECT_EQ(headless_->ActiveForm(), nullptr);
}

TEST_F(Forms, TimersTickOnTheirIntervalAndAreNotCaughtUp)
{
    app_->CreateForm<RecordingForm>();
    TTimer timer;
    timer.SetInterval(100);
    std::vector<int64_t> ticks;
    timer.OnTimer = [&] { ticks.push_back(app_->NowMs()); };
    headless_->AdvanceTime(350);
    EXPECT_EQ(ticks, (std::vector<int64_t>{100, 200, 300}));
    EXPECT_EQ(app_->NextTimerDue(), 400);

    timer.SetEnabled(false);
    headless_->AdvanceTime(1000);
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_EQ(app_->NextTimerDue(), std::nullopt);

    timer.SetEnabled(true);  // restarts the wait from now (1350)
    headless_->AdvanceTime(250);
    EXPECT_EQ(ticks, (std::vector<int64_t>{100, 200, 300, 1450, 1550}));

    timer.SetInterval(0);
    headless_->AdvanceTime(1000);
    EXPECT_EQ(ticks.size(), 5u);
}

TEST_F(Forms, AnExceptionInATickIsShownAndTheTimerKeepsRunning)
{
    auto& form = app_->CreateForm<RecordingForm>();
    TTimer timer(&form);
    timer.SetInterval(100);
    int count = 0;
    timer.OnTimer = [&] {
        if (++count == 2)
            throw ERangeError();
    };
    headless_->AdvanceTime(500);
    EXPECT_EQ(count, 5);
    ASSERT_EQ(headless_->Boxes().size(), 1u);
    EXPECT_EQ(headless_->Boxes()[0].Text, "範囲チェックエラー");
    EXPECT_EQ(headless_->Boxes()[0].Kind, TMessageKind::Error);

    form.Close();  // a form's timer stops with it
    headless_->AdvanceTime(500);
    EXPECT_EQ(count, 5);
}

TEST_F(Forms, TheLoopRunsOnTheVirtualClockUntilTheMainFormCloses)
{
    auto& form = app_->CreateForm<RecordingForm>();
    TTimer timer(&form);
    timer.SetInterval(100);
    int ticks = 0;
    timer.OnTimer = [&] {
        if (++ticks == 600)
            form.Close();
    };
    app_->Run();
    EXPECT_EQ(ticks, 600);
    EXPECT_EQ(app_->NowMs(), 60000);
    EXPECT_EQ(form.calls.back(), "close");
}

TEST_F(Forms, TerminateEndsTheLoopWithoutClosing)
{
    auto& form = app_->CreateForm<RecordingForm>();
    AfterFirstPaint([&] { app_->Terminate(); });
    app_->Run();
    EXPECT_FALSE(form.Closed());
    EXPECT_EQ(form.calls, (std::vector<std::string>{"create", "paint"}));
}

TEST_F(Forms, APostFromAnotherThreadRunsOnTheUserInterfaceThread)
{
    auto& form = app_->CreateForm<RecordingForm>();
    const auto uiThread = std::this_thread::get_id();
    std::thread::id ranOn;
    // No timer runs: the loop sleeps until the post wakes it.
    std::thread reporter([&] {
        app_->Post([&] {
            ranOn = std::this_thread::get_id();
            form.Close();
        });
    });
    app_->Run();
    reporter.join();
    EXPECT_EQ(ranOn, uiThread);
    EXPECT_TRUE(form.Closed());
}

TEST_F(Forms, AnExceptionInAPostedCallbackIsShown)
{
    app_->Post([] { throw Exception("posted"); });
    app_->ProcessMessages();
    ASSERT_EQ(headless_->Boxes().size(), 1u);
    EXPECT_EQ(headless_->Boxes()[0].Text, "posted");
}

TEST_F(Forms, AFormCanBeCreatedRunAndClosedTwice)
{
    for (int round = 0; round < 2; ++round) {
        auto& form = app_->CreateForm<RecordingForm>();
        EXPECT_EQ(app_->MainForm(), &form);
        AfterFirstPaint([&] {
            headless_->PressKey('K');
            form.Close();
        });
        app_->Run();
        EXPECT_EQ(form.calls, (std::vector<std::string>{"create", "paint", "key 75 0", "close"}));
    }
    // And with a fresh application object.
    app_.reset();
    auto backend = std::make_unique<THeadlessBackend>();
    THeadlessBackend& headless = *backend;
    TApplication again(std::move(backend));
    auto& form = again.CreateForm<RecordingForm>();
    EXPECT_TRUE(FindTopLevelWindow("TRecordingForm"));
    again.Post([&] { headless.RequestClose(); });
    again.Run();
    EXPECT_TRUE(form.Closed());
}

TEST_F(Forms, ShowMessageUsesTheBoxWithTheTitleAsCaption)
{
    ::testing::internal::CaptureStderr();
    ShowMessage("ファイルがありません");
    const std::string printed = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(headless_->Boxes().size(), 1u);
    EXPECT_EQ(headless_->Boxes()[0].Kind, TMessageKind::Information);
    EXPECT_EQ(headless_->Boxes()[0].Caption, "Lurvasaver");
    EXPECT_EQ(headless_->Boxes()[0].Text, "ファイルがありません");
    EXPECT_EQ(printed, "lurva: ファイルがありません\n");
    ::testing::internal::CaptureStderr();
    app_->ShowException(Exception("壊れています"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "lurva: error: 壊れています\n");
}

TEST_F(Forms, TheCursorShowsWhileItsCounterIsNotNegative)
{
    EXPECT_TRUE(headless_->CursorVisible());
    EXPECT_EQ(app_->ShowCursor(false), -1);
    EXPECT_FALSE(headless_->CursorVisible());
    EXPECT_EQ(app_->ShowCursor(false), -2);
    EXPECT_EQ(app_->ShowCursor(true), -1);
    EXPECT_FALSE(headless_->CursorVisible());
    EXPECT_EQ(app_->ShowCursor(true), 0);
    EXPECT_TRUE(headless_->CursorVisible());
    EXPECT_EQ(app_->ShowCursor(true), 1);
    EXPECT_TRUE(headless_->CursorVisible());
}

TEST_F(Forms, HelpAndScreen)
{
    app_->SetHelpFile("C:\\Tools\\rororade.hlp");
    app_->HelpContext(16);
    ASSERT_EQ(headless_->HelpRequests().size(), 1u);
    EXPECT_EQ(headless_->HelpRequests()[0].HelpFile, "C:\\Tools\\rororade.hlp");
    EXPECT_EQ(headless_->HelpRequests()[0].Context, 16);
    headless_->SetScreenSize(1024, 768);
    EXPECT_EQ(app_->Screen().Width, 1024);
    EXPECT_EQ(app_->Screen().Height, 768);
}
