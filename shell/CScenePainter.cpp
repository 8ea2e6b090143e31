// CScenePainter.cpp: the show's step composition, whole-screen and incremental.
#include "shell/CScenePainter.h"

#include <algorithm>
#include <cmath>

#include "platform/Raster.h"

namespace {

// Corners are held within this distance of the origin: far beyond any screen,
// and far from the int range, so no sum with a frame's size can overflow.
constexpr double kFarAway = 1 << 29;

int64_t area(const TRect& r)
{
    return r.IsEmpty() ? 0 : int64_t{r.Width()} * r.Height();
}

int64_t totalArea(const std::vector<TRect>& rects)
{
    int64_t sum = 0;
    for (const TRect& r : rects)
        sum += area(r);
    return sum;
}

bool overlap(const TRect& a, const TRect& b)
{
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

TRect bounds(const TRect& a, const TRect& b)
{
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}

TRect clipTo(int64_t left, int64_t top, int64_t right, int64_t bottom, int width, int height)
{
    return {static_cast<int>(std::clamp<int64_t>(left, 0, width)), static_cast<int>(std::clamp<int64_t>(top, 0, height)),
            static_cast<int>(std::clamp<int64_t>(right, 0, width)), static_cast<int>(std::clamp<int64_t>(bottom, 0, height))};
}

// What drawing the frame's mask and graphic touches in a width x height bitmap.
TRect coveredBy(const TFramePlacement& frame, int width, int height)
{
    const int64_t right = int64_t{frame.Left} + std::max(frame.Graphic->Width(), frame.Mask->Width());
    const int64_t bottom = int64_t{frame.Top} + std::max(frame.Graphic->Height(), frame.Mask->Height());
    return clipTo(frame.Left, frame.Top, right, bottom, width, height);
}

// The pixels of a graphic that draws as a plain bitmap at its own size; none
// for a graphic that draws otherwise (an icon with transparent pixels).
const TBitmap* plainPixels(const TGraphic& graphic)
{
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(&graphic))
        return bitmap;
    if (const auto* decoded = dynamic_cast<const TDecodedGraphic*>(&graphic))
        return &decoded->Image();
    if (const auto* icon = dynamic_cast<const TIcon*>(&graphic); icon != nullptr && icon->TransparentMask().empty()
                                                          && icon->Alpha().empty())
        return &icon->Image();
    return nullptr;
}

void drawThroughCanvas(TBitmap& draw, const TFramePlacement& frame)
{
    TCanvas& canvas = draw.Canvas();
    canvas.CopyMode = cmSrcPaint;
    canvas.Draw(frame.Left, frame.Top, *frame.Mask);
    canvas.CopyMode = cmSrcAnd;
    canvas.Draw(frame.Left, frame.Top, *frame.Graphic);
    canvas.CopyMode = cmSrcCopy;
}

// Mask and frame row by row, both while the row is in the cache; the same
// pixels as the two canvas copies.
void drawFrame(TBitmap& draw, const TFramePlacement& frame)
{
    const TBitmap* pixels = plainPixels(*frame.Graphic);
    const TBitmap& mask = *frame.Mask;
    if (pixels == nullptr || pixels->Width() != mask.Width() || pixels->Height() != mask.Height()) {
        drawThroughCanvas(draw, frame);
        return;
    }
    const TRect clip = clipTo(frame.Left, frame.Top, int64_t{frame.Left} + mask.Width(),
                              int64_t{frame.Top} + mask.Height(), draw.Width(), draw.Height());
    if (clip.IsEmpty())
        return;
    const auto count = static_cast<size_t>(clip.Width());
    const int sourceX = clip.Left - frame.Left;
    for (int y = clip.Top; y < clip.Bottom; ++y) {
        uint32_t* row = draw.ScanLine(y) + clip.Left;
        const int sourceY = y - frame.Top;
        Raster::OrRow(row, mask.ScanLine(sourceY) + sourceX, count);
        Raster::AndRow(row, pixels->ScanLine(sourceY) + sourceX, count);
    }
}

void restore(TBitmap& draw, const TBitmap& back, const TRect& rect)
{
    const auto count = static_cast<size_t>(rect.Width());
    for (int y = rect.Top; y < rect.Bottom; ++y)
        Raster::CopyRow(draw.ScanLine(y) + rect.Left, back.ScanLine(y) + rect.Left, count);
}

}  // namespace

std::optional<TFrameOrigin> placeFrame(const TDoublePoint& point, int windowWidth, int windowHeight, int frameWidth,
                                       int frameHeight)
{
    if (!std::isfinite(point.x) || !std::isfinite(point.y))
        return std::nullopt;
    const auto cut = [](double value) {
        return static_cast<int>(std::clamp(std::trunc(value), -kFarAway, kFarAway));
    };
    return TFrameOrigin{cut(static_cast<double>(windowWidth) * point.x - static_cast<double>(frameWidth / 2)),
                        cut(static_cast<double>(windowHeight) * point.y - static_cast<double>(frameHeight / 2))};
}

std::vector<TFramePlacement> framesForStep(const TCharactorList& list, int32_t loopTick, int32_t frameCounter,
                                           int windowWidth, int windowHeight)
{
    std::vector<TFramePlacement> frames;
    for (int32_t i = 0; i < list.getCount(); ++i) {
        const TCharactor* charactor = list.getCharactor(i);
        const TDoublePoint* point = charactor != nullptr ? charactor->getPoint(loopTick) : nullptr;
        if (point == nullptr)
            continue;
        const int32_t count = charactor->getGraphicCount();
        if (count <= 0)
            continue;
        // Never negative, also once the step counter has wrapped round.
        const int32_t slot = (frameCounter % count + count) % count;
        const TGraphic* graphic = charactor->getGraphic(slot);
        const TBitmap* mask = charactor->getMask(slot);
        if (graphic == nullptr || mask == nullptr)
            continue;
        const auto origin = placeFrame(*point, windowWidth, windowHeight, graphic->Width(), graphic->Height());
        if (!origin)
            continue;
        frames.push_back({graphic, mask, origin->Left, origin->Top});
    }
    return frames;
}

void renderReference(TBitmap& draw, const TBitmap& back, const std::vector<TFramePlacement>& frames)
{
    TCanvas& canvas = draw.Canvas();
    canvas.CopyMode = cmSrcCopy;
    canvas.Draw(0, 0, back);
    for (const TFramePlacement& frame : frames)
        drawThroughCanvas(draw, frame);
}

std::vector<TRect> mergeOverlapping(std::vector<TRect> rects)
{
    std::erase_if(rects, [](const TRect& r) { return r.IsEmpty(); });
    // A pass grows each rectangle by every later one it overlaps; a grown
    // rectangle may meet an earlier one, so passes repeat until one merges nothing.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < rects.size(); ++i)
            for (size_t j = i + 1; j < rects.size();) {
                if (!overlap(rects[i], rects[j])) {
                    ++j;
                    continue;
                }
                rects[i] = bounds(rects[i], rects[j]);
                rects[j] = rects.back();
                rects.pop_back();
                j = i + 1;
                merged = true;
            }
    }
    return rects;
}

const std::vector<TRect>& TScenePainter::paint(TBitmap& draw, const TBitmap& back,
                                               const std::vector<TFramePlacement>& frames)
{
    const int width = draw.Width();
    const int height = draw.Height();
    std::vector<TRect> covering;
    for (const TFramePlacement& frame : frames)
        if (const TRect r = coveredBy(frame, width, height); !r.IsEmpty())
            covering.push_back(r);

    const bool sameSize = back.Width() == width && back.Height() == height;
    bool whole = !valid_ || !sameSize;
    std::vector<TRect> restoring;
    if (!whole) {
        restoring = mergeOverlapping(covered_);
        std::vector<TRect> both = covered_;
        both.insert(both.end(), covering.begin(), covering.end());
        changed_ = mergeOverlapping(std::move(both));
        // The whole-screen way copies the screen twice (background in,
        // picture out) in long rows; rectangles that add up to more than
        // half of that cost as much in their shorter rows (measured in
        // bench_show_step).
        const int64_t screen = int64_t{width} * height;
        whole = (totalArea(restoring) + totalArea(changed_)) > screen;
    }

    lastWasWhole_ = whole;
    if (whole) {
        if (sameSize)
            Raster::CopyRow(draw.Pixels(), back.Pixels(), static_cast<size_t>(width) * static_cast<size_t>(height));
        else
            renderReference(draw, back, {});
        changed_.assign(1, TRect{0, 0, width, height});
        std::erase_if(changed_, [](const TRect& r) { return r.IsEmpty(); });
    } else {
        for (const TRect& r : restoring)
            restore(draw, back, r);
    }
    for (const TFramePlacement& frame : frames)
        drawFrame(draw, frame);
    covered_ = std::move(covering);
    valid_ = sameSize;
    return changed_;
}
