// VideoTest.cpp: sdtool render writing video files, read back with FFmpeg's
// own programs: streams, frames, duration, pictures against the PNG renders,
// and the tune, where it starts and that it is there only with music.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/MidiBuilder.h"
#include "support/TestSupport.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/OfflineTune.h"
#include "tools/sdtool/Pack.h"

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Outcome {
    int status = -1;
    std::string out;  // standard output
};

// Runs a shell command; its standard output as bytes.
Outcome shell(const std::string& command)
{
    Outcome result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kSamplesPerStep = OfflineTune::kSampleRate / 10;

// A rising scale of one note every 250 ms, 4 s in all: every moment sounds
// unlike the others, so an offset in time shows.
std::vector<uint8_t> scaleTune()
{
    TrackBuilder track;
    track.tempo(0, 500000).program(0, 0, 0);
    for (int i = 0; i < 16; ++i)
        track.noteOn(0, 0, 48 + 2 * i).noteOff(240, 0, 48 + 2 * i);
    track.end(0);
    return midiFile(0, 480, {track});
}

class VideoTest : public ::testing::Test {
protected:
    // A show on a stretched picture of many colours, one character walking
    // over it, with the scale tune when music is wanted.
    std::string show(bool music, uint32_t loopTime = 60)
    {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                pixels.push_back(uint32_t((x * 4) | ((y * 5) << 8) | (((x + y) * 2) << 16)));
        TBitmap back;
        back.SetPixels(64, 48, pixels);
        back.SaveToFile((dir_.path() / "back.bmp").string());
        TBitmap frame(12, 12);
        frame.Canvas().BrushColor = 0x00C0FF;
        frame.Canvas().FillRect({0, 0, 12, 12});
        frame.SaveToFile((dir_.path() / "frame.bmp").string());
        Manifest manifest;
        manifest.loopTime = loopTime;
        manifest.backMode = 2;
        manifest.background = (dir_.path() / "back.bmp").string();
        if (music) {
            const std::vector<uint8_t> tune = scaleTune();
            std::ofstream(dir_.path() / "tune.mid", std::ios::binary)
                .write(reinterpret_cast<const char*>(tune.data()), static_cast<std::streamsize>(tune.size()));
            manifest.bgm = (dir_.path() / "tune.mid").string();
            manifest.playBgm = true;
        }
        ManifestCharactor walker;
        walker.transparent = false;
        walker.frames = {(dir_.path() / "frame.bmp").string()};
        for (int i = 0; i < 600; ++i)
            walker.points.emplace_back(0.1 + 0.0013 * i, 0.3 + 0.0008 * i);
        manifest.charactors.push_back(walker);
        const std::string file = (dir_.path() / (music ? "music.sdt" : "quiet.sdt")).string();
        packShow(manifest, file);
        return file;
    }

    // sdtool render with the arguments; its exit status and standard error.
    Outcome render(const std::vector<std::string>& args)
    {
        std::string command = "TMPDIR=" + quoted(dir_.str()) + " XDG_CONFIG_HOME=" + quoted((dir_.path() / "config").string())
                              + " XDG_RUNTIME_DIR= " + quoted(SDTOOL) + " render";
        for (const std::string& arg : args)
            command += " " + quoted(arg);
        return shell(command + " 2>&1 >/dev/null </dev/null");
    }

    fs::path path(const std::string& name) const { return dir_.path() / name; }

    // The picture of one step as sdtool's PNG, as bytes R, G, B.
    std::vector<uint8_t> pngOf(const std::string& file, int step)
    {
        const fs::path png = path("step.png");
        const Outcome made = render({file, "-o", png.string(), "--size", std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                 "--tick", std::to_string(step)});
        EXPECT_EQ(made.status, 0) << made.out;
        TBitmap bitmap;
        LoadPng(png.string(), bitmap);
        std::vector<uint8_t> rgb;
        for (int i = 0; i < bitmap.Width() * bitmap.Height(); ++i) {
            const uint32_t pixel = bitmap.Pixels()[i];
            rgb.insert(rgb.end(), {uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel)});
        }
        return rgb;
    }

    TempDir dir_;
};

nlohmann::json probe(const fs::path& file)
{
    const Outcome probed = shell("ffprobe -v error -count_frames -show_streams -show_format -of json " + quoted(file.string()));
    EXPECT_EQ(probed.status, 0);
    return nlohmann::json::parse(probed.out, nullptr, false);
}

// Frame n of the video, decoded by ffmpeg, as bytes R, G, B.
std::vector<uint8_t> decodedFrame(const fs::path& file, int n)
{
    const Outcome decoded = shell("ffmpeg -v error -i " + quoted(file.string()) + " -vf 'select=eq(n\\," + std::to_string(n)
                            + ")' -vsync 0 -frames:v 1 -pix_fmt rgb24 -f rawvideo -");
    EXPECT_EQ(decoded.status, 0);
    return std::vector<uint8_t>(decoded.out.begin(), decoded.out.end());
}

// The sound track decoded to 16-bit stereo at its own rate.
std::vector<int16_t> decodedAudio(const fs::path& file)
{
    const Outcome decoded = shell("ffmpeg -v error -i " + quoted(file.string()) + " -map 0:a:0 -ac 2 -f s16le -");
    EXPECT_EQ(decoded.status, 0);
    std::vector<int16_t> samples(decoded.out.size() / 2);
    std::memcpy(samples.data(), decoded.out.data(), samples.size() * 2);
    return samples;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i)
        squares += (double(a[i]) - double(b[i])) * (double(a[i]) - double(b[i]));
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / squares);
}

int16_t peakOf(const std::vector<int16_t>& samples, size_t from = 0, size_t to = SIZE_MAX)
{
    int peak = 0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return int16_t(std::min(peak, 32767));
}

double seconds(const nlohmann::json& value)
{
    return value.is_string() ? std::stod(value.get<std::string>()) : -1;
}

}  // namespace

TEST_F(VideoTest, EachFormatHasItsStreamsFramesAndLength)
{
    const std::string withMusic = show(true);
    const std::string withoutMusic = show(false);
    struct Row {
        const char* name;
        const char* video;
        const char* audio;  // "" for none
    };
    const Row rows[] = {
        {"a.mp4", "h264", "aac"}, {"a.webm", "vp9", "opus"}, {"a.mkv", "h264", "flac"}, {"a.gif", "gif", ""}};
    for (const Row& row : rows) {
        for (const bool music : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (music ? " with music" : " without music"));
            const fs::path out = path(row.name);
            const Outcome made = render({music ? withMusic : withoutMusic, "-o", out.string(), "--size", "160x120",
                                     "--ticks", "0-99"});
            ASSERT_EQ(made.status, 0) << made.out;
            const nlohmann::json info = probe(out);
            ASSERT_TRUE(info.contains("streams")) << info;
            const bool sounds = music && row.audio[0] != '\0';
            ASSERT_EQ(info["streams"].size(), sounds ? 2u : 1u) << info;
            for (const nlohmann::json& stream : info["streams"]) {
                if (stream["codec_type"] == "video") {
                    EXPECT_EQ(stream["codec_name"], row.video);
                    EXPECT_EQ(stream["width"], 160);
                    EXPECT_EQ(stream["height"], 120);
                    EXPECT_EQ(stream["nb_read_frames"], "100");
                } else {
                    EXPECT_EQ(stream["codec_type"], "audio");
                    EXPECT_EQ(stream["codec_name"], row.audio);
                    EXPECT_EQ(stream["channels"], 2);
                }
            }
            EXPECT_NEAR(seconds(info["format"]["duration"]), 10.0, 0.1) << info["format"];
            if (sounds) {
                // As long as the video, and sounding.
                const std::vector<int16_t> samples = decodedAudio(out);
                const double rate = std::stod(info["streams"][1]["sample_rate"].get<std::string>());
                EXPECT_NEAR(double(samples.size()) / 2 / rate, 10.0, 0.03);
                EXPECT_GT(peakOf(samples), 1000);
            }
        }
    }
}

TEST_F(VideoTest, LosslessFramesEqualThePngsAndLossyOnesComeClose)
{
    const std::string file = show(true);
    const fs::path mkv = path("exact.mkv");
    ASSERT_EQ(render({file, "-o", mkv.string(), "--size", "160x120", "--ticks", "20-119"}).status, 0);
    for (const int frame : {0, 50, 99}) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(decodedFrame(mkv, frame), pngOf(file, 20 + frame));
    }
    for (const char* name : {"close.mp4", "close.webm"}) {
        SCOPED_TRACE(name);
        const fs::path out = path(name);
        ASSERT_EQ(render({file, "-o", out.string(), "--size", "160x120", "--ticks", "20-119"}).status, 0);
        for (const int frame : {0, 60}) {
            const std::vector<uint8_t> decoded = decodedFrame(out, frame);
            const std::vector<uint8_t> png = pngOf(file, 20 + frame);
            ASSERT_EQ(decoded.size(), png.size());
            EXPECT_GE(psnr(decoded, png), 32.0) << "frame " << frame;
        }
    }
}

TEST_F(VideoTest, TheTuneStartsAtTheFirstStepsTime)
{
    const std::string file = show(true);
    // The tune as the player renders it, in 16-bit stereo as the lossless track stores it.
    OfflineTune tune((dir_.path() / "tune.mid").string());
    const int steps = 80;
    std::vector<float> left(size_t(steps) * kSamplesPerStep), right(left.size());
    tune.render(left.data(), right.data(), int(left.size()));
    std::vector<int16_t> expected;
    for (size_t i = 0; i < left.size(); ++i)
        for (const float v : {left[i], right[i]})
            expected.push_back(int16_t(std::lrint(std::clamp(v * 32768.0f, -32768.0f, 32767.0f))));

    // From step 0, and from step 25 (2.5 s into the tune) on.
    for (const int first : {0, 25}) {
        SCOPED_TRACE(first);
        const fs::path out = path("from-" + std::to_string(first) + ".mkv");
        ASSERT_EQ(render({file, "-o", out.string(), "--size", "32x24", "--ticks",
                          std::to_string(first) + "-" + std::to_string(first + 39)})
                      .status,
                  0);
        const std::vector<int16_t> samples = decodedAudio(out);
        ASSERT_EQ(samples.size(), size_t(40) * kSamplesPerStep * 2);
        const size_t offset = size_t(first) * kSamplesPerStep * 2;
        int worst = 0;
        for (size_t i = 0; i < samples.size(); ++i)
            worst = std::max(worst, std::abs(int(samples[i]) - int(expected[offset + i])));
        EXPECT_LE(worst, 1);
        EXPECT_GT(peakOf(samples), 1000);
    }
}

TEST_F(VideoTest, VideosDefaultToOneLoopAt1280x720)
{
    const std::string file = show(false, 3);
    const fs::path out = path("default.mp4");
    const Outcome made = render({file, "-o", out.string()});
    ASSERT_EQ(made.status, 0) << made.out;
    const nlohmann::json info = probe(out);
    ASSERT_EQ(info["streams"].size(), 1u) << info;
    EXPECT_EQ(info["streams"][0]["width"], 1280);
    EXPECT_EQ(info["streams"][0]["height"], 720);
    EXPECT_EQ(info["streams"][0]["nb_read_frames"], "30");
    EXPECT_EQ(info["streams"][0]["pix_fmt"], "yuv420p");
}

TEST_F(VideoTest, RefusalsSayWhyAndLeaveNoFile)
{
    const std::string file = show(false);
    struct Row {
        std::vector<std::string> args;
        const char* said;
    };
    const Row rows[] = {
        {{"-o", path("odd.mp4").string(), "--size", "161x120"}, "needs an even width and height"},
        {{"-o", path("odd.webm").string(), "--size", "160x121"}, "needs an even width and height"},
        {{"-o", path("x.png").string()}, "--size WxH is needed for .png"},
        {{"-o", path("x.avi").string()}, "it writes .png: a PNG picture"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        std::vector<std::string> args = {file};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Outcome refused = render(args);
        EXPECT_EQ(refused.status, 64);
        EXPECT_NE(refused.out.find(row.said), std::string::npos) << refused.out;
    }
    for (const char* name : {"odd.mp4", "odd.webm", "x.png", "x.avi"})
        EXPECT_FALSE(fs::exists(path(name))) << name;
}

TEST_F(VideoTest, AProgressBarOnATerminalOnly)
{
    const std::string file = show(true, 2);
    const std::string out = path("bar.mp4").string();
    const std::string command = "TMPDIR=" + quoted(dir_.str()) + " XDG_CONFIG_HOME=" + quoted(path("config").string())
                                + " XDG_RUNTIME_DIR= " + quoted(SDTOOL) + " render " + quoted(file) + " -o " + quoted(out)
                                + " --size 64x48";
    // script(1) gives the run a terminal and copies what it writes there.
    const Outcome onTerminal = shell("script -qec " + quoted(command) + " /dev/null </dev/null");
    EXPECT_EQ(onTerminal.status, 0) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find("step 20 of 20, 0:00 left"), std::string::npos) << onTerminal.out;
    const Outcome quiet = shell("script -qec " + quoted(command + " --quiet") + " /dev/null </dev/null");
    EXPECT_EQ(quiet.status, 0) << quiet.out;
    EXPECT_EQ(quiet.out.find("step"), std::string::npos) << quiet.out;
    const Outcome piped = render({file, "-o", out, "--size", "64x48"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, "");
}

TEST_F(VideoTest, TheTuneLoopsAtItsEndFarIntoTheShowToo)
{
    const std::string file = show(true);
    const fs::path out = path("loop.mkv");
    ASSERT_EQ(render({file, "-o", out.string(), "--size", "32x24", "--ticks", "0-79"}).status, 0);
    const std::vector<int16_t> samples = decodedAudio(out);
    ASSERT_EQ(samples.size(), size_t(80) * kSamplesPerStep * 2);
    // The 4 s tune again from 4 s on: past the last note's tail, the second
    // round sounds as the first did, quarter second by quarter second (the
    // notes start at the synthesizer's blocks, so not sample for sample).
    const size_t quarter = size_t(kSamplesPerStep) * 2 * 10 / 4;
    for (size_t w = 2; w < 16; ++w) {
        const int first = peakOf(samples, w * quarter, (w + 1) * quarter);
        const int second = peakOf(samples, (w + 16) * quarter, (w + 17) * quarter);
        EXPECT_GT(first, 1000) << "quarter " << w;
        EXPECT_NEAR(second, first, first / 10) << "quarter " << w;
    }

    // A week into the show the tune is taken up in its latest round at once.
    const fs::path far = path("far.mkv");
    ASSERT_EQ(render({file, "-o", far.string(), "--size", "32x24", "--ticks", "6047980-6047999"}).status, 0);
    const std::vector<int16_t> late = decodedAudio(far);
    EXPECT_EQ(late.size(), size_t(20) * kSamplesPerStep * 2);
    EXPECT_GT(peakOf(late), 1000);
}
