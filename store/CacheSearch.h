#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The search over every cached computer: the node files under the cache folder say which
// computers exist and where their listing pairs lie; each pair is scanned once, straight
// from its files, so a result is never older than the cache itself and no index has to be
// kept in step with it.

/// One cached computer (or FTP site): its caption and where its listing pair lies.
struct CachedComputer {
    std::string Name;      // the node's caption
    std::string StoreDir;  // with its trailing backslash
    std::string Key;
    std::string RemoteName;  // \\SERVER or \\SERVER\ (expanded network); an FTP site's root folder
    std::string Host;        // an expanded-network computer's address, an FTP site's host
    uint8_t RootKind = 0;
};

/// Where a cached path is reached while its computer is on: `Path` is the path to open
/// (an expanded-network computer's server part replaced by the address the user gave for
/// it, since its name may resolve nowhere), `Host` what to ping first (empty for a path
/// of this machine, which needs no check). An FTP path gives an empty `Path`: its files
/// are reached through the site, not the file layer.
struct LiveLocation {
    std::string Path;
    std::string Host;
};
LiveLocation LiveLocationOf(const CachedComputer& computer, const std::string& path);

/// Every node with the Computer flag in the node files under `cachePath` (which ends in a
/// backslash), following Domain nodes into their folders, in node-file order. A node file
/// that cannot be read is reported through `onError` and its branch left out.
std::vector<CachedComputer> CachedComputers(const std::string& cachePath,
                                            const std::function<void(const std::string& message)>& onError = {});

/// Matches entry names without regard to case (letters folded as CompareTextNoCase folds
/// them, CJK compared by code point): a pattern with "*" or "?" must match the whole name
/// ("?" is one character), any other pattern is a substring. An empty pattern matches all.
class NameMatcher {
public:
    explicit NameMatcher(std::string_view pattern);
    /// `name` is the stored CP950 bytes.
    bool matches(std::string_view name) const;
    /// Bytes every matching name holds (ASCII letters in lower case, matching either case),
    /// empty when there are none to tell: for ForEachListingEntry's `mustHold`.
    std::string_view requiredBytes() const { return m_raw; }
    /// After matches() said yes: the name as UTF-8, when it had to be decoded to tell (a
    /// name of ASCII alone needs none); empty otherwise. Valid until the next call.
    const std::string& decodedName() const { return m_decoded; }

private:
    std::string m_folded;
    bool m_wildcard = false;
    // The longest literal run of the pattern as CP950 bytes (ASCII letters in lower case),
    // when every name that matches must hold it byte for byte up to ASCII case: a name
    // without it is passed over undecoded. Empty when the run has letters of other cases.
    std::string m_raw;
    mutable std::string m_buffer;
    mutable std::string m_decoded;
};

struct SearchQuery {
    std::string Text;                    // NameMatcher's pattern
    std::optional<uint64_t> MinSize;     // inclusive
    std::optional<uint64_t> MaxSize;     // inclusive
    std::optional<double> After;         // Modified >= After (days since 1899-12-30)
    std::optional<double> Before;        // Modified < Before
    std::vector<std::string> Computers;  // captions, without regard to case; empty = all
};

struct SearchHit {
    std::string Path;      // UTF-8 full path: folder path + name
    uint32_t Size = 0;
    uint32_t Attributes = 0;
    double Modified = 0;
    std::string Computer;
};

/// Searches every cached computer the query admits, handing each match to `onHit` as it is
/// found (folder by folder in index order, computer by computer). A computer whose files
/// are missing or damaged goes to `onError` as "computer: message" and the others are
/// still searched. `onHit` returns false to stop the search. Returns the number of
/// computers searched without error.
int SearchCache(const std::string& cachePath, const SearchQuery& query,
                const std::function<bool(const SearchHit&)>& onHit,
                const std::function<void(const std::string& message)>& onError);

/// SearchCache for a caller that writes each hit as text: `format` appends a hit's text to
/// the text of its computer, on the helper thread that searched it (so several may run at
/// once), and `write` is handed each computer's whole text, on the calling thread, in the
/// order SearchCache hands hits on; it returns false to stop the search. Turning a million
/// hits into text then shares the cores with the search instead of following it.
int SearchCacheText(const std::string& cachePath, const SearchQuery& query,
                    const std::function<void(const SearchHit& hit, std::string& text)>& format,
                    const std::function<bool(std::string_view text)>& write,
                    const std::function<void(const std::string& message)>& onError);

/// The file hits (folders left out) that share a name, without regard to case, and a size
/// and lie on at least two computers: one group each, the hits in the order given, the
/// groups in the order of their first hit.
std::vector<std::vector<SearchHit>> GroupDuplicates(const std::vector<SearchHit>& hits);

/// Parses "yyyy-mm-dd" or "yyyy/mm/dd", optionally followed by " hh:mm" or " hh:mm:ss"
/// (or "T" instead of the blank), into days since 1899-12-30; nothing when it is not a
/// valid date.
std::optional<double> ParseSearchDate(std::string_view text);
