// The real lurva program playing a data file on an Xvfb of the test's own:
// the screen shows what sdtool render gives for the same show, a key, a click
// or the third mouse movement ends it, the cursor is hidden meanwhile, the
// work directory is empty afterwards, and as an XScreenSaver hack it draws
// into another client's window: several hacks at once and beside the
// full-screen show, each following its window's size, from the command line
// that the daemon's settings file gives; a window it cannot use ends it with
// status 1. "--window" plays in a framed window of its own.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "config/CRegManage.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/XTestSupport.h"
#include "shell/StillShow.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kWindowName = "Lurvasaver";  // the application's title names the show window

std::string hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

class LurvaX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << "Xvfb is not installed";
        server_ = std::make_unique<XvfbServer>(kWidth, kHeight, 24);
        ASSERT_TRUE(server_->Started()) << "Xvfb did not start";
        client_ = std::make_unique<XClient>(server_->Display());
        ASSERT_TRUE(client_->Connected());
        fs::create_directories(runtime_);
        fs::create_directories(temp_);
        show_ = stillShow();
    }

    // A show whose characters stand still over a stretched bitmap background.
    std::string stillShow()
    {
        TBitmap back(64, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                back.Canvas().SetPixel(x, y, static_cast<TColor>((x * 4) << 16 | (y * 5) << 8 | 0x40));
        back.SaveToFile((dir_.path() / "back.bmp").string());
        return PackStillShow(dir_.path(), (dir_.path() / "back.bmp").string());
    }

    // What sdtool render gives for the show at width x height.
    std::vector<uint32_t> rendered(int width, int height)
    {
        const fs::path png = dir_.path() / ("render-" + std::to_string(width) + ".png");
        const std::string command = ShellQuoted(SDTOOL) + " render " + ShellQuoted(show_) + " -o " + ShellQuoted(png.string())
                                    + " --size " + std::to_string(width) + "x" + std::to_string(height)
                                    + " --tick 3 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            return {};
        TBitmap bitmap;
        LoadPng(png.string(), bitmap);
        return std::vector<uint32_t>(bitmap.Pixels(), bitmap.Pixels() + static_cast<size_t>(width) * height);
    }

    std::unique_ptr<ShowProcess> start(const std::vector<std::string>& arguments,
                                       std::vector<std::string> environment = {})
    {
        environment.insert(environment.begin(),
                           {"DISPLAY=" + server_->Display(), "XDG_CONFIG_HOME=" + (dir_.path() / "config").string(),
                            "XDG_RUNTIME_DIR=" + runtime_.string(), "TMPDIR=" + temp_.string(), "LURVA_BACKEND", "XSCREENSAVER_WINDOW",
                            "SDL_VIDEODRIVER", "SDL_AUDIODRIVER=dummy"});
        return std::make_unique<ShowProcess>(LURVA_PROGRAM, arguments, environment);
    }

    // Waits until window shows expected (the window may first show a blank
    // picture); returns how many pixels still differ at the end.
    size_t waitForPicture(::Window window, int width, int height, const std::vector<uint32_t>& expected)
    {
        size_t wrong = expected.size();
        for (int i = 0; i < 200 && wrong != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            wrong = DifferingPixels(client_->Screenshot(window, width, height), expected);
        }
        return wrong;
    }

    // Whether the show is still running after it has handled every event
    // sent to it before this call. A window of the test covers a corner of
    // the picture and goes again: only a running show paints the corner
    // again, and it reads its events in order, so those sent before came first.
    bool runsAfterItsEvents(pid_t show, const std::vector<uint32_t>& expected)
    {
        const ::Window cover = client_->CreateWindow(kWidth - 80, kHeight - 80, 64, 64);
        const bool covered = DifferingPixels(client_->Screenshot(client_->Root(), kWidth, kHeight), expected) != 0;
        XDestroyWindow(client_->get(), cover);
        XSync(client_->get(), False);
        return covered && waitForPicture(client_->Root(), kWidth, kHeight, expected) == 0 && ProcessRunning(show);
    }

    std::vector<std::string> workFiles() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(runtime_ / "lurva", ec))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // The files in the work directories of hacks, each a folder of its own
    // under TMPDIR.
    std::vector<std::string> hackWorkFiles() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& dir : fs::directory_iterator(temp_, ec))
            if (dir.path().filename().string().rfind("lurva-hack-", 0) == 0)
                for (const auto& entry : fs::directory_iterator(dir.path(), ec))
                    names.push_back(entry.path().filename().string());
        return names;
    }

    // Hacks' work directories that are still there.
    size_t hackWorkDirs() const
    {
        size_t count = 0;
        std::error_code ec;
        for (const auto& dir : fs::directory_iterator(temp_, ec))
            count += dir.path().filename().string().rfind("lurva-hack-", 0) == 0 ? 1 : 0;
        return count;
    }

    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    TempDir dir_;
    const fs::path runtime_ = dir_.path() / "run";
    const fs::path temp_ = dir_.path() / "tmp";
    std::string show_;
    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<XClient> client_;
};

}  // namespace

TEST_F(LurvaX11, TheScreenShowsWhatSdtoolRenderGivesAndInputEndsIt)
{
    const std::vector<uint32_t> expected = rendered(kWidth, kHeight);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kWidth) * kHeight);

    struct Row {
        const char* how;
        std::function<void(XClient&, pid_t)> end;
    };
    const Row rows[] = {
        {"a key", [](XClient& c, pid_t) { c.PressKey("space"); }},
        {"a click", [](XClient& c, pid_t) { c.ClickButton(1); }},
        {"the third mouse movement",
         [this, &expected](XClient& c, pid_t pid) {
             c.MovePointer(300, 200);
             c.MovePointer(310, 205);
             EXPECT_TRUE(runsAfterItsEvents(pid, expected)) << "two movements ended the show";
             c.MovePointer(320, 210);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        client_->MovePointer(20, 20);
        ASSERT_TRUE(client_->CursorVisible());
        auto show = start({show_});
        EXPECT_EQ(waitForPicture(client_->Root(), kWidth, kHeight, expected), 0u) << show->Stderr();
        ASSERT_EQ(client_->FindTopLevel(kWindowName).size(), 1u) << show->Stderr();
        EXPECT_FALSE(client_->CursorVisible());
        EXPECT_FALSE(workFiles().empty()) << "the background and the frames are unpacked";

        row.end(*client_, show->Pid());
        EXPECT_EQ(show->Wait(), 0) << show->Stderr();
        EXPECT_TRUE(client_->FindTopLevel(kWindowName).empty());
        EXPECT_TRUE(client_->CursorVisible());
        EXPECT_TRUE(workFiles().empty());
    }
    // The show given on the command line became the current one, and the
    // program the screen saver of "System.ini", in the configuration given.
    std::ifstream ini(dir_.path() / "config" / "lurva" / "System.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_EQ(text.str(), "[boot]\nSCRNSAVE.EXE=" + fs::canonical(LURVA_PROGRAM).string() + "\n");
}

TEST_F(LurvaX11, MovementsDoNotEndTheShowWhenTheSettingsSaySo)
{
    {
        // As the settings dialog stores it, in the configuration the show reads.
        ScopedEnv config("XDG_CONFIG_HOME", (dir_.path() / "config").string());
        TRegManage settings;
        settings.init("rororade");
        settings.writeBool("main", "ignoreMouseMove", true);
    }
    const std::vector<uint32_t> expected = rendered(kWidth, kHeight);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kWidth) * kHeight);
    client_->MovePointer(20, 20);
    auto show = start({show_});
    ASSERT_EQ(waitForPicture(client_->Root(), kWidth, kHeight, expected), 0u) << show->Stderr();
    for (int i = 0; i < 6; ++i)
        client_->MovePointer(100 + 10 * i, 100);
    EXPECT_TRUE(runsAfterItsEvents(show->Pid(), expected)) << show->Stderr();
    client_->PressKey("Escape");
    EXPECT_EQ(show->Wait(), 0) << show->Stderr();
    EXPECT_TRUE(workFiles().empty());
}

TEST_F(LurvaX11, AsAHackItPlaysInsideAnotherClientsWindow)
{
    const ::Window window = client_->CreateWindow(50, 60, 320, 240);
    const std::vector<uint32_t> expected = rendered(320, 240);
    ASSERT_EQ(expected.size(), 320u * 240u);
    // The daemon starts a hack with -root and the window in XSCREENSAVER_WINDOW;
    // the current show comes from the settings.
    {
        auto first = start({show_, "--window-id", hex(window)});
        EXPECT_EQ(waitForPicture(window, 320, 240, expected), 0u) << first->Stderr();
        first->Signal(SIGTERM);
        EXPECT_EQ(first->Wait(), 0) << first->Stderr();
    }
    // Black again, so that only the next show's own picture can match.
    XClearWindow(client_->get(), window);
    XSync(client_->get(), False);
    ASSERT_NE(DifferingPixels(client_->Screenshot(window, 320, 240), expected), 0u);
    auto show = start({"-root"}, {"XSCREENSAVER_WINDOW=" + hex(window)});
    EXPECT_EQ(waitForPicture(window, 320, 240, expected), 0u) << show->Stderr();
    EXPECT_TRUE(client_->FindTopLevel(kWindowName).empty()) << "no window of its own";
    // A hack unpacks into a folder of its own: another copy that ends, or a
    // full-screen show, empties only its own.
    EXPECT_FALSE(hackWorkFiles().empty());
    EXPECT_TRUE(workFiles().empty());
    show->Signal(SIGTERM);
    EXPECT_EQ(show->Wait(), 0) << show->Stderr();
    EXPECT_EQ(hackWorkDirs(), 0u) << "SIGTERM closes the show through its clean-up";
}

TEST_F(LurvaX11, InAWindowOfItsOwnItIsFramedAndOnlyAKeyEndsIt)
{
    constexpr int kWindowWidth = kWidth * 3 / 4;
    constexpr int kWindowHeight = kHeight * 3 / 4;
    const std::vector<uint32_t> expected = rendered(kWindowWidth, kWindowHeight);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kWindowWidth) * kWindowHeight);
    const std::string title = fs::path(show_).filename().string() + " - Lurva";
    // Started from a file manager inside a screen saver's session: still a
    // window of its own.
    const ::Window other = client_->CreateWindow(0, 0, 100, 100);
    auto show = start({"--window", show_}, {"XSCREENSAVER_WINDOW=" + hex(other)});
    std::vector<::Window> found;
    for (int i = 0; i < 200 && found.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        found = client_->FindTopLevel(title);
    }
    ASSERT_EQ(found.size(), 1u) << show->Stderr();
    EXPECT_EQ(waitForPicture(found[0], kWindowWidth, kWindowHeight, expected), 0u) << show->Stderr();
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(client_->get(), found[0], &attributes), 0);
    EXPECT_EQ(attributes.width, kWindowWidth);
    EXPECT_EQ(attributes.height, kWindowHeight);
    EXPECT_FALSE(attributes.override_redirect) << "managed like any other window";
    EXPECT_TRUE(workFiles().empty()) << "the shared work directory is not used";

    // Over the window (which gets the keys then, without a window manager):
    // movements and a click leave it playing, the cursor shown.
    for (int i = 0; i < 5; ++i)
        client_->MovePointer(200 + 10 * i, 200);
    client_->ClickButton(1);
    EXPECT_TRUE(client_->CursorVisible());
    // Still running once those events are handled: a window of the test
    // covers a corner of the show and goes, and only a running show paints
    // the corner again (it reads its events in order).
    const ::Window cover = client_->CreateWindow(attributes.x + kWindowWidth - 80, attributes.y + kWindowHeight - 80, 64, 64);
    EXPECT_NE(DifferingPixels(client_->Screenshot(found[0], kWindowWidth, kWindowHeight), expected), 0u);
    XDestroyWindow(client_->get(), cover);
    XSync(client_->get(), False);
    EXPECT_EQ(waitForPicture(found[0], kWindowWidth, kWindowHeight, expected), 0u) << show->Stderr();
    EXPECT_TRUE(ProcessRunning(show->Pid())) << show->Stderr();
    client_->PressKey("space");
    EXPECT_EQ(show->Wait(), 0) << show->Stderr();
    EXPECT_TRUE(client_->FindTopLevel(title).empty());
    EXPECT_FALSE(fs::exists(dir_.path() / "config" / "lurva" / "System.ini")) << "not made the screen saver";
}

TEST_F(LurvaX11, HacksRunSideBySideAndBesideTheFullScreenShow)
{
    // The daemon starts one hack per monitor, each in a window of its own.
    const ::Window left = client_->CreateWindow(0, 0, 320, 240);
    const ::Window right = client_->CreateWindow(330, 0, 200, 150);
    const std::vector<uint32_t> leftPicture = rendered(320, 240);
    const std::vector<uint32_t> rightPicture = rendered(200, 150);
    auto first = start({"--root", "--show", show_}, {"XSCREENSAVER_WINDOW=" + hex(left)});
    ASSERT_EQ(waitForPicture(left, 320, 240, leftPicture), 0u) << first->Stderr();
    // Options stand anywhere: the window id after the show file.
    auto second = start({"--show", show_, "--window-id", hex(right)});
    EXPECT_EQ(waitForPicture(right, 200, 150, rightPicture), 0u) << second->Stderr();
    EXPECT_TRUE(ProcessRunning(first->Pid()));
    EXPECT_TRUE(ProcessRunning(second->Pid())) << second->Stderr();

    // The full-screen show is not kept out by hacks, and a key ends it alone.
    const std::vector<uint32_t> screen = rendered(kWidth, kHeight);
    auto full = start({"/s", "--show", show_});
    EXPECT_EQ(waitForPicture(client_->Root(), kWidth, kHeight, screen), 0u) << full->Stderr();
    EXPECT_EQ(client_->FindTopLevel(kWindowName).size(), 1u) << full->Stderr();
    client_->PressKey("Escape");
    EXPECT_EQ(full->Wait(), 0) << full->Stderr();
    EXPECT_EQ(waitForPicture(right, 200, 150, rightPicture), 0u) << "the hacks play on";
    EXPECT_TRUE(ProcessRunning(first->Pid()));

    for (auto* hack : {first.get(), second.get()}) {
        hack->Signal(SIGTERM);
        EXPECT_EQ(hack->Wait(), 0) << hack->Stderr();
    }
    EXPECT_TRUE(workFiles().empty());
    // --show plays a file without making it the current show.
    ScopedEnv config("XDG_CONFIG_HOME", (dir_.path() / "config").string());
    TRegManage settings;
    settings.init("rororade");
    EXPECT_EQ(settings.readString("main", "filename0", "(none)"), "(none)");
}

TEST_F(LurvaX11, AHackFollowsItsWindowsSize)
{
    const ::Window window = client_->CreateWindow(10, 10, 320, 240);
    auto hack = start({"--window-id", hex(window), "--show", show_});
    ASSERT_EQ(waitForPicture(window, 320, 240, rendered(320, 240)), 0u) << hack->Stderr();
    // Larger, then smaller than at the start, as a settings preview does.
    for (const auto& [width, height] : {std::pair{400, 300}, std::pair{160, 120}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        XResizeWindow(client_->get(), window, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XSync(client_->get(), False);
        EXPECT_EQ(waitForPicture(window, width, height, rendered(width, height)), 0u) << hack->Stderr();
    }
    hack->Signal(SIGTERM);
    EXPECT_EQ(hack->Wait(), 0) << hack->Stderr();
}

TEST_F(LurvaX11, AWindowThatCannotBeUsedIsAnErrorWithStatusOne)
{
    const ::Window gone = client_->CreateWindow(0, 0, 20, 20);
    XDestroyWindow(client_->get(), gone);
    XSync(client_->get(), False);
    struct Row {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        std::string said;
    };
    const Row rows[] = {
        {{"--window-id", hex(gone)}, {}, "there is no window " + hex(gone)},
        {{"--root"}, {"XSCREENSAVER_WINDOW=" + hex(gone)}, "there is no window " + hex(gone)},
        {{"--window-id", "nope"}, {}, "'nope' given with --window-id is not a window id"},
        {{"--window-id", ""}, {}, "--window-id needs a window id"},
        {{"--window-id="}, {}, "--window-id needs a window id"},
        {{show_, "--window-id"}, {}, "--window-id needs a window id"},
        {{"--window-id", "0x400001"}, {"DISPLAY="}, "no display to find the window in"},
        {{"-root"}, {"DISPLAY="}, "no display to find the window in"},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const auto& a : row.arguments)
            shown += "'" + a + "' ";
        SCOPED_TRACE(shown);
        auto show = start(row.arguments, row.environment);
        EXPECT_EQ(show->Wait(), 1) << show->Stderr();
        EXPECT_NE(show->Stderr().find("lurva: error: " + row.said), std::string::npos) << show->Stderr();
        EXPECT_TRUE(client_->FindTopLevel(kWindowName).empty()) << "no full-screen show instead";
    }
}

TEST_F(LurvaX11, TheDaemonsSettingsFileGivesACommandLineThatPlays)
{
    // What the daemon's settings GUI puts together from lurva.xml: the
    // command's argument, then each setting's, "%" standing for the value.
    std::ifstream xml(std::string(LURVA_SOURCE_DIR) + "/data/xscreensaver/lurva.xml");
    std::stringstream text;
    text << xml.rdbuf();
    const std::string description = text.str();
    std::vector<std::string> arguments;
    const std::regex argument(R"re(\barg(-set)?="([^"]*)")re");
    for (auto it = std::sregex_iterator(description.begin(), description.end(), argument);
         it != std::sregex_iterator(); ++it) {
        std::istringstream words((*it)[2].str());
        for (std::string word; words >> word;)
            arguments.push_back(word == "%" ? show_ : word);
    }
    ASSERT_FALSE(arguments.empty());
    EXPECT_EQ(arguments.front(), "--root");
    // One scale of the choice, the one that leaves the pixels as they are.
    std::vector<std::string> chosen;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--scale" && i + 1 < arguments.size() && arguments[i + 1] != "1") {
            ++i;
            continue;
        }
        chosen.push_back(arguments[i]);
    }
    EXPECT_EQ(chosen, (std::vector<std::string>{"--root", "--show", show_, "--scale", "1", "--sound"}));

    const ::Window window = client_->CreateWindow(20, 30, 320, 240);
    auto hack = start(chosen, {"XSCREENSAVER_WINDOW=" + hex(window)});
    EXPECT_EQ(waitForPicture(window, 320, 240, rendered(320, 240)), 0u) << hack->Stderr();
    hack->Signal(SIGTERM);
    EXPECT_EQ(hack->Wait(), 0) << hack->Stderr();
}
