#include <gtest/gtest.h>

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
