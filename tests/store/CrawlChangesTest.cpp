#include "support/ErrorOf.h"
#include "store/CrawlChanges.h"
#include "StoreFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace {

CrawlRecord sampleRecord()
{
    CrawlRecord r;
    r.Crawled = 46000.25;
    r.Previous = 45999.5;
    r.Partial = true;
    r.Reasons = {"\\\\PC\\大檔\\ 超過 30 秒，只讀了一部分"};
    r.Refused = {{"\\\\PC\\私人", 1326, "登入失敗：不明的使用者名稱或錯誤密碼。\r\n"}};
    r.Changes = {
        {CrawlChangeKind::New, "\\\\PC\\公開\\新資料夾\\報告.txt", 12, 46000.1, 0, 0},
        {CrawlChangeKind::Removed, "\\\\PC\\公開\\100%\nodd\tname", 7, 45000.5, 0, 0},
        {CrawlChangeKind::Changed, "\\\\PC\\公開\\a.doc", 4000000000u, 46000.2, 1, 45000.75},
    };
    return r;
}

TEST(CrawlRecordFile, WritesAndReadsBackEveryField)
{
    StoreFolder dir;
    const CrawlRecord written = sampleRecord();
    WriteCrawlRecord(dir.win(), "PC", written);
    CrawlRecord read;
    ASSERT_TRUE(ReadCrawlRecord(dir.win(), "PC", read));
    EXPECT_EQ(read.Crawled, written.Crawled);
    EXPECT_EQ(read.Previous, written.Previous);
    EXPECT_TRUE(read.Partial);
    EXPECT_EQ(read.Reasons, written.Reasons);
    ASSERT_EQ(read.Refused.size(), 1u);
    EXPECT_EQ(read.Refused[0].Share, "\\\\PC\\私人");
    EXPECT_EQ(read.Refused[0].Code, 1326);
    EXPECT_EQ(read.Refused[0].Message, written.Refused[0].Message);
    ASSERT_EQ(read.Changes.size(), 3u);
    for (size_t k = 0; k < 3; k++) {
        EXPECT_EQ(read.Changes[k].Kind, written.Changes[k].Kind);
        EXPECT_EQ(read.Changes[k].Path, written.Changes[k].Path);  // "%", LF and tab survive
        EXPECT_EQ(read.Changes[k].Size, written.Changes[k].Size);
        EXPECT_EQ(read.Changes[k].Modified, written.Changes[k].Modified);
        EXPECT_EQ(read.Changes[k].OldSize, written.Changes[k].OldSize);
        EXPECT_EQ(read.Changes[k].OldModified, written.Changes[k].OldModified);
    }
    // A second write replaces the first whole.
    CrawlRecord complete;
    complete.Crawled = 46001;
    WriteCrawlRecord(dir.win(), "PC", complete);
    ASSERT_TRUE(ReadCrawlRecord(dir.win(), "PC", read));
    EXPECT_FALSE(read.Partial);
    EXPECT_TRUE(read.Changes.empty());
    EXPECT_TRUE(read.Refused.empty());
}

TEST(CrawlRecordFile, MissingIsNoCrawlAndDamageIsReported)
{
    StoreFolder dir;
    CrawlRecord read;
    EXPECT_FALSE(ReadCrawlRecord(dir.win(), "PC", read));

    WriteCrawlRecord(dir.win(), "PC", sampleRecord());
    const std::string native = dir.path("PC.CHG");
    std::ifstream in(native, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), {});
    in.close();
    const auto damagedBy = [&](const std::string& content) {
        std::ofstream(native, std::ios::binary | std::ios::trunc) << content;
        return errorOf([&] { ReadCrawlRecord(dir.win(), "PC", read); });
    };
    EXPECT_NE(damagedBy(whole.substr(0, whole.size() - 1)).find("已損壞"), std::string::npos);  // cut mid-line
    EXPECT_NE(damagedBy("tamsel-crawl\t1\n").find("已損壞"), std::string::npos);                // no state
    EXPECT_NE(damagedBy("something else\n").find("格式"), std::string::npos);
    EXPECT_NE(damagedBy("tamsel-crawl\t1\nstate\tcomplete\nnew\tx\t1\t0\t0\tp\n").find("第 3 行"), std::string::npos);
    EXPECT_NE(damagedBy("tamsel-crawl\t1\nstate\tcomplete\nchanged\t1\t2\t3\n").find("第 3 行"), std::string::npos);
    EXPECT_NE(damagedBy("tamsel-crawl\t1\nstate\tcomplete\nnew\t1\t2\t0\t0\tbad%zz\n").find("第 3 行"), std::string::npos);
}

TEST(CompareCrawls, FindsNewRemovedAndChangedFilesWithoutRegardToCase)
{
    const std::vector<CrawledFile> before = {
        {"\\\\PC\\S\\same.txt", 10, 45000},
        {"\\\\PC\\S\\Gone.txt", 20, 45000},
        {"\\\\PC\\S\\bigger.txt", 30, 45000},
        {"\\\\PC\\S\\touched.txt", 40, 45000},
        {"\\\\PC\\S\\CASE.txt", 50, 45000},
    };
    const std::vector<CrawledFile> after = {
        {"\\\\PC\\S\\touched.txt", 40, 45001},
        {"\\\\PC\\S\\same.txt", 10, 45000},
        {"\\\\PC\\S\\bigger.txt", 31, 45000},
        {"\\\\PC\\S\\case.TXT", 50, 45000},
        {"\\\\PC\\S\\資料\\新.txt", 5, 45002},
    };
    const auto changes = CompareCrawls(before, after);
    ASSERT_EQ(changes.size(), 4u);
    std::map<std::string, CrawlChange> byPath;
    for (const auto& c : changes)
        byPath[c.Path] = c;
    EXPECT_EQ(byPath["\\\\PC\\S\\Gone.txt"].Kind, CrawlChangeKind::Removed);
    EXPECT_EQ(byPath["\\\\PC\\S\\Gone.txt"].Size, 20u);
    EXPECT_EQ(byPath["\\\\PC\\S\\bigger.txt"].Kind, CrawlChangeKind::Changed);
    EXPECT_EQ(byPath["\\\\PC\\S\\bigger.txt"].OldSize, 30u);
    EXPECT_EQ(byPath["\\\\PC\\S\\bigger.txt"].Size, 31u);
    EXPECT_EQ(byPath["\\\\PC\\S\\touched.txt"].Kind, CrawlChangeKind::Changed);
    EXPECT_EQ(byPath["\\\\PC\\S\\touched.txt"].OldModified, 45000);
    EXPECT_EQ(byPath["\\\\PC\\S\\資料\\新.txt"].Kind, CrawlChangeKind::New);
    EXPECT_TRUE(CompareCrawls(after, after).empty());
}

TEST(CompareCrawls, OfPathsThatDifferOnlyInCaseTheFirstCountsAndABaselineServesTwice)
{
    const CrawlBaseline baseline({{"\\\\PC\\S\\Twice.txt", 1, 45000}, {"\\\\PC\\S\\TWICE.TXT", 2, 45000},
                                  {"\\\\PC\\S\\b.txt", 3, 45000}});
    const std::vector<CrawledFile> after = {{"\\\\PC\\S\\twice.txt", 1, 45000}, {"\\\\PC\\S\\Twice.TXT", 9, 45000}};
    for (int round = 0; round < 2; round++) {
        const auto changes = baseline.changes(after);
        ASSERT_EQ(changes.size(), 2u);
        // By folded path: "b.txt" before "twice.txt"; the second file of one path is new.
        EXPECT_EQ(changes[0].Kind, CrawlChangeKind::Removed);
        EXPECT_EQ(changes[0].Path, "\\\\PC\\S\\b.txt");
        EXPECT_EQ(changes[1].Kind, CrawlChangeKind::New);
        EXPECT_EQ(changes[1].Path, "\\\\PC\\S\\Twice.TXT");
        EXPECT_EQ(changes[1].Size, 9u);
    }
    const auto fromNothing = CrawlBaseline().changes(after);
    ASSERT_EQ(fromNothing.size(), 1u);
    EXPECT_EQ(fromNothing[0].Size, 1u);
}

} // namespace
