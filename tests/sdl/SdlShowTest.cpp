// The real window backend seen from outside, under an Xvfb of the test's own:
// a show program with a stand-in show window covers the screen, shows what
// it presented, gets keys, clicks and movements, hides the cursor, closes on
// SIGTERM and SIGINT through FormClose, draws into another client's window as
// an XScreenSaver hack, and copies the desktop before its window maps.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include "sdl/ShowPattern.h"
#include "support/XTestSupport.h"

namespace {

const std::string kTitle = "lurva test show";

std::string hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

bool anyStartsWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// Where two pictures differ, for a readable failure.
::testing::AssertionResult samePicture(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected,
    int width)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "sizes differ: " << actual.size() << " against " << expected.size();
    size_t wrong = 0;
    size_t first = 0;
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i] && wrong++ == 0)
            first = i;
    if (wrong == 0)
        return ::testing::AssertionSuccess();
    char text[160];
    std::snprintf(text, sizeof text, "%zu pixels differ; first at (%zu, %zu): %06x, expected %06x", wrong,
        first % static_cast<size_t>(width), first / static_cast<size_t>(width), actual[first], expected[first]);
    return ::testing::AssertionFailure() << text;
}

class SdlShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << "Xvfb is not installed";
        StartServer(1280, 1024, 24);
    }

    void StartServer(int width, int height, int depth)
    {
        client_.reset();
        server_ = std::make_unique<XvfbServer>(width, height, depth);
        ASSERT_TRUE(server_->Started()) << "Xvfb did not start";
        client_ = std::make_unique<XClient>(server_->Display());
        ASSERT_TRUE(client_->Connected());
        width_ = width;
        height_ = height;
    }

    std::unique_ptr<ShowProcess> Start(const std::vector<std::string>& arguments,
        std::vector<std::string> environment = {})
    {
        environment.insert(environment.begin(),
            {"DISPLAY=" + server_->Display(), "LURVA_BACKEND", "XSCREENSAVER_WINDOW", "SDL_VIDEODRIVER"});
        return std::make_unique<ShowProcess>(LURVA_SDL_SHOW_HELPER, arguments, environment);
    }

    // Ends a show with a signal; it must close through FormClose and exit 0.
    void EndWith(ShowProcess& show, int signal)
    {
        show.Signal(signal);
        const auto rest = show.RestOfOutput();
        ASSERT_FALSE(rest.empty()) << show.Stderr();
        EXPECT_EQ(rest.back(), "close");
        EXPECT_EQ(show.Wait(), 0) << show.Stderr();
    }

    // SDL draws its boxes with the X server's core fonts.
    bool HasBoxFonts() const
    {
        int fonts = 0;
        char** names = XListFonts(client_->get(), "-*-*-medium-r-normal--*-120-*-*-*-*-iso10646-1", 1, &fonts);
        if (names != nullptr)
            XFreeFontNames(names);
        return fonts > 0;
    }

    // The message boxes up: windows captioned with the application's title.
    std::vector<::Window> WaitForBoxes() const
    {
        std::vector<::Window> boxes;
        for (int i = 0; i < 200 && boxes.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            boxes = client_->FindTopLevel("Lurvasaver");
        }
        return boxes;
    }

    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<XClient> client_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

TEST_F(SdlShow, TheWindowCoversTheScreenShowsWhatWasPresentedAndHidesTheCursor)
{
    client_->MovePointer(100, 100);
    ASSERT_TRUE(client_->CursorVisible()) << "the check must see a visible cursor when there is one";

    auto show = Start({"/s"});
    const auto lines = show->WaitForLine("ticks done");
    ASSERT_TRUE(lines) << show->Stderr();
    EXPECT_EQ(lines->front(), "created 1280x1024");
    EXPECT_FALSE(anyStartsWith(*lines, "move")) << "the window mapping under the pointer is no movement";

    const auto windows = client_->FindTopLevel(kTitle);
    ASSERT_EQ(windows.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(client_->get(), windows[0], &attributes));
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.width, width_);
    EXPECT_EQ(attributes.height, height_);
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_TRUE(attributes.override_redirect) << "a screen saver's window is outside the window manager's stacking";

    EXPECT_TRUE(samePicture(client_->Screenshot(client_->Root(), width_, height_),
        showpattern::Expected(width_, height_), width_))
        << "only the presented rectangles changed, each to its colour";
    EXPECT_FALSE(client_->CursorVisible());

    client_->PressKey("Escape");
    const auto rest = show->RestOfOutput();
    EXPECT_EQ(rest, (std::vector<std::string>{"key 27", "close"}));
    EXPECT_EQ(show->Wait(), 0);
    EXPECT_TRUE(client_->FindTopLevel(kTitle).empty());
    EXPECT_TRUE(client_->CursorVisible()) << "the cursor comes back with the desktop";
}

TEST_F(SdlShow, KeysClicksAndMovementsReachTheHandlers)
{
    client_->MovePointer(100, 100);
    auto show = Start({"/s"});
    ASSERT_TRUE(show->WaitForLine("ticks done")) << show->Stderr();

    client_->MovePointer(200, 150);
    EXPECT_EQ(show->WaitForLine("move", true), (std::vector<std::string>{"move 200 150"}));

    client_->PressKey("a");
    EXPECT_EQ(show->WaitForLine("key", true), (std::vector<std::string>{"key 65"}));

    // A click is the left button's; the right one is no click.
    client_->ClickButton(3);
    client_->PressKey("b");
    EXPECT_EQ(show->WaitForLine("key", true), (std::vector<std::string>{"key 66"}));
    client_->ClickButton(1);
    EXPECT_EQ(show->WaitForLine("click"), (std::vector<std::string>{"click"}));

    client_->MovePointer(201, 150);
    client_->MovePointer(201, 152);
    EXPECT_EQ(show->WaitForLine("move 201 152"), (std::vector<std::string>{"move 201 150", "move 201 152"}));

    client_->PressKey("Return");
    EXPECT_EQ(show->WaitForLine("key", true), (std::vector<std::string>{"key 13"}));
    EndWith(*show, SIGTERM);
}

TEST_F(SdlShow, SigtermAndSigintCloseTheShowThroughFormClose)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        auto show = Start({"/s"});
        // After its ticks the show has no timer left: the loop waits on nothing but events.
        ASSERT_TRUE(show->WaitForLine("ticks done")) << show->Stderr();
        EndWith(*show, signal);
        EXPECT_TRUE(client_->FindTopLevel(kTitle).empty());
    }
    // Also while it is still starting up.
    auto show = Start({"/s"});
    ASSERT_TRUE(show->WaitForLine("created", true)) << show->Stderr();
    EndWith(*show, SIGTERM);
}

TEST_F(SdlShow, AsAHackItDrawsIntoTheWindowItIsGiven)
{
    struct Row {
        const char* how;
        std::function<std::vector<std::string>(::Window)> arguments;
        bool inEnvironment;  // the window id comes in XSCREENSAVER_WINDOW
    };
    const Row rows[] = {
        {"XSCREENSAVER_WINDOW with -root", [](::Window) { return std::vector<std::string>{"-root"}; }, true},
        {"--window-id, decimal",
            [](::Window w) { return std::vector<std::string>{"--window-id", std::to_string(w)}; }, false},
        {"-window-id, hexadecimal", [](::Window w) { return std::vector<std::string>{"-window-id", hex(w)}; }, false},
        {"--window-id=", [](::Window w) { return std::vector<std::string>{"--window-id=" + hex(w)}; }, false},
    };
    for (const Row& row : rows) {
        const ::Window window = client_->CreateWindow(50, 60, 320, 240);
        SCOPED_TRACE(row.how);
        std::vector<std::string> environment;
        if (row.inEnvironment)
            environment.push_back("XSCREENSAVER_WINDOW=" + hex(window));
        auto show = Start(row.arguments(window), environment);
        const auto lines = show->WaitForLine("ticks done");
        ASSERT_TRUE(lines) << show->Stderr();
        EXPECT_EQ(lines->front(), "created 320x240") << "the show's screen is the window it draws into";
        EXPECT_TRUE(samePicture(client_->Screenshot(window, 320, 240), showpattern::Expected(320, 240), 320));
        EXPECT_TRUE(client_->FindTopLevel(kTitle).empty()) << "no window of its own";
        // A window that covered part of it goes away (the daemon's unlock
        // dialog, say): the part is painted again.
        const ::Window cover = client_->CreateWindow(100, 100, 100, 100);
        XDestroyWindow(client_->get(), cover);
        XSync(client_->get(), False);
        ASSERT_TRUE(show->WaitForLine("paint")) << show->Stderr();
        EXPECT_TRUE(samePicture(client_->Screenshot(window, 320, 240), showpattern::Expected(320, 240), 320));
        client_->MovePointer(100, 100);
        EXPECT_TRUE(client_->CursorVisible()) << "the cursor is the window owner's business";
        // Its owner ends it; input is not its business either.
        client_->PressKey("a");
        show->Signal(SIGTERM);
        EXPECT_EQ(show->RestOfOutput(), std::vector<std::string>{"close"});
        EXPECT_EQ(show->Wait(), 0);
        XDestroyWindow(client_->get(), window);
        XSync(client_->get(), False);
    }
}

TEST_F(SdlShow, RootAloneMeansTheRootWindow)
{
    client_->MovePointer(10, 10);
    auto show = Start({"-root"});
    const auto lines = show->WaitForLine("ticks done");
    ASSERT_TRUE(lines) << show->Stderr();
    EXPECT_EQ(lines->front(), "created 1280x1024");
    EXPECT_TRUE(client_->FindTopLevel(kTitle).empty());
    EXPECT_TRUE(samePicture(client_->Screenshot(client_->Root(), width_, height_),
        showpattern::Expected(width_, height_), width_));
    EXPECT_TRUE(client_->CursorVisible()) << "the desktop's cursor is left alone";
    EndWith(*show, SIGINT);
    EXPECT_TRUE(client_->CursorVisible());
}

TEST_F(SdlShow, TheShowEndsThroughFormCloseWhenItsWindowIsDestroyed)
{
    const ::Window window = client_->CreateWindow(0, 0, 200, 100);
    auto show = Start({"-root"}, {"XSCREENSAVER_WINDOW=" + std::to_string(window)});
    ASSERT_TRUE(show->WaitForLine("ticks done")) << show->Stderr();
    XDestroyWindow(client_->get(), window);
    XSync(client_->get(), False);
    EXPECT_EQ(show->RestOfOutput(), std::vector<std::string>{"close"});
    EXPECT_EQ(show->Wait(), 0);
    EXPECT_NE(show->Stderr().find("is gone"), std::string::npos) << show->Stderr();
}

TEST_F(SdlShow, AWindowThatDoesNotExistIsAnErrorAndTheProgramEnds)
{
    const ::Window window = client_->CreateWindow(0, 0, 20, 20);
    XDestroyWindow(client_->get(), window);
    XSync(client_->get(), False);
    auto show = Start({"-root", "--window-id", hex(window)});
    EXPECT_EQ(show->RestOfOutput(), std::vector<std::string>{}) << "no show window is made";
    EXPECT_EQ(show->Wait(), 1);
    EXPECT_NE(show->Stderr().find("there is no window " + hex(window)), std::string::npos) << show->Stderr();
}

TEST_F(SdlShow, TheDesktopIsCopiedBeforeTheWindowMaps)
{
    client_->PaintRoot(0x336699, 0xFF8000, 10, 20, 30, 40);
    auto show = Start({"/s"}, {"LURVA_TEST_DESKTOP=1"});
    const auto line = show->WaitForLine("desktop", true);
    ASSERT_TRUE(line) << show->Stderr();
    const int whole = width_ * height_;
    EXPECT_EQ(line->back(), "desktop copied 336699:" + std::to_string(whole - 1200) + " ff8000:1200")
        << "the desktop, and not the show's own picture";
    ASSERT_TRUE(show->WaitForLine("ticks done"));
    EndWith(*show, SIGTERM);
}

TEST_F(SdlShow, AServerOfSixteenBitsGetsTheSamePictureInItsOwnColours)
{
    StartServer(640, 480, 16);
    client_->PaintRoot(0x336699, 0x336699, 0, 0, 1, 1);
    auto show = Start({"/s"}, {"LURVA_TEST_DESKTOP=1"});
    const auto desktop = show->WaitForLine("desktop", true);
    ASSERT_TRUE(desktop) << show->Stderr();
    ASSERT_TRUE(show->WaitForLine("ticks done")) << show->Stderr();

    // 5, 6 and 5 bits a channel: the top bits of each, scaled back to eight.
    auto quantise = [](uint32_t rgb) {
        auto scale = [](uint32_t value, int bits) {
            const uint32_t max = (1u << bits) - 1;
            return ((value >> (8 - bits)) * 255 + max / 2) / max;
        };
        return (scale((rgb >> 16) & 0xFF, 5) << 16) | (scale((rgb >> 8) & 0xFF, 6) << 8) | scale(rgb & 0xFF, 5);
    };
    std::vector<uint32_t> expected = showpattern::Expected(width_, height_);
    for (uint32_t& pixel : expected)
        pixel = quantise(pixel);
    EXPECT_TRUE(samePicture(client_->Screenshot(client_->Root(), width_, height_), expected, width_));
    char line[64];
    std::snprintf(line, sizeof line, "desktop copied %06x:%d", quantise(0x336699), width_ * height_);
    EXPECT_EQ(desktop->back(), line);
    EndWith(*show, SIGTERM);
}

TEST_F(SdlShow, AnErrorIsShownInABoxAndTheShowGoesOnIdle)
{
    if (!HasBoxFonts())
        GTEST_SKIP() << "the X server has no core fonts for message boxes (Debian's xfonts-base)";
    auto show = Start({"/s"}, {"LURVA_TEST_FAIL=1"});
    ASSERT_TRUE(show->WaitForLine("failing")) << show->Stderr();
    const std::vector<::Window> boxes = WaitForBoxes();
    ASSERT_EQ(boxes.size(), 1u) << show->Stderr();
    EXPECT_NE(show->Stderr().find("lurva: error: the test asked for a failure"), std::string::npos)
        << show->Stderr();
    // The window opens once the box is closed (keys go where the pointer is).
    XWindowAttributes box{};
    ASSERT_TRUE(XGetWindowAttributes(client_->get(), boxes[0], &box));
    client_->MovePointer(box.x + box.width / 2, box.y + box.height / 2);
    client_->PressKey("Return");
    ASSERT_TRUE(show->WaitForLine("paint")) << show->Stderr();
    EXPECT_TRUE(client_->FindTopLevel("Lurvasaver").empty());
    EXPECT_EQ(client_->FindTopLevel(kTitle).size(), 1u);
    EXPECT_TRUE(client_->CursorVisible()) << "set-up stopped before the cursor was hidden";
    EndWith(*show, SIGTERM);
}

TEST_F(SdlShow, ABoxOverTheShowTakesTheKeyboardAndTheNextKeyEndsTheShow)
{
    if (!HasBoxFonts())
        GTEST_SKIP() << "the X server has no core fonts for message boxes (Debian's xfonts-base)";
    for (const char* key : {"Return", "Escape", "space"}) {
        SCOPED_TRACE(key);
        auto show = Start({"/s"}, {"LURVA_TEST_BOX=1"});
        ASSERT_TRUE(show->WaitForLine("ticks done")) << show->Stderr();
        const std::vector<::Window> boxes = WaitForBoxes();
        ASSERT_EQ(boxes.size(), 1u) << show->Stderr();
        // The pointer rests on the show, away from the box: the key must
        // reach the box all the same.
        XWindowAttributes box{};
        ASSERT_TRUE(XGetWindowAttributes(client_->get(), boxes[0], &box));
        client_->MovePointer(box.x > 10 ? 2 : width_ - 2, height_ - 2);
        client_->PressKey(key);
        ASSERT_TRUE(show->WaitForLine("box closed")) << show->Stderr();
        EXPECT_TRUE(client_->FindTopLevel("Lurvasaver").empty());
        // The show holds the keyboard again.
        client_->PressKey("Escape");
        ASSERT_TRUE(show->WaitForLine("close")) << show->Stderr();
        EXPECT_EQ(show->Wait(), 0);
    }
}

TEST_F(SdlShow, WithoutADisplayTheShowSaysSoAndEnds)
{
    auto show = std::make_unique<ShowProcess>(LURVA_SDL_SHOW_HELPER, std::vector<std::string>{"/s"},
        std::vector<std::string>{"DISPLAY", "LURVA_BACKEND", "XSCREENSAVER_WINDOW", "SDL_VIDEODRIVER"});
    EXPECT_EQ(show->RestOfOutput(), std::vector<std::string>{}) << "no window was created";
    EXPECT_EQ(show->Wait(), 0);
    EXPECT_NE(show->Stderr().find("no display: nothing to show"), std::string::npos) << show->Stderr();
}
