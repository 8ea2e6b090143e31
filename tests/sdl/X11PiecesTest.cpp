// The pieces under the window backend: X pixel layouts to bitmap words, window
// ids as hacks get them, the choice of the window to draw into, key codes,
// the wake-up pipe with the close signals, and the desktop copy against a
// real X server.
#include <gtest/gtest.h>

#include <SDL.h>
#include <poll.h>

#include <csignal>
#include <cstdlib>

#include "platform/Graphics.h"
#include "platform/x11/EmbedTarget.h"
#include "platform/posix/WakePipe.h"
#include "platform/x11/X11Desktop.h"
#include "platform/sdl/SdlBackend.h"
#include "support/XTestSupport.h"

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

}  // namespace

TEST(XPixels, EveryLayoutBecomesBitmapWords)
{
    TXPixelLayout bgr32;
    bgr32.RedMask = 0x0000FF;
    bgr32.BlueMask = 0xFF0000;
    TXPixelLayout rgb565;
    rgb565.BitsPerPixel = 16;
    rgb565.RedMask = 0xF800;
    rgb565.GreenMask = 0x07E0;
    rgb565.BlueMask = 0x001F;
    TXPixelLayout rgb565Msb = rgb565;
    rgb565Msb.MsbFirst = true;
    TXPixelLayout rgb555 = rgb565;
    rgb555.RedMask = 0x7C00;
    rgb555.GreenMask = 0x03E0;
    TXPixelLayout packed24;
    packed24.BitsPerPixel = 24;
    TXPixelLayout packed24Msb = packed24;
    packed24Msb.MsbFirst = true;
    TXPixelLayout msb32;
    msb32.MsbFirst = true;
    TXPixelLayout palette;
    palette.BitsPerPixel = 8;
    palette.RedMask = palette.GreenMask = palette.BlueMask = 0;
    palette.Palette = {0x000000, 0x336699, 0xFFFFFF};

    struct Row {
        const char* name;
        TXPixelLayout layout;
        std::vector<uint8_t> row;
        std::vector<uint32_t> expected;
    };
    const Row rows[] = {
        // Depth 24 and 32 on a little-endian server: the top byte (padding or
        // alpha) never reaches the bitmap.
        {"32 bits, garbage in the top byte", TXPixelLayout{},
            bytes({0x99, 0x66, 0x33, 0xFF, 0x01, 0x02, 0x03, 0x80}), {0x336699, 0x030201}},
        {"32 bits, blue and red swapped", bgr32, bytes({0x33, 0x66, 0x99, 0x00}), {0x336699}},
        {"32 bits, most significant byte first", msb32, bytes({0x00, 0x33, 0x66, 0x99}), {0x336699}},
        {"24 bits packed", packed24, bytes({0x99, 0x66, 0x33, 0x03, 0x02, 0x01}), {0x336699, 0x010203}},
        {"24 bits packed, most significant first", packed24Msb, bytes({0x33, 0x66, 0x99}), {0x336699}},
        // 5-6-5: full channels stay full, and values are scaled, not shifted.
        {"16 bits 5-6-5", rgb565, bytes({0xFF, 0xFF, 0x00, 0xF8, 0x1F, 0x00, 0xE0, 0x07}),
            {0xFFFFFF, 0xFF0000, 0x0000FF, 0x00FF00}},
        {"16 bits 5-6-5, most significant first", rgb565Msb, bytes({0xF8, 0x00, 0x00, 0x01}), {0xFF0000, 0x000008}},
        {"16 bits 5-5-5", rgb555, bytes({0x00, 0x7C, 0x1F, 0x00, 0x21, 0x04}), {0xFF0000, 0x0000FF, 0x080808}},
        {"8 bits through the colour map, unknown values black", palette, bytes({1, 2, 0, 200}),
            {0x336699, 0xFFFFFF, 0x000000, 0x000000}},
    };
    for (const Row& row : rows) {
        std::vector<uint32_t> out(row.expected.size(), 0xDEADBEEF);
        ConvertXPixelRow(row.row.data(), static_cast<int>(out.size()), row.layout, out.data());
        EXPECT_EQ(out, row.expected) << row.name;
    }
    EXPECT_EQ(XPixelToRgb(6u << 11 | 25u << 5 | 19u, rgb565), 0x31659Cu) << "each channel rounded to the nearest";
}

TEST(XWindowIds, HexadecimalOrDecimalAndNothingElse)
{
    struct Row {
        const char* text;
        bool valid;
        unsigned long id;
    };
    const Row rows[] = {
        {"0x1e00007", true, 0x1e00007},
        {"0X1E00007", true, 0x1e00007},
        {"31457287", true, 31457287},
        {"0x1fffffff", true, 0x1fffffff},
        {"0x20000000", false, 0},  // beyond an X resource id
        {"0", false, 0},
        {"0x0", false, 0},
        {"", false, 0},
        {"0x", false, 0},
        {"12ab", false, 0},
        {"-5", false, 0},
        {" 42", false, 0},
        {"42 ", false, 0},
        {"0x12g", false, 0},
        {"99999999999999999999999", false, 0},
    };
    for (const Row& row : rows) {
        unsigned long id = 7;
        EXPECT_EQ(ParseXWindowId(row.text, id), row.valid) << "'" << row.text << "'";
        if (row.valid)
            EXPECT_EQ(id, row.id) << row.text;
        else
            EXPECT_EQ(id, 7u) << "untouched: " << row.text;
    }
}

TEST(EmbedTargets, TheCommandLineThenTheDaemonsVariableThenRoot)
{
    using K = TEmbedTarget::TKind;
    // problem: a note is made; fatal: the program must end; requested: the
    // command line asked for a host's window.
    struct Row {
        std::vector<std::string> arguments;
        const char* variable;
        K kind;
        unsigned long id;
        bool problem;
        bool fatal;
        bool requested;
    };
    const Row rows[] = {
        {{"lurva"}, nullptr, K::OwnWindow, 0, false, false, false},
        {{"lurva", "/s"}, nullptr, K::OwnWindow, 0, false, false, false},
        {{"lurva", "-root"}, nullptr, K::Root, 0, false, false, true},
        {{"lurva", "--root"}, nullptr, K::Root, 0, false, false, true},
        {{"lurva", "-root"}, "0x400001", K::Window, 0x400001, false, false, true},
        {{"lurva"}, "4194305", K::Window, 4194305, false, false, false},
        {{"lurva"}, "", K::OwnWindow, 0, false, false, false},
        {{"lurva", "-root"}, "garbage", K::Root, 0, true, false, true},
        {{"lurva", "--window-id", "0x500002"}, "0x400001", K::Window, 0x500002, false, false, true},
        {{"lurva", "-window-id", "77"}, nullptr, K::Window, 77, false, false, true},
        {{"lurva", "--window-id=0x10"}, nullptr, K::Window, 0x10, false, false, true},
        {{"lurva", "-window-id=16"}, nullptr, K::Window, 16, false, false, true},
        // A window id on the command line that cannot be read never falls
        // back to the daemon's variable or to a show of its own.
        {{"lurva", "-root", "--window-id", "nope"}, "0x400001", K::OwnWindow, 0, true, true, true},
        {{"lurva", "--window-id"}, nullptr, K::OwnWindow, 0, true, true, true},
        {{"lurva", "--window-id", ""}, nullptr, K::OwnWindow, 0, true, true, true},
        {{"lurva", "--window-id="}, nullptr, K::OwnWindow, 0, true, true, true},
        {{"lurva", "--window-id", "0"}, nullptr, K::OwnWindow, 0, true, true, true},
        // The program name is never an option.
        {{"-root"}, nullptr, K::OwnWindow, 0, false, false, false},
    };
    for (const Row& row : rows) {
        const TEmbedTarget target = ChooseEmbedTarget(row.arguments, row.variable);
        std::string shown;
        for (const auto& a : row.arguments)
            shown += "'" + a + "' ";
        shown += row.variable != nullptr ? row.variable : "(unset)";
        EXPECT_EQ(target.Kind, row.kind) << shown;
        EXPECT_EQ(target.WindowId, row.id) << shown;
        EXPECT_EQ(!target.Problem.empty(), row.problem) << shown << ": " << target.Problem;
        EXPECT_EQ(target.Fatal, row.fatal) << shown;
        EXPECT_EQ(target.Requested, row.requested) << shown;
    }
}

TEST(SdlKeys, WindowsVirtualKeyCodes)
{
    const std::pair<SDL_Keycode, uint16_t> rows[] = {
        {SDLK_a, 0x41}, {SDLK_z, 0x5A}, {SDLK_0, 0x30}, {SDLK_9, 0x39}, {SDLK_RETURN, 0x0D}, {SDLK_KP_ENTER, 0x0D},
        {SDLK_ESCAPE, 0x1B}, {SDLK_SPACE, 0x20}, {SDLK_F1, 0x70}, {SDLK_F12, 0x7B}, {SDLK_LEFT, 0x25},
        {SDLK_DOWN, 0x28}, {SDLK_LSHIFT, 0x10}, {SDLK_RCTRL, 0x11}, {SDLK_LALT, 0x12}, {SDLK_KP_0, 0x60},
        {SDLK_KP_9, 0x69}, {SDLK_DELETE, 0x2E}, {SDLK_BACKSPACE, 0x08}, {SDLK_TAB, 0x09}, {SDLK_UNKNOWN, 0},
    };
    for (const auto& [key, code] : rows)
        EXPECT_EQ(VirtualKeyOfSdlKey(key), code) << SDL_GetKeyName(key);
}

TEST(CloseSignals, ASignalLeavesARequestAndWakesThePipe)
{
    const TWakePipe pipe;
    EXPECT_FALSE(pipe.Drain());
    pipe.Wake();
    pollfd p{pipe.ReadFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_TRUE(pipe.Drain());
    EXPECT_FALSE(pipe.Drain());

    for (const int signal : {SIGTERM, SIGINT}) {
        TCloseSignals signals(pipe);
        EXPECT_EQ(signals.TakeRequest(), 0);
        ASSERT_EQ(::raise(signal), 0) << "the process lives on";
        EXPECT_EQ(signals.TakeRequest(), signal);
        EXPECT_EQ(signals.TakeRequest(), 0) << "taken once";
        EXPECT_TRUE(pipe.Drain());
    }
    // Once the handlers are gone, the default action is back.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(CloseSignals, ASecondSignalBeforeTheFirstWasTakenEndsTheProcess)
{
    EXPECT_EXIT(
        {
            const TWakePipe pipe;
            TCloseSignals signals(pipe);
            ::raise(SIGTERM);
            ::raise(SIGTERM);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

// ---- against an X server ----

class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << "Xvfb is not installed";
        server_ = std::make_unique<XvfbServer>(320, 200, 24);
        ASSERT_TRUE(server_->Started());
        client_ = std::make_unique<XClient>(server_->Display());
        ASSERT_TRUE(client_->Connected());
        display_ = std::make_unique<ScopedEnv>("DISPLAY", server_->Display());
    }

    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<XClient> client_;
    std::unique_ptr<ScopedEnv> display_;
};

TEST_F(X11Desktop, CopiesTheRootWindowsPixels)
{
    client_->PaintRoot(0x336699, 0xFF8000, 10, 20, 30, 40);
    TBitmap bitmap(320, 200);
    ASSERT_TRUE(CopyX11Desktop(bitmap));
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0x336699u);
    EXPECT_EQ(bitmap.ScanLine(20)[10], 0xFF8000u);
    EXPECT_EQ(bitmap.ScanLine(59)[39], 0xFF8000u);
    EXPECT_EQ(bitmap.ScanLine(60)[39], 0x336699u);
    EXPECT_EQ(bitmap.ScanLine(59)[40], 0x336699u);
    EXPECT_EQ(bitmap.ScanLine(19)[10], 0x336699u);
    EXPECT_EQ(bitmap.ScanLine(199)[319], 0x336699u);
}

TEST_F(X11Desktop, TheCopyTakesWhatTheScreenFromItsCornerAndTheBitmapBothHold)
{
    client_->PaintRoot(0x112233, 0x445566, 300, 190, 20, 10);
    TBitmap large(400, 250);
    ASSERT_TRUE(CopyX11Desktop(large));
    EXPECT_EQ(large.ScanLine(0)[0], 0x112233u);
    EXPECT_EQ(large.ScanLine(199)[319], 0x445566u);
    EXPECT_EQ(large.ScanLine(199)[320], 0xFFFFFFu) << "beyond the screen the bitmap stays as it was made";
    EXPECT_EQ(large.ScanLine(200)[0], 0xFFFFFFu);
    EXPECT_EQ(large.ScanLine(249)[399], 0xFFFFFFu);

    TBitmap small(305, 195);
    ASSERT_TRUE(CopyX11Desktop(small));
    EXPECT_EQ(small.ScanLine(194)[304], 0x445566u);
    EXPECT_EQ(small.ScanLine(189)[299], 0x112233u);

    // From another corner (a primary monitor right of another one).
    TBitmap fromCorner(100, 100);
    ASSERT_TRUE(CopyX11Desktop(fromCorner, 250, 150));
    EXPECT_EQ(fromCorner.ScanLine(39)[49], 0x112233u);
    EXPECT_EQ(fromCorner.ScanLine(40)[50], 0x445566u);
    EXPECT_EQ(fromCorner.ScanLine(49)[69], 0x445566u);
    EXPECT_EQ(fromCorner.ScanLine(50)[70], 0xFFFFFFu) << "past the screen's edge";
}

TEST_F(X11Desktop, WithoutAnXServerThereIsNoImageAndTheBitmapStaysAsItWas)
{
    struct Row {
        const char* display;
        const char* reason;
    };
    const Row rows[] = {
        {nullptr, "lurva: no desktop image: no X display (DISPLAY is not set)\n"},
        {":987", "lurva: no desktop image: cannot open the X display ':987'\n"},
    };
    for (const Row& row : rows) {
        const ScopedEnv display("DISPLAY", envValue(row.display));
        TBitmap bitmap(4, 4);
        bitmap.ScanLine(1)[1] = 0x123456;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(CopyX11Desktop(bitmap));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), row.reason);
        EXPECT_EQ(bitmap.ScanLine(1)[1], 0x123456u);
        EXPECT_EQ(bitmap.ScanLine(0)[0], 0xFFFFFFu);
    }
}

TEST_F(X11Desktop, WindowsAreFoundWithTheirSizes)
{
    TXWindowInfo info;
    std::string reason;
    ASSERT_TRUE(QueryX11Window(0, info, reason)) << reason;
    EXPECT_EQ(info.Id, client_->Root());
    EXPECT_EQ(info.Width, 320);
    EXPECT_EQ(info.Height, 200);

    const ::Window window = client_->CreateWindow(5, 6, 70, 80);
    ASSERT_TRUE(QueryX11Window(window, info, reason)) << reason;
    EXPECT_EQ(info.Id, window);
    EXPECT_EQ(info.X, 5);
    EXPECT_EQ(info.Y, 6);
    EXPECT_EQ(info.Width, 70);
    EXPECT_EQ(info.Height, 80);

    XDestroyWindow(client_->get(), window);
    XSync(client_->get(), False);
    EXPECT_FALSE(QueryX11Window(window, info, reason)) << "and the process lives on";
    EXPECT_EQ(reason.find("there is no window 0x"), 0u) << reason;
}
