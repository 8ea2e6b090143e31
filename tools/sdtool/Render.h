// Render.h: `sdtool render`: the screen saver window run without a display,
// its picture after chosen timer steps written as PNG files, an animated
// WebP, or a video with the show's tune.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/headless/HeadlessBackend.h"

class TCharactorList;

// Something render cannot do; the text says what and why, status is the
// exit status it ends the command with.
class RenderError : public std::runtime_error {
public:
    explicit RenderError(const std::string& what, int status = 2) : std::runtime_error(what), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

struct RenderRequest {
    std::string file;      // the data file, as given on the command line
    int width = 0;         // the screen the show is played on
    int height = 0;
    int64_t firstStep = 0;  // timer steps, the first step of the show being 0
    int64_t lastStep = 0;
    // Instead of lastStep: one whole loop of the show from firstStep (one
    // step for a loop of no length).
    bool wholeLoop = false;
    // The desktop that background mode 1 shows; a neutral grey when none.
    std::optional<THeadlessPicture> desktop;
    // When given, it picks the one step to render from the loaded show (and
    // the screen's size), in place of firstStep and lastStep.
    std::function<int64_t(const TCharactorList& list, int width, int height)> chooseStep;
};

// Plays the show of request.file in the screen saver window on a headless
// screen, on a virtual clock, and calls onFrame with what the window shows
// after each step from firstStep to lastStep. The user's settings, "System.ini"
// and work directory are untouched: the process gets private ones, removed
// afterwards, and the music is not played. The show starts directly in the
// state of firstStep (TMainForm::startAtStep), so a late step costs no more
// than an early one. progress (when given) hears (steps done, steps in all)
// now and then. onMusic (when given) hears, before the first step, the MIDI
// file the window started playing, when it plays one; the file is gone once
// renderShow returns. RenderError when the file is missing or the show cannot be
// loaded (the text says why, status 1 or 2 as for info), Interrupted when a
// signal comes; whatever onFrame raises passes through.
void renderShow(const RenderRequest& request, const std::function<void(int64_t step, const THeadlessPicture&)>& onFrame,
                const std::function<void(int64_t done, int64_t total)>& progress = {},
                const std::function<void(const std::string& midiFile)>& onMusic = {});

// The picture as a PNG file, written whole or not at all. OutputError when it
// cannot be written.
void writePngFrame(const THeadlessPicture& picture, const std::string& path);

// Collects frames into an animated WebP, 100 ms each (the window's 10 steps
// a second), looping.
class WebPAnimation {
public:
    WebPAnimation(int width, int height, bool lossless);
    ~WebPAnimation();
    WebPAnimation(const WebPAnimation&) = delete;
    WebPAnimation& operator=(const WebPAnimation&) = delete;

    void add(const THeadlessPicture& picture);  // RenderError when the encoder refuses
    // Writes the file, whole or not at all. RenderError when nothing was
    // added, OutputError when it cannot be written.
    void write(const std::string& path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The command: `render FILE -o OUT [--size WxH] [--tick N | --ticks A-B]
// [--desktop IMAGE.png] [--lossy] [--quiet]`. Returns the exit status.
int runRender(const std::vector<std::string>& args);

// Inside a catch block: says what the failure being handled was, on standard
// error (a show that did not load, an output that cannot be written, an
// encoder or loader error under command's name), and gives the exit status.
// Anything else goes on up.
int reportRenderFailure(const std::string& command);
extern const char* const kRenderHelp;
