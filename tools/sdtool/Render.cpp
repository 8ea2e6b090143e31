// Render.cpp: sdtool render: the show window in the headless backend, its
// pictures written as PNG files or one animated WebP.
#include "tools/sdtool/Render.h"

#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/SysUtils.h"
#include "platform/headless/HeadlessMediaPlayer.h"
#include "shell/CMain.h"
#include "tools/sdtool/WorkSession.h"

namespace fs = std::filesystem;

const char* const kRenderHelp = R"(Usage: sdtool render FILE -o OUT --size WxH [--tick N | --ticks A-B]
                     [--desktop IMAGE.png] [--lossless]

Plays FILE in the screen saver window on a screen of W x H pixels without a
display, on a virtual clock, and writes what the window shows after timer
step N (the first step being 0; --tick 0 is the default):

  OUT.png      the picture after step N
  OUT.webp     an animated WebP of steps A to B (or N alone), 10 a second
  OUT          with --ticks: a folder of frame-NNNNNN.png, one per step

  --desktop IMAGE.png   the desktop that background mode 1 shows (default: a
                        neutral grey)
  --lossless            an exact WebP instead of a smaller lossy one

Your own settings, "System.ini" and work directory are not touched: the run
has private ones, removed when it ends. No music is played.

Exit status: 0 written; 1 FILE is missing or is no show the player can load
(the messages of the load on standard error); 2 OUT cannot be written;
64 wrong arguments.
)";

namespace {

constexpr int kExitNoShow = 1;
constexpr int kExitOutput = 2;
constexpr int kExitUsage = 64;
constexpr uint32_t kNeutralGrey = 0x808080;
// No show needs more steps than this (a week at 10 a second).
constexpr int64_t kMaxStep = int64_t{7} * 24 * 3600 * 10;

// The environment variable set for this process while the object lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

// A private configuration folder: the settings store and "System.ini" of the run.
class PrivateConfig {
public:
    PrivateConfig()
    {
        const auto dir = CreateUniqueTempDirectory("sdtool-config-");
        if (!dir)
            throw RenderError("no private folder for the settings can be made");
        dir_ = *dir;
        variable_.emplace("XDG_CONFIG_HOME", dir_);
    }
    ~PrivateConfig()
    {
        variable_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    PrivateConfig(const PrivateConfig&) = delete;
    PrivateConfig& operator=(const PrivateConfig&) = delete;

private:
    std::string dir_;
    std::optional<ScopedVariable> variable_;
};

THeadlessPicture screenDesktop(const RenderRequest& request)
{
    THeadlessPicture desktop{request.width, request.height,
                             std::vector<uint32_t>(static_cast<size_t>(request.width) * static_cast<size_t>(request.height),
                                                   kNeutralGrey)};
    if (request.desktop) {
        const THeadlessPicture& image = *request.desktop;
        for (int y = 0; y < std::min(image.Height, request.height); ++y)
            for (int x = 0; x < std::min(image.Width, request.width); ++x)
                desktop.Pixels[static_cast<size_t>(y) * static_cast<size_t>(request.width) + static_cast<size_t>(x)]
                    = image.Pixel(x, y);
    }
    return desktop;
}

bool endsWith(const std::string& text, const std::string& end)
{
    if (text.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); ++i) {
        char c = text[text.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i])
            return false;
    }
    return true;
}

std::optional<int64_t> parseNumber(std::string_view text)
{
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

// "A-B" or "N"; none when malformed.
std::optional<std::pair<int64_t, int64_t>> parseRange(const std::string& text, char separator)
{
    const size_t at = text.find(separator);
    if (at == std::string::npos)
        return std::nullopt;
    const auto a = parseNumber(std::string_view(text).substr(0, at));
    const auto b = parseNumber(std::string_view(text).substr(at + 1));
    if (!a || !b)
        return std::nullopt;
    return std::make_pair(*a, *b);
}

// A progress bar on standard error, redrawn when its text changes.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void show(int64_t done, int64_t total)
    {
        if (!enabled_ || total <= 0)
            return;
        constexpr int kWidth = 40;
        const int filled = static_cast<int>(done * kWidth / total);
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == lastPercent_)
            return;
        lastPercent_ = percent;
        std::fprintf(stderr, "\r[%.*s%.*s] %3d%% step %lld of %lld", filled,
                     "########################################", kWidth - filled,
                     "                                        ", percent, static_cast<long long>(done),
                     static_cast<long long>(total));
        std::fflush(stderr);
        drawn_ = true;
    }
    void finish()
    {
        if (drawn_)
            std::fputc('\n', stderr);
        drawn_ = false;
    }

private:
    bool enabled_;
    int lastPercent_ = -1;
    bool drawn_ = false;
};

}  // namespace

void renderShow(const RenderRequest& request, const std::function<void(int64_t, const THeadlessPicture&)>& onFrame,
                const std::function<void(int64_t, int64_t)>& progress)
{
    if (!FileExists(request.file))
        throw RenderError("no such file: " + request.file);

    PrivateConfig config;
    PrivateWorkDir workDir;
    MediaPlayerRecorder silence;
    auto owned = std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Virtual);
    THeadlessBackend& backend = *owned;
    backend.SetScreenSize(request.width, request.height);
    backend.SetDesktopImage(screenDesktop(request));
    TApplication app(std::move(owned));
    app.SetTitle("Lurvasaver");
    // The window takes the file from its first argument, as when a data file
    // is opened with the screen saver program.
    app.SetArguments({"lurva", request.file});
    auto& form = static_cast<TMainForm&>(app.CreateForm(std::make_unique<TMainForm>(loadScrSavData)));
    if (!form.isRunning()) {
        // Whatever the load said has gone to standard error already.
        form.Close();
        throw RenderError(request.file + " is no show the player can load");
    }
    form.Show();
    app.ProcessMessages();

    const int64_t total = request.lastStep + 1;
    for (int64_t step = 0; step <= request.lastStep; ++step) {
        backend.AdvanceTime(TMainForm::kTimerInterval);
        if (step >= request.firstStep)
            onFrame(step, backend.WindowPicture());
        if (progress && (step % 16 == 0 || step == request.lastStep))
            progress(step + 1, total);
    }
    form.Close();
}

void writePngFrame(const THeadlessPicture& picture, const std::string& path)
{
    TBitmap bitmap;
    bitmap.SetPixels(picture.Width, picture.Height, picture.Pixels);
    const std::vector<uint8_t> bytes = EncodePng(bitmap);
    // An ordinary file, readable as the umask allows: it is the user's output.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw RenderError("cannot write " + path);
}

struct WebPAnimation::Impl {
    int width = 0;
    int height = 0;
    bool lossless = false;
    WebPAnimEncoder* encoder = nullptr;
    int frames = 0;
    int timestamp = 0;
};

WebPAnimation::WebPAnimation(int width, int height, bool lossless) : impl_(std::make_unique<Impl>())
{
    impl_->width = width;
    impl_->height = height;
    impl_->lossless = lossless;
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options))
        throw RenderError("the WebP library does not match its headers");
    options.anim_params.loop_count = 0;  // forever
    options.allow_mixed = lossless ? 0 : 1;
    impl_->encoder = WebPAnimEncoderNew(width, height, &options);
    if (impl_->encoder == nullptr)
        throw RenderError("the WebP encoder cannot be made for " + std::to_string(width) + " x " + std::to_string(height));
}

WebPAnimation::~WebPAnimation()
{
    if (impl_->encoder != nullptr)
        WebPAnimEncoderDelete(impl_->encoder);
}

void WebPAnimation::add(const THeadlessPicture& picture)
{
    WebPConfig config;
    WebPPicture frame;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&frame))
        throw RenderError("the WebP library does not match its headers");
    config.lossless = impl_->lossless ? 1 : 0;
    config.quality = impl_->lossless ? 70.0f : 82.0f;
    config.method = 4;
    frame.use_argb = 1;
    frame.width = picture.Width;
    frame.height = picture.Height;
    // Pixel words 0x00RRGGBB are the bytes B, G, R, unused on this machine.
    const bool imported = WebPPictureImportBGRX(&frame, reinterpret_cast<const uint8_t*>(picture.Pixels.data()),
                                                picture.Width * 4)
                          != 0;
    const bool added = imported && WebPAnimEncoderAdd(impl_->encoder, &frame, impl_->timestamp, &config) != 0;
    WebPPictureFree(&frame);
    if (!added)
        throw RenderError(std::string("the WebP encoder refused a frame: ") + WebPAnimEncoderGetError(impl_->encoder));
    impl_->timestamp += static_cast<int>(TMainForm::kTimerInterval);
    ++impl_->frames;
}

void WebPAnimation::write(const std::string& path)
{
    if (impl_->frames == 0)
        throw RenderError("no frames to write");
    if (!WebPAnimEncoderAdd(impl_->encoder, nullptr, impl_->timestamp, nullptr))
        throw RenderError(std::string("the WebP encoder failed: ") + WebPAnimEncoderGetError(impl_->encoder));
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(impl_->encoder, &data))
        throw RenderError(std::string("the WebP encoder failed: ") + WebPAnimEncoderGetError(impl_->encoder));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.bytes), static_cast<std::streamsize>(data.size));
    out.close();
    WebPDataClear(&data);
    if (!out)
        throw RenderError("cannot write " + path);
}

int runRender(const std::vector<std::string>& args)
{
    std::string file, out, desktopFile;
    std::optional<std::pair<int64_t, int64_t>> size, steps;
    bool lossless = false;
    bool stepsAsRange = false;
    const auto usage = [](const std::string& why) {
        std::fprintf(stderr, "sdtool render: %s\n\n%s", why.c_str(), kRenderHelp);
        return kExitUsage;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            std::fputs(kRenderHelp, stdout);
            return 0;
        }
        if (arg == "-o" && hasValue && out.empty()) {
            out = args[++i];
        } else if (arg == "--size" && hasValue && !size) {
            size = parseRange(args[++i], 'x');
            if (!size)
                return usage("--size wants WxH, such as 1920x1080, not \"" + args[i] + "\"");
        } else if (arg == "--tick" && hasValue && !steps) {
            const auto n = parseNumber(args[++i]);
            if (!n)
                return usage("--tick wants a step number from 0, not \"" + args[i] + "\"");
            steps = std::make_pair(*n, *n);
        } else if (arg == "--ticks" && hasValue && !steps) {
            steps = parseRange(args[++i], '-');
            if (!steps || steps->first > steps->second)
                return usage("--ticks wants A-B with A <= B, such as 0-599, not \"" + args[i] + "\"");
            stepsAsRange = true;
        } else if (arg == "--desktop" && hasValue && desktopFile.empty()) {
            desktopFile = args[++i];
        } else if (arg == "--lossless") {
            lossless = true;
        } else if (file.empty() && !arg.empty() && arg[0] != '-') {
            file = arg;
        } else {
            return usage("unexpected argument \"" + arg + "\"");
        }
    }
    if (file.empty() || out.empty() || !size)
        return usage("FILE, -o OUT and --size WxH are needed");
    if (size->first < 1 || size->second < 1 || size->first > kMaxPictureSide || size->second > kMaxPictureSide
        || size->first * size->second > kMaxPicturePixels)
        return usage("--size must be from 1x1 to " + std::to_string(kMaxPictureSide) + " a side and at most "
                     + std::to_string(kMaxPicturePixels) + " pixels");
    if (!steps)
        steps = std::make_pair(int64_t{0}, int64_t{0});
    if (steps->second > kMaxStep)
        return usage("steps go up to " + std::to_string(kMaxStep) + " (a week of the show)");
    const bool webp = endsWith(out, ".webp");
    if (stepsAsRange && !webp && endsWith(out, ".png"))
        return usage("with --ticks, OUT is a folder or a .webp file, not " + out);

    RenderRequest request;
    request.file = file;
    request.width = static_cast<int>(size->first);
    request.height = static_cast<int>(size->second);
    request.firstStep = steps->first;
    request.lastStep = steps->second;
    if (!desktopFile.empty()) {
        try {
            TBitmap image;
            LoadPng(desktopFile, image);
            request.desktop = THeadlessPicture{image.Width(), image.Height(),
                                               std::vector<uint32_t>(image.Pixels(), image.Pixels()
                                                   + static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()))};
        } catch (const Exception& e) {
            std::fprintf(stderr, "sdtool render: --desktop %s: %s\n", desktopFile.c_str(), e.Message().c_str());
            return kExitUsage;
        }
    }

    int stage = kExitOutput;  // which failure an error is, by the stage it comes from
    try {
        std::optional<WebPAnimation> animation;
        if (webp)
            animation.emplace(request.width, request.height, lossless);
        else if (stepsAsRange) {
            std::error_code ec;
            fs::create_directories(out, ec);
            if (!fs::is_directory(out))
                throw RenderError("cannot make the folder " + out);
        }
        ProgressBar bar(::isatty(STDERR_FILENO) != 0);
        stage = kExitNoShow;
        renderShow(
            request,
            [&](int64_t step, const THeadlessPicture& picture) {
                stage = kExitOutput;
                if (animation) {
                    animation->add(picture);
                } else if (stepsAsRange) {
                    char name[32];
                    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(step));
                    writePngFrame(picture, (fs::path(out) / name).string());
                } else {
                    writePngFrame(picture, out);
                }
                stage = kExitNoShow;
            },
            [&](int64_t done, int64_t total) { bar.show(done, total); });
        bar.finish();
        stage = kExitOutput;
        if (animation)
            animation->write(out);
    } catch (const RenderError& e) {
        std::fprintf(stderr, "sdtool render: %s\n", e.what());
        return stage;
    } catch (const Exception& e) {
        std::fprintf(stderr, "sdtool render: %s\n", e.Message().c_str());
        return stage;
    }
    return 0;
}
