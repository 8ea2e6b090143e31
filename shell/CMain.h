// CMain.h: the full-screen screen saver window: sets up the show, animates it
// every 100 milliseconds, loops its music, and closes on input. The same
// window also plays a show in a frame of its own on the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "shell/CScenePainter.h"
#include "shell/CScreenLayout.h"
#include "shell/ShowOptions.h"

class TBitmap;
class TCharactorList;
class TData;
class TMediaPlayer;
class TMonitorForm;

class TMainForm : public TForm {
public:
    // Fills list from the data file; false when the file is missing or
    // unusable (having shown whatever message applies).
    using TShowLoader = std::function<bool(const std::string& fileName, TCharactorList& list)>;

    static constexpr uint32_t kTimerInterval = 100;  // milliseconds a step

    // Where the show plays. FullScreen is the screen saver: over the whole
    // screen, above everything, the keyboard grabbed, the cursor hidden, ended
    // by a key, a click or the third mouse movement; a data file given as the
    // first argument that loads becomes the current show. Windowed is a show
    // opened from the desktop ("lurva --window [FILE]", FILE the second
    // argument, else the current show): a framed window on the screen, ended
    // by a key or by closing it, with its own work directory; the settings
    // and "System.ini" stay as they are.
    enum class TPlacement { FullScreen, Windowed };
    // The window class of a windowed show: the screen saver's single-copy
    // guard does not count it, and several may be open at once.
    static constexpr const char* kWindowedClassName = "TShowWindow";

    // Needs the application to exist (the timer and the music report to it).
    explicit TMainForm(TShowLoader loader, TShowOptions options = {}, TPlacement placement = TPlacement::FullScreen);
    ~TMainForm() override;

    // How steps are composed: Incremental redraws only what changed;
    // WholeScreen is the plain two-copies composition, kept as the reference.
    enum class TStepComposition { Incremental, WholeScreen };
    void setStepComposition(TStepComposition composition) { composition_ = composition; }

    // The animation state, for tests and tools.
    int32_t getLoopTick() const { return loopTick; }
    int32_t getTickCount() const { return tickCount; }
    int32_t getFrameCounter() const { return frameCounter; }
    int32_t getMouseMoveCount() const { return mouseMoveCount; }
    bool isRunning() const;
    // Puts the animation where `step` steps from the start leave it, so the
    // next step is step number `step`: every counter is periodic, so this
    // costs the same for any step. Call before the first step.
    void startAtStep(int64_t step);
    const TCharactorList* getCharactorList() const { return charactorList.get(); }
    const TBitmap* getDrawBitmap() const { return drawBitmap.get(); }
    const TBitmap* getBackBitmap() const { return backBitmap.get(); }
    // What the last step gave the window: the changed rectangles.
    const std::vector<TRect>& getLastPresented() const { return lastPresented_; }
    // The windows on the other monitors, in the order of their placements.
    const std::vector<TMonitorForm*>& getMonitorForms() const { return monitors_; }
    // Where this window went and the size the show is laid out at.
    const TScreenPlacement& getPlacement() const { return primaryPlacement_; }

protected:
    void FormCreate() override;
    void FormPaint() override;
    void FormKeyDown(uint16_t key, TShiftState shift) override;
    void FormClick() override;
    void FormMouseMove(TShiftState shift, int x, int y) override;
    void FormClose() override;
    // The host's window drawn into has a new size: the show is laid out anew there.
    void FormResize() override;

    void tmrMainTimer();
    void mdpBGMNotify();

private:
    void layOut(int width, int height);
    void composeBackground(TBitmap& back, const TScreenPlacement& placement);
    void showMonitors();
    void startMusic();
    void startPendingMusic();
    void createWindowed();
    void usePrivateWorkDir(const std::string& prefix);
    void removePrivateWorkDir();
    bool musicWanted() const;

    std::unique_ptr<TTimer> tmrMain;
    std::unique_ptr<TMediaPlayer> mdpBGM;
    std::unique_ptr<TCharactorList> charactorList;
    std::unique_ptr<TBitmap> drawBitmap;
    std::unique_ptr<TBitmap> backBitmap;

    // Position in the show's loop, in steps.
    int32_t loopTick = 0;
    // Steps since the show started, the frame step shared by every character
    // (tickCount div 10), and the counted mouse movements (never reset). The
    // design has these three process-wide; a process shows one window at
    // most, so keeping them with the window shows the same, and lets tests
    // run several windows one after another in one process.
    int32_t tickCount = 0;
    int32_t frameCounter = 0;
    int32_t mouseMoveCount = 0;

    TScreenPlacement primaryPlacement_;
    // Owned by the application, which keeps closed forms until it ends.
    std::vector<TMonitorForm*> monitors_;

    TShowLoader loader_;
    TShowOptions options_;
    TPlacement placement_;
    std::string privateWorkDir_;  // a windowed show's own work directory, while it plays
    std::optional<std::string> previousWorkDirOverride_;  // put back when it goes
    std::unique_ptr<TData> data_;  // the process-wide Data, while this window owns it
    TScenePainter painter_;
    TStepComposition composition_ = TStepComposition::Incremental;
    std::vector<TRect> lastPresented_;
    // Set up with a tune that has not been started yet.
    bool musicPending_ = false;
    // Set by FormClose: events still queued then do nothing.
    bool closed_ = false;
};
