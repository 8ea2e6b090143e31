// SdtoolTest.cpp: the sdtool program: pack then info round trips (tagged and
// old layout), the exact bytes pack writes, exit statuses, refused manifests,
// help texts, and the private work directory that leaves nothing behind.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "datafile/CFileManage.h"
#include "datafile/DataFileBuilder.h"
#include "platform/MidiBuilder.h"
#include "support/PictureFixtures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readText(const fs::path& path)
{
    const Bytes bytes = readBytes(path.string());
    return std::string(bytes.begin(), bytes.end());
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class SdtoolTest : public ::testing::Test {
protected:
    // Runs sdtool with the arguments, its temporary folder inside tmp_.
    RunResult sdtool(const std::vector<std::string>& args)
    {
        std::string command = "TMPDIR=" + quoted(tmp_.str()) + " " + quoted(SDTOOL);
        for (const std::string& arg : args)
            command += " " + quoted(arg);
        const fs::path out = io_.path() / "out.txt";
        const fs::path err = io_.path() / "err.txt";
        command += " >" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
        const int raw = std::system(command.c_str());
        RunResult run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = readText(out);
        run.err = readText(err);
        return run;
    }

    json info(const std::string& file, int expectedStatus = 0)
    {
        const RunResult run = sdtool({"info", file, "--json"});
        EXPECT_EQ(run.status, expectedStatus) << run.err;
        try {
            return json::parse(run.out);
        } catch (const json::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << run.out;
            return json();
        }
    }

    std::string put(const std::string& name, const Bytes& bytes)
    {
        const std::string path = (dir_.path() / name).string();
        writeFile(path, bytes);
        return path;
    }
    std::string putText(const std::string& name, const std::string& text)
    {
        return put(name, Bytes(text.begin(), text.end()));
    }
    std::string path(const std::string& name) const { return (dir_.path() / name).string(); }

    void TearDown() override
    {
        // Every run removed its private work directory.
        EXPECT_TRUE(fs::is_empty(tmp_.path()));
    }

    TempDir dir_;
    TempDir tmp_;
    TempDir io_;
};

Bytes tune()
{
    return midiFile(1, 96, {TrackBuilder().tempo(0, 500000).end(0),
                            TrackBuilder().program(0, 0, 5).noteOn(0, 0, 64).noteOff(192, 0, 64).end(0)});
}

TEST_F(SdtoolTest, PackThenInfoRoundTripsAShow)
{
    std::vector<uint32_t> sky(40 * 30, 0x3070C0);
    put("sky.jpg", makeJpeg(sky, 40, 30));
    put("tune.mid", tune());
    put("a0.bmp", solidBmp(8, 6, 0x00FF00, 0xFFFFFF));
    put("a1.bmp", solidBmp(9, 6));
    put("b0.ico", makeIco({makeIconImage(4, 4, 24, std::vector<uint32_t>(16, 0xFF0000), std::vector<uint8_t>(16, 0))}));
    putText("show.json", R"({
      "version": 125, "loopTime": 30,
      "setting": {"backMode": 3, "backColor": 16711935, "playBgm": true, "bgmName": "テーマ曲"},
      "background": "sky.jpg", "bgm": "tune.mid",
      "charactors": [
        {"name": "ブロブ", "transparent": true, "frames": ["a0.bmp", "a1.bmp"],
         "points": [[0.5, 0.25], [0.125, 1.5], [-0.5, 0]]},
        {"name": "bird", "transparent": false, "frames": ["b0.ico"], "points": []}
      ]})");
    const RunResult pack = sdtool({"pack", path("show.json"), "-o", path("show.sdt")});
    ASSERT_EQ(pack.status, 0) << pack.err;

    const json show = info(path("show.sdt"));
    EXPECT_EQ(show["loaded"], true);
    EXPECT_EQ(show["version"], 125);
    EXPECT_EQ(show["loopTime"], 30);
    EXPECT_EQ(show["setting"], json::parse(R"({"backMode": 3, "backColor": 16711935, "playBgm": true,
        "bgmName": "テーマ曲", "backGraphic": {"width": 40, "height": 30}, "hasBgm": true})"));
    ASSERT_EQ(show["charactors"].size(), 2u);
    const json& blob = show["charactors"][0];
    EXPECT_EQ(blob["name"], "ブロブ");
    EXPECT_EQ(blob["transparent"], true);
    EXPECT_EQ(blob["frames"], json::parse(R"([{"width": 8, "height": 6}, {"width": 9, "height": 6}])"));
    ASSERT_EQ(blob["points"].size(), 600u);
    EXPECT_EQ(blob["points"][0], json::parse("[0.5, 0.25]"));
    EXPECT_EQ(blob["points"][1], json::parse("[0.125, 1.5]"));
    EXPECT_EQ(blob["points"][2], json::parse("[-0.5, 0]"));
    EXPECT_EQ(blob["points"][3], json::parse("[-200, -200]"));
    const json& bird = show["charactors"][1];
    EXPECT_EQ(bird["name"], "bird");
    EXPECT_EQ(bird["transparent"], false);
    EXPECT_EQ(bird["frames"], json::parse(R"([{"width": 4, "height": 4}])"));
    EXPECT_EQ(show["messages"], json::array());

    // The music went into the file byte for byte; the name is stored in Shift-JIS.
    const Bytes file = readBytes(path("show.sdt"));
    const Bytes midi = tune();
    EXPECT_NE(std::search(file.begin(), file.end(), midi.begin(), midi.end()), file.end());
    const Bytes sjisName = {0x83, 0x75, 0x83, 0x8D, 0x83, 0x75};
    EXPECT_NE(std::search(file.begin(), file.end(), sjisName.begin(), sjisName.end()), file.end());

    // The text form says the same for people.
    const RunResult text = sdtool({"info", path("show.sdt")});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("version:    125"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\"ブロブ\", transparent, 2 frame(s) 8x6, 9x6; 3 of 600 points placed"), std::string::npos)
        << text.out;
}

TEST_F(SdtoolTest, PackThenInfoRoundTripsTheOldLayout)
{
    put("back.bmp", solidBmp(12, 10));
    put("f0.bmp", solidBmp(3, 3));
    put("f1.bmp", solidBmp(4, 3));
    for (const int version : {110, 109}) {
        SCOPED_TRACE(version);
        putText("old.json", R"({"legacy": true, "version": )" + std::to_string(version) + R"(, "loopTime": 40,
          "setting": {"backMode": 2, "backColor": 255}, "background": "back.bmp",
          "charactors": [{"frames": ["f0.bmp", "f1.bmp"], "points": [[0.25, 0.5]]},
                         {"transparent": true, "frames": [], "points": [[1, 1], [2, 2]]}]})");
        const RunResult pack = sdtool({"pack", path("old.json"), "-o", path("old.sdt")});
        ASSERT_EQ(pack.status, 0) << pack.err;
        const json show = info(path("old.sdt"));
        EXPECT_EQ(show["version"], version);
        EXPECT_EQ(show["loopTime"], 40);
        EXPECT_EQ(show["setting"], json::parse(R"({"backMode": 2, "backColor": 255, "playBgm": false,
            "bgmName": "", "backGraphic": {"width": 12, "height": 10}, "hasBgm": false})"));
        ASSERT_EQ(show["charactors"].size(), 2u);
        EXPECT_EQ(show["charactors"][0]["frames"].size(), 2u);
        EXPECT_EQ(show["charactors"][0]["points"][0], json::parse("[0.25, 0.5]"));
        EXPECT_EQ(show["charactors"][1]["points"][1], json::parse("[2, 2]"));
    }
    // Version 110 carries the transparent flag.
    putText("opaque.json", R"({"legacy": true, "charactors": [{"transparent": false}]})");
    ASSERT_EQ(sdtool({"pack", path("opaque.json"), "-o", path("opaque.sdt")}).status, 0);
    EXPECT_EQ(info(path("opaque.sdt"))["charactors"][0]["transparent"], false);
}

TEST_F(SdtoolTest, PackWritesTheExampleFileByteForByte)
{
    const Bytes background = paddedTo(makeJpeg(std::vector<uint32_t>(16 * 8, 0x2080C0), 16, 8), 4096);
    const Bytes frame = paddedTo(solidBmp(6, 4, 0x00FF00, 0xFFFFFF), 512);
    put("back.jpg", background);
    put("chara.bmp", frame);
    putText("example.json", R"({"version": 120, "loopTime": 60, "setting": {"backMode": 2},
        "background": "back.jpg",
        "charactors": [{"transparent": true, "frames": ["chara.bmp"], "points": [[0.25, 0.75]]}]})");
    const RunResult pack = sdtool({"pack", path("example.json"), "-o", path("example.sdt")});
    ASSERT_EQ(pack.status, 0) << pack.err;

    Bytes expected = {'Q', 'D', 's', 'm', 0x00, 0x00, 0x00, 0x78, 0x80, 0x00, 0x01, 0x3C, 0x81, 0x00, 0x01, 0x02,
                      0x81, 0x04, 0x04, 0x03, 0x6A, 0x70, 0x67, 0xFF, 0x00, 0x00, 0x00, 0x10, 0x00};
    expected.insert(expected.end(), background.begin(), background.end());
    for (const int b : {0x82, 0x00, 0x00, 0x82, 0x01, 0x01, 0x01, 0x82, 0x03, 0x04, 0x03, 0x62, 0x6D, 0x70, 0xFF,
                        0x01, 0x00, 0x00, 0x02, 0x00})
        expected.push_back(static_cast<uint8_t>(b));
    expected.insert(expected.end(), frame.begin(), frame.end());
    for (const int b : {0xFF, 0x02, 0x00, 0x00, 0x00, 0x11, 0x01})
        expected.push_back(static_cast<uint8_t>(b));
    for (const double d : {0.25, 0.75}) {
        uint8_t bytes[8];
        std::memcpy(bytes, &d, 8);
        expected.insert(expected.end(), bytes, bytes + 8);
    }
    for (const int b : {0x82, 0x7F, 0x00})
        expected.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(readBytes(path("example.sdt")), expected);
}

TEST_F(SdtoolTest, InfoExitStatusFollowsTheLoad)
{
    // Not a data file: false, and no version to show.
    put("other.sdt", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0});
    json show = info(path("other.sdt"), 1);
    EXPECT_EQ(show["loaded"], false);
    EXPECT_TRUE(show["version"].is_null());

    show = info(path("missing.sdt"), 1);
    EXPECT_TRUE(show["version"].is_null());

    // Too new: false, with the message the load showed.
    put("new.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 140});
    show = info(path("new.sdt"), 1);
    EXPECT_EQ(show["version"], 140);
    EXPECT_EQ(show["messages"], json::array({kTooNewVersionText}));

    // An error escaping the load: status 2 and its message on standard error.
    {
        DataFileBuilder b(path("bad.sdt"));
        b.header(120).deltaStringItem(129, 4, "png").fileItem(0, solidBmp(2, 2)).finish();
    }
    show = info(path("bad.sdt"), 2);
    EXPECT_EQ(show["loaded"], false);
    const RunResult run = sdtool({"info", path("bad.sdt")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "拡張子 .png の画像形式は処理できません\n");

    // The eleventh frame's message is listed.
    {
        DataFileBuilder b(path("eleven.sdt"));
        b.header(120).item(130, 0);
        for (int f = 0; f < 11; ++f)
            b.fileItem(1, solidBmp(1, 1));
        b.finish();
    }
    show = info(path("eleven.sdt"));
    EXPECT_EQ(show["messages"], json::array({"setGraphic : 範囲エラーです"}));
    EXPECT_EQ(show["charactors"][0]["frames"].size(), 10u);
}

TEST_F(SdtoolTest, CheckReportsEachFile)
{
    put("ok.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 111});
    put("no.sdt", {'n', 'o'});
    const RunResult run = sdtool({"check", path("ok.sdt"), path("no.sdt")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, path("ok.sdt") + ": ok\n" + path("no.sdt") + ": false\n");
}

TEST_F(SdtoolTest, RefusedManifestsSayWhyAndWriteNothing)
{
    put("f.bmp", solidBmp(2, 2));
    put("f.png", makePngRgba({0xFF000000}, 1, 1));
    put("not.mid", {'n', 'o', 't'});
    put("tune.mid", tune());
    struct Case {
        std::string manifest;
        std::string says;
    };
    const Case cases[] = {
        {"not json", "not JSON"},
        {"[]", "expected an object"},
        {R"({"loopTime": "60"})", "manifest.loopTime: expected an integer"},
        {R"({"loopTime": -1})", "manifest.loopTime: must be from 0 to 268435455"},
        {R"({"version": 132})", "manifest.version: must be from 111 to 131"},
        {R"({"legacy": true, "version": 111})", "manifest.version: must be from 0 to 110"},
        {R"({"setting": {"backMode": 256}})", "manifest.setting.backMode: must be from 0 to 255"},
        {R"({"setting": {"playBgm": 1}})", "manifest.setting.playBgm: expected true or false"},
        {R"({"colour": 1})", "unknown key \"colour\""},
        {R"({"background": "none.bmp"})", "manifest.background: no such file"},
        {R"({"background": "f.png"})", "f.png: 拡張子 .png の画像形式は処理できません"},
        {R"({"bgm": "not.mid"})", "not.mid: "},
        {R"({"charactors": {}})", "manifest.charactors: expected an array"},
        {R"({"charactors": [{"frames": "f.bmp"}]})", "manifest.charactors[0].frames: expected an array"},
        {R"({"charactors": [{"frames": [1]}]})", "manifest.charactors[0].frames[0]: expected a string"},
        {R"({"charactors": [{"points": [[1]]}]})", "manifest.charactors[0].points[0]: expected [x, y]"},
        {R"({"charactors": [{"name": "😀"}]})", "manifest.charactors[0].name: the character U+1F600"},
        {R"({"charactors": [{"frames": ["f.bmp","f.bmp","f.bmp","f.bmp","f.bmp","f.bmp","f.bmp","f.bmp","f.bmp","f.bmp","f.bmp"]}]})",
         "at most 10 frames"},
        {R"({"legacy": true, "bgm": "tune.mid"})", "carries no music"},
        {R"({"legacy": true, "charactors": [{"name": "x"}]})", "carries no names"},
        {R"({"legacy": true, "background": "f.jpg"})", "no such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manifest);
        putText("bad.json", c.manifest);
        const RunResult run = sdtool({"pack", path("bad.json"), "-o", path("bad.sdt")});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(path("bad.sdt")));
    }
    // A JPEG in the old layout.
    put("f.jpg", makeJpeg({0x000000}, 1, 1));
    putText("bad.json", R"({"legacy": true, "background": "f.jpg"})");
    const RunResult run = sdtool({"pack", path("bad.json"), "-o", path("bad.sdt")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bitmaps (.bmp) only"), std::string::npos) << run.err;
}

TEST_F(SdtoolTest, HelpForTheProgramAndEachCommand)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"help"}, {"info", "--help"}, {"pack", "--help"}, {"check", "--help"}, {"help", "pack"}}) {
        const RunResult run = sdtool(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("Usage: sdtool", 0), 0u) << run.out;
    }
    EXPECT_NE(sdtool({"info", "--help"}).out.find("--json"), std::string::npos);
    EXPECT_NE(sdtool({"pack", "--help"}).out.find("\"legacy\""), std::string::npos);
    // Wrong arguments: the usage on standard error, status 64.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"render"}, {"info"}, {"info", "a", "b"}, {"pack", "m.json"}, {"check"}}) {
        const RunResult run = sdtool(args);
        EXPECT_EQ(run.status, 64);
        EXPECT_NE(run.err.find("Usage: sdtool"), std::string::npos);
    }
}

TEST_F(SdtoolTest, TheDemoShowPacks)
{
    const std::string demo = (dir_.path() / "demo").string();
    ASSERT_EQ(std::system((quoted(MAKE_DEMO_ASSETS) + " " + quoted(demo) + " 2>/dev/null").c_str()), 0);
    const RunResult pack = sdtool({"pack", demo + "/demo.json", "-o", path("demo.sdt")});
    ASSERT_EQ(pack.status, 0) << pack.err;
    const json show = info(path("demo.sdt"));
    EXPECT_EQ(show["loaded"], true);
    EXPECT_EQ(show["setting"]["hasBgm"], true);
    EXPECT_NE(show["setting"]["backGraphic"], nullptr);
    EXPECT_EQ(show["charactors"].size(), 3u);
}

}  // namespace
