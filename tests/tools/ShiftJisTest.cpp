// ShiftJisTest.cpp: sdtool's conversions between Shift-JIS and UTF-8, and its JSON texts.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tools/sdtool/Json.h"
#include "tools/sdtool/ShiftJis.h"

namespace {

TEST(ShiftJisTest, ConvertsBothWays)
{
    struct Case {
        std::string sjis;
        std::string utf8;
    };
    const Case cases[] = {
        {"", ""},
        {"blob", "blob"},
        {"\x83\x65\x83\x58\x83\x67", "テスト"},
        {"\x82\xa0\x82\xa2", "あい"},
        {"\x8a\xbf\x8e\x9a", "漢字"},
        {"\xb1\xb2", "ｱｲ"},            // half-width katakana, one byte each
        {"a\\b", "a\\b"},              // code page 932 keeps the backslash
        {"\x81\x5c", "―"},            // a second byte that is "\" in ASCII
        {"\x87\x40", "①"},            // a vendor extension of code page 932
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sjisToUtf8(c.sjis), c.utf8) << c.utf8;
        EXPECT_EQ(utf8ToSjis(c.utf8), c.sjis) << c.utf8;
    }
}

TEST(ShiftJisTest, BytesThatAreNoCharacterBecomeReplacementCharacters)
{
    EXPECT_EQ(sjisToUtf8("a\x81"), "a\xEF\xBF\xBD");      // a lead byte at the end
    EXPECT_EQ(sjisToUtf8("\xFF" "b"), "\xEF\xBF\xBD" "b");  // not a byte of the code page
    EXPECT_EQ(sjisToUtf8("\x81\x20x"), "\xEF\xBF\xBD x");  // a lead byte without its second byte
}

TEST(ShiftJisTest, RefusesWhatShiftJisCannotStore)
{
    try {
        utf8ToSjis("ok \xF0\x9F\x98\x80");  // U+1F600
        FAIL() << "no error";
    } catch (const TextEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("U+1F600"), std::string::npos) << e.what();
    }
    EXPECT_THROW(utf8ToSjis("\xC3"), TextEncodingError);         // cut-off UTF-8
    EXPECT_THROW(utf8ToSjis("\xC0\xAF"), TextEncodingError);     // overlong "/"
    EXPECT_THROW(utf8ToSjis("\xED\xA0\x80"), TextEncodingError); // a surrogate
    EXPECT_THROW(utf8ToSjis("Ω€"), TextEncodingError);          // the euro sign has no code
}

TEST(JsonTest, StringsAndNumbers)
{
    EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(jsonString("テ\xFF"), "\"テ\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonNumber(0.5), "0.5");
    EXPECT_EQ(jsonNumber(-200.0), "-200");
    EXPECT_EQ(jsonNumber(0.1), "0.1");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(jsonNumber(int64_t{-5}), "-5");
}

}  // namespace
