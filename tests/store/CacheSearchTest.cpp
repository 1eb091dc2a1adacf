#include "StoreFolder.h"
#include "MiniJson.h"
#include "support/RandomCache.h"
#include "support/SearchTruth.h"
#include "platform/DateTime.h"
#include "store/CacheListing.h"
#include "store/CacheSearch.h"
#include "store/NodePaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <tuple>

namespace {

using randomcache::Found;
using randomcache::bruteForce;

Found search(const std::string& cache, const SearchQuery& q, std::vector<std::string>* errors = nullptr)
{
    Found out;
    SearchCache(cache, q,
                [&](const SearchHit& h) {
                    EXPECT_TRUE(out.insert({h.Computer, h.Path, h.Size}).second) << "twice: " << h.Path;
                    return true;
                },
                [&](const std::string& m) {
                    if (errors)
                        errors->push_back(m);
                    else
                        ADD_FAILURE() << m;
                });
    return out;
}

class CacheSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_home.path("Cache"));
        m_cache = m_home.win("Cache");
        m_truth = randomcache::makeRandomCache(m_cache, 5, 4000, 1208, 40);
    }
    /// Damages a computer's listing: its second half is gone.
    void cutListingInHalf(const std::string& computer)
    {
        const std::string listing = m_home.path("Cache/Net/WG/" + computer + ".LST");
        std::filesystem::resize_file(listing, std::filesystem::file_size(listing) / 2);
    }
    StoreFolder m_home;
    std::string m_cache;
    std::vector<randomcache::Entry> m_truth;
};

} // namespace

TEST_F(CacheSearch, FindsExactlyWhatAPlainScanFinds)
{
    const char* const patterns[] = {"report", "REPORT", "報告", "資料_", "photo1", "*.jpg", "r?port*", "*報告*.MP3",
                                    "?", "*", "no such name", "共用", "3-DATA"};
    for (const char* pattern : patterns) {
        SearchQuery q;
        q.Text = pattern;
        const Found expected = bruteForce(m_truth, q);
        EXPECT_EQ(search(m_cache, q), expected) << pattern;
    }
    // The patterns that should find something do: the comparison above is not empty-vs-empty.
    SearchQuery some;
    some.Text = "報告";
    EXPECT_GT(bruteForce(m_truth, some).size(), 100u);
    some.Text = "*.JPG";
    EXPECT_GT(bruteForce(m_truth, some).size(), 100u);
}

TEST_F(CacheSearch, FiltersBySizeDateAndComputer)
{
    SearchQuery q;
    q.Text = "a";
    q.MinSize = 1000000;
    q.MaxSize = 5000000;
    Found expected = bruteForce(m_truth, q);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(search(m_cache, q), expected);

    q = {};
    q.Text = "*";
    q.After = *ParseSearchDate("2010-01-01");
    q.Before = *ParseSearchDate("2012-06-30 12:00");
    expected = bruteForce(m_truth, q);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(search(m_cache, q), expected);

    q = {};
    q.Text = "data";
    q.Computers = {"PC1", "PC3"};
    expected = bruteForce(m_truth, q);
    q.Computers = {"pc1", "Pc3"};  // captions without regard to case
    const Found got = search(m_cache, q);
    EXPECT_EQ(got, expected);
    for (const auto& hit : got)
        EXPECT_TRUE(std::get<0>(hit) == "PC1" || std::get<0>(hit) == "PC3");
}

TEST_F(CacheSearch, DamagedListingIsReportedAndTheOthersSearched)
{
    namespace fs = std::filesystem;
    cutListingInHalf("PC2");
    fs::remove(m_home.path("Cache/Net/WG/PC4.IDX"));
    SearchQuery q;
    q.Text = "report";
    std::vector<std::string> errors;
    const Found got = search(m_cache, q, &errors);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("PC2: 快取檔 ", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find("已損壞"), std::string::npos) << errors[0];
    EXPECT_EQ(errors[1].rfind("PC4: ", 0), 0u) << errors[1];
    q.Computers = {"PC0", "PC1", "PC3"};
    const Found others = bruteForce(m_truth, q);
    EXPECT_FALSE(others.empty());
    for (const auto& hit : others)
        EXPECT_TRUE(got.count(hit)) << std::get<1>(hit);
    for (const auto& hit : got)
        EXPECT_NE(std::get<0>(hit), "PC4");
}

// Computers are searched on several threads: hits and errors must still come computer by
// computer in node-file order, and a hit answered with false must be the last one.
TEST_F(CacheSearch, HitsAndErrorsComeInComputerOrderAndAStopIsTheEnd)
{
    cutListingInHalf("PC2");
    SearchQuery q;
    q.Text = "a";
    std::vector<std::string> events;  // the computer of each hit, or "error PCn"
    size_t hits = 0;
    SearchCache(m_cache, q,
                [&](const SearchHit& h) {
                    hits++;
                    if (events.empty() || events.back() != h.Computer)
                        events.push_back(h.Computer);
                    return true;
                },
                [&](const std::string& m) { events.push_back("error " + m.substr(0, 3)); });
    EXPECT_EQ(events, (std::vector<std::string>{"PC0", "PC1", "error PC2", "PC3", "PC4"}));

    // A stop in the first computer, in a later one, and at the last hit of all.
    for (const size_t stopAt : {size_t(1), size_t(700), hits}) {
        std::vector<std::string> paths;
        SearchCache(m_cache, q,
                    [&](const SearchHit& h) {
                        paths.push_back(h.Path);
                        return paths.size() < stopAt;
                    },
                    [](const std::string&) {});
        EXPECT_EQ(paths.size(), stopAt);
    }
}

// The text of each computer, made on the helpers, comes whole and in the order of the hits
// SearchCache hands on, errors between; a write that returns false is the last.
TEST_F(CacheSearch, TextOfEachComputerComesInTheOrderOfTheHits)
{
    cutListingInHalf("PC2");
    SearchQuery q;
    q.Text = "a";
    const auto line = [](const SearchHit& h) { return h.Computer + "|" + h.Path + "|" + std::to_string(h.Size) + "\n"; };
    std::string expected;
    std::vector<std::string> expectedErrors;
    SearchCache(m_cache, q,
                [&](const SearchHit& h) {
                    expected += line(h);
                    return true;
                },
                [&](const std::string& m) { expectedErrors.push_back(m); });
    std::string text;
    std::vector<std::string> events;  // "text PCn" for each write, "error PCn"
    std::vector<std::string> errors;
    const int searched = SearchCacheText(
        m_cache, q, [&](const SearchHit& h, std::string& out) { out += line(h); },
        [&](std::string_view written) {
            if (!written.empty())
                events.push_back("text " + std::string(written.substr(0, 3)));
            text += written;
            return true;
        },
        [&](const std::string& m) {
            errors.push_back(m);
            events.push_back("error " + m.substr(0, 3));
        });
    EXPECT_EQ(text, expected);
    EXPECT_EQ(errors, expectedErrors);
    EXPECT_EQ(events, (std::vector<std::string>{"text PC0", "text PC1", "error PC2", "text PC3", "text PC4"}));
    EXPECT_EQ(searched, 4);

    size_t writes = 0;
    SearchCacheText(
        m_cache, q, [&](const SearchHit& h, std::string& out) { out += line(h); },
        [&](std::string_view) { return ++writes < 2; }, [](const std::string&) {});
    EXPECT_EQ(writes, 2u);
}

TEST(CacheSearchNames, CaseOfOtherAlphabetsAndAFolderListedTwice)
{
    StoreFolder home;
    std::filesystem::create_directories(home.path("Cache"));
    const std::string cache = home.win("Cache");
    randomcache::makeRandomCache(cache, 1, 1, 1);
    // The folder is listed twice; Tamsel shows the first listing, so the search does too.
    std::vector<TItemList> folders(2);
    for (const char* name : {"ÄRGER.txt", "ΣΟΦΙΑ.doc", "ｆｕｌｌ.txt", "平常.TXT", "乙丁七.dat"}) {
        TItemData item;
        SetItemPath(item, std::string("\\\\PC0\\共用\\") + name);
        folders[0].push_back(item);
    }
    TItemData later;
    SetItemPath(later, "\\\\pc0\\共用\\ärger-later.txt");
    folders[1].push_back(later);
    ReplaceFolderListings(home.win("Cache") + "Net\\WG\\", "PC0", folders);

    auto names = [&](const char* pattern) {
        SearchQuery q;
        q.Text = pattern;
        std::set<std::string> out;
        for (const auto& hit : search(cache, q))
            out.insert(std::string(BareName(std::get<1>(hit))));
        return out;
    };
    EXPECT_EQ(names("ärger"), (std::set<std::string>{"ÄRGER.txt"}));
    EXPECT_EQ(names("σοφ"), (std::set<std::string>{"ΣΟΦΙΑ.doc"}));
    EXPECT_EQ(names("ＦＵＬＬ"), (std::set<std::string>{"ｆｕｌｌ.txt"}));
    EXPECT_EQ(names("??.txt"), (std::set<std::string>{"平常.TXT"}));
    // CP950 trail bytes that look like upper-case ASCII letters (A4 41, A4 42, A4 43).
    EXPECT_EQ(names("丁七"), (std::set<std::string>{"乙丁七.dat"}));
    EXPECT_EQ(names("乙?七*"), (std::set<std::string>{"乙丁七.dat"}));
    EXPECT_EQ(names("七.DAT"), (std::set<std::string>{"乙丁七.dat"}));
    EXPECT_TRUE(names("七b").empty());
    EXPECT_EQ(names("*.TXT"), (std::set<std::string>{"ÄRGER.txt", "ｆｕｌｌ.txt", "平常.TXT"}));
}

TEST(CacheSearchDates, ParsesDatesAndRefusesOthers)
{
    EXPECT_DOUBLE_EQ(*ParseSearchDate("1899-12-30"), 0.0);
    EXPECT_DOUBLE_EQ(*ParseSearchDate("2000-01-01"), 36526.0);
    EXPECT_DOUBLE_EQ(*ParseSearchDate("2024/02/29 18:00"), 45351.75);
    EXPECT_DOUBLE_EQ(*ParseSearchDate("2024-02-29T06:00:00"), 45351.25);
    EXPECT_DOUBLE_EQ(*ParseSearchDate("1899-12-29 06:00"), -1.25);
    EXPECT_EQ(DateTimeText(*ParseSearchDate("2031-07-04 23:59:58")), "2031/07/04 23:59:58");
    for (const char* bad : {"", "2023-02-29", "2024-13-01", "2024-1-x", "2024-01-01 25:00", "2024-01/01",
                            "2024-01-01junk", "tomorrow", "2024-01-01 10"})
        EXPECT_FALSE(ParseSearchDate(bad)) << bad;
}

namespace {

struct ToolRun {
    int code = -1;
    std::vector<json::Value> lines;
    std::string err;
};

ToolRun pallisk(const StoreFolder& home, const std::string& args)
{
    const std::string command = "TAMSEL_HOME='" + home.path() + "' '" PALLISK_TOOL "' " + args + " 2>'"
                                + home.path("stderr.txt") + "'";
    ToolRun r;
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = home.readFile("stderr.txt");
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        r.lines.push_back(json::parse(out.substr(at, end - at)));
    return r;
}

} // namespace

TEST_F(CacheSearch, CommandLinePrintsOneLinePerMatchAndReportsErrors)
{
    ToolRun r = pallisk(m_home, "--query '*報告*.mp3' --min-size 10 --computer PC0 --computer PC4 --after 2001-01-01");
    EXPECT_EQ(r.code, 0) << r.err;
    SearchQuery q;
    q.Text = "*報告*.mp3";
    q.MinSize = 10;
    q.After = *ParseSearchDate("2001-01-01");
    q.Computers = {"PC0", "PC4"};
    Found expected = bruteForce(m_truth, q), got;
    EXPECT_FALSE(expected.empty());
    for (const auto& line : r.lines) {
        got.insert({line["computer"].text, line["path"].text, uint32_t(line["size"].integer())});
        EXPECT_EQ(line["modified"].text.size(), 19u);
    }
    EXPECT_EQ(got, expected);

    r = pallisk(m_home, "--min-size 3");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("\"error\": 87"), std::string::npos) << r.err;
    r = pallisk(m_home, "--query x --before 2024-02-30");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--before"), std::string::npos) << r.err;

    std::filesystem::resize_file(m_home.path("Cache/Net/WG/PC0.IDX"), 7);
    r = pallisk(m_home, "--query report");
    EXPECT_EQ(r.code, 1);
    const json::Value error = json::parse(r.err.substr(0, r.err.find('\n')));
    EXPECT_EQ(error["error"].integer(), 13);
    EXPECT_EQ(error["message"].text.rfind("PC0: 快取檔 ", 0), 0u) << error["message"].text;
    q = {};
    q.Text = "report";
    q.Computers = {"PC1", "PC2", "PC3", "PC4"};
    EXPECT_EQ(r.lines.size(), bruteForce(m_truth, q).size());
}

TEST(CacheSearchDuplicates, SameNameAndSizeOnTwoComputers)
{
    StoreFolder home;
    std::filesystem::create_directories(home.path("Cache"));
    const std::string cache = home.win("Cache");
    randomcache::makeRandomCache(cache, 3, 3, 2);
    auto put = [&](const char* computer, std::vector<std::pair<const char*, uint32_t>> files) {
        TItemList list;
        for (const auto& [name, size] : files) {
            TItemData item;
            SetItemPath(item, std::string("\\\\") + computer + "\\D\\" + name);
            item.Size = size;
            item.Attributes = std::string(name) == "相簿" ? FileAttributeDirectory : 0x20;
            list.push_back(item);
        }
        ReplaceFolderListings(cache + "Net\\WG\\", computer, std::vector<TItemList>{list});
    };
    put("PC0", {{"A.txt", 5}, {"b.txt", 5}, {"c.txt", 7}, {"相簿", 0}, {"照片.JPG", 9}});
    put("PC1", {{"a.TXT", 5}, {"b.txt", 6}, {"相簿", 0}, {"照片.jpg", 9}});
    put("PC2", {{"c.txt", 8}, {"照片.jpg", 9}});

    std::vector<SearchHit> hits;
    SearchQuery q;
    SearchCache(cache, q, [&](const SearchHit& h) { hits.push_back(h); return true; }, [](const std::string& m) {
        ADD_FAILURE() << m;
    });
    std::vector<std::vector<std::string>> groups;
    for (const auto& group : GroupDuplicates(hits)) {
        groups.emplace_back();
        for (const auto& hit : group)
            groups.back().push_back(hit.Path);
    }
    const std::vector<std::vector<std::string>> expected = {
        {"\\\\PC0\\D\\A.txt", "\\\\PC1\\D\\a.TXT"},
        {"\\\\PC0\\D\\照片.JPG", "\\\\PC1\\D\\照片.jpg", "\\\\PC2\\D\\照片.jpg"},
    };
    EXPECT_EQ(groups, expected);

    // The same through the command line, one group number per line.
    const ToolRun r = pallisk(home, "--query .jpg --duplicates");
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 3u);
    for (const auto& line : r.lines)
        EXPECT_EQ(line["group"].integer(), 1);
}
