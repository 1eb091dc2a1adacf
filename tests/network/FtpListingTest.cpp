#include "network/FtpListing.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

double day(int year, int month, int d)
{
    double date = 0;
    EXPECT_TRUE(CalendarDate(year, month, d, date));
    return date;
}

TEST(FtpListing, UnixLinesKeepBlanksInNamesAndDateByTheirFields)
{
    FtpEntry entry;
    const double now = day(2024, 6, 15);
    ASSERT_EQ(ParseListLine("drwxr-xr-x   2 user  group     4096 Mar  5  2021 my old folder", now, entry),
              FtpLineResult::Entry);
    EXPECT_EQ(entry.name, "my old folder");
    EXPECT_TRUE(entry.folder);
    EXPECT_EQ(entry.modified, day(2021, 3, 5));

    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 123456 Dec 31 1999 a b.txt", now, entry), FtpLineResult::Entry);
    EXPECT_FALSE(entry.folder);
    EXPECT_EQ(entry.size, 123456);
    EXPECT_EQ(entry.modified, day(1999, 12, 31));

    // A name with a run of five blanks stays whole.
    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Jan 02 2020 wide     gap", now, entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.name, "wide     gap");
}

TEST(FtpListing, TimeOfDayMeansTheLastTwelveMonths)
{
    FtpEntry entry;
    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Jun 10 09:15 recent", day(2024, 6, 15), entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.modified, day(2024, 6, 10));
    // In January a December file is last year's, not the coming December's.
    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Dec 28 23:59 december", day(2025, 1, 3), entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.modified, day(2024, 12, 28));
    // Tomorrow is still this year (clocks of server and client differ).
    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Jun 16 01:00 tomorrow", day(2024, 6, 15), entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.modified, day(2024, 6, 16));
}

// The clock field as servers write it ("09:05") and as some do ("9:05") gives one time; one
// with more after the minutes is no time.
TEST(FtpListing, TimeOfDayFieldsInEveryWidth)
{
    FtpEntry entry;
    const double now = day(2024, 6, 15);
    for (const char* line : {"-rw-r--r-- 1 u g 1 Jun 10 09:05 padded", "-rw-r--r-- 1 u g 1 Jun 10 9:05 short"}) {
        SCOPED_TRACE(line);
        ASSERT_EQ(ParseListLine(line, now, entry), FtpLineResult::Entry);
        EXPECT_EQ(entry.listed, day(2024, 6, 10) + (9 * 60 + 5) / 1440.0);
    }
    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Jun 10 23:59 late", now, entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.listed, day(2024, 6, 10) + (23 * 60 + 59) / 1440.0);
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Jun 10 12:345 long", now, entry), FtpLineResult::BadDate);
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 1 Jun 10 12:3x odd", now, entry), FtpLineResult::BadDate);
}

TEST(FtpListing, LinesWithoutAnEntry)
{
    FtpEntry entry;
    const double now = day(2024, 6, 15);
    EXPECT_EQ(ParseListLine("drwxr-xr-x 2 u g 4096 Jan 01 2020 .", now, entry), FtpLineResult::Skipped);
    EXPECT_EQ(ParseListLine("drwxr-xr-x 2 u g 4096 Jan 01 2020 ..", now, entry), FtpLineResult::Skipped);
    EXPECT_EQ(ParseListLine("total 12", now, entry), FtpLineResult::Skipped);
    EXPECT_EQ(ParseListLine("", now, entry), FtpLineResult::Skipped);
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 5 Jan 02 2024 ../up.txt", now, entry), FtpLineResult::Unsafe);
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 5 Jan 02 2024 /etc/passwd", now, entry), FtpLineResult::Unsafe);
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 5 Jan 02 2024 a\\b", now, entry), FtpLineResult::Unsafe);
}

// A date no calendar has refuses its line alone; it raises nothing, so the listing goes on.
TEST(FtpListing, ImpossibleDatesRefuseTheirLineAlone)
{
    FtpEntry entry;
    const double now = day(2024, 6, 15);
    for (const char* line : {"-rw-r--r-- 1 u g 5 Feb 30 2024 impossible", "-rw-r--r-- 1 u g 5 Jan  0  2020 zero",
                             "-rw-r--r-- 1 u g 5 Jun 10 25:00 hour25", "-rw-r--r-- 1 u g 5 Jun 10 12:61 minute61",
                             "-rw-r--r-- 1 u g 5 Feb 29 2023 notleap", "01-32-24  03:04PM   12 dos-day",
                             "13-02-24  03:04PM   12 dos-month", "01-02-24  13:04PM   12 dos-hour",
                             "01-02-24  24:00   12 dos-clock"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(ParseListLine(line, now, entry), FtpLineResult::BadDate);
    }
    // A leap day is a day; an impossible date does not hide an unsafe name.
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 5 Feb 29 2024 leap", now, entry), FtpLineResult::Entry);
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 5 Feb 30 2024 ../up", now, entry), FtpLineResult::Unsafe);
    EXPECT_EQ(ParseMlsdLine("type=file;modify=20240102250000; late", entry), FtpLineResult::BadDate);
    EXPECT_EQ(ParseMlsdLine("type=file;modify=20240230010000; feb30", entry), FtpLineResult::BadDate);
    EXPECT_EQ(ParseMlsdLine("type=file;modify=202401020300-1; negative", entry), FtpLineResult::BadDate);
}

TEST(FtpListing, DosLines)
{
    FtpEntry entry;
    ASSERT_EQ(ParseListLine("01-02-24  03:04PM       <DIR>          Some Folder", 0, entry), FtpLineResult::Entry);
    EXPECT_TRUE(entry.folder);
    EXPECT_EQ(entry.name, "Some Folder");
    EXPECT_DOUBLE_EQ(entry.modified, day(2024, 1, 2) + (15 * 60 + 4) / 1440.0);
    ASSERT_EQ(ParseListLine("12-31-99  12:00AM              1234 old.txt", 0, entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.size, 1234);
    EXPECT_EQ(entry.modified, day(1999, 12, 31));
}

TEST(FtpListing, MachineListings)
{
    FtpEntry entry;
    ASSERT_EQ(ParseMlsdLine("type=file;size=5000000000;modify=20240102030405; big file.iso", entry),
              FtpLineResult::Entry);
    EXPECT_EQ(entry.name, "big file.iso");
    EXPECT_EQ(entry.size, 5000000000LL);
    EXPECT_FALSE(entry.folder);
    ASSERT_EQ(ParseMlsdLine("Type=dir;Modify=20240102030405; sub", entry), FtpLineResult::Entry);
    EXPECT_TRUE(entry.folder);
    EXPECT_EQ(ParseMlsdLine("type=cdir;modify=20240102030405; .", entry), FtpLineResult::Skipped);
    EXPECT_EQ(ParseMlsdLine("type=file;size=1; ../x", entry), FtpLineResult::Unsafe);
}

TEST(FtpListing, PermissionsAndOwnersAsEachFormGivesThem)
{
    FtpEntry entry;
    ASSERT_EQ(ParseListLine("drwxr-x---   2 張三  staff     4096 Mar  5  2021 共用 資料", day(2024, 6, 15), entry),
              FtpLineResult::Entry);
    EXPECT_EQ(entry.permissions, "drwxr-x---");
    EXPECT_EQ(entry.owner, "張三");
    EXPECT_EQ(entry.group, "staff");
    // unix.mode in the long form's letters wins over perm; names win over numbers.
    ASSERT_EQ(ParseMlsdLine("type=file;size=3;perm=adfrw;unix.mode=0640;unix.uid=1000;unix.owner=ann;"
                            "unix.gid=100;modify=20240102030405; a.txt", entry),
              FtpLineResult::Entry);
    EXPECT_EQ(entry.permissions, "-rw-r-----");
    EXPECT_EQ(entry.owner, "ann");
    EXPECT_EQ(entry.group, "100");
    ASSERT_EQ(ParseMlsdLine("type=dir;perm=elcmp;unix.mode=bogus; sub", entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.permissions, "elcmp");
    EXPECT_EQ(entry.owner, "");
    ASSERT_EQ(ParseMlsdLine("type=dir;unix.mode=755; sub", entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.permissions, "drwxr-xr-x");
    // The DOS form says nothing about either.
    ASSERT_EQ(ParseListLine("01-02-24  03:04PM       <DIR>          docs", day(2024, 6, 15), entry),
              FtpLineResult::Entry);
    EXPECT_EQ(entry.permissions, "");
    EXPECT_EQ(entry.owner, "");
}

TEST(FtpListing, MachineTimesAreKeptAsListedBesideTheLocalOnes)
{
    // Eight hours east of UTC, in a zone that needs no zone file.
    const char* oldZone = std::getenv("TZ");
    const std::string saved = oldZone ? oldZone : "";
    setenv("TZ", "CST-8", 1);
    tzset();
    FtpEntry entry;
    ASSERT_EQ(ParseMlsdLine("type=file;size=1;modify=20240102030405; f", entry), FtpLineResult::Entry);
    EXPECT_EQ(DateTimeText(entry.listed), "2024/01/02 03:04:05");
    EXPECT_EQ(DateTimeText(entry.modified), "2024/01/02 11:04:05");
    ASSERT_EQ(ParseListLine("-rw-r--r-- 1 u g 5 Mar  5  2021 f", day(2024, 6, 15), entry), FtpLineResult::Entry);
    EXPECT_EQ(entry.listed, entry.modified);
    if (oldZone)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(FtpListing, NamesSurviveTheRoundTripInBothEncodings)
{
    // 中文 in CP950, a lone lead byte, and a 0x5C trail byte (許).
    const std::string cp950 = "\xA4\xA4\xA4\xE5 \xB3\\ \x81";
    const std::string text = DecodeRemoteName(cp950, FtpEncoding::Cp950);
    EXPECT_EQ(EncodeRemoteName(text, FtpEncoding::Cp950), cp950);
    EXPECT_EQ(text.substr(0, 6), "中文");
    EXPECT_EQ(text.find('\\'), std::string::npos);

    const std::string broken = "caf\xC3\xA9 \xFF\xC3";
    EXPECT_EQ(EncodeRemoteName(DecodeRemoteName(broken, FtpEncoding::Utf8), FtpEncoding::Utf8), broken);
    EXPECT_EQ(DecodeRemoteName("中文", FtpEncoding::Utf8), "中文");

    EXPECT_EQ(ChooseFtpEncoding(false, {"-rw 1 u g 1 Jan 1 2020 中文"}), FtpEncoding::Utf8);
    EXPECT_EQ(ChooseFtpEncoding(false, {"-rw 1 u g 1 Jan 1 2020 \xA4\xA4"}), FtpEncoding::Cp950);
    EXPECT_EQ(ChooseFtpEncoding(true, {"\xA4\xA4"}), FtpEncoding::Utf8);
}

} // namespace
