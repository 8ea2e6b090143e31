// FuzzDraw.h: checks a decoded picture's shape and draws it, for the fuzz
// targets; aborts on a broken invariant so the fuzzer reports it.
#pragma once

#include <cstdlib>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"

inline void drawDecoded(TDecodedImage image)
{
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxPictureSide || image.height > kMaxPictureSide
        || static_cast<int64_t>(count) > kMaxPicturePixels || image.pixels.size() != count
        || (!image.transparent.empty() && image.transparent.size() != count))
        std::abort();
    for (uint32_t p : image.pixels)
        if (p >> 24)
            std::abort();
    if (count > 4096)  // drawing big pictures teaches the fuzzer nothing new
        return;
    TBitmap source;
    source.SetPixels(image.width, image.height, std::move(image.pixels));
    TBitmap dest(7, 5);
    TCanvas& canvas = dest.Canvas();
    canvas.CopyMode = cmMergePaint;
    if (image.transparent.empty()) {
        canvas.Draw(-1, -2, source);
        canvas.StretchDraw({-3, 1, 9, 4}, source);
    } else {
        canvas.MaskedCopyRect({-1, -2, source.Width() - 1, source.Height() - 2}, source,
                              {0, 0, source.Width(), source.Height()}, image.transparent.data());
        canvas.MaskedCopyRect({-3, 1, 9, 4}, source, {0, 0, source.Width(), source.Height()},
                              image.transparent.data());
    }
}
