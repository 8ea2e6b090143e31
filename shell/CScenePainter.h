// CScenePainter.h: composing one animation step of the show: where each frame
// goes, the whole-screen composition, and the incremental one that redraws
// only what changed and gives the same picture.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/CCharactorList.h"
#include "platform/Graphics.h"

// One frame drawn in a step: its mask OR-ed onto the scene, then the frame
// AND-ed, both with their top-left corner at (Left, Top).
struct TFramePlacement {
    const TGraphic* Graphic = nullptr;
    const TBitmap* Mask = nullptr;
    int Left = 0;
    int Top = 0;
};

struct TFrameOrigin {
    int Left = 0;
    int Top = 0;
    bool operator==(const TFrameOrigin&) const = default;
};

// The top-left corner of a frame of frameWidth x frameHeight whose centre is
// at point (fractions of the window's width and height):
// trunc(W * x - (w div 2)), trunc(H * y - (h div 2)), cut toward zero.
// None when a coordinate is not a finite number; corners beyond the int range
// are held at a distance no screen reaches.
std::optional<TFrameOrigin> placeFrame(const TDoublePoint& point, int windowWidth, int windowHeight, int frameWidth,
                                       int frameHeight);

// The frames a step draws, in list order (later ones cover earlier ones):
// each character's path entry loopTick and frame slot frameCounter mod its
// frame count. A character without a point there, without frames, or whose
// slot lacks a graphic or a mask is not drawn.
std::vector<TFramePlacement> framesForStep(const TCharactorList& list, int32_t loopTick, int32_t frameCounter,
                                           int windowWidth, int windowHeight);

// The whole-screen composition: back copied into draw with SRCCOPY, then for
// every frame its mask with SRCPAINT and its graphic with SRCAND, through the
// canvas. This is the picture the incremental painter must reproduce.
void renderReference(TBitmap& draw, const TBitmap& back, const std::vector<TFramePlacement>& frames);

// Overlapping rectangles merged into their bounds until none overlap.
std::vector<TRect> mergeOverlapping(std::vector<TRect> rects);

// Composes steps into one off-screen bitmap, remembering what the frames of
// the previous step covered: a step restores those rectangles from the
// background, draws the frames, and reports the union of the old and the new
// rectangles as what changed. The first step (and one whose changed area
// costs about as much as the whole screen) composes the whole bitmap.
class TScenePainter {
public:
    // draw and back must be the same size and keep it between calls (reset
    // otherwise); draw must not be touched by anyone else in between.
    // Returns the rectangles of draw that differ from the previous step.
    const std::vector<TRect>& paint(TBitmap& draw, const TBitmap& back, const std::vector<TFramePlacement>& frames);
    // The next step composes the whole bitmap.
    void reset() { valid_ = false; }
    // Whether the last step composed the whole bitmap.
    bool lastWasWhole() const { return lastWasWhole_; }

private:
    std::vector<TRect> covered_;  // what the frames of the last step covered, clipped
    std::vector<TRect> changed_;
    bool valid_ = false;
    bool lastWasWhole_ = false;
};
