// The Windows module Lurva.scr as a screen saver host starts it, under wine on
// an Xvfb of the test's own: "/s" plays the current show and its screen is
// what sdtool render gives, a key ends it, a second "/s" ends at once while
// one plays, a file argument installs the module and the show, "/p" and "/a"
// end at once, and "/c" opens the settings dialog whose Enter stores them.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/XTestSupport.h"
#include "shell/StillShow.h"
#include "support/PictureFixtures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
const std::string kShowWindow = "Lurvasaver";
const std::string kSettingsWindow = "設定";
const std::string kMainKey = "HKCU\\Software\\Kelvo\\rororade\\main";

bool onPath(const char* program)
{
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// One wine prefix and one X server for the whole suite: a wineserver keeps
// the display its first program had, so every run here shares this one.
class ScrUnderWine : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!fs::exists(LURVA_SCR)) {
            skipReason_ = "Lurva.scr is not built (" + std::string(LURVA_SCR) + "): make test builds it";
            return;
        }
        if (!onPath("wine") || !XvfbServer::Available()) {
            skipReason_ = "wine or Xvfb is not installed";
            return;
        }
        server_ = new XvfbServer(kWidth, kHeight, 24);
        if (!server_->Started()) {
            skipReason_ = "Xvfb did not start";
            return;
        }
        // A server left from an earlier run would still hold its old display.
        wineCommand("--shutdown");
        if (wineCommand("--prepare").status != 0)
            skipReason_ = "the wine prefix could not be made";
    }

    static void TearDownTestSuite()
    {
        if (server_ != nullptr)
            wineCommand("--shutdown");
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override
    {
        if (!skipReason_.empty())
            GTEST_SKIP() << skipReason_;
        client_ = std::make_unique<XClient>(server_->Display());
        ASSERT_TRUE(client_->Connected());
    }

    struct Output {
        int status = -1;
        std::string text;
    };

    // wine-run with the suite's prefix and display; words are shell-quoted.
    static Output wineCommand(const std::string& options, const std::vector<std::string>& words = {})
    {
        std::string command = "DISPLAY=" + ShellQuoted(server_->Display()) + " " + ShellQuoted(kWineRun)
                              + " --prefix=" + ShellQuoted(kPrefix) + " " + options;
        for (const std::string& word : words)
            command += " " + ShellQuoted(word);
        command += " 2>&1";
        Output output;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr)
            return output;
        std::array<char, 4096> buffer{};
        size_t got = 0;
        while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.text.append(buffer.data(), got);
        const int status = pclose(pipe);
        output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        // reg and winepath answer with Windows line ends.
        std::erase(output.text, '\r');
        return output;
    }

    static std::string windowsPath(const std::string& path)
    {
        std::string text = wineCommand("winepath", {"-w", path}).text;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }

    static Output regQuery(const std::string& value) { return wineCommand("reg", {"query", kMainKey, "/v", value}); }

    std::unique_ptr<ShowProcess> startScr(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all = {"--prefix=" + kPrefix, LURVA_SCR};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return std::make_unique<ShowProcess>(kWineRun, all,
            std::vector<std::string>{"DISPLAY=" + server_->Display(), "LURVA_WINE_TIMEOUT=120", "LURVA_BACKEND"});
    }

    // Presses key until the program ends (a key pressed before its window has
    // the focus goes elsewhere), within a limit; its exit status, -1 if it did not end.
    int endWithKey(ShowProcess& process, const char* key) const
    {
        for (int press = 0; press < 15 && ProcessRunning(process.Pid()); ++press) {
            client_->PressKey(key);
            for (int i = 0; i < 20 && ProcessRunning(process.Pid()); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return process.Wait(std::chrono::seconds(10));
    }

    // Waits for a top-level window of that name; false after the limit.
    bool waitForWindow(const std::string& name, std::chrono::seconds limit = std::chrono::seconds(60)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!client_->FindTopLevel(name).empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // A show whose characters stand still over a stretched JPEG background.
    std::string stillShow()
    {
        std::vector<uint32_t> back(64 * 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                back[static_cast<size_t>(y) * 64 + x] = static_cast<uint32_t>((x * 4) << 16 | (y * 5) << 8 | 0x40);
        const fs::path backFile = dir_.path() / "back.jpg";
        const std::vector<uint8_t> jpeg = makeJpeg(back, 64, 48);
        std::ofstream(backFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        return PackStillShow(dir_.path(), backFile.string());
    }

    std::vector<uint32_t> rendered(const std::string& show)
    {
        const fs::path png = dir_.path() / "render.png";
        const std::string command = ShellQuoted(SDTOOL) + " render " + ShellQuoted(show) + " -o " + ShellQuoted(png.string())
                                    + " --size " + std::to_string(kWidth) + "x" + std::to_string(kHeight)
                                    + " --tick 3 >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            return {};
        TBitmap bitmap;
        LoadPng(png.string(), bitmap);
        return std::vector<uint32_t>(bitmap.Pixels(), bitmap.Pixels() + static_cast<size_t>(kWidth) * kHeight);
    }

    // Waits until the screen shows expected within the tolerance JPEG decoders
    // differ by; returns how many pixels still differ at the end.
    size_t waitForPicture(const std::vector<uint32_t>& expected)
    {
        size_t wrong = expected.size();
        for (int i = 0; i < 300 && wrong != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            wrong = DifferingPixels(client_->Screenshot(client_->Root(), kWidth, kHeight), expected, 4);
        }
        return wrong;
    }

    static inline const std::string kWineRun = std::string(LURVA_SOURCE_DIR) + "/scripts/wine-run";
    static inline const std::string kPrefix = LURVA_SCR_WINEPREFIX;
    static inline std::string skipReason_;
    static inline XvfbServer* server_ = nullptr;
    std::unique_ptr<XClient> client_;
    TempDir dir_;
};

}  // namespace

TEST_F(ScrUnderWine, TheCurrentShowPlaysAsRenderedASecondCopyEndsAtOnceAndAKeyEndsIt)
{
    const std::string show = stillShow();
    const std::vector<uint32_t> expected = rendered(show);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kWidth) * kHeight);
    ASSERT_EQ(wineCommand("reg", {"add", kMainKey, "/v", "filename0", "/d", windowsPath(show), "/f"}).status, 0);

    auto first = startScr({"/s"});
    ASSERT_TRUE(waitForWindow(kShowWindow)) << first->Stderr();
    EXPECT_EQ(waitForPicture(expected), 0u) << first->Stderr();

    auto second = startScr({"/s"});
    EXPECT_EQ(second->Wait(std::chrono::seconds(60)), 0) << second->Stderr();
    EXPECT_EQ(client_->FindTopLevel(kShowWindow).size(), 1u);

    EXPECT_EQ(endWithKey(*first, "space"), 0) << first->Stderr();
    EXPECT_TRUE(client_->FindTopLevel(kShowWindow).empty());
}

TEST_F(ScrUnderWine, AFileArgumentMakesItTheScreenSaverAndTheFileTheCurrentShow)
{
    const std::string show = stillShow();
    const std::vector<uint32_t> expected = rendered(show);
    const std::string showPath = windowsPath(show);
    wineCommand("reg", {"delete", kMainKey, "/v", "filename0", "/f"});
    const fs::path systemIni = fs::path(kPrefix) / "drive_c" / "windows" / "system.ini";

    auto run = startScr({showPath});
    ASSERT_TRUE(waitForWindow(kShowWindow)) << run->Stderr();
    // It plays the file given, not a current show (there is none).
    EXPECT_EQ(waitForPicture(expected), 0u) << run->Stderr();
    EXPECT_EQ(endWithKey(*run, "space"), 0) << run->Stderr();

    std::ifstream ini(systemIni);
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("[boot]"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("SCRNSAVE.EXE=" + windowsPath(LURVA_SCR)), std::string::npos) << text.str();
    const Output query = regQuery("filename0");
    EXPECT_EQ(query.status, 0) << query.text;
    EXPECT_NE(query.text.find(showPath), std::string::npos) << query.text;
}

TEST_F(ScrUnderWine, PreviewAndPasswordModesEndAtOnce)
{
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"/p", "1234"}, {"/a"}}) {
        SCOPED_TRACE(arguments.front());
        auto run = startScr(arguments);
        EXPECT_EQ(run->Wait(std::chrono::seconds(60)), 0) << run->Stderr();
        EXPECT_TRUE(client_->FindTopLevel(kShowWindow).empty());
    }
}

TEST_F(ScrUnderWine, TheSettingsDialogStoresItsValuesOnEnter)
{
    const std::string current = "C:\\shows\\one.sdt";
    ASSERT_EQ(wineCommand("reg", {"add", kMainKey, "/v", "filename0", "/d", current, "/f"}).status, 0);
    wineCommand("reg", {"delete", kMainKey, "/v", "ignoreMouseMove", "/f"});

    auto run = startScr({"/c"});
    ASSERT_TRUE(waitForWindow(kSettingsWindow)) << run->Stderr();
    EXPECT_EQ(endWithKey(*run, "Return"), 0) << run->Stderr();

    // Both values as the dialog showed them: the file unchanged, the box unticked.
    const Output file = regQuery("filename0");
    EXPECT_NE(file.text.find(current), std::string::npos) << file.text;
    const Output mouse = regQuery("ignoreMouseMove");
    EXPECT_EQ(mouse.status, 0) << mouse.text;
    EXPECT_NE(mouse.text.find("0x0"), std::string::npos) << mouse.text;
}
