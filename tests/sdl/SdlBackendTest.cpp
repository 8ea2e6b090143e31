// The SDL backend in this process: which backend a process gets, and the
// message loop: timer ticks, posts from other threads and Wakeup reach the
// one UI thread while it waits on the X connection.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/choice/ChooseBackend.h"
#include "platform/sdl/SdlBackend.h"
#include "support/XTestSupport.h"

namespace {

class PlainForm : public TForm {
public:
    PlainForm() : TForm("TMainForm")
    {
        BorderStyle = TFormBorderStyle::bsNone;
        Width = 64;
        Height = 48;
        Caption = "lurva loop test";
    }
    std::function<void()> onClose;

protected:
    void FormClose() override
    {
        if (onClose)
            onClose();
    }
};

class SdlLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << "Xvfb is not installed";
        server_ = std::make_unique<XvfbServer>(640, 480, 24);
        ASSERT_TRUE(server_->Started());
        display_ = std::make_unique<ScopedEnv>("DISPLAY", server_->Display());
        driver_ = std::make_unique<ScopedEnv>("SDL_VIDEODRIVER", std::nullopt);
    }
    void TearDown() override
    {
        driver_.reset();
        display_.reset();
        server_.reset();
    }

    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<ScopedEnv> display_;
    std::unique_ptr<ScopedEnv> driver_;
};

// Closes form after limit whatever else happens, so that a test fails
// instead of hanging when the loop misses its wake-up.
std::unique_ptr<TTimer> watchdog(TForm& form, bool& fired)
{
    auto timer = std::make_unique<TTimer>(&form);
    timer->SetInterval(10000);
    timer->OnTimer = [&form, &fired] {
        fired = true;
        form.Close();
    };
    return timer;
}

}  // namespace

TEST_F(SdlLoop, TheProcessGetsTheBackendItsDisplayAllows)
{
    struct Row {
        const char* wanted;
        const char* display;  // "xvfb": the test's server
        const char* driver;
        const char* name;
        bool windows;
    };
    const Row rows[] = {
        {nullptr, "xvfb", nullptr, "sdl", true},
        {"sdl", "xvfb", nullptr, "sdl", true},
        {"headless", "xvfb", nullptr, "headless", true},
        {"headless", nullptr, nullptr, "headless", true},
        {nullptr, nullptr, nullptr, "headless", false},
        {nullptr, "", nullptr, "headless", false},
        {"sdl", nullptr, nullptr, "headless", false},  // SDL has no X to start on
        {"sdl", nullptr, "dummy", "sdl", true},        // but another SDL driver was asked for
        {nullptr, ":987", nullptr, "headless", false}, // no server there
        {"bogus", "xvfb", nullptr, "sdl", true},
    };
    for (const Row& row : rows) {
        const std::string shown = std::string(row.wanted ? row.wanted : "(unset)") + " / "
            + (row.display ? row.display : "(unset)") + " / " + (row.driver ? row.driver : "(unset)");
        const ScopedEnv wanted("LURVA_BACKEND", envValue(row.wanted));
        const std::string xvfb = server_->Display();
        const ScopedEnv display("DISPLAY",
            row.display != nullptr && std::string(row.display) == "xvfb" ? std::optional(xvfb) : envValue(row.display));
        const ScopedEnv driver("SDL_VIDEODRIVER", envValue(row.driver));
        ::testing::internal::CaptureStderr();
        auto backend = CreatePlatformBackend({"lurva", "/s"});
        const std::string said = ::testing::internal::GetCapturedStderr();
        ASSERT_NE(backend, nullptr) << shown;
        EXPECT_STREQ(backend->Name(), row.name) << shown << ": " << said;
        TApplication app(std::move(backend));
        if (row.windows) {
            EXPECT_NO_THROW(app.CreateForm<PlainForm>()) << shown;
        } else {
            try {
                app.CreateForm<PlainForm>();
                ADD_FAILURE() << "a window without a display: " << shown;
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), "no display: nothing to show") << shown;
            }
        }
    }
}

TEST_F(SdlLoop, TimerTicksRunOnTheOneUiThread)
{
    TApplication app(std::make_unique<TSdlBackend>());
    auto& form = app.CreateForm<PlainForm>();
    const auto uiThread = std::this_thread::get_id();
    int ticks = 0;
    bool otherThread = false;
    TTimer timer(&form);
    timer.SetInterval(100);
    timer.OnTimer = [&] {
        otherThread = otherThread || std::this_thread::get_id() != uiThread;
        if (++ticks == 5)
            form.Close();
    };
    bool timedOut = false;
    const auto guard = watchdog(form, timedOut);
    app.Run();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(ticks, 5);
    EXPECT_FALSE(otherThread);
}

TEST_F(SdlLoop, PostsAndWakeupsFromOtherThreadsEndTheWait)
{
    TApplication app(std::make_unique<TSdlBackend>());
    auto& form = app.CreateForm<PlainForm>();
    bool timedOut = false;
    const auto guard = watchdog(form, timedOut);
    const auto uiThread = std::this_thread::get_id();
    std::atomic<bool> ranOnUi{false};
    // No timer is due for ten seconds: only the post can end the wait.
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Application->Post([&] {
            ranOnUi = std::this_thread::get_id() == uiThread;
            form.Close();
        });
    });
    app.Run();
    poster.join();
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(ranOnUi);

    // A bare Wakeup ends one wait that has no deadline.
    auto& backend = app.Backend();
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        backend.Wakeup();
    });
    const auto before = std::chrono::steady_clock::now();
    backend.WaitEvents(backend.NowMs() + 10000);
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(9)) << "woken, not timed out";
}

TEST_F(SdlLoop, TheSurfaceIsTheBitmapsOwnLayoutAndPresentingCopiesOnlyTheRectangles)
{
    auto owned = std::make_unique<TSdlBackend>();
    TSdlBackend& backend = *owned;
    TApplication app(std::move(owned));
    auto& form = app.CreateForm<PlainForm>();
    form.Show();
    TBitmap bitmap(64, 48);
    bitmap.Canvas().BrushColor = clRed;
    bitmap.Canvas().FillRect(TRect{0, 0, 64, 48});
    form.Present(bitmap, std::vector<TRect>{TRect{-10, -10, 8, 8}, TRect{60, 40, 100, 100}});
    EXPECT_EQ(backend.SurfaceFormat(), static_cast<uint32_t>(SDL_PIXELFORMAT_RGB888))
        << "a 24-bit server's windows take the bitmap's rows as they are: "
        << SDL_GetPixelFormatName(backend.SurfaceFormat());

    XClient client(server_->Display());
    const auto windows = client.FindTopLevel("lurva loop test");
    ASSERT_EQ(windows.size(), 1u);
    const auto shot = client.Screenshot(windows[0], 64, 48);
    ASSERT_EQ(shot.size(), 64u * 48u);
    EXPECT_EQ(shot[0], 0xFF0000u);
    EXPECT_EQ(shot[7 * 64 + 7], 0xFF0000u);
    EXPECT_EQ(shot[47 * 64 + 63], 0xFF0000u);
    EXPECT_NE(shot[8 * 64 + 8], 0xFF0000u) << "between the rectangles nothing was presented";
    EXPECT_NE(shot[39 * 64 + 59], 0xFF0000u);
    form.Close();
}
