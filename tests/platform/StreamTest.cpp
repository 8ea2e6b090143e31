#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

TEST(FileStream, CreateWriteReopenRead)
{
    TempDir dir;
    const std::string name = dir.str() + "/a.bin";
    {
        TFileStream out(name, fmCreate);
        out.WriteBuffer("hello", 5);
        EXPECT_EQ(out.Size(), 5);
    }
    TFileStream in(name, fmOpenRead);
    char buf[5] = {};
    in.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(in.Position(), 5);
    EXPECT_THROW(in.ReadBuffer(buf, 1), EReadError);
    EXPECT_THROW(in.WriteBuffer(buf, 1), EWriteError);  // opened read only
}

TEST(FileStream, OpenAndCreateFailuresNameTheFile)
{
    TempDir dir;
    const std::string missing = dir.str() + "/missing.bin";
    EXPECT_THROW_MSG(TFileStream(missing, fmOpenRead), EFOpenError, "ファイル " + missing + " は開けません");
    const std::string bad = dir.str() + "/no/such/dir.bin";
    EXPECT_THROW_MSG(TFileStream(bad, fmCreate), EFCreateError, "ファイル " + bad + " を作成できません");
}

TEST(MemoryStream, SeekOriginsAndShortReads)
{
    TMemoryStream s({1, 2, 3, 4, 5});
    EXPECT_EQ(s.Seek(2, soFromBeginning), 2);
    EXPECT_EQ(s.Seek(1, soFromCurrent), 3);
    EXPECT_EQ(s.Seek(-1, soFromEnd), 4);
    EXPECT_EQ(s.Seek(-10, soFromCurrent), 4);  // before the start: stays
    uint8_t b[4] = {};
    EXPECT_EQ(s.Read(b, 4), 1);
    EXPECT_EQ(b[0], 5);
    EXPECT_THROW(s.ReadBuffer(b, 1), EReadError);
    s.ReadBuffer(b, 0);  // a count of 0 does nothing
}

TEST(Stream, CopyFromCopiesExactlyCountBytes)
{
    TMemoryStream src({10, 11, 12, 13});
    src.SetPosition(1);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 0);  // nothing, not the whole source
    EXPECT_EQ(dst.Size(), 0);
    dst.CopyFrom(src, 2);
    EXPECT_EQ(dst.Bytes(), (std::vector<uint8_t>{11, 12}));
    EXPECT_EQ(src.Position(), 3);
    EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
}

TEST(FileStream, JapaneseFileNameIsTheNameOnDisk)
{
    TempDir dir;
    const std::string name = dir.str() + "/背景画像.bin";
    {
        TFileStream out(name, fmCreate);
        out.WriteBuffer("x", 1);
    }
    // The file must be found under the same Unicode name by another route.
    EXPECT_TRUE(std::filesystem::exists(dir.path() / std::filesystem::path(u8"背景画像.bin")));
    TFileStream in(name, fmOpenRead);
    EXPECT_EQ(in.Size(), 1);
}

TEST(FileStream, OpenModesAndSeekRefusedBeforeStart)
{
    TempDir dir;
    const std::string name = dir.str() + "/m.bin";
    {
        TFileStream out(name, fmCreate);
        out.WriteBuffer("abcdef", 6);
    }
    {
        TFileStream rw(name, fmOpenReadWrite);
        EXPECT_EQ(rw.Seek(-2, soFromEnd), 4);
        rw.WriteBuffer("XY", 2);
        EXPECT_EQ(rw.Seek(-100, soFromCurrent), 6);  // refused: stays at the end
        rw.SetPosition(0);
        char buf[6] = {};
        rw.ReadBuffer(buf, 6);
        EXPECT_EQ(std::string(buf, 6), "abcdXY");
    }
    {
        TFileStream w(name, fmOpenWrite);  // opening for writing keeps the contents
        EXPECT_EQ(w.Size(), 6);
        char c = 0;
        EXPECT_EQ(w.Read(&c, 1), 0);  // write only
        w.WriteBuffer("Z", 1);
    }
    TFileStream again(name, fmCreate);  // fmCreate empties an existing file
    EXPECT_EQ(again.Size(), 0);
}

#ifdef _WIN32
// Sharing flags only mean something where the system enforces them.
TEST(FileStream, SharingFlagsDecideASecondOpen)
{
    TempDir dir;
    const std::string name = dir.str() + "/s.bin";
    {
        TFileStream out(name, fmCreate);
        out.WriteBuffer("s", 1);
        EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyNone), EFOpenError);  // created: exclusive
    }
    struct Case {
        uint16_t first;
        uint16_t second;
        bool secondOpens;
    };
    const Case cases[] = {
        {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyNone, false},
        {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyWrite, true},
        {fmOpenRead | fmShareDenyWrite, fmOpenWrite | fmShareDenyNone, false},
        {fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareDenyNone, true},
        {fmOpenRead, fmOpenRead, true},
        {fmOpenRead, fmOpenWrite | fmShareDenyNone, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.first << " then " << c.second);
        TFileStream first(name, c.first);
        if (c.secondOpens)
            EXPECT_NO_THROW(TFileStream(name, c.second));
        else
            EXPECT_THROW_MSG(TFileStream(name, c.second), EFOpenError, "ファイル " + name + " は開けません");
    }
}
#endif
