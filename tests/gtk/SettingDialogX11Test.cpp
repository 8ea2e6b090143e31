// The real program's settings dialog on an X server of its own (Xvfb):
// `lurva /c` opens the GTK dialog, xdotool plays the user, and the settings
// file tells what was stored. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/Registry.h"
#include "support/XTestSupport.h"
#include "support/ChildProcess.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kMainKey = "Software\\Kelvo\\rororade\\main";

// A started program; killed when still running at the end of its scope.
class Child {
public:
    Child(const std::string& path, const std::vector<std::string>& arguments, const std::vector<std::string>& env,
        int stdoutFd = -1)
    {
        pid_ = spawnProgram(path, arguments, stdoutFd >= 0 ? stdoutFd : kNullStream, kNullStream, env);
    }
    ~Child()
    {
        if (pid_ > 0)
            waitChild(pid_, 0ms);  // kills it
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    // Exit code, or -1 when it had not ended within the limit (it is then killed).
    int Wait(std::chrono::milliseconds limit)
    {
        const int code = pid_ > 0 ? waitChild(pid_, limit) : -1;
        pid_ = -1;
        return code;
    }
    void Terminate()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
    }

private:
    pid_t pid_ = -1;
};

// Runs a command to its end within the limit: its exit code and first output line.
struct Result {
    int code = -1;
    std::string line;
};

Result runCommand(const std::string& path, const std::vector<std::string>& arguments,
    const std::vector<std::string>& env, std::chrono::milliseconds limit)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    Child child(path, arguments, env, out[1]);
    ::close(out[1]);
    Result result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string buffer;
    result.line = readLine(out[0], buffer, deadline).value_or(std::string());
    ::close(out[0]);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    result.code = child.Wait(std::max(left, 100ms));
    return result;
}

class SettingDialogX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        xdotool_ = findProgram("xdotool");
        if (!XvfbServer::Available() || !xdotool_)
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        server_ = std::make_unique<XvfbServer>(1024, 768, 24);
        ASSERT_TRUE(server_->Started()) << "Xvfb did not start";
        std::filesystem::create_directories(Config());
        std::filesystem::create_directories(home_.path() / "runtime");
        std::filesystem::permissions(home_.path() / "runtime", std::filesystem::perms::owner_all);
    }

    std::filesystem::path Config() const { return home_.path() / "config"; }
    std::filesystem::path StoreFile() const { return Config() / "lurva" / "registry.reg"; }

    std::vector<std::string> Environment() const
    {
        return {
            "DISPLAY=" + server_->Display(),
            "PATH=" + (extraPath_.empty() ? "" : extraPath_ + ":") + "/usr/bin:/bin",
            "LANG=C.UTF-8",  // as a desktop session has: GTK gives the X11 title in the locale's encoding
            "HOME=" + home_.str(),
            "XDG_CONFIG_HOME=" + Config().string(),
            "XDG_RUNTIME_DIR=" + (home_.path() / "runtime").string(),
            "LURVA_WINDOW_DIR=" + (home_.path() / "windows").string(),
            "GSETTINGS_BACKEND=memory",  // no session bus here
            "NO_AT_BRIDGE=1",            // nor an accessibility bus
        };
    }

    Result Xdotool(const std::vector<std::string>& arguments)
    {
        return runCommand(*xdotool_, arguments, Environment(), 15000ms);
    }

    // The dialog's window once it is mapped; empty when none came. xdotool
    // fails (an X error) when a window goes while it looks at it, as a box
    // does when it closes: the search is asked again until the deadline.
    std::string WaitForWindow(const std::string& title)
    {
        for (auto deadline = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < deadline;) {
            const Result found = Xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
            if (found.code == 0)
                return found.line;
        }
        return std::string();
    }

    bool WindowGone(const std::string& title)
    {
        for (auto deadline = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < deadline;) {
            if (Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).code != 0)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Focuses the window and types the keys into it.
    void Keys(const std::string& window, const std::vector<std::string>& keys)
    {
        ASSERT_EQ(Xdotool({"windowfocus", "--sync", window}).code, 0);
        std::vector<std::string> arguments = {"key", "--clearmodifiers"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        ASSERT_EQ(Xdotool(arguments).code, 0);
    }

    // Types text into the focused entry until it holds exactly that. Under
    // load the entry may come a moment after the key that opens it, and a
    // character typed through a remapped key may be lost; so the entry is
    // read back (select all, copy, the clipboard) and typed again if wrong.
    bool TypeIntoEntry(const std::string& text)
    {
        XClient client(server_->Display());
        if (!client.Connected())
            return false;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (Xdotool({"key", "--clearmodifiers", "ctrl+a"}).code != 0
                || Xdotool({"type", "--delay", "40", text}).code != 0)
                return false;
            client.TakeClipboard();
            if (Xdotool({"key", "--clearmodifiers", "ctrl+a", "ctrl+c"}).code != 0)
                return false;
            const std::optional<std::string> copied = client.WaitForClipboardText();
            if (!copied)
                return false;  // the entry did not copy at all
            if (*copied == text)
                return true;
        }
        return false;
    }

    std::unique_ptr<Child> StartLurva()
    {
        return std::make_unique<Child>(LURVA_PROGRAM, std::vector<std::string>{"/c"}, Environment());
    }

    void WriteStore(const std::string& mainValues) const { writeMainSettings(StoreFile(), mainValues); }
    std::string StoreText() const { return readTextFileIfAny(StoreFile()); }

    // "s:" + a string's text or "d:" + a DWORD; "-" when missing.
    std::string Value(const std::string& name)
    {
        ScopedEnv configHome("XDG_CONFIG_HOME", Config().string());
        TRegistry reg;
        if (!reg.OpenKey(kMainKey, false) || !reg.ValueExists(name))
            return "-";
        if (reg.GetDataType(name) == TRegDataType::rdString)
            return "s:" + reg.ReadString(name);
        return "d:" + std::to_string(reg.ReadInteger(name));
    }

    TempDir home_;
    std::string extraPath_;  // searched before the system's folders
    std::optional<std::string> xdotool_;
    std::unique_ptr<XvfbServer> server_;
};

}  // namespace

TEST_F(SettingDialogX11, EnterStoresBothValuesAndCreatesTheKey)
{
    auto lurva = StartLurva();
    ASSERT_TRUE(lurva->Started());
    const std::string window = WaitForWindow("設定");
    ASSERT_FALSE(window.empty()) << "the dialog did not appear";
    Keys(window, {"Return"});
    EXPECT_EQ(lurva->Wait(20000ms), 0) << "lurva /c ends when the dialog closes";
    EXPECT_EQ(Value("filename0"), "s:");
    EXPECT_EQ(Value("ignoreMouseMove"), "d:0");
}

TEST_F(SettingDialogX11, EscStoresNothingAndEnterStoresBothAgain)
{
    WriteStore("\"filename0\"=\"/shows/old.sdt\"\n\"ignoreMouseMove\"=dword:00000005\n");
    const std::string before = StoreText();
    {
        auto lurva = StartLurva();
        const std::string window = WaitForWindow("設定");
        ASSERT_FALSE(window.empty());
        Keys(window, {"Escape"});
        EXPECT_EQ(lurva->Wait(20000ms), 0);
        EXPECT_EQ(StoreText(), before);
    }
    {
        auto lurva = StartLurva();
        const std::string window = WaitForWindow("設定");
        ASSERT_FALSE(window.empty());
        Keys(window, {"Return"});
        EXPECT_EQ(lurva->Wait(20000ms), 0);
        EXPECT_EQ(Value("filename0"), "s:/shows/old.sdt");
        EXPECT_EQ(Value("ignoreMouseMove"), "d:1") << "rewritten as a bool";
    }
}

TEST_F(SettingDialogX11, AFileChosenInTheFileChooserIsStoredOnOk)
{
    const std::string chosen = (home_.path() / "ショー.sdt").string();
    std::ofstream(chosen) << "QDsm";
    auto lurva = StartLurva();
    const std::string window = WaitForWindow("設定");
    ASSERT_FALSE(window.empty());
    // "変更..." sits at (208, 56) in its group box at (16, 16) in the panel at (8, 8).
    ASSERT_EQ(Xdotool({"mousemove", "--window", window, "285", "92", "click", "1"}).code, 0);
    const std::string chooser = WaitForWindow("開く");
    ASSERT_FALSE(chooser.empty()) << "the file chooser did not appear";
    ASSERT_EQ(Xdotool({"windowfocus", "--sync", chooser}).code, 0);
    ASSERT_EQ(Xdotool({"key", "--clearmodifiers", "ctrl+l"}).code, 0);
    ASSERT_TRUE(TypeIntoEntry(chosen)) << "the location entry never held the file name";
    ASSERT_EQ(Xdotool({"key", "--clearmodifiers", "Return"}).code, 0);
    ASSERT_TRUE(WindowGone("開く")) << "the chooser took the file";
    // "変更..." has the focus now, so Enter would open the chooser again: click
    // OK, at (56, 8) in the 41-pixel panel at the bottom of the 258-pixel client area.
    ASSERT_EQ(Xdotool({"mousemove", "--window", window, "93", "229", "click", "1"}).code, 0);
    EXPECT_EQ(lurva->Wait(20000ms), 0);
    EXPECT_EQ(Value("filename0"), "s:" + chosen);
    EXPECT_EQ(Value("ignoreMouseMove"), "d:0");
}

TEST_F(SettingDialogX11, ClickingTheCheckBoxThenEnterStoresIt)
{
    auto lurva = StartLurva();
    const std::string window = WaitForWindow("設定");
    ASSERT_FALSE(window.empty());
    // The check box sits at (16, 24) in its group box at (16, 128) in the panel at (8, 8).
    ASSERT_EQ(Xdotool({"mousemove", "--window", window, "50", "168", "click", "1"}).code, 0);
    Keys(window, {"Return"});  // a focused check box does not take Enter: OK does
    EXPECT_EQ(lurva->Wait(20000ms), 0);
    EXPECT_EQ(Value("ignoreMouseMove"), "d:1");
    EXPECT_EQ(Value("filename0"), "s:");
}

TEST_F(SettingDialogX11, AValueOfTheWrongTypeShowsTheErrorBoxBeforeTheDialogOpens)
{
    WriteStore("\"filename0\"=dword:00000001\n");
    const std::string before = StoreText();
    auto lurva = StartLurva();
    const std::string box = WaitForWindow("Lurvasaver");
    ASSERT_FALSE(box.empty()) << "no error box";
    Keys(box, {"Return"});
    const std::string window = WaitForWindow("設定");
    ASSERT_FALSE(window.empty()) << "the dialog opens after the error";
    Keys(window, {"Escape"});
    EXPECT_EQ(lurva->Wait(20000ms), 0);
    EXPECT_EQ(StoreText(), before);
}

TEST_F(SettingDialogX11, HelpOpensTheHelpFileWithTheDesktopViewerOrNamesTheMissingOne)
{
    // A viewer that writes down what it was asked to open.
    const auto bin = home_.path() / "bin";
    std::filesystem::create_directories(bin);
    const auto opened = home_.path() / "opened.txt";
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\necho \"$*\" > '" << opened.string() << "'\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    const auto helpDir = home_.path() / "help";
    std::filesystem::create_directories(helpDir);
    std::ofstream(helpDir / "rororade.hlp") << "help";
    extraPath_ = bin.string();

    WriteStore("\"makepath\"=\"" + helpDir.string() + "/\"\n");
    {
        auto lurva = StartLurva();
        const std::string window = WaitForWindow("設定");
        ASSERT_FALSE(window.empty());
        Keys(window, {"alt+h"});  // the button's mnemonic
        std::string asked;
        for (auto deadline = std::chrono::steady_clock::now() + 15s;
             asked.empty() && std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(50ms))
            std::getline(std::ifstream(opened), asked);
        EXPECT_EQ(asked, (helpDir / "rororade.hlp").string());
        Keys(window, {"Escape"});
        EXPECT_EQ(lurva->Wait(20000ms), 0);
    }

    WriteStore("\"makepath\"=\"" + helpDir.string() + "\"\n");  // no separator: a file that is not there
    std::filesystem::remove(opened);
    {
        auto lurva = StartLurva();
        const std::string window = WaitForWindow("設定");
        ASSERT_FALSE(window.empty());
        Keys(window, {"alt+h"});
        const std::string box = WaitForWindow("Lurvasaver");
        ASSERT_FALSE(box.empty()) << "the missing help file is named in a box";
        Keys(box, {"Return"});
        ASSERT_TRUE(WindowGone("Lurvasaver"));
        Keys(window, {"Escape"});
        EXPECT_EQ(lurva->Wait(20000ms), 0);
        EXPECT_FALSE(std::filesystem::exists(opened)) << "no viewer was started";
    }
}
