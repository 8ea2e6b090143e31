// The real lurva program on a scaled desktop and on two monitors of an Xvfb
// of the test's own: the scale-k screen is the smaller screen's picture
// enlarged k times, each monitor shows the show at its own size (or black),
// no part of a monitor is left showing the desktop, and a key ends it all.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "shell/StillShow.h"
#include "support/Environment.h"
#include "support/TestSupport.h"
#include "support/XTestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kWindowName = "Lurvasaver";
constexpr uint32_t kDesktopColour = 0x00FF00FF;  // the desktop painted where no show may be

struct TArea {
    int Left, Top, Width, Height;
};

class LurvaScreensX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available() || !findProgram("xrandr") || !findProgram("xrdb"))
            GTEST_SKIP() << "Xvfb, xrandr or xrdb is not installed";
        fs::create_directories(runtime_);
        TBitmap back(64, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                back.Canvas().SetPixel(x, y, static_cast<TColor>((x * 4) << 16 | (y * 5) << 8 | 0x40));
        back.SaveToFile((dir_.path() / "back.bmp").string());
        show_ = PackStillShow(dir_.path(), (dir_.path() / "back.bmp").string());
    }

    void startServer(int width, int height)
    {
        width_ = width;
        height_ = height;
        server_ = std::make_unique<XvfbServer>(width, height, 24);
        ASSERT_TRUE(server_->Started()) << "Xvfb did not start";
        client_ = std::make_unique<XClient>(server_->Display());
        ASSERT_TRUE(client_->Connected());
        client_->PaintRoot(kDesktopColour, kDesktopColour, 0, 0, 1, 1);
    }

    // Runs a command of the X utilities on the test's display.
    int onDisplay(const std::string& command) const
    {
        return std::system(("DISPLAY=" + server_->Display() + " " + command + " >/dev/null 2>&1").c_str());
    }

    // What sdtool render gives for the show at width x height, enlarged scale times.
    std::vector<uint32_t> rendered(int width, int height, int scale = 1)
    {
        const fs::path png = dir_.path() / ("render-" + std::to_string(width) + "x" + std::to_string(height) + ".png");
        const std::string command = ShellQuoted(SDTOOL) + " render " + ShellQuoted(show_) + " -o "
                                    + ShellQuoted(png.string()) + " --size " + std::to_string(width) + "x"
                                    + std::to_string(height) + " --tick 3 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            return {};
        TBitmap bitmap;
        LoadPng(png.string(), bitmap);
        std::vector<uint32_t> enlarged(static_cast<size_t>(width) * scale * height * scale);
        for (int y = 0; y < height * scale; ++y)
            for (int x = 0; x < width * scale; ++x)
                enlarged[static_cast<size_t>(y) * width * scale + x] = bitmap.ScanLine(y / scale)[x / scale];
        return enlarged;
    }

    std::vector<uint32_t> screenArea(const std::vector<uint32_t>& screen, const TArea& area) const
    {
        std::vector<uint32_t> pixels;
        if (screen.size() != static_cast<size_t>(width_) * height_)
            return pixels;
        for (int y = area.Top; y < area.Top + area.Height; ++y)
            for (int x = area.Left; x < area.Left + area.Width; ++x)
                pixels.push_back(screen[static_cast<size_t>(y) * width_ + x]);
        return pixels;
    }

    // Waits until every area shows its picture; returns the pixels that
    // still differ at the end, over all of them.
    size_t waitForAreas(const std::vector<std::pair<TArea, std::vector<uint32_t>>>& expected)
    {
        size_t wrong = 1;
        for (int i = 0; i < 200 && wrong != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::vector<uint32_t> screen = client_->Screenshot(client_->Root(), width_, height_);
            wrong = 0;
            for (const auto& [area, pixels] : expected)
                wrong += DifferingPixels(screenArea(screen, area), pixels);
        }
        return wrong;
    }

    std::unique_ptr<ShowProcess> start(const std::vector<std::string>& arguments, std::vector<std::string> environment = {})
    {
        environment.insert(environment.begin(),
            {"DISPLAY=" + server_->Display(), "XDG_CONFIG_HOME=" + (dir_.path() / "config").string(),
             "XDG_RUNTIME_DIR=" + runtime_.string(), "LURVA_BACKEND", "XSCREENSAVER_WINDOW", "SDL_VIDEODRIVER",
             "SDL_AUDIODRIVER=dummy", "LURVA_SCALE"});
        return std::make_unique<ShowProcess>(LURVA_PROGRAM, arguments, environment);
    }

    // Lurva's key in the settings file, as a user adds it by hand (the
    // shows played before may have written the file already).
    void setLurvaSetting(const std::string& name, const std::string& value)
    {
        const fs::path file = dir_.path() / "config" / "lurva" / "registry.reg";
        fs::create_directories(file.parent_path());
        const bool existed = fs::exists(file);
        std::ofstream out(file, std::ios::app);
        if (!existed)
            out << "REGEDIT4\n";
        out << "\n[HKEY_CURRENT_USER\\Software\\Lurva]\n\"" << name << "\"=\"" << value << "\"\n";
    }

    TempDir dir_;
    const fs::path runtime_ = dir_.path() / "run";
    std::string show_;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<XClient> client_;
};

}  // namespace

TEST_F(LurvaScreensX11, AtTheDesktopsScaleTheScreenIsTheSmallerScreensPictureEnlarged)
{
    startServer(800, 600);
    ASSERT_EQ(onDisplay("sh -c 'echo Xft.dpi: 192 | xrdb -merge'"), 0);
    const TArea whole{0, 0, 800, 600};
    struct Row {
        const char* how;
        std::vector<std::string> environment;
        int scale;
    };
    const Row rows[] = {
        {"Xft.dpi 192", {}, 2},
        {"LURVA_SCALE=4 over it", {"LURVA_SCALE=4"}, 4},
        {"LURVA_SCALE=1: the raw pixels", {"LURVA_SCALE=1"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        const std::vector<uint32_t> expected = rendered(800 / row.scale, 600 / row.scale, row.scale);
        ASSERT_EQ(expected.size(), 800u * 600u);
        auto show = start({show_}, row.environment);
        EXPECT_EQ(waitForAreas({{whole, expected}}), 0u) << show->Stderr();
        client_->PressKey("space");
        EXPECT_EQ(show->Wait(), 0) << show->Stderr();
    }
}

TEST_F(LurvaScreensX11, TwoMonitorsOfDifferentSizesEachShowTheShowAndAKeyEndsBoth)
{
    startServer(1440, 600);
    ASSERT_EQ(onDisplay("xrandr --setmonitor A 800/200x600/150+0+0 screen"), 0);
    ASSERT_EQ(onDisplay("xrandr --setmonitor B 640/160x480/120+800+0 none"), 0);
    const TArea a{0, 0, 800, 600};
    const TArea b{800, 0, 640, 480};
    const std::vector<uint32_t> showA = rendered(800, 600);
    const std::vector<uint32_t> showB = rendered(640, 480);
    {
        auto show = start({show_});
        EXPECT_EQ(waitForAreas({{a, showA}, {b, showB}}), 0u) << show->Stderr();
        EXPECT_EQ(client_->FindTopLevel(kWindowName).size(), 2u);
        client_->MovePointer(1000, 200);  // the key comes while the pointer is on the other monitor
        client_->PressKey("space");
        EXPECT_EQ(show->Wait(), 0) << show->Stderr();
        EXPECT_TRUE(client_->FindTopLevel(kWindowName).empty());
    }
    // At 200 % each monitor's show is laid out at half its size.
    ASSERT_EQ(onDisplay("sh -c 'echo Xft.dpi: 192 | xrdb -merge'"), 0);
    {
        const std::vector<uint32_t> scaledA = rendered(400, 300, 2);
        const std::vector<uint32_t> scaledB = rendered(320, 240, 2);
        auto show = start({show_});
        EXPECT_EQ(waitForAreas({{a, scaledA}, {b, scaledB}}), 0u) << show->Stderr();
        client_->ClickButton(1);
        EXPECT_EQ(show->Wait(), 0) << show->Stderr();
    }
    // monitors=primary: black on the other.
    setLurvaSetting("monitors", "primary");
    {
        auto show = start({show_}, {"LURVA_SCALE=1"});
        EXPECT_EQ(waitForAreas({{a, showA}, {b, std::vector<uint32_t>(640 * 480, 0)}}), 0u) << show->Stderr();
        client_->PressKey("Escape");
        EXPECT_EQ(show->Wait(), 0) << show->Stderr();
    }
}
