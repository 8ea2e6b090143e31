// RenderTest.cpp: sdtool render run as a user runs it: the picture after a
// step, a range of steps as a folder or an animated WebP, the desktop of
// background mode 1, the user's own settings untouched, and clear refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/TestSupport.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/Pack.h"

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct RunResult {
    int status = -1;
    std::string err;
};

// A PNG file read back: colours as TColor.
struct Png {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    int Width() const { return width; }
    int Height() const { return height; }
    TColor Pixel(int x, int y) const { return PixelToColor(pixels[static_cast<size_t>(y * width + x)]); }
};

constexpr TColor kBackColor = 0x203040;  // 0x00BBGGRR
constexpr TColor kFrameColor = 0x00C0FF;

class RenderTest : public ::testing::Test {
protected:
    RenderTest() { fs::create_directories(config_); }

    // Runs sdtool render with the arguments, its temporary folder in tmp_ and
    // the user's configuration in config_.
    RunResult render(const std::vector<std::string>& args)
    {
        std::string command = "TMPDIR=" + quoted(tmp_.str()) + " XDG_CONFIG_HOME=" + quoted(config_.string())
                              + " XDG_RUNTIME_DIR= " + quoted(SDTOOL) + " render";
        for (const std::string& arg : args)
            command += " " + quoted(arg);
        const fs::path err = dir_.path() / "err.txt";
        command += " >/dev/null 2>" + quoted(err.string()) + " </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(err)};
    }

    // A show on a plain background with one opaque 10 x 10 character that
    // stands at (0.1 + 0.001 * entry, 0.5): one pixel further right every
    // step on a 1000-pixel-wide screen.
    std::string walkingShow(uint8_t backMode = 0)
    {
        TBitmap frame(10, 10);
        frame.Canvas().BrushColor = kFrameColor;
        frame.Canvas().FillRect({0, 0, 10, 10});
        frame.SaveToFile((dir_.path() / "frame.bmp").string());
        Manifest manifest;
        manifest.loopTime = 60;
        manifest.backMode = backMode;
        manifest.backColor = kBackColor;
        ManifestCharactor walker;
        walker.transparent = false;
        walker.frames = {(dir_.path() / "frame.bmp").string()};
        for (int i = 0; i < 600; ++i)
            walker.points.emplace_back(0.1 + 0.001 * i, 0.5);
        manifest.charactors.push_back(walker);
        const std::string file = (dir_.path() / "walk.sdt").string();
        packShow(manifest, file);
        return file;
    }

    static Png load(const fs::path& png)
    {
        TBitmap bitmap;
        LoadPng(png.string(), bitmap);
        return Png{bitmap.Width(), bitmap.Height(),
                   std::vector<uint32_t>(bitmap.Pixels(), bitmap.Pixels() + bitmap.Width() * bitmap.Height())};
    }
    // The left edge of the character on row 50 of a 1000 x 100 picture.
    static int walkerLeft(const Png& picture)
    {
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixel(x, 50) == kFrameColor)
                return x;
        return -1;
    }

    TempDir dir_;
    TempDir tmp_;
    const fs::path config_ = dir_.path() / "user-config";
};

}  // namespace

TEST_F(RenderTest, ThePictureAfterAStep)
{
    const std::string show = walkingShow();
    const fs::path out = dir_.path() / "step.png";
    // Late steps are worked out directly, beyond a week and the counter's wrap too.
    for (const int64_t step : {int64_t{0}, int64_t{7}, int64_t{599}, int64_t{600}, int64_t{1234}, int64_t{6047999},
                               int64_t{6048000}, (int64_t{1} << 32) + 17, int64_t{123456789012345}}) {
        SCOPED_TRACE(step);
        const RunResult run = render({show, "-o", out.string(), "--size", "1000x100", "--tick", std::to_string(step)});
        ASSERT_EQ(run.status, 0) << run.err;
        const Png picture = load(out);
        ASSERT_EQ(picture.Width(), 1000);
        ASSERT_EQ(picture.Height(), 100);
        // Entry step mod 600 at 0.1 + 0.001 * entry: left = trunc(1000 x - 5).
        EXPECT_EQ(walkerLeft(picture), 95 + static_cast<int>(step % 600));
        EXPECT_EQ(picture.Pixel(0, 0), kBackColor);
        EXPECT_EQ(picture.Pixel(999, 99), kBackColor);
    }
    // No --tick: step 0.
    ASSERT_EQ(render({show, "-o", out.string(), "--size", "1000x100"}).status, 0);
    EXPECT_EQ(walkerLeft(load(out)), 95);
}

TEST_F(RenderTest, ARangeOfStepsAsAFolderOfFrames)
{
    const std::string show = walkingShow();
    const fs::path folder = dir_.path() / "frames";
    const RunResult run = render({show, "-o", folder.string(), "--size", "1000x100", "--ticks", "598-601"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-000598.png", "frame-000599.png", "frame-000600.png",
                                               "frame-000601.png"}));
    EXPECT_EQ(walkerLeft(load(folder / "frame-000599.png")), 95 + 599);
    EXPECT_EQ(walkerLeft(load(folder / "frame-000600.png")), 95);
    EXPECT_EQ(walkerLeft(load(folder / "frame-000601.png")), 96);

    // A shorter run into the same folder: frames of other steps go, the
    // folder's other files stay.
    std::ofstream(folder / "notes.txt") << "mine";
    std::ofstream(folder / "frame-1.png") << "mine too";
    ASSERT_EQ(render({show, "-o", folder.string(), "--size", "1000x100", "--ticks", "600-600"}).status, 0);
    names.clear();
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-000600.png", "frame-1.png", "notes.txt"}));
    EXPECT_EQ(walkerLeft(load(folder / "frame-000600.png")), 95);
}

TEST_F(RenderTest, ARangeFarIntoTheShowMatchesTheFirstLoop)
{
    const std::string show = walkingShow();
    const fs::path folder = dir_.path() / "late";
    const int64_t first = int64_t{600} * 10000000 + 598;
    ASSERT_EQ(render({show, "-o", folder.string(), "--size", "1000x100", "--ticks",
                      std::to_string(first) + "-" + std::to_string(first + 3)})
                  .status,
              0);
    EXPECT_EQ(walkerLeft(load(folder / ("frame-" + std::to_string(first) + ".png"))), 95 + 598);
    EXPECT_EQ(walkerLeft(load(folder / ("frame-" + std::to_string(first + 2) + ".png"))), 95);
    EXPECT_EQ(walkerLeft(load(folder / ("frame-" + std::to_string(first + 3) + ".png"))), 96);
}

namespace {

struct WebPChunks {
    std::vector<std::string> ids;
    uint32_t canvasWidth = 0, canvasHeight = 0;
    std::vector<uint32_t> durations;  // of each frame
};

uint32_t le(const std::string& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

// The top-level chunks of a RIFF WEBP file and what the animation ones say.
WebPChunks readWebP(const std::string& bytes)
{
    WebPChunks chunks;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WEBP") != 0)
        return chunks;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const uint32_t size = le(bytes, at + 4, 4);
        chunks.ids.push_back(id);
        if (id == "VP8X" && size >= 10) {
            chunks.canvasWidth = le(bytes, at + 8 + 4, 3) + 1;
            chunks.canvasHeight = le(bytes, at + 8 + 7, 3) + 1;
        }
        if (id == "ANMF" && size >= 16)
            chunks.durations.push_back(le(bytes, at + 8 + 12, 3));
        at += 8 + size + (size & 1);
    }
    return chunks;
}

}  // namespace

TEST_F(RenderTest, AnAnimatedWebPOfTheSteps)
{
    const std::string show = walkingShow();
    const fs::path out = dir_.path() / "walk.webp";
    const RunResult run = render({show, "-o", out.string(), "--size", "200x40", "--ticks", "0-24"});
    ASSERT_EQ(run.status, 0) << run.err;
    const WebPChunks chunks = readWebP(readText(out));
    ASSERT_FALSE(chunks.ids.empty());
    EXPECT_EQ(chunks.ids[0], "VP8X");
    EXPECT_EQ(std::count(chunks.ids.begin(), chunks.ids.end(), "ANIM"), 1);
    EXPECT_EQ(chunks.canvasWidth, 200u);
    EXPECT_EQ(chunks.canvasHeight, 40u);
    // 25 steps at 10 a second; frames the encoder found unchanged are merged
    // into a longer one, so the total time is what counts.
    uint32_t total = 0;
    for (const uint32_t d : chunks.durations)
        total += d;
    EXPECT_EQ(total, 2500u);
    EXPECT_GT(chunks.durations.size(), 1u);
}

TEST_F(RenderTest, TheWebPIsLosslessUnlessLossyIsAsked)
{
    // On a noisy stretched background, where a lossy encoder gains most.
    const std::string show = walkingShow(2);
    TBitmap noise(64, 16);
    uint32_t state = 1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            state = state * 1664525u + 1013904223u;
            noise.Canvas().SetPixel(x, y, static_cast<TColor>(state >> 8));
        }
    noise.SaveToFile((dir_.path() / "noise.bmp").string());
    Manifest manifest;
    manifest.backMode = 2;
    manifest.background = (dir_.path() / "noise.bmp").string();
    ManifestCharactor walker;
    walker.frames = {(dir_.path() / "frame.bmp").string()};
    for (int i = 0; i < 600; ++i)
        walker.points.emplace_back(0.1 + 0.01 * i, 0.5);
    manifest.charactors.push_back(walker);
    packShow(manifest, show);
    const fs::path out = dir_.path() / "walk.webp";
    const auto webp = [&](const std::vector<std::string>& flags) {
        std::vector<std::string> args = {show, "-o", out.string(), "--size", "200x40", "--ticks", "0-4"};
        args.insert(args.end(), flags.begin(), flags.end());
        EXPECT_EQ(render(args).status, 0);
        return readText(out);
    };
    // Lossless frames are VP8L bitstreams, lossy ones VP8; --lossless names the default.
    const std::string exact = webp({});
    EXPECT_NE(exact.find("VP8L"), std::string::npos);
    EXPECT_EQ(exact.find("VP8 "), std::string::npos);
    EXPECT_EQ(webp({"--lossless"}), exact);
    const std::string lossy = webp({"--lossy"});
    EXPECT_NE(lossy.find("VP8 "), std::string::npos);
    EXPECT_NE(lossy, exact);
}

TEST_F(RenderTest, TheDesktopOfBackgroundModeOne)
{
    const std::string show = walkingShow(1);
    const fs::path out = dir_.path() / "desk.png";
    ASSERT_EQ(render({show, "-o", out.string(), "--size", "1000x100"}).status, 0);
    EXPECT_EQ(load(out).Pixel(3, 3), 0x808080);  // a neutral grey by default

    TBitmap desktop(300, 60);
    desktop.Canvas().BrushColor = 0x112233;
    desktop.Canvas().FillRect({0, 0, 300, 60});
    SavePng(desktop, (dir_.path() / "desktop.png").string());
    ASSERT_EQ(render({show, "-o", out.string(), "--size", "1000x100", "--desktop", (dir_.path() / "desktop.png").string()}).status, 0);
    const Png picture = load(out);
    EXPECT_EQ(picture.Pixel(3, 3), 0x112233);
    EXPECT_EQ(picture.Pixel(299, 59), 0x112233);
    EXPECT_EQ(picture.Pixel(300, 3), 0x808080);  // the desktop image is smaller than the screen
    EXPECT_EQ(walkerLeft(picture), 95);
}

TEST_F(RenderTest, TheUsersSettingsAndTemporaryFilesAreUntouched)
{
    const std::string show = walkingShow();
    fs::create_directories(config_ / "lurva");
    const std::string store = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n\"filename0\"=\"/shows/mine.sdt\"\n";
    std::ofstream(config_ / "lurva" / "registry.reg") << store;
    ASSERT_EQ(render({show, "-o", (dir_.path() / "x.png").string(), "--size", "64x64", "--tick", "3"}).status, 0);
    EXPECT_EQ(readText(config_ / "lurva" / "registry.reg"), store);
    EXPECT_FALSE(fs::exists(config_ / "lurva" / "System.ini"));
    EXPECT_EQ(std::distance(fs::directory_iterator(config_ / "lurva"), {}), 1);
    // The private settings and work directory are gone again.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp_.path()), {}), 0);
}

TEST_F(RenderTest, RefusalsSayWhy)
{
    const std::string show = walkingShow();
    std::ofstream(dir_.path() / "not-a-show.sdt") << "hello";
    const std::string png = (dir_.path() / "out.png").string();
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* said;
    };
    const Row rows[] = {
        {{(dir_.path() / "missing.sdt").string(), "-o", png, "--size", "64x64"}, 1, "missing.sdt: No such file or directory"},
        {{(dir_.path() / "not-a-show.sdt").string(), "-o", png, "--size", "64x64"}, 1, "is not a data file"},
        {{show, "-o", (dir_.path() / "no" / "folder" / "x.png").string(), "--size", "64x64"}, 2, "cannot create"},
        {{show, "-o", png}, 64, "--size WxH is needed"},
        {{show, "-o", png, "--size", "64"}, 64, "--size wants WxH"},
        {{show, "-o", png, "--size", "0x64"}, 64, "--size must be"},
        {{show, "-o", png, "--size", "20000x10"}, 64, "--size must be"},
        {{show, "-o", png, "--size", "64x64", "--tick", "-3"}, 64, "--tick wants"},
        {{show, "-o", png, "--size", "64x64", "--ticks", "9-2"}, 64, "--ticks wants"},
        {{show, "-o", png, "--size", "64x64", "--ticks", "0-9"}, 64, "does not write .png files with --ticks"},
        {{show, "-o", png, "--size", "64x64", "--desktop", (dir_.path() / "none.png").string()}, 64, "--desktop"},
        {{show, "-o", png, "--size", "64x64", "--frobnicate"}, 64, "unknown option '--frobnicate'"},
        {{show, "-o", png, "--size", "64x64", "--ticks", "0-6048000"}, 64, "--ticks covers at most 6048000 steps"},
        // Formats render does not write, with the list of those it does.
        {{show, "-o", (dir_.path() / "x.bmp").string(), "--size", "64x64"}, 64, "does not write .bmp files for one step"},
        {{show, "-o", (dir_.path() / "x.avi").string(), "--size", "64x64", "--ticks", "0-3"}, 64,
         "does not write .avi files with --ticks"},
        {{show, "-o", (dir_.path() / "x.AVI").string(), "--size", "64x64"}, 64,
         "it writes .png: a PNG picture of one step (--tick); .webp: an animated WebP"},
        {{show, "-o", (dir_.path() / "noext").string(), "--size", "64x64"}, 64,
         "does not write a file without an extension for one step"},
        {{show, "-o", dir_.path().string(), "--size", "64x64"}, 64, "is a folder, which render does not write for one step"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        const RunResult run = render(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(png));
    for (const char* name : {"x.bmp", "x.avi", "x.AVI", "noext"})
        EXPECT_FALSE(fs::exists(dir_.path() / name)) << name;
}

TEST_F(RenderTest, OutputsAppearWholeUnderTheirNames)
{
    const std::string show = walkingShow();
    // Another name for the old picture: a new file takes the output's name,
    // the old one is not written over in place.
    const fs::path out = dir_.path() / "out.png";
    std::ofstream(dir_.path() / "old.png") << "old picture";
    fs::create_hard_link(dir_.path() / "old.png", out);
    ASSERT_EQ(render({show, "-o", out.string(), "--size", "1000x100", "--tick", "5"}).status, 0);
    EXPECT_EQ(readText(dir_.path() / "old.png"), "old picture");
    EXPECT_EQ(walkerLeft(load(out)), 100);
    // Through a symbolic link, the file it points to is replaced and the link stays.
    const fs::path link = dir_.path() / "link.webp";
    fs::create_symlink(dir_.path() / "target.webp", link);
    ASSERT_EQ(render({show, "-o", link.string(), "--size", "100x20", "--ticks", "0-3"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readText(dir_.path() / "target.webp").substr(0, 4), "RIFF");
    // No temporary file is left beside them.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
        if (entry.is_regular_file() || entry.is_symlink())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"err.txt", "frame.bmp", "link.webp", "old.png", "out.png", "target.webp",
                                               "walk.sdt"}));
}

namespace {

extern "C" char** environ;

// Starts sdtool with the arguments and the environment with overrides,
// its output to /dev/null; the process id.
pid_t startSdtool(const std::vector<std::string>& args, const std::vector<std::string>& overrides)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& o : overrides)
            replaced = replaced || entry.compare(0, o.find('=') + 1, o, 0, o.find('=') + 1) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    std::vector<std::string> argvText = {SDTOOL};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, SDTOOL, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Polls condition until it holds or the limit passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool holdsEntryStartingWith(const fs::path& folder, const std::string& prefix)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            return true;
    return false;
}

}  // namespace

TEST_F(RenderTest, ASignalRemovesWhatTheRunMadeAndEndsTheRun)
{
    const std::string show = walkingShow();
    const fs::path outDir = dir_.path() / "out";
    fs::create_directories(outDir);
    const fs::path webp = outDir / "walk.webp";
    const fs::path frames = outDir / "frames";
    struct Row {
        int signal;
        fs::path out;
    };
    const Row rows[] = {{SIGINT, webp},           {SIGTERM, webp},          {SIGINT, frames},
                        {SIGTERM, frames},        {SIGINT, outDir / "walk.mp4"}, {SIGTERM, outDir / "walk.mkv"},
                        {SIGINT, outDir / "walk.gif"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(strsignal(row.signal)) + " " + row.out.string());
        std::ofstream(webp) << "the old animation";
        const pid_t pid = startSdtool({"render", show, "-o", row.out.string(), "--size", "64x16", "--ticks", "0-6000000"},
                                      {"TMPDIR=" + tmp_.str(), "XDG_CONFIG_HOME=" + config_.string(), "XDG_RUNTIME_DIR="});
        ASSERT_GT(pid, 0);
        // The run has begun once it has made its private folders.
        const bool started = waitUntil([&] { return holdsEntryStartingWith(tmp_.path(), "sdtool-"); });
        ::kill(pid, started ? row.signal : SIGKILL);
        int status = 0;
        const bool ended = waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(started && ended);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 128 + row.signal);
        EXPECT_TRUE(fs::is_empty(tmp_.path()));
        // The old file is as it was; no temporary file is left; frames
        // written before the signal are whole pictures.
        EXPECT_EQ(readText(webp), "the old animation");
        if (row.out != webp && row.out != frames) {
            EXPECT_FALSE(fs::exists(row.out));
        }
        for (const fs::path& folder : {outDir, frames}) {
            EXPECT_FALSE(holdsEntryStartingWith(folder, ".")) << folder;
        }
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(frames, ec))
            EXPECT_NO_THROW(load(entry.path())) << entry.path();
        fs::remove_all(frames);
    }
}
