// Thumbnail.cpp: sdtool thumbnail: the show played on a virtual screen at
// its busiest step, scaled down to the size a file manager asks for.
#include "tools/sdtool/Thumbnail.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "model/CCharactor.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "shell/CMain.h"
#include "shell/CScenePainter.h"
#include "tools/sdtool/Cli.h"
#include "tools/sdtool/Output.h"
#include "tools/sdtool/Render.h"

const char* const kThumbnailHelp = R"(Usage: sdtool thumbnail IN OUT --size N

Writes OUT, a PNG picture of the show IN whose longer side is N pixels (1 to
4096), as a file manager's thumbnailer asks for one. The show is played
without a display on a 4:3 screen (1024x768, or N wide when N is larger),
at the first step where most of its characters are on screen, and the
picture is scaled down to N x 3N/4. OUT is written as PNG whatever its name,
under a temporary name beside it and renamed when complete; it may not be IN.
Your settings, "System.ini" and work directory are not touched, and no music
is played.

  --size N   the longer side of the picture, in pixels

)";

namespace {

constexpr int kMaxThumbnailSide = 4096;
// A screen of the size most shows were made for.
constexpr int kScreenWidth = 1024;

bool frameOnScreen(const TFramePlacement& frame, int width, int height)
{
    const int frameWidth = frame.Graphic->Width();
    const int frameHeight = frame.Graphic->Height();
    return frame.Left < width && frame.Top < height && frame.Left > -frameWidth && frame.Top > -frameHeight;
}

}  // namespace

int64_t busiestStep(const TCharactorList& list, int width, int height)
{
    int64_t best = 0;
    size_t mostOnScreen = 0;
    for (int32_t step = 0; step < TCharactor::kPointCount; ++step) {
        const auto frames = framesForStep(list, step, step / 10, width, height);
        const auto onScreen = static_cast<size_t>(
            std::count_if(frames.begin(), frames.end(), [&](const TFramePlacement& f) { return frameOnScreen(f, width, height); }));
        if (onScreen > mostOnScreen) {
            mostOnScreen = onScreen;
            best = step;
        }
    }
    return best;
}

THeadlessPicture scaleDown(const THeadlessPicture& picture, int width, int height)
{
    width = std::clamp(width, 1, std::max(picture.Width, 1));
    height = std::clamp(height, 1, std::max(picture.Height, 1));
    THeadlessPicture scaled{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * static_cast<size_t>(height))};
    for (int y = 0; y < height; ++y) {
        const int y0 = static_cast<int>(int64_t{y} * picture.Height / height);
        const int y1 = std::max(y0 + 1, static_cast<int>(int64_t{y + 1} * picture.Height / height));
        for (int x = 0; x < width; ++x) {
            const int x0 = static_cast<int>(int64_t{x} * picture.Width / width);
            const int x1 = std::max(x0 + 1, static_cast<int>(int64_t{x + 1} * picture.Width / width));
            uint64_t sums[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    const uint32_t pixel = picture.Pixel(sx, sy);
                    for (int channel = 0; channel < 4; ++channel)
                        sums[channel] += (pixel >> (8 * channel)) & 0xFFu;
                }
            const auto count = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
            uint32_t average = 0;
            for (int channel = 0; channel < 4; ++channel)
                average |= static_cast<uint32_t>((sums[channel] + count / 2) / count) << (8 * channel);
            scaled.Pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = average;
        }
    }
    return scaled;
}

int runThumbnail(const std::vector<std::string>& args)
{
    RenderRequest request;
    std::string out;
    int side = 0;
    try {
        const ParsedArgs parsed = parseArgs(args, {{"--size", true}});
        if (parsed.help) {
            std::fputs(kThumbnailHelp, stdout);
            std::fputs(kExitStatusHelp, stdout);
            return kExitOk;
        }
        if (parsed.operands.size() != 2 || !parsed.has("--size"))
            throw UsageError(parsed.operands.size() > 2 ? "unexpected argument '" + parsed.operands[2] + "'"
                                                        : std::string("IN, OUT and --size N are needed"));
        request.file = parsed.operands[0];
        out = parsed.operands[1];
        const std::string& text = parsed.options.at("--size");
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), side);
        if (error != std::errc() || end != text.data() + text.size() || side < 1 || side > kMaxThumbnailSide)
            throw UsageError("--size wants a number of pixels from 1 to " + std::to_string(kMaxThumbnailSide) + ", not \""
                             + text + "\"");
        if (out.empty())
            throw UsageError("OUT wants a file name");
        refuseOutputAmongInputs(out, {request.file});
    } catch (const UsageError& e) {
        return usageFailure("thumbnail", e.what(), kThumbnailHelp);
    }

    request.width = std::max(kScreenWidth, side);
    request.height = request.width * 3 / 4;
    request.chooseStep = busiestStep;
    const int thumbnailHeight = std::max(1, (side * 3 + 2) / 4);
    try {
        renderShow(request, [&](int64_t, const THeadlessPicture& picture) {
            writePngFrame(scaleDown(picture, side, thumbnailHeight), out);
        });
    } catch (const std::exception&) {
        return reportRenderFailure("thumbnail");
    }
    return kExitOk;
}
