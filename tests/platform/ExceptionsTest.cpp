#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "support/TestSupport.h"

TEST(Exceptions, MessagesOfFileErrorsNameTheFile)
{
    EXPECT_EQ(EFOpenError("a.bmp").Message(), "ファイル a.bmp は開けません");
    EXPECT_EQ(EFCreateError("b.bmp").Message(), "ファイル b.bmp を作成できません");
    EXPECT_EQ(EReadError().Message(), "ストリームからの読み込みエラー");
    EXPECT_EQ(EWriteError().Message(), "ストリームへの書き込みエラー");
}

TEST(Exceptions, ShortReadIsItsOwnKind)
{
    EXPECT_THROW_MSG(throw EReadError(), EReadError, "ストリームからの読み込みエラー");
    try {
        throw EFOpenError("x");
    } catch (const EReadError&) {
        FAIL() << "an open error must not look like a short read";
    } catch (const EStreamError&) {
    }
}

TEST(Exceptions, FormatFillsPlaceholdersInOrder)
{
    EXPECT_EQ(Format("JPEG エラー #%d", {"42"}), "JPEG エラー #42");
    EXPECT_EQ(Format("%s and %s", {"a", "b"}), "a and b");
    EXPECT_EQ(Format("100%", {}), "100%");
    EXPECT_EQ(Format("%s %s", {"only"}), "only %s");
}
