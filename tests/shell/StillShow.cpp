// StillShow.cpp: the still show and the helpers of the screen comparisons.
#include "shell/StillShow.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/Graphics.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/Pack.h"

std::string PackStillShow(const std::filesystem::path& dir, const std::string& backgroundFile)
{
    TBitmap block(90, 60);
    block.Canvas().BrushColor = 0x2060C0;
    block.Canvas().FillRect({0, 0, 90, 60});
    block.SaveToFile((dir / "block.bmp").string());
    TBitmap ring(50, 50);  // white all round, the key; a red disc inside
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            if ((x - 25) * (x - 25) + (y - 25) * (y - 25) < 20 * 20)
                ring.Canvas().SetPixel(x, y, 0x0000E0);
    ring.SaveToFile((dir / "ring.bmp").string());

    Manifest manifest;
    manifest.backMode = 2;
    manifest.background = backgroundFile;
    ManifestCharactor opaque;
    opaque.transparent = false;
    opaque.frames = {(dir / "block.bmp").string()};
    opaque.points.assign(600, {0.4, 0.5});
    ManifestCharactor keyed;
    keyed.transparent = true;
    keyed.frames = {(dir / "ring.bmp").string()};
    keyed.points.assign(600, {0.45, 0.55});
    manifest.charactors = {opaque, keyed};
    const std::string file = (dir / "still.sdt").string();
    packShow(manifest, file);
    return file;
}

std::string ShellQuoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool ProcessRunning(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

size_t DifferingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance)
{
    if (a.size() != b.size())
        return std::max(a.size(), b.size());
    size_t wrong = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int shift = 0; shift <= 16; shift += 8) {
            const int x = static_cast<int>((a[i] >> shift) & 0xFF);
            const int y = static_cast<int>((b[i] >> shift) & 0xFF);
            if (std::abs(x - y) > tolerance) {
                ++wrong;
                break;
            }
        }
    }
    return wrong;
}
