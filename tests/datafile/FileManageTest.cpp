// FileManageTest.cpp: the data file loader: header and versions, records by
// group and tag, the shared picture extension, skips, short reads, and the
// hardening against lengths, counts and extensions taken from the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "datafile/DataFileBuilder.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "platform/MidiBuilder.h"
#include "platform/SysUtils.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRangeText = "setGraphic : 範囲エラーです";

Bytes hex(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes doubleBytes(double d)
{
    Bytes out(8);
    std::memcpy(out.data(), &d, 8);  // little-endian, as the files store doubles
    return out;
}

// The number of open file descriptors of this process.
size_t openFiles()
{
#ifdef __linux__
    return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
#else
    return 0;
#endif
}

class FileManageTest : public ::testing::Test {
protected:
    FileManageTest() { setWorkDirOverride(work_.str()); }
    ~FileManageTest() override { setWorkDirOverride(std::nullopt); }

    std::string dataPath() const { return files_.str() + "/show.sdt"; }
    DataFileBuilder build() const { return DataFileBuilder(dataPath()); }
    void putFile(const Bytes& bytes) const { writeFile(dataPath(), bytes); }
    std::vector<std::string> workFiles() const { return ListFiles(work_.str()); }
    std::string workPath(const std::string& name) const { return IncludeTrailingPathDelimiter(work_.str()) + name; }

    // Loads the data file, checking that no file stays open whatever happens.
    bool load()
    {
        const size_t before = openFiles();
        bool result = false;
        try {
            result = loadScrSavData(dataPath(), list_);
        } catch (...) {
            EXPECT_EQ(openFiles(), before);
            throw;
        }
        EXPECT_EQ(openFiles(), before);
        return result;
    }

    // A show state that a refused file must leave as it is.
    void fillBeforeLoad()
    {
        list_.setLoopTime(33);
        list_.add().setName("old");
        list_.getSetting().setBackMode(3);
        list_.getSetting().setBackColor(0x123456);
    }
    void expectUnchanged()
    {
        EXPECT_EQ(list_.getLoopTime(), 33u);
        ASSERT_EQ(list_.getCount(), 1);
        EXPECT_EQ(list_.getCharactor(0)->getName(), "old");
        EXPECT_EQ(list_.getSetting().getBackMode(), 3);
        EXPECT_EQ(list_.getSetting().getBackColor(), 0x123456);
    }

    TempDir work_;
    TempDir files_;
    MessageRecorder messages_;
    TCharactorList list_;
};

// --- the example of a small version-120 file ---------------------------------

Bytes exampleBackground()
{
    return paddedTo(makeJpeg(std::vector<uint32_t>(16 * 8, 0x2080C0), 16, 8), 4096);
}
Bytes exampleFrame()
{
    return paddedTo(solidBmp(6, 4, 0x00FF00, 0xFFFFFF), 512);
}

// The file byte for byte as the format describes it.
Bytes exampleFile()
{
    const Bytes background = exampleBackground();
    const Bytes frame = exampleFrame();
    EXPECT_EQ(background.size(), 4096u);
    EXPECT_EQ(frame.size(), 512u);
    return hex({'Q', 'D', 's', 'm', 0x00, 0x00, 0x00, 0x78}) + hex({0x80, 0x00, 0x01, 0x3C}) +
           hex({0x81, 0x00, 0x01, 0x02}) + hex({0x81, 0x04, 0x04, 0x03, 0x6A, 0x70, 0x67}) +
           hex({0xFF, 0x00, 0x00, 0x00, 0x10, 0x00}) + background + hex({0x82, 0x00, 0x00}) +
           hex({0x82, 0x01, 0x01, 0x01}) + hex({0x82, 0x03, 0x04, 0x03, 0x62, 0x6D, 0x70}) +
           hex({0xFF, 0x01, 0x00, 0x00, 0x02, 0x00}) + frame + hex({0xFF, 0x02, 0x00, 0x00, 0x00, 0x11, 0x01}) +
           doubleBytes(0.25) + doubleBytes(0.75) + hex({0x82, 0x7F, 0x00});
}

TEST_F(FileManageTest, ExampleFileOfVersion120)
{
    putFile(exampleFile());
    ASSERT_TRUE(load());
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(list_.getLoopTime(), 60u);
    const TSetting& setting = list_.getSetting();
    EXPECT_EQ(setting.getBackMode(), 2);
    ASSERT_NE(setting.getBackGraphic(), nullptr);
    EXPECT_EQ(setting.getBackGraphic()->Width(), 16);
    EXPECT_EQ(setting.getBackGraphic()->Height(), 8);
    ASSERT_EQ(list_.getCount(), 1);
    const TCharactor& c = *list_.getCharactor(0);
    EXPECT_TRUE(c.getTransparent());
    ASSERT_EQ(c.getGraphicCount(), 1);
    EXPECT_EQ(c.getGraphic(0)->Width(), 6);
    EXPECT_EQ(c.getPoint(0)->x, 0.25);
    EXPECT_EQ(c.getPoint(0)->y, 0.75);
    EXPECT_EQ(c.getPoint(1)->x, -200.0);
    // The copies under the wanted names, and the model's own copies of them.
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"back0.jpg", "back00.jpg", "chara0.bmp", "chara00.bmp"}));
    EXPECT_EQ(readBytes(workPath("back0.jpg")), exampleBackground());
    EXPECT_EQ(readBytes(workPath("chara0.bmp")), exampleFrame());
}

TEST_F(FileManageTest, ExampleFileComesOutOfTheStreamsWriteSide)
{
    build()
        .header(120)
        .item(128, 0, [](TQDFileStream& s) { s.writeDelta(60); })
        .item(129, 0, [](TQDFileStream& s) { s.writeByte(2); })
        .deltaStringItem(129, 4, "jpg")
        .fileItem(0, exampleBackground())
        .item(130, 0)
        .item(130, 1, [](TQDFileStream& s) { s.writeBoolean(true); })
        .deltaStringItem(130, 3, "bmp")
        .fileItem(1, exampleFrame())
        .pointsItem({{0.25, 0.75}})
        .item(130, 127)
        .finish();
    EXPECT_EQ(readBytes(dataPath()), exampleFile());
}

// --- header and versions ---------------------------------------------------------

TEST_F(FileManageTest, RefusedFilesLeaveTheShowAsItWas)
{
    struct Case {
        const char* name;
        Bytes bytes;
        bool tooNewMessage;
        std::string why;  // what the user is told on standard error
    };
    const Case cases[] = {
        {"empty file", {}, false, "the file is empty"},
        {"shorter than the magic", hex({'Q', 'D', 's'}), false, "not a data file"},
        {"magic without version", hex({'Q', 'D', 's', 'm', 0, 0}), false, "not a data file"},
        {"one letter in another case", hex({'Q', 'D', 'S', 'm', 0, 0, 0, 120}), false, "not a data file"},
        {"another file", hex({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}), false, "not a data file"},
        {"version 132", hex({'Q', 'D', 's', 'm', 0, 0, 0, 132}), true,
         "made by a newer version of the authoring tool (version 132)"},
        {"version 2^31 - 1", hex({'Q', 'D', 's', 'm', 0x7F, 0xFF, 0xFF, 0xFF}), true,
         "made by a newer version of the authoring tool (version 2147483647)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fillBeforeLoad();
        putFile(c.bytes);
        MessageRecorder recorder;
        EXPECT_FALSE(load());
        if (c.tooNewMessage)
            EXPECT_EQ(recorder.messages(), std::vector<std::string>{kTooNewVersionText});
        else
            EXPECT_TRUE(recorder.messages().empty());
        expectUnchanged();
        EXPECT_EQ(describeLoadFailure(dataPath()), c.why);
        list_.clear();
    }
    EXPECT_TRUE(workFiles().empty());
}

TEST_F(FileManageTest, MissingFileIsFalseAndNothingElse)
{
    fillBeforeLoad();
    EXPECT_FALSE(loadScrSavData(files_.str() + "/nothing.sdt", list_));
    EXPECT_FALSE(loadScrSavData(files_.str(), list_));  // a folder is no file
    expectUnchanged();
    EXPECT_EQ(describeLoadFailure(files_.str() + "/nothing.sdt"), "no such file");
    EXPECT_EQ(describeLoadFailure(files_.str()), "a folder, not a file");
    EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(FileManageTest, Version111EndingAfterItsHeaderEmptiesTheListOnly)
{
    fillBeforeLoad();
    build().header(111).finish();
    EXPECT_TRUE(load());
    EXPECT_EQ(list_.getCount(), 0);
    EXPECT_EQ(list_.getLoopTime(), 33u);
    EXPECT_EQ(list_.getSetting().getBackMode(), 3);
    EXPECT_EQ(list_.getSetting().getBackColor(), 0x123456);
}

TEST_F(FileManageTest, Version131IsReadAsRecords)
{
    build().header(131).item(128, 0, [](TQDFileStream& s) { s.writeDelta(45); }).finish();
    EXPECT_TRUE(load());
    EXPECT_EQ(list_.getLoopTime(), 45u);
}

TEST_F(FileManageTest, OldVersionsGoToTheLegacyLoader)
{
    // Version 110 in the old layout: loop time 12, one character (opaque, no
    // frames, no points), mode 1, colour 0xFF, no background.
    build()
        .header(110)
        .raw(hex({12, 1, 0x00, 0, 0, 1, 0, 0, 0, 0xFF, 0}))
        .finish();
    EXPECT_TRUE(load());
    EXPECT_EQ(list_.getLoopTime(), 12u);
    ASSERT_EQ(list_.getCount(), 1);
    EXPECT_FALSE(list_.getCharactor(0)->getTransparent());
    EXPECT_EQ(list_.getSetting().getBackMode(), 1);
    EXPECT_EQ(list_.getSetting().getBackColor(), 0xFF);

    // The same file cut off inside the colour: the legacy loader's short read is false.
    build().header(110).raw(hex({12, 1, 0x00, 0, 0, 1, 0, 0})).finish();
    EXPECT_FALSE(load());
}

// --- records -----------------------------------------------------------------------

TEST_F(FileManageTest, SettingsAndCharactorRecords)
{
    build()
        .header(120)
        .item(129, 1, [](TQDFileStream& s) { s.writeLongInt(0x00ABCDEF); })
        .item(129, 2, [](TQDFileStream& s) { s.writeBoolean(true); })
        .deltaStringItem(129, 3, "\x83\x65\x83\x58\x83\x67")  // Shift-JIS, kept as bytes
        .item(130, 0)
        .item(130, 1, [](TQDFileStream& s) { s.writeBoolean(false); })
        .deltaStringItem(130, 2, "one")
        .item(130, 127)
        .item(130, 0)
        .deltaStringItem(130, 2, "two")
        .finish();
    ASSERT_TRUE(load());
    const TSetting& setting = list_.getSetting();
    EXPECT_EQ(setting.getBackColor(), 0x00ABCDEF);
    EXPECT_TRUE(setting.getPlayBgm());
    EXPECT_EQ(setting.getBgmName(), "\x83\x65\x83\x58\x83\x67");
    ASSERT_EQ(list_.getCount(), 2);
    EXPECT_EQ(list_.getCharactor(0)->getName(), "one");
    EXPECT_FALSE(list_.getCharactor(0)->getTransparent());
    EXPECT_EQ(list_.getCharactor(1)->getName(), "two");
    EXPECT_TRUE(list_.getCharactor(1)->getTransparent());
}

TEST_F(FileManageTest, RecordsWithoutGroupByteBelongToThePreviousGroup)
{
    const Bytes midi = midiFile(0, 96, {TrackBuilder().noteOn(0, 0, 60).noteOff(96, 0, 60).end(0)});
    // At the very start the group is 255: tag 3 with a four-byte length is the music.
    Bytes file = hex({'Q', 'D', 's', 'm', 0, 0, 0, 120, 0x03, 0, 0, 0, static_cast<int>(midi.size())}) + midi;
    ASSERT_LT(midi.size(), 128u);
    // After 129/0, tag 1 with a one-byte length is the background colour.
    file = file + hex({0x81, 0x00, 0x01, 0x02, 0x01, 0x04, 0x00, 0x00, 0x00, 0x7B});
    putFile(file);
    ASSERT_TRUE(load());
    EXPECT_EQ(list_.getSetting().getBackMode(), 2);
    EXPECT_EQ(list_.getSetting().getBackColor(), 0x7B);
    EXPECT_EQ(readBytes(list_.getSetting().getBgmFile()), midi);
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"bgm0.mid", "bgm00.mid"}));
}

TEST_F(FileManageTest, UnknownRecordsAreSkippedByTheirLength)
{
    build()
        .header(120)
        .item(128, 5, [](TQDFileStream& s) { s.writeString("abc"); })
        .item(200, 0, [](TQDFileStream& s) { s.writeString("xy"); })
        .longItem(9, [](TQDFileStream& s) { s.writeString("0123456789"); })
        .item(129, 9, [](TQDFileStream& s) { s.writeByte(1); })
        .item(130, 50, [](TQDFileStream& s) { s.writeByte(1); })
        .item(128, 0, [](TQDFileStream& s) { s.writeDelta(300); })
        .finish();
    ASSERT_TRUE(load());
    EXPECT_EQ(list_.getLoopTime(), 300u);
    EXPECT_EQ(list_.getCount(), 0);
}

TEST_F(FileManageTest, SkipPastTheEndEndsTheLoadWithTrue)
{
    build()
        .header(120)
        .item(128, 0, [](TQDFileStream& s) { s.writeDelta(20); })
        .raw(hex({0xFF, 0x09, 0x00, 0x00, 0x10, 0x00, 1, 2, 3}))  // claims 4096 bytes
        .finish();
    EXPECT_TRUE(load());
    EXPECT_EQ(list_.getLoopTime(), 20u);
}

TEST_F(FileManageTest, LengthLargerThanThePayloadLeavesTheRestForTheNextRecord)
{
    // 128/0 with length 3: the delta takes one byte, the next two bytes are
    // read as a record without group byte: tag 1 of group 128, length 0.
    build().header(120).raw(hex({0x80, 0x00, 0x03, 0x0A, 0x01, 0x00, 0x81, 0x00, 0x01, 0x03})).finish();
    ASSERT_TRUE(load());
    EXPECT_EQ(list_.getLoopTime(), 10u);
    EXPECT_EQ(list_.getSetting().getBackMode(), 3);
}

TEST_F(FileManageTest, FramesGoToTheCurrentCharactorInFileOrder)
{
    build()
        .header(120)
        .item(130, 0)
        .fileItem(1, solidBmp(2, 2))
        .fileItem(1, solidBmp(3, 2))
        .item(130, 0)
        .fileItem(1, solidBmp(4, 2))
        .finish();
    ASSERT_TRUE(load());
    ASSERT_EQ(list_.getCount(), 2);
    ASSERT_EQ(list_.getCharactor(0)->getGraphicCount(), 2);
    EXPECT_EQ(list_.getCharactor(0)->getGraphic(0)->Width(), 2);
    EXPECT_EQ(list_.getCharactor(0)->getGraphic(1)->Width(), 3);
    ASSERT_EQ(list_.getCharactor(1)->getGraphicCount(), 1);
    EXPECT_EQ(list_.getCharactor(1)->getGraphic(0)->Width(), 4);
}

TEST_F(FileManageTest, PathPointsInFileOrder)
{
    build().header(120).item(130, 0).pointsItem({{0.1, 0.2}, {0.3, 0.4}, {1.5, -0.5}}).finish();
    ASSERT_TRUE(load());
    const TCharactor& c = *list_.getCharactor(0);
    EXPECT_EQ(c.getPoint(0)->x, 0.1);
    EXPECT_EQ(c.getPoint(0)->y, 0.2);
    EXPECT_EQ(c.getPoint(1)->x, 0.3);
    EXPECT_EQ(c.getPoint(2)->x, 1.5);
    EXPECT_EQ(c.getPoint(2)->y, -0.5);
    EXPECT_EQ(c.getPoint(3)->x, -200.0);
}

TEST_F(FileManageTest, OneExtensionForEveryPicture)
{
    const Bytes jpeg = makeJpeg(std::vector<uint32_t>(4 * 4, 0xFF0000), 4, 4);
    // Without an extension record pictures are bitmaps; a 130/3 decides the
    // background that follows it too.
    build()
        .header(120)
        .fileItem(0, solidBmp(5, 5))
        .item(130, 0)
        .deltaStringItem(130, 3, "jpg")
        .fileItem(1, jpeg)
        .item(130, 127)
        .fileItem(0, jpeg)
        .finish();
    ASSERT_TRUE(load());
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"back0.bmp", "back0.jpg", "back00.bmp", "back00.jpg",
                                                     "chara0.jpg", "chara00.jpg"}));
    ASSERT_NE(list_.getSetting().getBackGraphic(), nullptr);
    EXPECT_EQ(list_.getSetting().getBackGraphic()->Width(), 4);
}

TEST_F(FileManageTest, EleventhFrameIsCopiedRefusedAndLoadingGoesOn)
{
    DataFileBuilder b = build();
    b.header(120).item(130, 0);
    for (int f = 0; f < 11; ++f)
        b.fileItem(1, solidBmp(f + 1, 1));
    b.deltaStringItem(130, 2, "after").finish();
    ASSERT_TRUE(load());
    EXPECT_EQ(messages_.messages(), std::vector<std::string>{kRangeText});
    const TCharactor& c = *list_.getCharactor(0);
    EXPECT_EQ(c.getGraphicCount(), 10);
    EXPECT_EQ(c.getGraphic(9)->Width(), 10);
    EXPECT_EQ(c.getName(), "after");
    EXPECT_TRUE(FileExists(workPath("chara10.bmp")));
}

TEST_F(FileManageTest, CutOffInsideAnEmbeddedFileIsFalseAndWritesNothing)
{
    const Bytes bmp = solidBmp(4, 4);
    Bytes file = hex({'Q', 'D', 's', 'm', 0, 0, 0, 120, 0x80, 0x00, 0x01, 0x09, 0xFF, 0x00, 0x00, 0x00, 0x00,
                      static_cast<int>(bmp.size())});
    file = file + Bytes(bmp.begin(), bmp.begin() + 20);
    putFile(file);
    EXPECT_FALSE(load());
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(list_.getLoopTime(), 9u);  // what was read before stays
    EXPECT_TRUE(workFiles().empty());
}

TEST_F(FileManageTest, CutOffInsideARecordIsFalse)
{
    const Bytes cuts[] = {
        hex({0x80}),                              // group without tag
        hex({0x81, 0x01}),                        // no length
        hex({0x81, 0x01, 0x04, 0x00, 0x00}),      // colour cut off
        hex({0xFF, 0x02, 0x00}),                  // four-byte length cut off
        hex({0x82, 0x02, 0x04, 0x09, 0x41}),      // name longer than the file
        hex({0x80, 0x00, 0x01, 0x81}),            // delta integer cut off
    };
    for (const Bytes& cut : cuts) {
        putFile(hex({'Q', 'D', 's', 'm', 0, 0, 0, 120, 0x82, 0x00, 0x00}) + cut);
        EXPECT_FALSE(load());
        EXPECT_EQ(describeLoadFailure(dataPath()), "the file is cut off");
    }
    build().header(120).item(130, 0).raw(hex({0xFF, 0x02, 0, 0, 0, 0x21, 0x02})).raw(doubleBytes(0.5)).finish();
    EXPECT_FALSE(load());  // the second point's y is missing
    EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(FileManageTest, EmbeddedFileWhoseExtensionNamesNoFormat)
{
    build().header(120).deltaStringItem(129, 4, "png").fileItem(0, solidBmp(2, 2)).finish();
    EXPECT_THROW_MSG(load(), EInvalidGraphic, "拡張子 .png の画像形式は処理できません");
    EXPECT_EQ(list_.getSetting().getBackGraphic(), nullptr);
}

TEST_F(FileManageTest, EmbeddedPictureThatCannotBeDecodedPassesItsError)
{
    build().header(120).fileItem(0, hex({'B', 'M', 1, 2, 3})).finish();
    EXPECT_THROW_MSG(load(), EInvalidGraphic, "ビットマップイメージが不正です");
}

// --- hardening -----------------------------------------------------------------

TEST_F(FileManageTest, ExtensionThatIsNoPlainNameNeverReachesAFileName)
{
    const TempDir outside;
    const std::string sneaky = "/../../../../../../../.." + outside.str() + "/x";
    struct Case {
        std::string extension;
        bool plain;
    };
    const Case cases[] = {
        {"../bmp", false},
        {"bmp/../../x", false},
        {sneaky, false},
        {"b\\mp", false},
        {"bm p", false},
        {"bmp.", false},
        {"\x83\x65", false},     // a Shift-JIS character
        {"abcdefghi", false},    // nine bytes
        {"abcdefgh", true},      // eight: a plain name, which then names no format
        {"JPEG", true},
    };
    for (const Case& c : cases) {
        for (const uint8_t tag : {uint8_t{0}, uint8_t{1}}) {
            SCOPED_TRACE(c.extension + (tag == 0 ? " background" : " frame"));
            build().header(120).item(130, 0).deltaStringItem(130, 3, c.extension).fileItem(tag, solidBmp(2, 2)).finish();
            const std::string message = "拡張子 ." + c.extension + " の画像形式は処理できません";
            if (c.plain) {
                // Written under a plain name; the picture reader decides.
                EXPECT_THROW(load(), EInvalidGraphic);
                EXPECT_FALSE(workFiles().empty());
            } else {
                EXPECT_THROW_MSG(load(), EInvalidGraphic, message);
                EXPECT_TRUE(workFiles().empty());
            }
            deleteFilesIn(IncludeTrailingPathDelimiter(work_.str()));
        }
    }
    EXPECT_TRUE(ListFiles(outside.str()).empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(files_.path()), fs::directory_iterator()), 1);
}

TEST_F(FileManageTest, RecordsOfNoCharactorAreSkipped)
{
    // Before the first 130/0 and after 130/127: transparency, name, frame and
    // points have no character to go to.
    auto orphans = [](DataFileBuilder& b) {
        b.item(130, 1, [](TQDFileStream& s) { s.writeBoolean(false); })
            .deltaStringItem(130, 2, "orphan")
            .fileItem(1, solidBmp(3, 3))
            .pointsItem({{0.5, 0.5}, {0.6, 0.6}});
    };
    DataFileBuilder b = build();
    b.header(120);
    orphans(b);
    b.item(130, 0).deltaStringItem(130, 2, "real").item(130, 127);
    orphans(b);
    b.item(128, 0, [](TQDFileStream& s) { s.writeDelta(7); }).finish();
    ASSERT_TRUE(load());
    EXPECT_EQ(list_.getLoopTime(), 7u);
    ASSERT_EQ(list_.getCount(), 1);
    const TCharactor& c = *list_.getCharactor(0);
    EXPECT_EQ(c.getName(), "real");
    EXPECT_TRUE(c.getTransparent());
    EXPECT_EQ(c.getGraphicCount(), 0);
    EXPECT_EQ(c.getPoint(0)->x, -200.0);
    EXPECT_TRUE(workFiles().empty());
}

TEST_F(FileManageTest, LengthsAndCountsFromTheFileEndTheLoad)
{
    struct Case {
        const char* name;
        Bytes records;
        bool result;
    };
    const Case cases[] = {
        // Embedded files whose length the file cannot hold.
        {"negative background length", hex({0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xF0, 1, 2, 3}), false},
        {"background of 2^31 - 1 bytes", hex({0xFF, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 1, 2, 3}), false},
        {"music of 2^31 - 1 bytes", hex({0xFF, 0x03, 0x7F, 0xFF, 0xFF, 0xFF, 1}), false},
        {"frame of 2^31 - 1 bytes", hex({0x82, 0x00, 0x00, 0xFF, 0x01, 0x7F, 0xFF, 0xFF, 0xFF, 1}), false},
        // Skips never move backwards; a negative length is far beyond the end.
        {"negative skip", hex({0xFF, 0x09, 0xFF, 0xFF, 0xFF, 0xFC, 0x80, 0x00, 0x01, 0x05}), true},
        {"skip of 2^31 - 1", hex({0xFF, 0x09, 0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x01, 0x05}), true},
        // Point counts far beyond what the file holds.
        {"2^31 - 1 points", hex({0x82, 0x00, 0x00, 0xFF, 0x02, 0, 0, 0, 0, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}), false},
        {"2^32 - 1 points", hex({0x82, 0x00, 0x00, 0xFF, 0x02, 0, 0, 0, 0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        putFile(hex({'Q', 'D', 's', 'm', 0, 0, 0, 120}) + c.records);
        EXPECT_EQ(load(), c.result);
        EXPECT_NE(list_.getLoopTime(), 5u);  // nothing after the record was read
        EXPECT_TRUE(workFiles().empty());
    }
}

TEST_F(FileManageTest, EmptyEmbeddedFiles)
{
    // An empty music file is unpacked as an empty file; an empty picture is a
    // picture the reader refuses.
    build().header(120).fileItem(3, {}).finish();
    ASSERT_TRUE(load());
    EXPECT_EQ(readBytes(list_.getSetting().getBgmFile()), Bytes{});
    build().header(120).fileItem(0, {}).finish();
    EXPECT_THROW_MSG(load(), EInvalidGraphic, "ビットマップイメージが不正です");
}

// A 256-colour bitmap of one colour, run-length encoded: a few bytes on disk
// for any size once decoded.
Bytes runLengthBmp(int width, int height)
{
    DibFixture dib;
    dib.width = width;
    dib.height = height;
    dib.bitCount = 8;
    dib.compression = 1;  // BI_RLE8
    dib.palette = {0x336699};
    dib.pixelData = hex({0x00, 0x01});  // end of bitmap: every pixel keeps index 0
    return makeBmp(dib);
}

TEST_F(FileManageTest, AShowHoldsAtMostAThousandCharactors)
{
    for (const int32_t count : {TCharactorList::kMaxCharactors, TCharactorList::kMaxCharactors + 1}) {
        SCOPED_TRACE(count);
        DataFileBuilder b = build();
        b.header(120);
        for (int32_t i = 0; i < count; ++i)
            b.item(130, 0);
        b.finish();
        if (count <= TCharactorList::kMaxCharactors) {
            EXPECT_TRUE(load());
            EXPECT_EQ(list_.getCount(), count);
        } else {
            EXPECT_THROW_MSG(load(), EShowTooLarge, "データが大きすぎるため、開くことが出来ません。");
            EXPECT_EQ(list_.getCount(), TCharactorList::kMaxCharactors);
        }
        list_.clear();
    }
}

TEST_F(FileManageTest, ThePicturesOfAShowShareOneBudgetWhateverTheyAre)
{
    // 4096 x 4096 pixels take 64 MiB decoded: a background and one frame of
    // that size fill the budget exactly; one pixel more is refused.
    ASSERT_EQ(int64_t{4096} * 4096 * 4 * 2, kMaxShowPictureBytes);
    const Bytes large = runLengthBmp(4096, 4096);
    build().header(120).fileItem(0, large).item(130, 0).fileItem(1, large).finish();
    EXPECT_TRUE(load());
    list_.clear();
    build().header(120).fileItem(0, large).item(130, 0).fileItem(1, large).fileItem(1, solidBmp(1, 1)).finish();
    EXPECT_THROW(load(), EShowTooLarge);
    list_.clear();
    // One picture past the budget is refused before it is decoded; the
    // next load has the whole budget again.
    build().header(120).fileItem(0, runLengthBmp(6000, 6000)).finish();
    EXPECT_THROW(load(), EShowTooLarge);
    build().header(120).fileItem(0, large).finish();
    EXPECT_TRUE(load());
}

// Bytes in memory load as the same bytes in a file do: the same result, the
// same show, the same messages, the same errors.
TEST_F(FileManageTest, BytesInMemoryLoadAsTheSameFileDoes)
{
    const Bytes badPicture = hex({'Q', 'D', 's', 'm', 0, 0, 0, 120, 0xFF, 0x00, 0, 0, 0, 4, 'B', 'M', 1, 2});
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"the example", exampleFile()},
        {"empty", {}},
        {"not a data file", hex({'G', 'I', 'F', '8', '9', 'a', 0, 0})},
        {"too new", hex({'Q', 'D', 's', 'm', 0, 0, 0, 132})},
        {"cut off", hex({'Q', 'D', 's', 'm', 0, 0, 0, 120, 0x81, 0x01, 0x04, 0x00})},
        {"old layout, cut off", hex({'Q', 'D', 's', 'm', 0, 0, 0, 100, 0x01})},
        {"a picture that cannot be read", badPicture},
    };
    struct Outcome {
        bool loaded = false;
        std::string error;
        int32_t count = -1;
        uint32_t loopTime = 0;
        std::vector<std::string> messages;
        std::vector<std::string> files;
    };
    auto outcome = [this](const std::function<bool()>& loadIt) {
        Outcome o;
        MessageRecorder recorder;
        list_.clear();
        try {
            o.loaded = loadIt();
        } catch (const Exception& e) {
            o.error = e.Message();
        }
        o.count = list_.getCount();
        o.loopTime = list_.getLoopTime();
        o.messages = recorder.messages();
        o.files = workFiles();
        for (const std::string& name : o.files)
            DeleteFile(workPath(name));
        return o;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        putFile(c.bytes);
        const Outcome fromFile = outcome([&] { return loadScrSavData(dataPath(), list_); });
        const Outcome fromMemory = outcome([&] { return loadScrSavDataFromMemory(c.bytes, list_); });
        EXPECT_EQ(fromMemory.loaded, fromFile.loaded);
        EXPECT_EQ(fromMemory.error, fromFile.error);
        EXPECT_EQ(fromMemory.count, fromFile.count);
        EXPECT_EQ(fromMemory.loopTime, fromFile.loopTime);
        EXPECT_EQ(fromMemory.messages, fromFile.messages);
        EXPECT_EQ(fromMemory.files, fromFile.files);
    }
    // The example loads, in both ways.
    putFile(exampleFile());
    EXPECT_TRUE(loadScrSavDataFromMemory(exampleFile(), list_));
    EXPECT_EQ(list_.getCount(), 1);
}

TEST_F(FileManageTest, NoFileStaysOpenWhenAnErrorPassesToTheCaller)
{
    build().header(120).deltaStringItem(129, 4, "../x").fileItem(0, solidBmp(2, 2)).finish();
    const size_t before = openFiles();
    EXPECT_THROW(loadScrSavData(dataPath(), list_), EInvalidGraphic);
    EXPECT_EQ(openFiles(), before);
}

}  // namespace
