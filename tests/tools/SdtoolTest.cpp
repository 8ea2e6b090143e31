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

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "datafile/DataFileBuilder.h"
#include "model/CCharactorList.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
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
    EXPECT_EQ(run.err, "sdtool: cannot load " + path("bad.sdt")
                           + ": a picture in it cannot be read (拡張子 .png の画像形式は処理できません)\n");

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
             {"--help"}, {"help"}, {"info", "--help"}, {"pack", "--help"}, {"check", "--help"}, {"help", "pack"},
             {"help", "--help"}, {"thumbnail", "--help"}, {"help", "thumbnail"}}) {
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

namespace {

// A file cut off inside a record: a background record of 4096 bytes of which 8 are there.
Bytes cutOffShow()
{
    Bytes bytes = {'Q', 'D', 's', 'm', 0, 0, 0, 120, 0xFF, 0x00, 0x00, 0x00, 0x10, 0x00};
    bytes.insert(bytes.end(), 8, 0x42);
    return bytes;
}

TEST_F(SdtoolTest, ShowsThatDoNotLoadSayWhyInEnglish)
{
    fs::create_directories(path("folder.sdt"));
    put("empty.sdt", {});
    put("other.sdt", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0});
    put("cut.sdt", cutOffShow());
    struct Case {
        std::string file;
        std::string says;
    };
    const Case cases[] = {
        {path("missing.sdt"), "sdtool: cannot open " + path("missing.sdt") + ": No such file or directory\n"},
        {path("folder.sdt"), "sdtool: cannot read " + path("folder.sdt") + ": Is a directory\n"},
        {path("empty.sdt"), "sdtool: " + path("empty.sdt") + " is empty, not a data file\n"},
        {path("other.sdt"), "sdtool: " + path("other.sdt") + " is not a data file: it does not start with \"QDsm\"\n"},
        {path("cut.sdt"), "sdtool: " + path("cut.sdt") + " is cut off: it ends inside a record, where the loader stops\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const RunResult info = sdtool({"info", c.file});
        EXPECT_EQ(info.status, 1);
        EXPECT_EQ(info.err, c.says);
        const RunResult check = sdtool({"check", c.file});
        EXPECT_EQ(check.status, 1);
        EXPECT_EQ(check.out, c.file + ": false\n");
        EXPECT_EQ(check.err, c.says);
        const RunResult render = sdtool({"render", c.file, "-o", path("x.png"), "--size", "8x8"});
        EXPECT_EQ(render.status, 1);
        EXPECT_EQ(render.err, c.says);
        EXPECT_FALSE(fs::exists(path("x.png")));
    }
    // Too new: the English first, the screen saver's own words after it.
    put("new.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 140});
    const RunResult run = sdtool({"check", path("new.sdt")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("sdtool: " + path("new.sdt") + " has version 140, newer than the player reads (up to 131) (", 0),
              0u)
        << run.err;
    EXPECT_NE(run.err.find("ご使用のソフトのバージョンが古いため"), std::string::npos) << run.err;

    // Too large: more characters than a show may hold.
    std::vector<uint8_t> crowd = {'Q', 'D', 's', 'm', 0, 0, 0, 120};
    for (int i = 0; i < 1001; ++i)
        crowd.insert(crowd.end(), {0x82, 0x00, 0x00});
    put("crowd.sdt", crowd);
    const RunResult crowded = sdtool({"check", path("crowd.sdt")});
    EXPECT_EQ(crowded.status, 2);
    EXPECT_EQ(crowded.err, "sdtool: cannot load " + path("crowd.sdt")
                               + ": the show is too large: it holds more than 1000 characters, the most one show may "
                                 "hold (データが大きすぎるため、開くことが出来ません。)\n");
}

TEST_F(SdtoolTest, WhatCannotBeWrittenSaysWhyInEnglish)
{
    putText("m.json", "{}");
    fs::create_directories(path("folder.json"));
    const std::string out = path("nodir") + "/x.sdt";
    RunResult run = sdtool({"pack", path("m.json"), "-o", out});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "sdtool: cannot create " + out + ": No such file or directory (ファイル " + out + " を作成できません)\n");
    run = sdtool({"pack", path("folder.json"), "-o", path("x.sdt")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "sdtool: pack: cannot read " + path("folder.json") + ": Is a directory\n");
    EXPECT_FALSE(fs::exists(path("x.sdt")));
}

TEST_F(SdtoolTest, CheckSaysWhatTheLoaderReturns)
{
    // The loader takes a file that ends between records, even right after
    // its header, and refuses one that ends inside a record or (old layout)
    // before its fixed fields.
    struct Case {
        std::string name;
        Bytes bytes;
        const char* verdict;
    };
    const Case cases[] = {
        {"header.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 120}, "ok"},
        {"header-111.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 111}, "ok"},
        {"record.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 120, 0x80, 0x00, 0x01, 0x3C}, "ok"},
        {"old-header.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 110}, "false"},
        {"cut.sdt", cutOffShow(), "false"},
        {"cut-header.sdt", {'Q', 'D', 's', 'm', 0, 0}, "false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = put(c.name, c.bytes);
        TCharactorList list;
        const bool loaded = [&] {
            // The loader may unpack files: into a folder of the test's own.
            setWorkDirOverride((dir_.path() / "work").string() + "/");
            fs::create_directories(dir_.path() / "work");
            const bool result = loadScrSavData(file, list);
            setWorkDirOverride(std::nullopt);
            return result;
        }();
        EXPECT_EQ(loaded ? "ok" : "false", std::string(c.verdict));
        const RunResult run = sdtool({"check", file});
        EXPECT_EQ(run.out, file + ": " + c.verdict + "\n");
        EXPECT_EQ(run.status, loaded ? 0 : 1);
    }
}

TEST_F(SdtoolTest, ArgumentsAreNamedWhenWrongAndTakenInTheGnuForms)
{
    const std::string show = put("show.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 120});
    put("-dash.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 120});
    struct Case {
        std::vector<std::string> args;
        std::string says;  // the first line on standard error
        std::string hint;
    };
    const Case wrong[] = {
        {{"info", show, "--jsn"}, "sdtool: info: unknown option '--jsn'", "sdtool info --help"},
        {{"info", show, "--json=yes"}, "sdtool: info: option '--json' takes no value", "sdtool info --help"},
        {{"info", show, show}, "sdtool: info: unexpected argument '" + show + "' (one FILE at a time)", "sdtool info --help"},
        {{"check", "-x", show}, "sdtool: check: unknown option '-x'", "sdtool check --help"},
        {{"pack", "m.json", "-o"}, "sdtool: pack: option '-o' needs a value", "sdtool pack --help"},
        {{"pack", "m.json", "-o", "a.sdt", "-ob.sdt"}, "sdtool: pack: option '-o' given more than once", "sdtool pack --help"},
        {{"render", show, "-o", path("x.png"), "--size", "8x8", "--tick", "1", "--ticks", "1-2"},
         "sdtool: render: --tick and --ticks exclude each other", "sdtool render --help"},
        {{"render", show, "-o", path("x.webp"), "--size", "8x8", "--lossy", "--lossless"},
         "sdtool: render: --lossy and --lossless exclude each other", "sdtool render --help"},
        {{"render", show, "--size", "8x8", "--", "-o", path("x.png")},
         "sdtool: render: unexpected argument '-o' (one FILE at a time)", "sdtool render --help"},
        {{"frobnicate"}, "sdtool: unknown command 'frobnicate'", "sdtool --help"},
        {{"help", "bogus"}, "sdtool: help: unknown command 'bogus'", "sdtool --help"},
    };
    for (const Case& c : wrong) {
        SCOPED_TRACE(c.says);
        const RunResult run = sdtool(c.args);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.says);
        EXPECT_NE(run.err.find("Try '" + c.hint + "'."), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(path("x.png")));

    // --opt=value, -oFILE and "--" before a file whose name starts with a dash.
    RunResult run = sdtool({"render", show, "--size=8x6", "-o" + path("a.png"), "--tick=3"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(path("a.png")));
    run = sdtool({"render", "--size", "8x6", "-o", path("b.png"), "--", path("-dash.sdt")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(path("b.png")));
    putText("m.json", "{}");
    ASSERT_EQ(std::system(("cd " + quoted(dir_.str()) + " && cp m.json ./-m.json").c_str()), 0);
    run = sdtool({"pack", "-o" + path("m.sdt"), "--", path("-m.json")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(sdtool({"check", "--", path("m.sdt")}).out, path("m.sdt") + ": ok\n");
}

TEST_F(SdtoolTest, EveryHelpListsTheSameExitStatuses)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"info", "--help"}, {"check", "-h"}, {"pack", "--help"}, {"render", "--help"}, {"help", "render"},
             {"thumbnail", "--help"}}) {
        SCOPED_TRACE(args[0]);
        const RunResult run = sdtool(args);
        EXPECT_EQ(run.status, 0);
        for (const char* status : {"\n  0    success", "\n  1    the show did not load", "\n  2    an error",
                                   "\n  64   wrong arguments", "\n  130  ended by SIGINT (Ctrl+C), 143 by SIGTERM"})
            EXPECT_NE(run.out.find(status), std::string::npos) << status << "\n" << run.out;
    }
}

TEST_F(SdtoolTest, VersionIsTheProjectsVersion)
{
    const RunResult run = sdtool({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("sdtool ") + LURVA_PROJECT_VERSION + "\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(SdtoolTest, AnOutputThatIsAnInputIsRefused)
{
    const std::string show = put("show.sdt", {'Q', 'D', 's', 'm', 0, 0, 0, 120});
    TBitmap desktop(4, 4);
    SavePng(desktop, path("desk.png"));
    put("f.bmp", solidBmp(2, 2));
    put("tune.mid", tune());
    putText("m.json", R"({"bgm": "tune.mid", "charactors": [{"frames": ["f.bmp"]}]})");
    fs::create_symlink(show, path("link.png"));
    fs::create_hard_link(show, path("hard.png"));
    fs::create_directories(path("frames"));
    fs::create_hard_link(show, path("frames/frame-000002.png"));
    fs::create_symlink(path("tune.mid"), path("tune-link.sdt"));
    struct Case {
        std::vector<std::string> args;
        std::string output, input;
    };
    const Case cases[] = {
        {{"render", show, "-o", show, "--size", "10x10"}, show, show},
        {{"render", show, "-o", path("link.png"), "--size", "10x10"}, path("link.png"), show},
        {{"render", show, "-o", path("hard.png"), "--size", "10x10"}, path("hard.png"), show},
        {{"render", show, "-o", path("desk.png"), "--size", "10x10", "--desktop", path("desk.png")}, path("desk.png"),
         path("desk.png")},
        {{"render", show, "-o", path("frames"), "--size", "10x10", "--ticks", "0-1"}, path("frames/frame-000002.png"),
         show},
        {{"pack", path("m.json"), "-o", path("m.json")}, path("m.json"), path("m.json")},
        {{"pack", path("m.json"), "-o", path("f.bmp")}, path("f.bmp"), path("f.bmp")},
        {{"pack", path("m.json"), "-o", path("tune-link.sdt")}, path("tune-link.sdt"), path("tune.mid")},
    };
    const Bytes showBytes = readBytes(show);
    const Bytes manifestBytes = readBytes(path("m.json"));
    const Bytes tuneBytes = readBytes(path("tune.mid"));
    const Bytes frameBytes = readBytes(path("f.bmp"));
    const Bytes desktopBytes = readBytes(path("desk.png"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " -o " + c.output);
        const RunResult run = sdtool(c.args);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "sdtool: " + c.args[0] + ": the output " + c.output
                                                             + " is one of the inputs (" + c.input
                                                             + "); it would be overwritten: choose another output");
    }
    EXPECT_EQ(readBytes(show), showBytes);
    EXPECT_EQ(readBytes(path("m.json")), manifestBytes);
    EXPECT_EQ(readBytes(path("tune.mid")), tuneBytes);
    EXPECT_EQ(readBytes(path("f.bmp")), frameBytes);
    EXPECT_EQ(readBytes(path("desk.png")), desktopBytes);
    EXPECT_TRUE(fs::is_symlink(path("link.png")));
}

}  // namespace

namespace {

TEST_F(SdtoolTest, PackReplacesTheOldFileWholeOrLeavesIt)
{
    put("f.png", makePngRgba({0xFF000000}, 1, 1));
    put("f.bmp", solidBmp(2, 2));
    putText("bad.json", R"({"background": "f.png"})");
    putText("good.json", R"({"background": "f.bmp"})");
    const std::string out = putText("show.sdt", "the old show");
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    EXPECT_EQ(sdtool({"pack", path("bad.json"), "-o", out}).status, 1);
    EXPECT_EQ(readText(out), "the old show");

    const RunResult run = sdtool({"pack", path("good.json"), "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readText(out).substr(0, 4), "QDsm");
    // The replaced file keeps the old one's permissions, and nothing else is left beside it.
    EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bad.json", "f.bmp", "f.png", "good.json", "show.sdt"}));
}

}  // namespace
