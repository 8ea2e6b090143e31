// make_demo_assets.cpp: draws the demo show's pictures, writes its tune and its sdtool manifest.
//
// Usage: make_demo_assets OUTDIR
// Everything is made here by code, deterministically: the same bytes on every run.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Every demo frame is keyed on white: the show lets the scene through a
// non-white key only filtered by it (scene AND key), which would leave a
// tinted box round the character.
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
// Inside a white-keyed frame, pure white would let the scene through.
constexpr Rgb kOffWhite{246, 246, 246};

Rgb mix(Rgb a, Rgb b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [t](uint8_t x, uint8_t y) { return uint8_t(std::lround(x + (y - x) * t)); };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// A picture in memory, row 0 at the top. Shapes have hard edges on purpose:
// a blended edge pixel near the key colour would show as a fringe.
class Canvas {
public:
    Canvas(int width, int height, Rgb fill) : width_(width), height_(height), pixels_(size_t(width * height), fill) {}
    int width() const { return width_; }
    int height() const { return height_; }
    Rgb at(int x, int y) const { return pixels_[size_t(y * width_ + x)]; }
    void set(int x, int y, Rgb c)
    {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[size_t(y * width_ + x)] = c;
    }
    template <typename Inside>
    void fillWhere(Inside inside, Rgb c)
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (inside(x + 0.5, y + 0.5)) set(x, y, c);
    }
    void ellipse(double cx, double cy, double rx, double ry, Rgb c)
    {
        fillWhere([&](double x, double y) { return sq((x - cx) / rx) + sq((y - cy) / ry) <= 1.0; }, c);
    }
    void circle(double cx, double cy, double r, Rgb c) { ellipse(cx, cy, r, r, c); }
    void polygon(const std::vector<std::pair<double, double>>& pts, Rgb c)
    {
        fillWhere([&](double x, double y) { return insidePolygon(pts, x, y); }, c);
    }

    // 24-bit BMP, bottom-up rows padded to four bytes.
    void writeBmp(const fs::path& path) const
    {
        const uint32_t rowBytes = uint32_t((width_ * 3 + 3) & ~3);
        const uint32_t imageBytes = rowBytes * uint32_t(height_);
        std::vector<uint8_t> out;
        auto u16 = [&out](uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); };
        auto u32 = [&out](uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); };
        out.push_back('B');
        out.push_back('M');
        u32(14 + 40 + imageBytes);
        u32(0);
        u32(14 + 40);
        u32(40);
        u32(uint32_t(width_));
        u32(uint32_t(height_));
        u16(1);
        u16(24);
        u32(0);  // no compression
        u32(imageBytes);
        u32(2835);  // 72 dots per inch
        u32(2835);
        u32(0);
        u32(0);
        for (int y = height_ - 1; y >= 0; --y) {
            const size_t rowStart = out.size();
            for (int x = 0; x < width_; ++x) {
                const Rgb c = at(x, y);
                out.insert(out.end(), {c.b, c.g, c.r});
            }
            out.resize(rowStart + rowBytes, 0);
        }
        writeFile(path, out);
    }

    static void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!f) throw std::runtime_error("cannot write " + path.string());
    }

private:
    static double sq(double v) { return v * v; }
    static bool insidePolygon(const std::vector<std::pair<double, double>>& pts, double x, double y)
    {
        bool inside = false;
        for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
            const auto [xi, yi] = pts[i];
            const auto [xj, yj] = pts[j];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
        }
        return inside;
    }

    int width_, height_;
    std::vector<Rgb> pixels_;
};

// ---- Pictures ----

Canvas drawBackground()
{
    Canvas c(640, 400, kBlack);
    const Rgb zenith{38, 84, 170}, horizon{176, 214, 240};
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.set(x, y, mix(zenith, horizon, y / 280.0));
    c.circle(522, 78, 40, {255, 236, 150});
    c.circle(522, 78, 32, {255, 224, 90});
    // Clouds: a few overlapping puffs each.
    const Rgb cloud{244, 247, 252};
    for (auto [cx, cy] : std::array<std::pair<double, double>, 3>{{{120, 70}, {330, 120}, {600, 170}}}) {
        c.ellipse(cx, cy, 46, 16, cloud);
        c.circle(cx - 20, cy - 10, 18, cloud);
        c.circle(cx + 12, cy - 14, 22, cloud);
    }
    // Far hills, then near hills, each a little darker towards the bottom.
    auto hill = [&c](double base, double a1, double f1, double a2, double f2, Rgb top, Rgb bottom) {
        for (int x = 0; x < c.width(); ++x) {
            const double ridge = base + a1 * std::sin(x * f1) + a2 * std::sin(x * f2 + 1.3);
            for (int y = int(std::ceil(ridge)); y < c.height(); ++y)
                c.set(x, y, mix(top, bottom, (y - ridge) / (c.height() - ridge)));
        }
    };
    hill(262, 22, 0.011, 9, 0.031, {104, 160, 112}, {70, 120, 84});
    hill(318, 16, 0.017, 7, 0.043, {86, 170, 70}, {40, 108, 42});
    // Flowers scattered over the near hills (a fixed pseudo-random sequence).
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % range);
    };
    for (int i = 0; i < 48; ++i) {
        const int x = next(640);
        const int y = 352 + next(44);
        const Rgb petal = (i % 3 == 0) ? Rgb{240, 90, 110} : (i % 3 == 1) ? Rgb{250, 220, 80} : Rgb{200, 150, 240};
        c.circle(x, y, 3, petal);
        c.set(x, y, {250, 250, 210});
    }
    return c;
}

// A green blob walking: it squashes and stretches while its feet take turns.
Canvas drawBlob(int frame)
{
    Canvas c(64, 64, kWhite);
    const double phase = frame * kPi / 2;  // four frames a step cycle
    const double squash = std::sin(phase);
    const double rx = 24 + 3 * squash, ry = 21 - 3 * squash;
    const double cy = 60 - 6 - ry;
    const Rgb outline{24, 96, 40}, body{72, 190, 88}, shine{150, 230, 160};
    const double footShift = 7 * std::cos(phase);
    c.ellipse(32 - 10 + footShift, 57, 8, 4, outline);
    c.ellipse(32 + 10 - footShift, 57, 8, 4, outline);
    c.ellipse(32, cy, rx + 2, ry + 2, outline);
    c.ellipse(32, cy, rx, ry, body);
    c.ellipse(24, cy - ry * 0.45, 6, 3.5, shine);
    for (int side : {-1, 1}) {
        c.ellipse(32 + side * 8, cy - 3, 5, 6, kOffWhite);
        c.circle(32 + side * 8 + 1.5, cy - 2, 2.6, kBlack);
    }
    c.ellipse(32, cy + ry * 0.45, 5, 2 + squash, outline);  // mouth
    return c;
}

// A red bird flapping: wing up, level, down, level.
Canvas drawBird(int frame)
{
    Canvas c(80, 56, kWhite);
    const Rgb body{206, 52, 44}, dark{120, 24, 24}, belly{246, 190, 120}, beak{250, 196, 40};
    const double wingTip[4] = {-20, 0, 18, 0};
    const double tipY = 28 + wingTip[frame % 4];
    c.ellipse(38, 30, 20, 12, dark);
    c.ellipse(38, 30, 18, 10, body);
    c.ellipse(40, 34, 11, 5, belly);
    c.polygon({{18, 26}, {6, 20}, {8, 32}, {18, 32}}, dark);  // tail
    c.circle(58, 24, 9, dark);
    c.circle(58, 24, 7.5, body);
    c.polygon({{65, 21}, {76, 25}, {65, 28}}, beak);
    c.circle(60, 22, 2.2, kBlack);
    c.set(61, 21, kOffWhite);
    // The wing tapers from the shoulder to its tip.
    c.polygon({{30, 29}, {49, 29}, {36, tipY + 3}, {24, tipY}}, dark);
    c.polygon({{33, 30}, {46, 30}, {35, tipY + 2}, {27, tipY + 0.5}}, {230, 90, 70});
    return c;
}

// A five-pointed star turning: six frames of 12 degrees make a smooth fifth of a turn.
Canvas drawStar(int frame)
{
    Canvas c(64, 64, kWhite);
    auto star = [](double radius, double inner, double turn) {
        std::vector<std::pair<double, double>> pts;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2 == 0) ? radius : inner;
            const double a = -kPi / 2 + turn + i * kPi / 5;
            pts.emplace_back(32 + r * std::cos(a), 32 + r * std::sin(a));
        }
        return pts;
    };
    const double turn = frame * 12.0 * kPi / 180.0;
    c.polygon(star(30, 13, turn), {214, 120, 20});
    c.polygon(star(26, 11, turn), {252, 214, 48});
    c.polygon(star(14, 6, turn), {255, 240, 150});
    return c;
}

// ---- Tune ----

// A standard MIDI file, format 0: all channels in one track.
class MidiTune {
public:
    explicit MidiTune(int division) : division_(division) {}
    void event(uint32_t tick, std::vector<uint8_t> bytes, int order = 1) { events_.push_back({tick, order, std::move(bytes)}); }
    void note(uint32_t tick, uint32_t length, int channel, int key, int velocity)
    {
        event(tick, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)}, 1);
        event(tick + length, {uint8_t(0x80 | channel), uint8_t(key), 0x40}, 0);  // offs before ons at a tick
    }
    std::vector<uint8_t> bytes(uint32_t endTick)
    {
        std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<uint8_t> track;
        uint32_t now = 0;
        for (const Event& e : events_) {
            varLen(track, e.tick - now);
            now = e.tick;
            track.insert(track.end(), e.bytes.begin(), e.bytes.end());
        }
        varLen(track, endTick - now);
        track.insert(track.end(), {0xFF, 0x2F, 0x00});
        std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1,
                                    uint8_t(division_ >> 8), uint8_t(division_)};
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(track.size() >> shift));
        out.insert(out.end(), track.begin(), track.end());
        return out;
    }

private:
    struct Event {
        uint32_t tick;
        int order;
        std::vector<uint8_t> bytes;
    };
    static void varLen(std::vector<uint8_t>& out, uint32_t v)
    {
        uint8_t groups[5];
        int n = 0;
        do {
            groups[n++] = uint8_t(v & 0x7F);
            v >>= 7;
        } while (v);
        while (n > 1) out.push_back(uint8_t(groups[--n] | 0x80));
        out.push_back(groups[0]);
    }
    int division_;
    std::vector<Event> events_;
};

// Eight bars in C major at 112 beats a minute: vibraphone tune, electric
// piano chords, bass and a light kit. It ends on the tonic so that it loops.
std::vector<uint8_t> composeTune()
{
    constexpr uint32_t Q = 480, E = Q / 2, H = 2 * Q, Bar = 4 * Q;
    MidiTune t(Q);
    t.event(0, {0xFF, 0x03, 10, 'L', 'u', 'r', 'v', 'a', ' ', 'd', 'e', 'm', 'o'}, 0);
    const uint32_t tempo = 60000000 / 112;
    t.event(0, {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)}, 0);
    t.event(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}, 0);  // 4/4
    t.event(0, {0xC0, 11}, 0);                       // melody: vibraphone
    t.event(0, {0xC1, 33}, 0);                       // bass: fingered electric bass
    t.event(0, {0xC2, 4}, 0);                        // chords: electric piano
    t.event(0, {0xB2, 7, 70}, 0);                    // chords a little softer

    // Melody: (length, key) per bar; key 0 is a rest.
    const std::vector<std::vector<std::pair<uint32_t, int>>> melody = {
        {{Q, 64}, {Q, 67}, {H, 72}},
        {{E, 71}, {E, 72}, {Q, 69}, {H, 64}},
        {{Q, 65}, {Q, 69}, {Q, 72}, {E, 74}, {E, 72}},
        {{H, 71}, {Q, 67}, {Q, 0}},
        {{Q, 64}, {Q, 67}, {Q, 72}, {Q, 76}},
        {{E, 74}, {E, 72}, {Q, 69}, {H, 72}},
        {{Q, 74}, {Q, 77}, {E, 76}, {E, 74}, {Q, 71}},
        {{H + Q, 72}, {Q, 0}},
    };
    // Chords per half bar: root for the bass, then the chord's notes.
    const std::vector<std::array<int, 4>> chords = {
        {48, 60, 64, 67}, {48, 60, 64, 67}, {45, 57, 60, 64}, {45, 57, 60, 64},
        {41, 57, 60, 65}, {41, 57, 60, 65}, {43, 59, 62, 67}, {43, 59, 62, 67},
        {48, 60, 64, 67}, {48, 60, 64, 67}, {45, 57, 60, 64}, {45, 57, 60, 64},
        {50, 57, 62, 65}, {43, 59, 62, 67}, {48, 60, 64, 67}, {48, 55, 60, 64},
    };
    for (size_t bar = 0; bar < melody.size(); ++bar) {
        uint32_t tick = uint32_t(bar) * Bar;
        for (auto [length, key] : melody[bar]) {
            if (key) t.note(tick, length - 24, 0, key, 96);
            tick += length;
        }
    }
    for (size_t half = 0; half < chords.size(); ++half) {
        const uint32_t tick = uint32_t(half) * H;
        const auto& ch = chords[half];
        t.note(tick, Q - 30, 1, ch[0] - 12, 90);
        t.note(tick + Q, Q - 30, 1, ch[0] - 12 + ((half % 2) ? 7 : 0), 80);
        for (int i = 1; i < 4; ++i) t.note(tick, H - 40, 2, ch[size_t(i)], 56);
    }
    constexpr int kKick = 36, kSnare = 38, kHat = 42;
    for (uint32_t beat = 0; beat < 8 * 4; ++beat) {
        const uint32_t tick = beat * Q;
        t.note(tick, 60, 9, (beat % 2 == 0) ? kKick : kSnare, (beat % 2 == 0) ? 92 : 70);
        t.note(tick, 60, 9, kHat, 52);
        t.note(tick + E, 60, 9, kHat, 36);
    }
    return t.bytes(8 * Bar);
}

// ---- Paths: 600 points, fractions of the screen, where each frame's centre goes ----

using Path = std::vector<std::array<double, 2>>;
constexpr int kPathPoints = 600;

double round4(double v)
{
    return std::round(v * 10000.0) / 10000.0;
}

// A path coordinate as JSON: at most four decimals, no exponent.
std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// Walks from off the left edge to off the right edge along the near hills, bobbing.
Path sineWalk()
{
    Path p;
    for (int i = 0; i < kPathPoints; ++i) {
        const double t = i / double(kPathPoints - 1);
        p.push_back({round4(-0.08 + 1.16 * t), round4(0.83 + 0.025 * std::sin(2 * kPi * i / 50.0))});
    }
    return p;
}

// One turn round a circle in the sky (rounder on a 16:10 screen than the numbers look).
Path circle()
{
    Path p;
    for (int i = 0; i < kPathPoints; ++i) {
        const double a = 2 * kPi * i / kPathPoints;
        p.push_back({round4(0.5 + 0.22 * std::cos(a)), round4(0.36 + 0.3 * std::sin(a))});
    }
    return p;
}

// Flies diagonally and bounces off the screen's edges.
Path diagonalBounce()
{
    Path p;
    double x = 0.12, y = 0.2, dx = 0.0093, dy = 0.0131;
    const double lo = 0.06, hiX = 0.94, hiY = 0.92;
    for (int i = 0; i < kPathPoints; ++i) {
        p.push_back({round4(x), round4(y)});
        x += dx;
        y += dy;
        if (x < lo || x > hiX) {
            dx = -dx;
            x = std::clamp(x, lo, hiX);
        }
        if (y < lo || y > hiY) {
            dy = -dy;
            y = std::clamp(y, lo, hiY);
        }
    }
    return p;
}

struct Character {
    std::string name;
    int frameCount;
    Canvas (*draw)(int);
    Path path;
};

constexpr const char* kUsage =
    "Usage: make_demo_assets OUTDIR\n"
    "\n"
    "Draws the demo show's pictures and tune into OUTDIR (created when missing)\n"
    "and writes OUTDIR/demo.json, ready for 'sdtool pack OUTDIR/demo.json -o demo.sdt'.\n"
    "Files of the same names in OUTDIR are replaced.\n"
    "\n"
    "Exit status: 0 written; 1 a file could not be written; 2 wrong arguments.\n";

}  // namespace

int main(int argc, char** argv)
{
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // An option is never taken for a folder name: "--help" must not become a folder.
    if (argc != 2 || first.empty() || first[0] == '-') {
        if (argc == 2) std::fprintf(stderr, "make_demo_assets: unknown option '%s'\n", argv[1]);
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        const fs::path out = argv[1];
        fs::create_directories(out);

        drawBackground().writeBmp(out / "back.bmp");
        Canvas::writeFile(out / "tune.mid", composeTune());

        const Character characters[] = {
            {"blob", 4, &drawBlob, sineWalk()},
            {"bird", 4, &drawBird, circle()},
            {"star", 6, &drawStar, diagonalBounce()},
        };
        std::string json = "{\n";
        json += " \"version\": 120,\n \"loopTime\": 60,\n";
        json += " \"setting\": {\"backMode\": 2, \"backColor\": 0, \"playBgm\": true, \"bgmName\": \"Lurva demo\"},\n";
        json += " \"background\": \"back.bmp\",\n \"bgm\": \"tune.mid\",\n \"charactors\": [\n";
        for (size_t c = 0; c < std::size(characters); ++c) {
            const Character& ch = characters[c];
            json += "  {\"name\": \"" + ch.name + "\", \"transparent\": true,\n   \"frames\": [";
            for (int f = 0; f < ch.frameCount; ++f) {
                const std::string file = ch.name + std::to_string(f) + ".bmp";
                ch.draw(f).writeBmp(out / file);
                json += (f ? ", \"" : "\"") + file + "\"";
            }
            json += "],\n   \"points\": [";
            for (size_t i = 0; i < ch.path.size(); ++i) {
                json += (i == 0 ? "" : (i % 6 == 0) ? ",\n    " : ", ");
                json += "[" + number(ch.path[i][0]) + ", " + number(ch.path[i][1]) + "]";
            }
            json += "]}";
            json += (c + 1 < std::size(characters)) ? ",\n" : "\n";
        }
        json += " ]\n}\n";
        Canvas::writeFile(out / "demo.json", std::vector<uint8_t>(json.begin(), json.end()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_demo_assets: %s\n", e.what());
        return 1;
    }
    return 0;
}
