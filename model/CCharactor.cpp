// CCharactor.cpp: a character's path, frames and the colour-key masks built
// once per frame, so that drawing a frame costs two raster copies a tick.
#include "model/CCharactor.h"

#include "config/CData.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

namespace {
const char* const kRangeErrorText = "setGraphic : 範囲エラーです";
}

TCharactor::TCharactor()
{
    clearPoints();
}

TCharactor::~TCharactor() = default;

void TCharactor::clearPoints()
{
    points_.assign(kPointCount, kNoPosition);
}

void TCharactor::setPoint(int32_t index, double x, double y)
{
    if (index >= 0 && index < getPointCount())
        points_[static_cast<size_t>(index)] = {x, y};
}

const TDoublePoint* TCharactor::getPoint(int32_t index) const
{
    if (index < 0 || index >= getPointCount())
        return nullptr;
    return &points_[static_cast<size_t>(index)];
}

void TCharactor::loadGraphic(int32_t slot, const std::string& path)
{
    if (!validSlot(slot)) {
        ShowMessage(kRangeErrorText);
        return;
    }
    graphicFile_[static_cast<size_t>(slot)] = copyFileTo(path, getWorkDir() + ExtractFileName(path));
    auto picture = std::make_unique<TPicture>();
    picture->LoadFromFile(path);
    setGraphic(slot, std::move(picture));
}

void TCharactor::setGraphic(int32_t slot, std::unique_ptr<TPicture> picture)
{
    if (!validSlot(slot)) {
        ShowMessage(kRangeErrorText);
        return;
    }
    const auto i = static_cast<size_t>(slot);
    mask_[i].reset();
    picture_[i] = std::move(picture);
    if (!picture_[i])
        return;

    // W: the frame drawn onto a fresh (white) bitmap, so pixels an icon
    // leaves transparent read white.
    const TGraphic* graphic = picture_[i]->Graphic();
    const int width = graphic ? graphic->Width() : 0;
    const int height = graphic ? graphic->Height() : 0;
    TBitmap frame(width, height);
    if (graphic)
        frame.Canvas().Draw(0, 0, *graphic);

    auto mask = std::make_unique<TBitmap>(width, height);
    TCanvas& canvas = mask->Canvas();
    const TRect whole{0, 0, width, height};
    if (transparent_ && width > 0 && height > 0) {
        // Pixels of the key colour K (the top-left one) become NOT K, all
        // others white: OR-ing the mask and AND-ing the frame onto the scene
        // then lets the scene show through the key colour.
        canvas.Draw(0, 0, frame);
        const TColor key = canvas.Pixel(0, 0);
        canvas.BrushColor = key ^ 0xFFFFFF;
        canvas.BrushCopy(whole, frame, whole, key);
        canvas.CopyMode = cmMergePaint;
        canvas.CopyRect(whole, frame, whole);
        canvas.CopyMode = cmSrcCopy;
    } else {
        canvas.PenColor = clWhite;
        canvas.BrushColor = clWhite;
        canvas.Rectangle(0, 0, width, height);
    }
    mask_[i] = std::move(mask);
}

int32_t TCharactor::getGraphicCount() const
{
    int32_t count = 0;
    while (count < kSlotCount && picture_[static_cast<size_t>(count)])
        ++count;
    return count;
}

const TGraphic* TCharactor::getGraphic(int32_t slot) const
{
    if (!validSlot(slot) || !picture_[static_cast<size_t>(slot)])
        return nullptr;
    return picture_[static_cast<size_t>(slot)]->Graphic();
}

const TBitmap* TCharactor::getMask(int32_t slot) const
{
    return validSlot(slot) ? mask_[static_cast<size_t>(slot)].get() : nullptr;
}

const std::string& TCharactor::getGraphicFile(int32_t slot) const
{
    static const std::string none;
    return validSlot(slot) ? graphicFile_[static_cast<size_t>(slot)] : none;
}
