#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What the cache updater learned in its last crawl of one computer, kept beside the
// computer's listing pair as StoreDir + Key + ".CHG": when it crawled, whether the crawl
// was complete, which shares refused it, and which files are new, removed or changed
// since the crawl before. The file is replaced whole (temporary file, then rename), so a
// reader sees the last crawl's record or the one before, never a mix.
//
// The file is UTF-8 text, one item per line, fields separated by tabs:
//   tamsel-crawl<TAB>1
//   crawled<TAB>DAYS                       this crawl (days since 1899-12-30, local time)
//   previous<TAB>DAYS                      the crawl compared with; 0 when not known
//   state<TAB>complete | partial
//   reason<TAB>TEXT                        why a crawl is partial (one line per reason)
//   refused<TAB>CODE<TAB>\\SERVER\SHARE<TAB>TEXT   a share that refused access
//   new|removed|changed<TAB>SIZE<TAB>DAYS<TAB>OLDSIZE<TAB>OLDDAYS<TAB>PATH
// For "new" the old fields are 0; for "removed" SIZE and DAYS are what the file was. In
// the last field of a line "%", CR and LF are written as %25, %0D and %0A.

enum class CrawlChangeKind { New, Removed, Changed };

struct CrawlChange {
    CrawlChangeKind Kind = CrawlChangeKind::New;
    std::string Path;        // UTF-8 full path, \\SERVER\SHARE\DIR\NAME
    uint32_t Size = 0;
    double Modified = 0;     // days since 1899-12-30
    uint32_t OldSize = 0;    // Changed only
    double OldModified = 0;  // Changed only
};

struct RefusedShare {
    std::string Share;  // \\SERVER\SHARE
    int Code = 0;       // Win32 code (5 access denied, 1326 logon refused ...)
    std::string Message;
};

struct CrawlRecord {
    double Crawled = 0;
    double Previous = 0;  // 0 when not known; a first crawl (no pair before) has no changes
    bool Partial = false;
    std::vector<std::string> Reasons;
    std::vector<RefusedShare> Refused;
    std::vector<CrawlChange> Changes;
};

/// StoreDir + Key + ".CHG".
std::string CrawlRecordPath(const std::string& storeDir, const std::string& key);

/// Reads the record of the last crawl of `key` in `storeDir`. False when the computer has
/// never been crawled (no file); throws Exception with a text of its own when the file is
/// damaged, and the system's text when it cannot be read.
bool ReadCrawlRecord(const std::string& storeDir, const std::string& key, CrawlRecord& record);

/// Replaces the record of `key` in `storeDir`; throws Exception on failure (the old file
/// then stays as it was).
void WriteCrawlRecord(const std::string& storeDir, const std::string& key, const CrawlRecord& record);

/// The text form of a kind: "new", "removed", "changed".
const char* CrawlChangeKindName(CrawlChangeKind kind);

/// One file as two crawls saw it, for CompareCrawls.
struct CrawledFile {
    std::string Path;  // UTF-8 full path
    uint32_t Size = 0;
    double Modified = 0;
};

/// The files of the crawl before, made ready to be compared: the crawl prepares them while
/// its walks run, so that only the new crawl's side is left when they end.
class CrawlBaseline {
public:
    CrawlBaseline() = default;
    explicit CrawlBaseline(std::vector<CrawledFile> before);
    // Moved, never copied: the index views the folded paths this object holds, which a move
    // leaves where they are and a copy would not.
    CrawlBaseline(CrawlBaseline&&) = default;
    CrawlBaseline& operator=(CrawlBaseline&&) = default;
    CrawlBaseline(const CrawlBaseline&) = delete;
    CrawlBaseline& operator=(const CrawlBaseline&) = delete;
    /// The changes from the files before to `after` (files only; paths compared without
    /// regard to case): new files, removed files, and files whose size or modification time
    /// differ. Ordered by path. Of files whose paths differ only in case, the first counts.
    std::vector<CrawlChange> changes(const std::vector<CrawledFile>& after) const;

private:
    std::vector<CrawledFile> m_files;
    std::vector<std::string> m_folded;
    std::unordered_map<std::string_view, size_t> m_first;  // folded path -> its first file
};

/// CrawlBaseline(before).changes(after).
std::vector<CrawlChange> CompareCrawls(const std::vector<CrawledFile>& before, const std::vector<CrawledFile>& after);
