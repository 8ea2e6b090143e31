// CMain.cpp: the screen saver window: set-up, the animation step, input, the
// music loop and the clean-up; full screen or in a window of its own.
#include "shell/CMain.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "config/CData.h"
#include "config/CLurvaSettings.h"
#include "datafile/CFileManage.h"
#include "model/CCharactorList.h"
#include "platform/Dialogs.h"
#include "platform/Graphics.h"
#include "platform/IniFiles.h"
#include "platform/MPlayer.h"
#include "platform/SysUtils.h"
#include "shell/CMonitorForm.h"
#include "shell/CScreenLayout.h"

namespace {

const char* const kKey = "main";

// The music is worth less than the show: a player that refuses is reported
// here and the show plays on without it.
void reportMusicFailure(const std::string& fileName, const Exception& e)
{
    std::fprintf(stderr, "lurva: the show plays without music: %s: %s\n", fileName.c_str(), e.Message().c_str());
    std::fflush(stderr);
}

// The loader shows its boxes only for some refusals and none for a missing
// file: the reason the window stays blank goes to standard error.
void reportUnplayable(const std::string& fileName)
{
    if (fileName.empty())
        std::fprintf(stderr, "lurva: no show is set; choose one with lurva /c\n");
    else
        std::fprintf(stderr, "lurva: cannot play %s: %s\n", fileName.c_str(), describeLoadFailure(fileName).c_str());
    std::fflush(stderr);
}

// The scale the command line asks for, else LURVA_SCALE's, else the
// setting's; none: the desktop's.
std::optional<int> requestedScale(const TShowOptions& options, const TLurvaSettings& settings)
{
    if (options.scale)
        return options.scale;
    if (const char* text = std::getenv("LURVA_SCALE"); text != nullptr && *text != '\0') {
        if (const std::optional<int> scale = TLurvaSettings::parseScale(text))
            return scale;
        std::fprintf(stderr, "lurva: LURVA_SCALE=%s is ignored: a whole number from 1 to 16\n", text);
        std::fflush(stderr);
    }
    return settings.scale();
}

// The monitors and scale the show is laid out for; at least the primary.
std::vector<TScreenPlacement> screenPlacements(const TShowOptions& options)
{
    const TLurvaSettings settings;
    std::vector<TMonitor> monitors;
    if (Application != nullptr)
        monitors = Application->Monitors();
    std::vector<TScreenPlacement> placements = LayOutScreens(monitors, requestedScale(options, settings),
        settings.primaryMonitorOnly() ? TMonitorUse::PrimaryOnly : TMonitorUse::All);
    if (placements.empty())
        placements.push_back(TScreenPlacement{});
    return placements;
}

// The desktop under a monitor, as the show's background of that monitor's
// show size: at a scale above 1 each show pixel takes the top-left pixel of
// its square, so the picture stays one picture at the show's size.
void copyDesktop(TBitmap& back, const TScreenPlacement& placement)
{
    if (Application == nullptr)
        return;
    const TMonitor& monitor = placement.Monitor;
    if (placement.Scale <= 1) {
        Application->CopyDesktop(back, monitor.Left, monitor.Top);
        return;
    }
    TBitmap full(monitor.Width, monitor.Height);
    if (!Application->CopyDesktop(full, monitor.Left, monitor.Top))
        return;
    const int scale = placement.Scale;
    for (int y = 0; y < back.Height() && y * scale < full.Height(); ++y) {
        const uint32_t* in = full.ScanLine(y * scale);
        uint32_t* out = back.ScanLine(y);
        for (int x = 0; x < back.Width() && x * scale < full.Width(); ++x)
            out[x] = in[x * scale];
    }
}

// A window of width x height of its own (a host's, or the show's in a window)
// laid out at the scale of the monitor it stands for.
TScreenPlacement placementOfWindow(int width, int height, const TScreenPlacement& like)
{
    const TMonitor window{0, 0, width, height, true, like.Monitor.Dpi};
    const std::vector<TScreenPlacement> placements = LayOutScreens({window}, like.Scale, TMonitorUse::All);
    return placements.empty() ? like : placements.front();
}

}  // namespace

TMainForm::TMainForm(TShowLoader loader, TShowOptions options, TPlacement placement)
    : TForm(placement == TPlacement::Windowed ? kWindowedClassName : "TMainForm"), loader_(std::move(loader)),
      options_(std::move(options)), placement_(placement)
{
    Position = TPosition::poScreenCenter;
    if (placement_ == TPlacement::FullScreen) {
        BorderStyle = TFormBorderStyle::bsNone;
        FormStyle = TFormStyle::fsStayOnTop;
        KeyPreview = true;
    } else {
        // A fixed frame: the show is composed once at the window's size.
        BorderStyle = TFormBorderStyle::bsSingle;
        FormStyle = TFormStyle::fsNormal;
        KeyPreview = false;
    }

    tmrMain = std::make_unique<TTimer>(this);
    tmrMain->SetEnabled(false);
    tmrMain->SetInterval(kTimerInterval);
    tmrMain->OnTimer = [this] { tmrMainTimer(); };

    TApplication* app = Application;
    mdpBGM = std::make_unique<TMediaPlayer>([app](std::function<void()> report) {
        if (app != nullptr)
            app->Post(std::move(report));
    });
    mdpBGM->AutoRewind = true;
    mdpBGM->OnNotify = [this] { mdpBGMNotify(); };
}

TMainForm::~TMainForm()
{
    if (data_ && Data == data_.get())
        Data = nullptr;
    removePrivateWorkDir();
}

void TMainForm::removePrivateWorkDir()
{
    if (privateWorkDir_.empty())
        return;
    setWorkDirOverride(previousWorkDirOverride_);
    deleteFilesIn(privateWorkDir_);
    RemoveDir(ExcludeTrailingPathDelimiter(privateWorkDir_));
    privateWorkDir_.clear();
}

bool TMainForm::isRunning() const
{
    return !closed_ && tmrMain->Enabled();
}

void TMainForm::FormCreate()
{
    DisableInputMethod();

    data_ = std::make_unique<TData>();
    Data = data_.get();
    if (placement_ == TPlacement::Windowed) {
        createWindowed();
        return;
    }
    // A host may run one copy per monitor, each unpacking its show.
    if (Application != nullptr && Application->Backend().DrawsIntoHostWindow())
        usePrivateWorkDir("lurva-hack-");
    TRegManage& settings = Data->regManage();

    const std::string argument = Application != nullptr ? Application->ParamStr(1) : std::string();
    // The primary monitor at the show's size, which a scaled desktop divides
    // by its scale; the window goes exactly over the monitor.
    const std::vector<TScreenPlacement> screens = screenPlacements(options_);
    primaryPlacement_ = screens.front();
    PlaceOverMonitor(*this, primaryPlacement_);
    BringToFront();

    drawBitmap = std::make_unique<TBitmap>(primaryPlacement_.ShowWidth, primaryPlacement_.ShowHeight);
    backBitmap = std::make_unique<TBitmap>(primaryPlacement_.ShowWidth, primaryPlacement_.ShowHeight);
    charactorList = std::make_unique<TCharactorList>();

    // Every other monitor is covered too, by a show of its own size or black;
    // input on any of them is input to this window.
    if (Application != nullptr) {
        for (size_t i = 1; i < screens.size(); ++i) {
            TMonitorForm::TInput input;
            input.End = [this] {
                if (!closed_)
                    Close();
            };
            input.MouseMove = [this](TShiftState shift, int x, int y) { FormMouseMove(shift, x, y); };
            monitors_.push_back(&Application->CreateForm<TMonitorForm>(screens[i], std::move(input)));
        }
    }

    // Started with a data file: it plays, and when it loads, the program
    // becomes the system's screen saver with that file as the current show.
    // Stored as an absolute path, since the screen saver starts in another
    // folder; a file that does not load leaves the current show as it was.
    // A file given with --show only plays.
    const bool given = options_.showFile.empty() && FileExists(argument);
    const std::string fileName = !options_.showFile.empty() ? ExpandFileName(options_.showFile)
                                 : given                     ? ExpandFileName(argument)
                                                             : settings.readString(kKey, "filename0", "");
    if (!loader_ || !loader_(fileName, *charactorList)) {
        reportUnplayable(fileName);
        showMonitors();
        return;  // Idle
    }
    if (given) {
        TIniFile("System.ini").WriteString("boot", "SCRNSAVE.EXE", GetProgramPath());
        settings.writeString(kKey, "filename0", fileName);
    }

    composeBackground(*backBitmap, primaryPlacement_);
    for (TMonitorForm* monitor : monitors_)
        if (!monitor->placement().Black)
            composeBackground(monitor->backBitmap(), monitor->placement());
    showMonitors();
    // The synthesizer's sound font takes longer to load than the rest of the
    // set-up together: the music starts once the window has been painted.
    musicPending_ = true;
    if (Application != nullptr)
        Application->ShowCursor(false);
    tmrMain->SetEnabled(true);
}

void TMainForm::usePrivateWorkDir(const std::string& prefix)
{
    // A work directory of its own: a screen saver or another window that
    // closes empties the shared one, music files included, also while this
    // show is still unpacking. Without one the shared directory serves.
    if (const auto dir = CreateUniqueTempDirectory(prefix)) {
        privateWorkDir_ = IncludeTrailingPathDelimiter(*dir);
        previousWorkDirOverride_ = getWorkDirOverride();
        setWorkDirOverride(privateWorkDir_);
    }
}

void TMainForm::createWindowed()
{
    usePrivateWorkDir("lurva-window-");
    const std::string argument = Application != nullptr ? Application->ParamStr(2) : std::string();
    const std::string fileName =
        !argument.empty() ? ExpandFileName(argument) : Data->regManage().readString(kKey, "filename0", "");

    // Three quarters of the primary monitor each way, centred, at its pixel
    // scale: the paths are fractions of the window, the pictures keep their
    // pixel sizes.
    const TScreenPlacement primary = screenPlacements(options_).front();
    const int width = std::max(1, primary.Monitor.Width * 3 / 4);
    const int height = std::max(1, primary.Monitor.Height * 3 / 4);
    primaryPlacement_ = placementOfWindow(width, height, primary);
    Width = width;
    Height = height;
    PixelScale = primaryPlacement_.Scale;
    Caption = fileName.empty() ? std::string("Lurva") : ExtractFileName(fileName) + " - Lurva";

    drawBitmap = std::make_unique<TBitmap>(primaryPlacement_.ShowWidth, primaryPlacement_.ShowHeight);
    backBitmap = std::make_unique<TBitmap>(primaryPlacement_.ShowWidth, primaryPlacement_.ShowHeight);
    charactorList = std::make_unique<TCharactorList>();
    if (!loader_ || !loader_(fileName, *charactorList)) {
        // Opened from a file manager nobody reads standard error: the reason
        // goes in a box (also printed there), and the window ends.
        ShowMessage(fileName.empty() ? std::string("no show is set; choose one with lurva /c")
                                     : "cannot play " + fileName + ": " + describeLoadFailure(fileName));
        if (Application != nullptr)
            Application->Post([this] { Close(); });
        return;
    }
    composeBackground(*backBitmap, primaryPlacement_);
    musicPending_ = true;  // once the window has been painted
    tmrMain->SetEnabled(true);
}

void TMainForm::showMonitors()
{
    for (TMonitorForm* monitor : monitors_)
        monitor->Show();
}

void TMainForm::composeBackground(TBitmap& back, const TScreenPlacement& placement)
{
    const TSetting& setting = charactorList->getSetting();
    TCanvas& canvas = back.Canvas();
    const int width = back.Width();
    const int height = back.Height();
    switch (setting.getBackMode()) {
    case kBackModeColor:
        canvas.PenColor = setting.getBackColor();
        canvas.BrushColor = canvas.PenColor;
        canvas.Rectangle(0, 0, width, height);
        break;
    case kBackModeDesktop:
        // The windows are not shown yet: this is the desktop as the show found
        // it. Without an image (the backend says why) it stays as created.
        copyDesktop(back, placement);
        break;
    case kBackModeStretch:
        if (const TGraphic* graphic = setting.getBackGraphic())
            canvas.StretchDraw({0, 0, width, height}, *graphic);
        break;
    case kBackModeTile:
        // A picture without area would never advance the loops: nothing drawn.
        if (const TGraphic* graphic = setting.getBackGraphic(); graphic != nullptr && !graphic->Empty()) {
            canvas.CopyMode = cmSrcCopy;
            for (int x = 0; x < width; x += graphic->Width())
                for (int y = 0; y < height; y += graphic->Height())
                    canvas.Draw(x, y, *graphic);
        }
        break;
    default:
        break;
    }
}

void TMainForm::FormResize()
{
    if (closed_ || !drawBitmap || Width <= 0 || Height <= 0)
        return;
    layOut(Width, Height);
}

void TMainForm::layOut(int width, int height)
{
    primaryPlacement_ = placementOfWindow(width, height, primaryPlacement_);
    width = primaryPlacement_.ShowWidth;
    height = primaryPlacement_.ShowHeight;
    auto back = std::make_unique<TBitmap>(width, height);
    if (charactorList->getSetting().getBackMode() == kBackModeDesktop) {
        // The desktop now has the show on it: the copy taken at the start
        // stays, as far as it reaches.
        back->Canvas().CopyMode = cmSrcCopy;
        back->Canvas().Draw(0, 0, *backBitmap);
        backBitmap = std::move(back);
    } else {
        backBitmap = std::move(back);
        composeBackground(*backBitmap, primaryPlacement_);
    }
    drawBitmap = std::make_unique<TBitmap>(width, height);
    // The next step draws the whole picture at the new size.
    painter_.reset();
}

// Hosts' windows are silent unless asked (a tune at night surprises), and
// muting, by the setting or the command line, silences every show.
bool TMainForm::musicWanted() const
{
    if (options_.mute || TLurvaSettings().mute())
        return false;
    const bool hosted = Application != nullptr && Application->Backend().DrawsIntoHostWindow();
    return !hosted || options_.sound;
}

void TMainForm::startMusic()
{
    const TSetting& setting = charactorList->getSetting();
    const std::string bgmFile = setting.getBgmFile();
    if (!setting.getPlayBgm() || !FileExists(bgmFile) || !musicWanted())
        return;
    try {
        mdpBGM->Close();
        mdpBGM->FileName = bgmFile;
        // Full volume is the device's own level; only a lower one is asked for.
        if (const int32_t volume = TLurvaSettings().volume(); volume < TLurvaSettings::kFullVolume)
            mdpBGM->SetVolume(volume);
        mdpBGM->Open();
        if (mdpBGM->CanPlay())
            mdpBGM->Play();
    } catch (const Exception& e) {
        reportMusicFailure(bgmFile, e);
    }
}

void TMainForm::tmrMainTimer()
{
    if (closed_ || !charactorList || !drawBitmap || !backBitmap)
        return;
    // Unsigned 32-bit, as the loop length always was worked out.
    const uint32_t interval = tmrMain->Interval() > 0 ? tmrMain->Interval() : kTimerInterval;
    const uint32_t ticksPerLoop = charactorList->getLoopTime() * 1000u / interval;

    const bool wholeScreen = composition_ == TStepComposition::WholeScreen;
    const auto frames = framesForStep(*charactorList, loopTick, frameCounter, drawBitmap->Width(), drawBitmap->Height());
    if (wholeScreen) {
        renderReference(*drawBitmap, *backBitmap, frames);
        painter_.reset();
        lastPresented_.assign(1, TRect{0, 0, drawBitmap->Width(), drawBitmap->Height()});
    } else {
        lastPresented_ = painter_.paint(*drawBitmap, *backBitmap, frames);
    }
    Present(*drawBitmap, lastPresented_);
    startPendingMusic();  // a window that was never painted
    for (TMonitorForm* monitor : monitors_) {
        const TScreenPlacement& placement = monitor->placement();
        if (!placement.Black && !monitor->Closed())
            monitor->step(framesForStep(*charactorList, loopTick, frameCounter, placement.ShowWidth, placement.ShowHeight),
                wholeScreen);
    }

    // A loop of no length stays at path entry 0.
    loopTick = ticksPerLoop == 0 ? 0 : static_cast<int32_t>((static_cast<uint32_t>(loopTick) + 1u) % ticksPerLoop);
    // Wraps round after years of steps instead of overflowing.
    tickCount = static_cast<int32_t>(static_cast<uint32_t>(tickCount) + 1u);
    frameCounter = tickCount / 10;
}

void TMainForm::startAtStep(int64_t step)
{
    if (!charactorList || step < 0)
        return;
    const uint32_t interval = tmrMain->Interval() > 0 ? tmrMain->Interval() : kTimerInterval;
    const uint32_t ticksPerLoop = charactorList->getLoopTime() * 1000u / interval;
    loopTick = ticksPerLoop == 0 ? 0 : static_cast<int32_t>(static_cast<uint64_t>(step) % ticksPerLoop);
    // The step counter wraps round at 32 bits, as stepping it does.
    tickCount = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(step)));
    frameCounter = tickCount / 10;
    painter_.reset();
}

void TMainForm::FormPaint()
{
    if (!closed_ && drawBitmap)
        Present(*drawBitmap, {0, 0, drawBitmap->Width(), drawBitmap->Height()});
    startPendingMusic();
}

void TMainForm::startPendingMusic()
{
    if (!musicPending_ || closed_)
        return;
    musicPending_ = false;
    startMusic();
}

void TMainForm::FormKeyDown(uint16_t /*key*/, TShiftState /*shift*/)
{
    if (!closed_)
        Close();
}

void TMainForm::FormClick()
{
    // In a window a click is how one works with the desktop, not a wish to stop.
    if (!closed_ && placement_ == TPlacement::FullScreen)
        Close();
}

void TMainForm::FormMouseMove(TShiftState /*shift*/, int /*x*/, int /*y*/)
{
    if (closed_ || placement_ == TPlacement::Windowed)
        return;
    // Read at every event: the settings dialog may change it while the show runs.
    const bool ignore = data_ && data_->regManage().readBool(kKey, "ignoreMouseMove", false);
    if (ignore)
        return;
    if (mouseMoveCount > 1)
        Close();
    ++mouseMoveCount;
}

void TMainForm::mdpBGMNotify()
{
    if (closed_)
        return;
    // Every report, whatever its kind, plays the piece again; with automatic
    // rewind it starts from the beginning.
    try {
        mdpBGM->SetNotify(true);
        mdpBGM->Play();
    } catch (const Exception& e) {
        reportMusicFailure(mdpBGM->FileName, e);
    }
}

void TMainForm::FormClose()
{
    closed_ = true;
    for (TMonitorForm* monitor : monitors_)
        monitor->Close();
    if (Application != nullptr && placement_ == TPlacement::FullScreen)
        Application->ShowCursor(true);
    tmrMain->SetEnabled(false);
    charactorList.reset();
    drawBitmap.reset();
    backBitmap.reset();
    deleteFilesIn(getWorkDir());
    removePrivateWorkDir();
    if (data_) {
        if (Data == data_.get())
            Data = nullptr;
        data_.reset();
    }
}
