// LegacyLoaderTest.cpp: data files of the old fixed layout (version 110 and
// below): character blocks with and without the transparent flag, bitmap
// blocks and their lengths, the bitmaps saved under fixed names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "datafile/DataFileBuilder.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"
#include "platform/SysUtils.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct OldCharactor {
    bool transparent = true;
    std::vector<Bytes> frames;
    std::vector<std::pair<double, double>> points;
};

struct OldShow {
    int32_t version = 110;
    uint32_t loopTime = 60;
    std::vector<OldCharactor> charactors;
    uint8_t backMode = 0;
    int32_t backColor = 0;
    std::optional<Bytes> background;
};

void bitmapBlock(TQDFileStream& s, const Bytes& bmp, int32_t extra = 0)
{
    s.writeLongInt(static_cast<int32_t>(bmp.size()) + extra);
    s.WriteBuffer(bmp.data(), static_cast<int64_t>(bmp.size()));
    const Bytes padding(static_cast<size_t>(extra), 0xEE);
    s.WriteBuffer(padding.data(), extra);
}

// The old layout, field by field, through the stream's write side.
void writeOldShow(const std::string& path, const OldShow& show)
{
    DataFileBuilder b(path);
    TQDFileStream& s = b.header(show.version).stream();
    s.writeDelta(show.loopTime);
    s.writeDelta(static_cast<uint32_t>(show.charactors.size()));
    for (const OldCharactor& c : show.charactors) {
        if (show.version >= 110)
            s.writeBoolean(c.transparent);
        s.writeDelta(static_cast<uint32_t>(c.frames.size()));
        for (const Bytes& frame : c.frames)
            bitmapBlock(s, frame);
        s.writeDelta(static_cast<uint32_t>(c.points.size()));
        for (const auto& [x, y] : c.points) {
            s.writeDouble(x);
            s.writeDouble(y);
        }
    }
    s.writeByte(show.backMode);
    s.writeLongInt(show.backColor);
    s.writeBoolean(show.background.has_value());
    if (show.background)
        bitmapBlock(s, *show.background);
    b.finish();
}

// An 8-bit bitmap with a palette: the saved copies are 24-bit, not byte copies.
Bytes paletteBmp(int width, int height)
{
    DibFixture dib;
    dib.width = width;
    dib.height = height;
    dib.bitCount = 8;
    dib.palette = {0x000000, 0xFF0000, 0x00FF00};
    std::vector<uint32_t> indices(static_cast<size_t>(width * height), 1);
    dib.pixelData = packRows(indices, width, height, 8);
    return makeBmp(dib);
}

class LegacyLoaderTest : public ::testing::Test {
protected:
    LegacyLoaderTest() { setWorkDirOverride(work_.str()); }
    ~LegacyLoaderTest() override { setWorkDirOverride(std::nullopt); }

    std::string dataPath() const { return files_.str() + "/old.sdt"; }
    std::string workPath(const std::string& name) const { return IncludeTrailingPathDelimiter(work_.str()) + name; }
    std::vector<std::string> workFiles() const { return ListFiles(work_.str()); }

    TempDir work_;
    TempDir files_;
    MessageRecorder messages_;
    TCharactorList list_;
};

TEST_F(LegacyLoaderTest, Version110CharactorWithTwoFramesAndThreePoints)
{
    OldShow show;
    show.loopTime = 25;
    show.charactors.push_back({false, {solidBmp(3, 2), solidBmp(5, 4)}, {{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.6}}});
    show.backMode = 0;
    show.backColor = 0x0000FF;
    writeOldShow(dataPath(), show);

    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    EXPECT_EQ(list_.getLoopTime(), 25u);
    ASSERT_EQ(list_.getCount(), 1);
    const TCharactor& c = *list_.getCharactor(0);
    EXPECT_FALSE(c.getTransparent());
    ASSERT_EQ(c.getGraphicCount(), 2);
    EXPECT_EQ(c.getGraphic(0)->Width(), 3);
    EXPECT_EQ(c.getGraphic(1)->Width(), 5);
    EXPECT_EQ(c.getPoint(2)->x, 0.5);
    EXPECT_EQ(c.getPoint(2)->y, 0.6);
    EXPECT_EQ(c.getPoint(3)->x, -200.0);
    EXPECT_EQ(list_.getSetting().getBackColor(), 0x0000FF);
    // The bitmaps under their fixed names, and the model's numbered copies.
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"chara0_0.bmp", "chara0_00.bmp", "chara0_1.bmp", "chara0_10.bmp"}));
    EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(LegacyLoaderTest, Version109HasNoTransparentFlag)
{
    OldShow show;
    show.version = 109;
    show.charactors.push_back({true, {solidBmp(2, 2)}, {{0.5, 0.5}}});
    show.charactors.push_back({true, {}, {}});
    writeOldShow(dataPath(), show);
    // The block of character 0 starts with its frame count: a flag byte there
    // would be read as the count.
    const Bytes bytes = readBytes(dataPath());
    EXPECT_EQ(bytes[10], 1);  // after header, loop time 60, character count 2

    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    ASSERT_EQ(list_.getCount(), 2);
    EXPECT_TRUE(list_.getCharactor(0)->getTransparent());
    EXPECT_EQ(list_.getCharactor(0)->getGraphicCount(), 1);
    EXPECT_EQ(list_.getCharactor(0)->getPoint(0)->x, 0.5);
    EXPECT_TRUE(list_.getCharactor(1)->getTransparent());
}

TEST_F(LegacyLoaderTest, BackgroundOnlyWhenFlagged)
{
    // A background already loaded stays when the file has none.
    writeFile(files_.str() + "/earlier.bmp", solidBmp(7, 7));
    list_.getSetting().setBackFile(files_.str() + "/earlier.bmp");
    const std::vector<std::string> before = workFiles();
    OldShow show;
    show.backMode = 2;
    writeOldShow(dataPath(), show);
    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    EXPECT_EQ(list_.getSetting().getBackMode(), 2);
    ASSERT_NE(list_.getSetting().getBackGraphic(), nullptr);
    EXPECT_EQ(list_.getSetting().getBackGraphic()->Width(), 7);
    EXPECT_EQ(workFiles(), before);

    show.background = paletteBmp(9, 3);
    writeOldShow(dataPath(), show);
    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    ASSERT_NE(list_.getSetting().getBackGraphic(), nullptr);
    EXPECT_EQ(list_.getSetting().getBackGraphic()->Width(), 9);
    // What the bitmap writes, not a copy of the embedded bytes.
    const Bytes saved = readBytes(workPath("oldback.bmp"));
    EXPECT_NE(saved, *show.background);
    EXPECT_EQ(saved, EncodeBmp24(*dynamic_cast<const TBitmap*>(list_.getSetting().getBackGraphic())));
}

TEST_F(LegacyLoaderTest, BitmapBlockLongerThanItsBitmap)
{
    // The next field is read from where the block's length says, not from
    // where the bitmap data ended.
    DataFileBuilder b(dataPath());
    TQDFileStream& s = b.header(110).stream();
    s.writeDelta(60);
    s.writeDelta(1);
    s.writeBoolean(true);
    s.writeDelta(2);
    bitmapBlock(s, solidBmp(2, 2), 13);
    bitmapBlock(s, solidBmp(3, 3), 1);
    s.writeDelta(1);
    s.writeDouble(0.125);
    s.writeDouble(0.875);
    s.writeByte(3);
    s.writeLongInt(0x00FF00);
    s.writeBoolean(true);
    bitmapBlock(s, solidBmp(4, 4), 100);
    b.finish();

    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    const TCharactor& c = *list_.getCharactor(0);
    EXPECT_EQ(c.getGraphicCount(), 2);
    EXPECT_EQ(c.getPoint(0)->y, 0.875);
    EXPECT_EQ(list_.getSetting().getBackMode(), 3);
    EXPECT_EQ(list_.getSetting().getBackColor(), 0x00FF00);
    EXPECT_EQ(list_.getSetting().getBackGraphic()->Width(), 4);
}

TEST_F(LegacyLoaderTest, TwelveFramesAreAllSavedAndTwoRefused)
{
    OldShow show;
    OldCharactor c;
    for (int f = 0; f < 12; ++f)
        c.frames.push_back(solidBmp(f + 1, 1));
    c.points = {{0.25, 0.5}};
    show.charactors.push_back(c);
    writeOldShow(dataPath(), show);

    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    EXPECT_EQ(messages_.messages(), std::vector<std::string>(2, "setGraphic : 範囲エラーです"));
    const TCharactor& loaded = *list_.getCharactor(0);
    EXPECT_EQ(loaded.getGraphicCount(), 10);
    EXPECT_EQ(loaded.getGraphic(9)->Width(), 10);
    EXPECT_EQ(loaded.getPoint(0)->x, 0.25);
    for (int f = 0; f < 12; ++f)
        EXPECT_TRUE(FileExists(workPath("chara0_" + std::to_string(f) + ".bmp"))) << f;
}

TEST_F(LegacyLoaderTest, TheListReadsTheStreamItIsHandedPastTheHeader)
{
    OldShow show;
    show.loopTime = 42;
    show.charactors.push_back({true, {solidBmp(2, 3)}, {{0.5, 0.25}}});
    show.backColor = 7;
    writeOldShow(dataPath(), show);
    // The bytes in memory and no file left: nothing can be opened again.
    TQDMemoryStream stream(readBytes(dataPath()));
    std::filesystem::remove(dataPath());
    ASSERT_EQ(stream.readString(4), kDataFileMagic);
    const int32_t version = stream.readLongInt();

    ASSERT_TRUE(list_.loadOldScrSavData(stream, version));
    EXPECT_EQ(list_.getLoopTime(), 42u);
    ASSERT_EQ(list_.getCount(), 1);
    EXPECT_EQ(list_.getCharactor(0)->getGraphic(0)->Height(), 3);
    EXPECT_EQ(list_.getCharactor(0)->getPoint(0)->y, 0.25);
    EXPECT_EQ(list_.getSetting().getBackColor(), 7);
    EXPECT_EQ(stream.Position(), stream.Size()) << "the background flag is the last field";
}

TEST_F(LegacyLoaderTest, FileEndingInsideThePointsIsFalse)
{
    OldShow show;
    show.charactors.push_back({true, {solidBmp(2, 2)}, {{0.1, 0.1}, {0.2, 0.2}}});
    writeOldShow(dataPath(), show);
    Bytes bytes = readBytes(dataPath());
    bytes.erase(bytes.end() - 6 - 12, bytes.end());  // the background fields and part of the last point
    writeFile(dataPath(), bytes);
    EXPECT_FALSE(loadScrSavData(dataPath(), list_));
    EXPECT_THROW(list_.loadOldScrSavData(dataPath()), EReadError);  // the loader turns only this into false
    EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(LegacyLoaderTest, RefusedFilesLeaveTheListUnchanged)
{
    list_.add().setName("kept");
    list_.setLoopTime(5);
    EXPECT_FALSE(list_.loadOldScrSavData(files_.str() + "/missing.sdt"));
    writeFile(dataPath(), {'Q', 'D', 's', 'M', 0, 0, 0, 100, 0, 0});
    EXPECT_FALSE(list_.loadOldScrSavData(dataPath()));
    writeFile(dataPath(), {'Q', 'D', 's', 'm', 0, 0, 0, 140, 0, 0});
    EXPECT_FALSE(list_.loadOldScrSavData(dataPath()));  // too new: no message here
    ASSERT_EQ(list_.getCount(), 1);
    EXPECT_EQ(list_.getCharactor(0)->getName(), "kept");
    EXPECT_EQ(list_.getLoopTime(), 5u);
    EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(LegacyLoaderTest, CountsWithTheTopBitSetMeanNone)
{
    // Built by hand: writeDelta keeps 28 bits only.
    writeFile(dataPath(), {'Q', 'D', 's', 'm', 0, 0, 0, 110, 60,
                           0x88, 0x80, 0x80, 0x80, 0x00,  // 2^31 characters: none
                           2, 0x00, 0x00, 0x00, 0x09, 0x00});
    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    EXPECT_EQ(list_.getCount(), 0);
    EXPECT_EQ(list_.getSetting().getBackMode(), 2);
    EXPECT_EQ(list_.getSetting().getBackColor(), 9);
}

TEST_F(LegacyLoaderTest, HostileLengthsAndCountsEndTheLoad)
{
    const Bytes bmp = solidBmp(2, 2);
    struct Case {
        const char* name;
        Bytes afterHeader;
    };
    const Case cases[] = {
        {"2^31 - 1 characters", {60, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0}},
        {"2^31 - 1 frames", {60, 1, 1, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0}},
        {"2^31 - 1 points", {60, 1, 1, 0, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0}},
        {"bitmap block of 2^31 - 1 bytes", {60, 1, 1, 1, 0x7F, 0xFF, 0xFF, 0xFF, 'B', 'M'}},
        {"bitmap block running backwards", {60, 1, 1, 1, 0xFF, 0xFF, 0xFF, 0xF0, 'B', 'M'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = {'Q', 'D', 's', 'm', 0, 0, 0, 110};
        for (const uint8_t b : c.afterHeader)
            file.push_back(b);
        writeFile(dataPath(), file);
        EXPECT_FALSE(loadScrSavData(dataPath(), list_));
    }
    EXPECT_TRUE(workFiles().empty());
}

#ifndef _WIN32
// Symbolic links are POSIX matters (Windows links need rights tests lack).
TEST_F(LegacyLoaderTest, SavingReplacesALinkItselfNeverItsTarget)
{
    const TempDir outside;
    const std::string victim = outside.str() + "/victim.bmp";
    writeFile(victim, {'k', 'e', 'e', 'p'});
    fs::create_symlink(victim, workPath("oldback.bmp"));
    fs::create_symlink(victim, workPath("chara0_0.bmp"));
    OldShow show;
    show.charactors.push_back({true, {solidBmp(2, 2)}, {}});
    show.background = solidBmp(3, 3);
    writeOldShow(dataPath(), show);

    ASSERT_TRUE(loadScrSavData(dataPath(), list_));
    EXPECT_EQ(readBytes(victim), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::is_symlink(workPath("oldback.bmp")));
    EXPECT_FALSE(fs::is_symlink(workPath("chara0_0.bmp")));
    EXPECT_EQ(list_.getSetting().getBackGraphic()->Width(), 3);
}
#endif

}  // namespace
