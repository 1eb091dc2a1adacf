#include <gtest/gtest.h>

#include "local/PatternTokenizer.h"
#include "platform/Exception.h"
#include "resources/StringTable.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

Fields split(const std::string& text, const std::string& pattern)
{
    Fields fields;
    SplitByPattern(text, pattern, fields);
    return fields;
}

// Runs a split that must fail and returns the message and the fields found before it.
std::string failingSplit(const std::string& text, const std::string& pattern, Fields& fields)
{
    try {
        SplitByPattern(text, pattern, fields);
    } catch (const Exception& error) {
        return error.message();
    }
    ADD_FAILURE() << "no error for " << text << " / " << pattern;
    return {};
}

} // namespace

TEST(PatternTokenizer, FtpListingKeepsBlanksInsideTheName)
{
    const Fields fields = split("-rw-r--r--   1 owner  group    40960 Jan  5 12:30 my holiday  photo.jpg",
                                kFtpListingPattern);
    const Fields expected{"-rw-r--r--", "1", "owner", "group", "40960", "Jan", "5", "12:30", "my holiday  photo.jpg"};
    EXPECT_EQ(fields, expected);
}

TEST(PatternTokenizer, FtpListingTakesTextAfterFiveBlanksAsTenthField)
{
    const Fields fields = split("drwxr-xr-x 2 ftp ftp 4096 Dec 31 2001 old files      -> /srv/old  x",
                                kFtpListingPattern);
    ASSERT_EQ(fields.size(), 10u);
    EXPECT_EQ(fields[7], "2001");
    EXPECT_EQ(fields[8], "old files");
    EXPECT_EQ(fields[9], "-> /srv/old  x");
}

TEST(PatternTokenizer, ShortLineEndsWithItsRest)
{
    EXPECT_EQ(split("total 12", kFtpListingPattern), (Fields{"total", "12"}));
    EXPECT_EQ(split("a   b c", "S S"), (Fields{"a", "b c"}));
}

TEST(PatternTokenizer, PositionsCountCharactersNotBytes)
{
    // Each Han character is three bytes in UTF-8; a byte-counting split would cut inside one.
    EXPECT_EQ(split("檔案/名稱", "CD/S"), (Fields{"檔案", "名稱"}));
    EXPECT_EQ(split("-rw 1 u g 9 Jan 1 2001 中文 檔名.txt", kFtpListingPattern).back(), "中文 檔名.txt");
}

TEST(PatternTokenizer, FieldBeginningWithTheDelimiterKeepsItsFirstCharacter)
{
    // The search for the delimiter starts at the second character.
    EXPECT_EQ(split(";;a;b", "S;S"), (Fields{";", "a;b"}));
    // A run longer than the pattern's is skipped whole; shorter runs stay in the field.
    EXPECT_EQ(split("a;b;;;;c", "S;;S"), (Fields{"a;b", "c"}));
}

TEST(PatternTokenizer, NumberFields)
{
    Fields fields;
    EXPECT_EQ(failingSplit("12a;3", "N;", fields), LoadStr(20050));
    EXPECT_TRUE(fields.empty());
    EXPECT_EQ(split("12.5;3", "N;"), (Fields{"12.5"}));
    EXPECT_EQ(split("-7 x", "N S"), (Fields{"-7", "x"}));
}

TEST(PatternTokenizer, MoneyFieldsDropTheirCommas)
{
    EXPECT_EQ(split("1,234;", "M;"), (Fields{"1234"}));
    Fields fields;
    EXPECT_EQ(failingSplit("1,2x4;", "M;", fields), LoadStr(20051));
}

TEST(PatternTokenizer, FixedWidthFields)
{
    EXPECT_EQ(split("2001//12", "DDDD/"), (Fields{"2001"}));
    EXPECT_EQ(split("2001//12", "DDDD/DD"), (Fields{"2001", "12"}));
    Fields fields;
    EXPECT_EQ(failingSplit("20x1/", "DDDD/", fields), LoadStr(20050));
    EXPECT_EQ(split("ab12-x", "CDDD-S"), (Fields{"ab12", "x"}));
    // Zero copies of the delimiter are skipped too.
    EXPECT_EQ(split("2001abc", "DDDD/S"), (Fields{"2001", "abc"}));
}

TEST(PatternTokenizer, UnknownCodeRaisesSyntaxErrorAfterEarlierFields)
{
    Fields fields;
    EXPECT_EQ(failingSplit("a b", "X", fields), LoadStr(20052));
    fields.clear();
    EXPECT_EQ(failingSplit("a b c", "S Q", fields), LoadStr(20052));
    EXPECT_EQ(fields, Fields{"a"});
    fields.clear();
    EXPECT_EQ(failingSplit("5 x 7", "N N N", fields), LoadStr(20050));
    EXPECT_EQ(fields, Fields{"5"});
}

TEST(PatternTokenizer, EmptyTextOrPatternAddsNothing)
{
    EXPECT_TRUE(split("", "S S").empty());
    EXPECT_TRUE(split("abc", "").empty());
    Fields fields{"kept"};
    SplitByPattern("x y", "S ", fields);
    EXPECT_EQ(fields, (Fields{"kept", "x"}));
}

TEST(PatternTokenizer, InvalidUtf8BytesSurviveTheSplit)
{
    const std::string name = "\xA4\xA4\xA4\xE5 x"; // CP950 bytes, not UTF-8
    EXPECT_EQ(split("a " + name, "S S"), (Fields{"a", name}));
}

TEST(PatternTokenizer, AsciiViewsAreTheSameFields)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"-rw-r--r--   1 owner  group    40960 Jan  5 12:30 my holiday  photo.jpg", kFtpListingPattern},
        {"drwxr-xr-x 2 ftp ftp 4096 Dec 31 2001 old files      -> /srv/old  x", kFtpListingPattern},
        {" -rw-r--r-- 1 0 0 7 Dec 11 09:46 leading blank", kFtpListingPattern},
        {"total 12", kFtpListingPattern},
        {";;a;b", "S;S"},
        {"a;b;;;;c", "S;;S"},
        {"2001//12", "DDDD/DD"},
        {"ab12-x", "CDDD-S"},
        {"-7 x", "N S"},
        {"", "S S"},
    };
    for (const auto& [text, pattern] : cases) {
        std::vector<std::string_view> views{"kept"};
        ASSERT_TRUE(SplitAsciiByPattern(text, pattern, views)) << text;
        Fields fields{"kept"};
        SplitByPattern(text, pattern, fields);
        EXPECT_EQ(Fields(views.begin(), views.end()), fields) << text << " / " << pattern;
    }
    // Errors are the same, with the fields found before them.
    std::vector<std::string_view> views;
    try {
        SplitAsciiByPattern("5 x 7", "N N N", views);
        ADD_FAILURE() << "no error for a letter in a number field";
    } catch (const Exception& error) {
        EXPECT_EQ(error.message(), LoadStr(20050));
    }
    EXPECT_EQ(views, (std::vector<std::string_view>{"5"}));
}

TEST(PatternTokenizer, AsciiViewsRefuseWhatTheyCannotView)
{
    std::vector<std::string_view> views;
    // Characters that are not bytes, and money fields that lose their commas, are texts of
    // their own: left to SplitByPattern, with nothing appended.
    EXPECT_FALSE(SplitAsciiByPattern("-rw 1 u g 9 Jan 1 2001 中文 檔名.txt", kFtpListingPattern, views));
    EXPECT_FALSE(SplitAsciiByPattern("a \xA4\xA4 x", "S S", views));
    EXPECT_FALSE(SplitAsciiByPattern("1,234;", "M;", views));
    EXPECT_FALSE(SplitAsciiByPattern("a/b", "檔/S", views));
    EXPECT_TRUE(views.empty());
}

TEST(PatternTokenizer, IsNumberText)
{
    EXPECT_TRUE(IsNumberText("+"));
    EXPECT_TRUE(IsNumberText("-"));
    EXPECT_TRUE(IsNumberText("1.2.3"));
    EXPECT_TRUE(IsNumberText("0042"));
    EXPECT_FALSE(IsNumberText(""));
    EXPECT_FALSE(IsNumberText("1-2"));
    EXPECT_FALSE(IsNumberText("++1"));
    EXPECT_FALSE(IsNumberText(" 1"));
    EXPECT_FALSE(IsNumberText("１２")); // full-width digits are not digits here
}
