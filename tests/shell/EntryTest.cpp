// The mode dispatch: which argument opens which window, the single-instance
// guard (in this process and across real processes) and the error handler.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "platform/Forms.h"
#include "platform/WindowClaims.h"
#include "platform/headless/HeadlessBackend.h"
#include "shell/Entry.h"
#include "support/ChildProcess.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

namespace {

// A window that closes itself at its first paint, so the loop runs and ends.
class ShortLivedForm : public TForm {
public:
    ShortLivedForm(std::string className, std::vector<std::string>& log) : TForm(std::move(className)), log_(log) {}

protected:
    void FormCreate() override { log_.push_back("create " + ClassName()); }
    void FormPaint() override
    {
        log_.push_back("paint " + ClassName());
        Close();
    }

private:
    std::vector<std::string>& log_;
};

struct DispatchRun {
    int exitCode = -1;
    std::vector<std::string> log;  // the windows' handlers, in order
};

DispatchRun runDispatch(const std::vector<std::string>& arguments)
{
    DispatchRun run;
    TFormFactories forms;
    for (const char* className : {"TMainForm", "TSettingForm", "TShowWindow"})
        forms[className] = [className, &run] { return std::make_unique<ShortLivedForm>(className, run.log); };
    run.exitCode = LurvaMain(arguments, std::make_unique<THeadlessBackend>(), forms);
    return run;
}

std::vector<std::string> args(std::initializer_list<const char*> list)
{
    std::vector<std::string> all = {"lurva"};
    all.insert(all.end(), list.begin(), list.end());
    return all;
}

const std::vector<std::string> kNothing;
const std::vector<std::string> kShow = {"create TMainForm", "paint TMainForm"};
const std::vector<std::string> kSettings = {"create TSettingForm", "paint TSettingForm"};
const std::vector<std::string> kWindow = {"create TShowWindow", "paint TShowWindow"};

}  // namespace

TEST(Entry, ModeTableOfTheFirstArgument)
{
    struct Row {
        const char* argument;
        TRunMode mode;
    };
    const Row rows[] = {
        {"", TRunMode::Show},
        {"/s", TRunMode::Show},
        {"/S", TRunMode::Show},
        {"/x", TRunMode::Show},
        {"/p", TRunMode::Preview},
        {"/P", TRunMode::Preview},
        {"-p", TRunMode::Preview},
        {"-P", TRunMode::Preview},
        {"/l", TRunMode::Preview},
        {"/L", TRunMode::Preview},
        {"-l", TRunMode::Preview},
        {"-L", TRunMode::Preview},
        {"/p:1234", TRunMode::Show},
        {"/p ", TRunMode::Show},
        {" /p", TRunMode::Show},
        {"/a", TRunMode::LockCodeChange},
        {"/A", TRunMode::LockCodeChange},
        {"-a", TRunMode::LockCodeChange},
        {"-A", TRunMode::LockCodeChange},
        {"/a:1", TRunMode::Show},
        {"/c", TRunMode::Configuration},
        {"/C", TRunMode::Configuration},
        {"-c", TRunMode::Configuration},
        {"-C", TRunMode::Configuration},
        {"/c:1234", TRunMode::Configuration},
        {"/C:1234", TRunMode::Configuration},
        {"/C5", TRunMode::Configuration},
        {"/cx", TRunMode::Configuration},
        {"/Cfoo", TRunMode::Configuration},
        {"-c:1234", TRunMode::Show},
        {"-cx", TRunMode::Show},
        {"c", TRunMode::Show},
        {"/", TRunMode::Show},
        {"-root", TRunMode::Show},
        {"/home/user/show.sdt", TRunMode::Show},
        {"--window", TRunMode::Window},
        {"--window=x.sdt", TRunMode::Show},
        {"-window", TRunMode::Show},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChooseRunMode(row.argument), row.mode) << "'" << row.argument << "'";
}

TEST(Entry, EachArgumentOpensItsWindowAndExitsWithZero)
{
    TempDir temp;
    const std::string dataFile = (temp.path() / "show.sdt").string();
    std::ofstream(dataFile) << "QDsm";
    struct Row {
        std::vector<std::string> arguments;
        const std::vector<std::string>* log;
    };
    const Row rows[] = {
        {args({}), &kShow},
        {args({"/s"}), &kShow},
        {args({"/p", "1234"}), &kNothing},
        {args({"/P"}), &kNothing},
        {args({"-l"}), &kNothing},
        {args({"/L"}), &kNothing},
        {args({"/p:1234"}), &kShow},
        {args({"/a"}), &kNothing},
        {args({"-A"}), &kNothing},
        {args({"/c"}), &kSettings},
        {args({"-C"}), &kSettings},
        {args({"/c:1234"}), &kSettings},
        {args({"/C:1234"}), &kSettings},
        {args({"-c:1234"}), &kShow},
        {args({"/cx"}), &kSettings},
        {args({"/Cfoo"}), &kSettings},
        {args({"-cx"}), &kShow},
        {args({"/S"}), &kShow},
        {args({"/x"}), &kShow},
        {args({dataFile.c_str()}), &kShow},
        {args({"/c", "/s"}), &kSettings},  // only the first argument counts
        {args({"/s", "/c"}), &kShow},
        {args({"--window", dataFile.c_str()}), &kWindow},
        {args({"--window"}), &kWindow},
    };
    for (const Row& row : rows) {
        const DispatchRun run = runDispatch(row.arguments);
        const std::string shown = row.arguments.size() > 1 ? row.arguments[1] : "(none)";
        EXPECT_EQ(run.exitCode, 0) << shown;
        EXPECT_EQ(run.log, *row.log) << shown;
        EXPECT_EQ(Application, nullptr) << shown;
        EXPECT_FALSE(WindowClassClaimed("TMainForm")) << "no window outlives the run: " << shown;
        EXPECT_FALSE(WindowClassClaimed("TSettingForm")) << shown;
    }
}

TEST(Entry, AWindowOfTheSameClassAlreadyOpenKeepsASecondFromOpening)
{
    {
        // Any program's top-level window of the class counts.
        const auto other = ClaimWindowClass("TMainForm");
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(runDispatch(args({"/s"})).log, kNothing);
        EXPECT_EQ(runDispatch(args({})).log, kNothing);
        EXPECT_EQ(runDispatch(args({"/c"})).log, kSettings) << "the dialog opens while a show runs";
        EXPECT_EQ(runDispatch(args({"--window"})).log, kWindow) << "a show in a window opens beside the screen saver";
    }
    {
        // Any number of shows in windows, and the screen saver beside them.
        const auto window = ClaimWindowClass("TShowWindow");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(runDispatch(args({"--window"})).log, kWindow);
        EXPECT_EQ(runDispatch(args({"/s"})).log, kShow);
    }
    {
        const auto dialog = ClaimWindowClass("TSettingForm");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(runDispatch(args({"/c:99"})).log, kNothing);
        EXPECT_EQ(runDispatch(args({"/s"})).log, kShow) << "a show starts while the dialog is open";
    }
    EXPECT_EQ(runDispatch(args({"/s"})).log, kShow);
}

TEST(Entry, ACopyDrawingIntoAHostsWindowIsNeverKeptOut)
{
    std::vector<std::string> log;
    TFormFactories forms;
    forms["TMainForm"] = [&log] { return std::make_unique<ShortLivedForm>("TMainForm", log); };
    auto hostedBackend = [] {
        auto backend = std::make_unique<THeadlessBackend>();
        backend->SetDrawsIntoHostWindow(true);
        return backend;
    };
    {
        const auto other = ClaimWindowClass("TMainForm");
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(LurvaMain(args({"/s"}), hostedBackend(), forms), 0);
        EXPECT_EQ(log, kShow);
    }
    // Nor does it keep our own full-screen window out while it runs: its
    // window is the host's, not one of ours.
    TApplication app(hostedBackend());
    app.CreateForm(forms["TMainForm"]());
    ASSERT_NE(app.MainForm(), nullptr);
    EXPECT_FALSE(WindowClassClaimed("TMainForm"));
}

TEST(Entry, AModeWhoseWindowDoesNotExistYetBehavesAsPreview)
{
    // Each table lacks the window the mode asks for and has the other one.
    struct Row {
        const char* argument;
        const char* onlyClassThere;
    };
    const Row rows[] = {{"/s", "TSettingForm"}, {"", "TSettingForm"}, {"/c", "TMainForm"}, {"/c:1234", "TMainForm"},
                        {"--window", "TMainForm"}};
    for (const Row& row : rows) {
        std::vector<std::string> log;
        const std::string className = row.onlyClassThere;
        const TFormFactories forms = {
            {className, [&] { return std::make_unique<ShortLivedForm>(className, log); }}};
        EXPECT_EQ(LurvaMain(args({row.argument}), std::make_unique<THeadlessBackend>(), forms), 0);
        EXPECT_EQ(log, kNothing) << row.argument;
    }
    // The program's own table names no other windows.
    for (const auto& [className, factory] : LurvaForms())
        EXPECT_TRUE(className == "TMainForm" || className == "TSettingForm" || className == "TShowWindow") << className;
}

TEST(Entry, ErrorsOfStartUpAreShownInTheErrorBoxAndTheExitCodeIsZero)
{
    // The window's creation handler fails: the box shows it, the window still opens.
    std::vector<std::string> log;
    std::vector<THeadlessBox> boxes;
    class FailingForm : public ShortLivedForm {
    public:
        FailingForm(std::vector<std::string>& log, std::vector<THeadlessBox>& boxes)
            : ShortLivedForm("TMainForm", log), boxes_(boxes)
        {
        }

    protected:
        void FormCreate() override
        {
            ShortLivedForm::FormCreate();
            throw EFOpenError("show.sdt");
        }
        void FormClose() override
        {
            boxes_ = static_cast<THeadlessBackend&>(Application->Backend()).Boxes();
        }

    private:
        std::vector<THeadlessBox>& boxes_;
    };
    TFormFactories forms = {{"TMainForm", [&] { return std::make_unique<FailingForm>(log, boxes); }}};
    EXPECT_EQ(LurvaMain(args({"/s"}), std::make_unique<THeadlessBackend>(), forms), 0);
    EXPECT_EQ(log, kShow);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(boxes[0].Caption, "Lurvasaver");
    EXPECT_EQ(boxes[0].Text, "ファイル show.sdt は開けません");

    // Making the window fails: start-up's own handler shows it.
    ::testing::internal::CaptureStderr();
    forms = {{"TSettingForm", []() -> std::unique_ptr<TForm> { throw ERegistryException("'filename0' のデータ型が不正です"); }}};
    EXPECT_EQ(LurvaMain(args({"/c"}), std::make_unique<THeadlessBackend>(), forms), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "lurva: error: 'filename0' のデータ型が不正です\n");

    // Errors of other kinds are not the framework's: they are not caught here.
    forms = {{"TMainForm", []() -> std::unique_ptr<TForm> { throw std::logic_error("bug"); }}};
    EXPECT_THROW(LurvaMain(args({}), std::make_unique<THeadlessBackend>(), forms), std::logic_error);
}

// ---- real processes ----

namespace {

// A started program with its standard output readable.
class Program {
public:
    // Standard error joins standard output when withStderr is set.
    Program(const std::string& path, const std::vector<std::string>& arguments, bool withStderr = false)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = spawnProgram(path, arguments, out[1], withStderr ? out[1] : kInheritStream);
        ::close(out[1]);
        out_ = out[0];
    }
    ~Program()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitChild(pid_);
        }
        if (out_ >= 0)
            ::close(out_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The next line of output; empty when none came within the limit.
    std::string ReadLine(int limitMs = 20000)
    {
        return readLine(out_, buffer_, std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs))
            .value_or(std::string());
    }
    // Exit code, or -1 when it had not ended within the limit.
    int Wait(int limitMs = 20000)
    {
        const int code = waitChild(pid_, std::chrono::milliseconds(limitMs));
        pid_ = -1;
        return code;
    }
    void Kill()
    {
        ::kill(pid_, SIGKILL);
        waitChild(pid_);
        pid_ = -1;
    }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

}  // namespace

TEST(Entry, TheGuardWorksAcrossRealProcesses)
{
    Program first(LURVA_GUARD_HELPER, {"/s"});
    ASSERT_TRUE(first.Started());
    ASSERT_EQ(first.ReadLine(), "created TMainForm");

    Program second(LURVA_GUARD_HELPER, {"/s"});
    EXPECT_EQ(second.Wait(), 0) << "the second copy ends at once";
    EXPECT_EQ(second.ReadLine(), "") << "without a window";

    Program dialog(LURVA_GUARD_HELPER, {"/c:1234"});
    ASSERT_EQ(dialog.ReadLine(), "created TSettingForm") << "the dialog opens while a show runs";
    Program secondDialog(LURVA_GUARD_HELPER, {"/C"});
    EXPECT_EQ(secondDialog.Wait(), 0);
    EXPECT_EQ(secondDialog.ReadLine(), "");

    first.Kill();  // kill -9: nothing is cleaned up
    Program third(LURVA_GUARD_HELPER, {});
    EXPECT_EQ(third.ReadLine(), "created TMainForm") << "a dead copy leaves no window behind";
}

TEST(Entry, TheProgramEndsAtOnceWithZeroWhenItHasNoWindowToOpen)
{
    // Preview and lock-code change always; the other modes while the program
    // has no window of their class yet.
    std::vector<const char*> arguments = {"/p", "/P", "-l", "/a", "-A"};
    if (LurvaForms().count("TSettingForm") == 0)
        arguments.insert(arguments.end(), {"/c", "/c:1234"});
    if (LurvaForms().count("TMainForm") == 0)
        arguments.insert(arguments.end(), {"/s", "-c:1234", "/x"});
    for (const char* argument : arguments) {
        Program lurva(LURVA_PROGRAM, {argument, "1234"});
        ASSERT_TRUE(lurva.Started());
        EXPECT_EQ(lurva.Wait(), 0) << argument;
        EXPECT_EQ(lurva.ReadLine(), "") << argument;
    }
}

TEST(Entry, TheSettingsDialogWithoutADisplaySaysSoAndEndsAtOnceStoringNothing)
{
    ASSERT_EQ(LurvaForms().count("TSettingForm"), 1u);
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.str());
    ScopedEnv noX11("DISPLAY", std::nullopt);
    ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    for (const char* argument : {"/c", "/c:1234", "/C5"}) {
        Program lurva(LURVA_PROGRAM, {argument}, true);
        ASSERT_TRUE(lurva.Started());
        EXPECT_EQ(lurva.ReadLine(), "lurva: no display available (is DISPLAY set?): the settings dialog cannot be shown")
            << argument;
        EXPECT_EQ(lurva.Wait(), 0) << argument;
        EXPECT_FALSE(std::filesystem::exists(config.path() / "lurva")) << argument;
    }
}

TEST(Entry, HelpAndVersionAreAnsweredWithoutAShow)
{
    // A show would store its settings here and hold the keyboard.
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.str());
    struct Case {
        std::vector<std::string> arguments;
        std::string firstLine;
        int status;
    };
    const std::string usage = "Usage: lurva [OPTION]... [SHOW.sdt | /s | /c | /p | /a | --window [SHOW.sdt]]";
    // Options stand anywhere: after a mode switch too.
    const Case cases[] = {
        {{"/s", "--help"}, usage, 0},
        {{"-h"}, usage, 0},
        {{"/s", "--version"}, std::string("lurva ") + LURVA_VERSION, 0},
        {{"/s", "--bogus"}, "lurva: unknown option '--bogus'; lurva --help lists what it takes", 2},
        {{"/s", "--scale=0"}, "lurva: --scale takes a whole number from 1 to 16, not '0'; lurva --help lists what it takes", 2},
        {{"/s", "--show"}, "lurva: --show needs the data file to play; lurva --help lists what it takes", 2},
        {{"--window", "a.sdt", "--mute", "b.sdt"}, "lurva: --window takes one show at a time", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        Program lurva(LURVA_PROGRAM, c.arguments, true);
        ASSERT_TRUE(lurva.Started());
        EXPECT_EQ(lurva.ReadLine(), c.firstLine);
        EXPECT_EQ(lurva.Wait(), c.status);
        EXPECT_FALSE(std::filesystem::exists(config.path() / "lurva"));
    }
}
