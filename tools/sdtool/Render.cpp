// Render.cpp: sdtool render: the show window in the headless backend, its
// pictures written as PNG files, one animated WebP or a video.
#include "tools/sdtool/Render.h"

#include <sys/stat.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/SysUtils.h"
#include "platform/headless/HeadlessMediaPlayer.h"
#include "shell/CMain.h"
#include "tools/sdtool/Cli.h"
#include "tools/sdtool/GifPalette.h"
#include "tools/sdtool/Info.h"
#include "tools/sdtool/Interrupt.h"
#include "tools/sdtool/OfflineTune.h"
#include "tools/sdtool/Output.h"
#include "tools/sdtool/VideoEncoder.h"
#include "tools/sdtool/VideoPipeline.h"
#include "tools/sdtool/WorkSession.h"

namespace fs = std::filesystem;

const char* const kRenderHelp = R"(Usage: sdtool render FILE -o OUT [--size WxH] [--tick N | --ticks A-B]
                     [--desktop IMAGE.png] [--lossy] [--quiet]

Plays FILE in the screen saver window on a screen of W x H pixels without a
display, on a virtual clock, and writes what the window shows after timer
step N (the first step being 0; --tick 0 is the default) or after each of the
steps A to B. Steps come ten a second; any step costs the same, as the show's
state at a step is worked out directly. What OUT names:

  OUT.png      the picture after step N
  OUT.webp     an animated WebP of steps A to B (or N alone), 10 a second
  OUT          with --ticks, OUT without an extension or an existing folder:
               a folder of frame-NNNNNN.png, one per step. Frame files of
               other steps in it (an earlier, longer run's) are removed when
               the run succeeds; other files are left alone.
  OUT.mp4      H.264 video (yuv420p) with the tune in AAC: plays everywhere
  OUT.webm     VP9 video with the tune in Opus
  OUT.mkv      lossless video, every frame exactly the PNG of its step (H.264
               in RGB), with the tune in FLAC
  OUT.gif      an animated GIF, looping, without sound; one palette for the
               whole file, exact when the show has at most 256 colours

Videos (mp4, webm, mkv, gif) have one frame per step, 10 a second: steps A to
B, step N alone, or by default one whole loop of the show from step 0. Their
size is 1280x720 unless --size says otherwise (MP4 and WebM need an even width
and height); the other outputs need --size. The sound is the show's tune as
the Linux player sounds it (its synthesizer and sound font), from the time of
the first step on and played again from its beginning whenever it ends, as
long as the video; a show that plays no music gets no sound track. The
encoders come from the system's FFmpeg libraries; a missing one is named.

  --desktop IMAGE.png   the desktop that background mode 1 shows (default: a
                        neutral grey)
  --lossy               a lossy WebP (quality 82) instead of the default exact
                        (lossless) one; lossless is usually the smaller file
                        for a show's flat pictures, and faster to make
  --lossless            the default: exact pixels
  --quiet               no progress bar (one is drawn on standard error, when
                        that is a terminal, with the steps done and the time left)

--ticks A-B covers at most a week of steps (6048000). Each file is written
under a temporary name beside it and renamed when complete, so a failed or
interrupted run (Ctrl+C) leaves no half file. OUT may not be FILE or the
desktop picture. Your own settings, "System.ini" and work directory are not
touched: the run has private ones, removed when it ends. Nothing is played
through the speakers.

)";

namespace {

constexpr uint32_t kNeutralGrey = 0x808080;
// No range needs more steps than this (a week at 10 a second).
constexpr int64_t kMaxSteps = int64_t{7} * 24 * 3600 * 10;
// Step numbers stay far from the end of int64, so a range's end plus one fits.
constexpr int64_t kMaxStepNumber = std::numeric_limits<int64_t>::max() / 2;

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
    explicit ProgressBar(bool enabled) : enabled_(enabled), start_(std::chrono::steady_clock::now()) {}
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
        // The time left at the pace so far.
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const auto left = static_cast<long long>(done > 0 ? elapsed * static_cast<double>(total - done) / static_cast<double>(done) + 0.5 : 0);
        std::fprintf(stderr, "\r[%.*s%.*s] %3d%% step %lld of %lld, %lld:%02lld left ", filled,
                     "########################################", kWidth - filled,
                     "                                        ", percent, static_cast<long long>(done),
                     static_cast<long long>(total), left / 60, left % 60);
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
    std::chrono::steady_clock::time_point start_;
    int lastPercent_ = -1;
    bool drawn_ = false;
};

}  // namespace

void renderShow(const RenderRequest& request, const std::function<void(int64_t, const THeadlessPicture&)>& onFrame,
                const std::function<void(int64_t, int64_t)>& progress,
                const std::function<void(const std::string&)>& onMusic)
{
    if (const auto problem = fileProblem(request.file))
        throw RenderError(*problem, kExitNotLoaded);

    PrivateConfig config;
    PrivateWorkDir workDir;
    int64_t lastStep = request.lastStep;
    {
        // A first load, its message boxes kept, tells why a show does not
        // load in sdtool's words alone; the window would add its own line.
        const ShowReport first = loadShow(request.file);
        workDir.empty();
        if (first.outcome != ShowReport::Outcome::Loaded)
            throw RenderError(loadFailureText(request.file, first), first.exitStatus());
        if (request.wholeLoop)
            lastStep = request.firstStep + std::max<int64_t>(1, int64_t{first.loopTime} * 1000 / TMainForm::kTimerInterval) - 1;
    }
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
    // The player's loader, watched so that a failure can still be explained
    // should the file change after the first load.
    ShowReport load;
    load.version = readHeaderVersion(request.file);
    const auto loader = [&load](const std::string& fileName, TCharactorList& list) {
        try {
            const bool loaded = loadScrSavData(fileName, list);
            load.outcome = loaded ? ShowReport::Outcome::Loaded : ShowReport::Outcome::False;
            return loaded;
        } catch (const std::exception& e) {
            recordLoadError(load, e);
            throw;
        }
    };
    auto& form = static_cast<TMainForm&>(app.CreateForm(std::make_unique<TMainForm>(loader)));
    if (!form.isRunning()) {
        // The load's own messages have gone to standard error already.
        form.Close();
        throw RenderError(loadFailureText(request.file, load), load.exitStatus());
    }
    form.Show();
    app.ProcessMessages();
    if (onMusic) {
        // What the window asked of its music player: "open FILE sequencer", then "play".
        const std::vector<std::string>& commands = silence.log().commands;
        const std::string opening = "open ";
        const std::string sequencer = " sequencer";
        std::string tune;
        for (const std::string& command : commands)
            if (command.size() > opening.size() + sequencer.size() && command.rfind(opening, 0) == 0
                && command.compare(command.size() - sequencer.size(), sequencer.size(), sequencer) == 0)
                tune = command.substr(opening.size(), command.size() - opening.size() - sequencer.size());
        if (!tune.empty() && std::find(commands.begin(), commands.end(), "play") != commands.end())
            onMusic(tune);
    }

    int64_t firstStep = request.firstStep;
    if (request.chooseStep && form.getCharactorList() != nullptr)
        firstStep = lastStep = request.chooseStep(*form.getCharactorList(), request.width, request.height);
    form.startAtStep(firstStep);
    const int64_t total = lastStep - firstStep + 1;
    for (int64_t step = firstStep; step <= lastStep; ++step) {
        throwIfInterrupted();
        backend.AdvanceTime(TMainForm::kTimerInterval);
        onFrame(step, backend.WindowPicture());
        const int64_t done = step - firstStep + 1;
        if (progress && (done % 16 == 0 || step == lastStep))
            progress(done, total);
    }
    form.Close();
}

void writePngFrame(const THeadlessPicture& picture, const std::string& path)
{
    TBitmap bitmap;
    bitmap.SetPixels(picture.Width, picture.Height, picture.Pixels);
    const std::vector<uint8_t> bytes = EncodePng(bitmap);
    writeFileAtomically(path, bytes.data(), bytes.size());
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
    try {
        writeFileAtomically(path, data.bytes, data.size);
    } catch (...) {
        WebPDataClear(&data);
        throw;
    }
    WebPDataClear(&data);
}

namespace {

// The desktop picture of --desktop. UsageError when it cannot be read.
THeadlessPicture loadDesktop(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        const int error = errno;
        throw UsageError("--desktop: cannot open " + file + ": " + errnoText(error));
    }
    if (S_ISDIR(st.st_mode))
        throw UsageError("--desktop: cannot read " + file + ": " + errnoText(EISDIR));
    try {
        TBitmap image;
        LoadPng(file, image);
        return THeadlessPicture{image.Width(), image.Height(),
                                std::vector<uint32_t>(image.Pixels(), image.Pixels()
                                                      + static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()))};
    } catch (const Exception& e) {
        throw UsageError("--desktop: cannot read " + file + " as a PNG picture (" + e.Message() + ")");
    }
}

struct RenderPlan {
    RenderRequest request;
    std::string out;
    OutputKind kind = OutputKind::Png;
    bool lossless = true;
    bool quiet = false;
};

constexpr int kDefaultVideoWidth = 1280;
constexpr int kDefaultVideoHeight = 720;

// The command line as a plan; UsageError naming what is wrong.
RenderPlan planOf(const ParsedArgs& parsed)
{
    if (parsed.operands.size() > 1)
        throw UsageError("unexpected argument '" + parsed.operands[1] + "' (one FILE at a time)");
    if (parsed.operands.empty() || !parsed.has("-o"))
        throw UsageError("FILE and -o OUT are needed");
    RenderPlan plan;
    plan.request.file = parsed.operands[0];
    plan.out = parsed.options.at("-o");
    if (plan.out.empty())
        throw UsageError("-o wants a file or folder name");
    plan.quiet = parsed.has("--quiet");

    if (parsed.has("--size")) {
        const std::string& sizeText = parsed.options.at("--size");
        const auto size = parseRange(sizeText, 'x');
        if (!size)
            throw UsageError("--size wants WxH, such as 1920x1080, not \"" + sizeText + "\"");
        if (size->first < 1 || size->second < 1 || size->first > kMaxPictureSide || size->second > kMaxPictureSide
            || size->first * size->second > kMaxPicturePixels)
            throw UsageError("--size must be from 1x1 to " + std::to_string(kMaxPictureSide) + " a side and at most "
                             + std::to_string(kMaxPicturePixels) + " pixels");
        plan.request.width = static_cast<int>(size->first);
        plan.request.height = static_cast<int>(size->second);
    }

    if (parsed.has("--tick") && parsed.has("--ticks"))
        throw UsageError("--tick and --ticks exclude each other");
    const bool range = parsed.has("--ticks");
    if (parsed.has("--tick")) {
        const std::string& text = parsed.options.at("--tick");
        const auto n = parseNumber(text);
        if (!n || *n > kMaxStepNumber)
            throw UsageError("--tick wants a step number from 0 to " + std::to_string(kMaxStepNumber) + ", not \"" + text + "\"");
        plan.request.firstStep = plan.request.lastStep = *n;
    } else if (range) {
        const std::string& text = parsed.options.at("--ticks");
        const auto steps = parseRange(text, '-');
        if (!steps || steps->first > steps->second || steps->second > kMaxStepNumber)
            throw UsageError("--ticks wants A-B with A <= B, such as 0-599, not \"" + text + "\"");
        if (steps->second - steps->first >= kMaxSteps)
            throw UsageError("--ticks covers at most " + std::to_string(kMaxSteps) + " steps (a week of the show)");
        plan.request.firstStep = steps->first;
        plan.request.lastStep = steps->second;
    }

    if (parsed.has("--lossy") && parsed.has("--lossless"))
        throw UsageError("--lossy and --lossless exclude each other");
    plan.lossless = !parsed.has("--lossy");

    std::vector<std::string> inputs = {plan.request.file};
    if (parsed.has("--desktop"))
        inputs.push_back(parsed.options.at("--desktop"));
    // Before the format: writing over an input is the worse mistake to let through.
    refuseOutputAmongInputs(plan.out, inputs);
    plan.kind = outputKindOf(plan.out, range);
    const OutputFormat& format = outputFormatOf(plan.kind);
    if (format.video) {
        if (!parsed.has("--size")) {
            plan.request.width = kDefaultVideoWidth;
            plan.request.height = kDefaultVideoHeight;
        }
        plan.request.wholeLoop = !parsed.has("--tick") && !range;
        if ((plan.kind == OutputKind::Mp4 || plan.kind == OutputKind::WebM)
            && (plan.request.width % 2 != 0 || plan.request.height % 2 != 0))
            throw UsageError(std::string(format.extension) + " video needs an even width and height (its colours are "
                             "stored for 2 x 2 pixels at a time), not " + parsed.options.at("--size"));
    } else if (!parsed.has("--size")) {
        throw UsageError("--size WxH is needed for " + std::string(format.extension[0] != '\0' ? format.extension : "a folder of frames")
                         + " (videos default to " + std::to_string(kDefaultVideoWidth) + "x"
                         + std::to_string(kDefaultVideoHeight) + ")");
    }
    if (plan.kind == OutputKind::Frames)
        refuseFramesAmongInputs(plan.out, inputs);
    if (parsed.has("--desktop"))
        plan.request.desktop = loadDesktop(parsed.options.at("--desktop"));
    return plan;
}

VideoFormat videoFormatOf(OutputKind kind)
{
    switch (kind) {
    case OutputKind::WebM:
        return VideoFormat::WebM;
    case OutputKind::Mkv:
        return VideoFormat::Mkv;
    case OutputKind::Gif:
        return VideoFormat::Gif;
    default:
        return VideoFormat::Mp4;
    }
}

// Renders the plan's steps into a video file. For a GIF the steps are played
// twice: first for the colours of its palette, then for the frames.
void renderVideo(const RenderPlan& plan, ProgressBar& bar)
{
    const RenderRequest& request = plan.request;
    VideoSettings settings;
    settings.format = videoFormatOf(plan.kind);
    settings.width = request.width;
    settings.height = request.height;
    int passes = 1;
    if (settings.format == VideoFormat::Gif) {
        passes = 2;
        GifPalette palette;
        std::vector<uint32_t> previous;
        renderShow(
            request,
            [&](int64_t, const THeadlessPicture& picture) {
                // An unchanged step adds no colour.
                if (picture.Pixels != previous) {
                    palette.add(picture);
                    previous = picture.Pixels;
                }
            },
            [&](int64_t done, int64_t total) { bar.show(done, total * passes); });
        settings.palette = palette.colours();
    }

    AtomicFile file(plan.out);
    std::unique_ptr<OfflineTune> tune;
    int64_t tuneStart = 0;
    std::unique_ptr<VideoPipeline> pipeline;
    const auto start = [&] {
        if (!pipeline) {
            settings.audio = tune != nullptr;
            pipeline = std::make_unique<VideoPipeline>(std::make_unique<VideoEncoder>(file.path(), settings),
                                                       std::move(tune), tuneStart);
        }
    };
    renderShow(
        request,
        [&](int64_t, const THeadlessPicture& picture) {
            start();
            pipeline->push(picture);
        },
        [&](int64_t done, int64_t total) { bar.show(done + (passes - 1) * total, total * passes); },
        [&](const std::string& midiFile) {
            if (settings.format == VideoFormat::Gif)
                return;
            try {
                tune = std::make_unique<OfflineTune>(midiFile);
            } catch (const Exception& e) {
                throw RenderError("the show's music cannot be rendered: " + e.Message());
            }
            // The music starts with the show: the first step here is that far into it.
            tuneStart = request.firstStep;
        });
    start();
    pipeline->finish();
    file.commit();
}

}  // namespace

namespace {

int render(const RenderPlan& plan)
{
    const RenderRequest& request = plan.request;
    const std::string& out = plan.out;
    bool madeFolder = false;
    try {
        std::optional<WebPAnimation> animation;
        if (plan.kind == OutputKind::WebP) {
            animation.emplace(request.width, request.height, plan.lossless);
        } else if (plan.kind == OutputKind::Frames && !fs::is_directory(out)) {
            std::error_code ec;
            madeFolder = fs::create_directories(out, ec);
            if (ec)
                throw OutputError("cannot make the folder " + out + ": " + ec.message());
        }
        ProgressBar bar(!plan.quiet && ::isatty(STDERR_FILENO) != 0);
        if (outputFormatOf(plan.kind).video) {
            renderVideo(plan, bar);
            bar.finish();
            return kExitOk;
        }
        renderShow(
            request,
            [&](int64_t step, const THeadlessPicture& picture) {
                if (animation)
                    animation->add(picture);
                else if (plan.kind == OutputKind::Frames)
                    writePngFrame(picture, (fs::path(out) / frameFileName(step)).string());
                else
                    writePngFrame(picture, out);
            },
            [&](int64_t done, int64_t total) { bar.show(done, total); });
        bar.finish();
        if (animation)
            animation->write(out);
        if (plan.kind == OutputKind::Frames)
            removeOtherFrames(out, request.firstStep, request.lastStep);
    } catch (...) {
        // A folder this run made and filled with nothing goes again.
        if (madeFolder) {
            std::error_code ec;
            fs::remove(out, ec);
        }
        return reportRenderFailure("render");
    }
    return kExitOk;
}

}  // namespace

int reportRenderFailure(const std::string& command)
{
    try {
        throw;
    } catch (const RenderError& e) {
        printError(e.what());
        return e.status();
    } catch (const OutputError& e) {
        printError(e.what());
        return kExitError;
    } catch (const VideoError& e) {
        printError(command + ": " + e.what());
        return kExitError;
    } catch (const Exception& e) {
        printError(command + ": " + e.Message());
        return kExitError;
    }
}

int runRender(const std::vector<std::string>& args)
{
    RenderPlan plan;
    try {
        const ParsedArgs parsed = parseArgs(args, {{"-o", true},
                                                   {"--size", true},
                                                   {"--tick", true},
                                                   {"--ticks", true},
                                                   {"--desktop", true},
                                                   {"--lossless", false},
                                                   {"--lossy", false},
                                                   {"--quiet", false}});
        if (parsed.help) {
            std::fputs(kRenderHelp, stdout);
            std::fputs(kExitStatusHelp, stdout);
            return kExitOk;
        }
        plan = planOf(parsed);
    } catch (const UsageError& e) {
        return usageFailure("render", e.what(), kRenderHelp);
    }
    return render(plan);
}
