#include "store/CacheSearch.h"

#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "store/ListingPair.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/TItemData.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace {

// Cache folders nest one per Domain node; a deeper tree than this is damaged, not real.
constexpr int MaxCacheDepth = 32;

void collectComputers(const std::string& folder, int depth, std::vector<CachedComputer>& out,
                      const std::function<void(const std::string&)>& onError)
{
    TNodeList nodes;
    try {
        LoadNodeFile(folder, nodes, false);
    } catch (const std::exception& e) {
        if (onError)
            onError(folder + NodeFileName + ": " + e.what());
        return;
    }
    for (const auto& node : nodes) {
        if (!IsPlainName(node->Key))
            continue;
        if (node->has(Computer))
            out.push_back({node->Caption, node->StoreDir, node->Key, node->RemoteName, node->Host, node->RootKind});
        if (node->has(Domain) && depth < MaxCacheDepth)
            collectComputers(node->StoreDir + node->Key + "\\", depth + 1, out, onError);
    }
}

// UTF-8 length of the character that starts with `lead`.
size_t utf8Length(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Whole-text match of `pattern` ("*" any run, "?" one character) against `text`, both
// folded UTF-8. Greedy with one backtrack point: linear in practice, never exponential.
bool wildcardMatch(std::string_view pattern, std::string_view text)
{
    size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == '?') {
            p++;
            t += utf8Length(static_cast<unsigned char>(text[t]));
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            p++;
            t++;
        } else if (starP != std::string_view::npos) {
            p = starP;
            starT += utf8Length(static_cast<unsigned char>(text[starT]));
            t = starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        p++;
    return p == pattern.size();
}

// True when `c` neither folds nor is the fold of another character: its CP950 bytes are
// then the same in every name that matches it.
bool caseless(char32_t c)
{
    if (c < 0x80)
        return true;  // ASCII letters are compared folded, byte by byte
    return !((c >= 0xC0 && c <= 0xFE) || (c >= 0x391 && c <= 0x3CB) || (c >= 0x400 && c <= 0x45F)
             || (c >= 0xFF21 && c <= 0xFF5A));
}

// The longest run of `folded` between wildcards, as CP950 bytes; empty unless every
// character of it is caseless and CP950 holds it (the escapes of the others are left alone).
std::string rawLiteral(const std::string& folded)
{
    std::string best;
    for (size_t at = 0; at <= folded.size();) {
        const size_t end = std::min(folded.find_first_of("*?", at), folded.size());
        if (end - at > best.size())
            best = folded.substr(at, end - at);
        at = end + 1;
    }
    for (size_t pos = 0; pos < best.size();) {
        const unsigned char lead = static_cast<unsigned char>(best[pos]);
        const size_t n = std::min(utf8Length(lead), best.size() - pos);
        char32_t c = n == 1 ? lead : lead & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; k++)
            c = c << 6 | (static_cast<unsigned char>(best[pos + k]) & 0x3F);
        if (!caseless(c))
            return {};
        pos += n;
    }
    std::string raw = EncodeCP950(best);
    if (raw.find('\xFF') != std::string::npos)
        return {};
    // A CP950 trail byte can be an upper-case ASCII letter ("七" is A4 43): every byte is
    // folded, here and in the name alike, so such a character still matches itself.
    for (char& b : raw)
        if (b >= 'A' && b <= 'Z')
            b = char(b | 0x20);
    return raw;
}

// Whether `name` holds `raw` (its bytes of ASCII letters in lower case) with the case of
// such bytes ignored.
// In CP950 a trail byte can look like an ASCII letter, so a hit may be false, never a miss.
bool rawContains(std::string_view name, std::string_view raw)
{
    if (raw.size() > name.size())
        return false;
    // Most names lack even the first byte: find it (in either case) with memchr, and only
    // there compare the rest.
    const unsigned char first = static_cast<unsigned char>(raw[0]);
    const bool letter = first >= 'a' && first <= 'z';
    const char* const begin = name.data();
    const char* const last = begin + (name.size() - raw.size());
    for (const char* at = begin; at <= last;) {
        const size_t left = size_t(last - at) + 1;
        const char* lower = static_cast<const char*>(std::memchr(at, first, left));
        if (letter) {
            const char* upper = static_cast<const char*>(std::memchr(at, first - 0x20, lower ? size_t(lower - at) : left));
            if (upper)
                lower = upper;
        }
        if (!lower)
            return false;
        size_t k = 1;
        for (; k < raw.size(); k++) {
            unsigned char b = static_cast<unsigned char>(lower[k]);
            if (b >= 'A' && b <= 'Z')
                b |= 0x20;
            if (b != static_cast<unsigned char>(raw[k]))
                break;
        }
        if (k == raw.size())
            return true;
        at = lower + 1;
    }
    return false;
}

bool wantedComputer(const SearchQuery& query, const std::string& name)
{
    if (query.Computers.empty())
        return true;
    return std::any_of(query.Computers.begin(), query.Computers.end(),
                       [&](const std::string& c) { return CompareTextNoCase(c, name) == 0; });
}

} // namespace

std::vector<CachedComputer> CachedComputers(const std::string& cachePath,
                                            const std::function<void(const std::string&)>& onError)
{
    std::vector<CachedComputer> out;
    collectComputers(AddBackslash(cachePath), 0, out, onError);
    return out;
}

LiveLocation LiveLocationOf(const CachedComputer& computer, const std::string& path)
{
    if (computer.RootKind == FtpRoot || path.empty() || path[0] == '/')
        return {};
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\')
        return {path, ""};  // a drive path of this machine
    const std::string rest = path.substr(2);
    const size_t end = rest.find('\\');
    const std::string server = rest.substr(0, end);
    if (computer.RootKind == ExpandedRoot && !computer.Host.empty())
        return {"\\\\" + computer.Host + (end == std::string::npos ? "" : rest.substr(end)), computer.Host};
    return {path, server};
}

NameMatcher::NameMatcher(std::string_view pattern)
    : m_folded(FoldTextCase(pattern)),
      m_wildcard(pattern.find_first_of("*?") != std::string_view::npos),
      m_raw(rawLiteral(m_folded))
{
}

bool NameMatcher::matches(std::string_view name) const
{
    m_decoded.clear();
    if (m_folded.empty())
        return true;
    if (!m_raw.empty()) {
        if (!rawContains(name, m_raw))
            return false;
        // In an ASCII name the bytes are the characters: the hit is exact.
        if (!m_wildcard && IsAscii(name))
            return true;
    }
    // Most names are plain ASCII, the same bytes in CP950 and UTF-8: only the others are
    // decoded.
    if (IsAscii(name)) {
        m_buffer = FoldTextCase(name);
    } else {
        AppendDecodedCP950(m_decoded, name);
        // A pattern of caseless characters alone folds to itself, and no other character
        // folds into it but an ASCII letter's other case; in UTF-8 a byte of an ASCII
        // letter is always that letter. So the decoded name, its ASCII letters compared
        // without case, holds the pattern exactly when its folded text would.
        if (!m_raw.empty() && !m_wildcard)
            return rawContains(m_decoded, m_folded);
        m_buffer = FoldTextCase(m_decoded);
    }
    if (m_wildcard)
        return wildcardMatch(m_folded, m_buffer);
    return m_buffer.find(m_folded) != std::string::npos;
}

namespace {

// Searches one computer's pair, handing each match to `onHit` until it returns false.
// The hit handed on is one object reused for every match, so that its path keeps its room.
// Throws as ForEachListingEntry does.
void searchComputer(const CachedComputer& computer, const SearchQuery& query, const NameMatcher& matcher,
                    const std::function<bool(const SearchHit&)>& onHit)
{
    bool stopped = false;
    // A folder's text is decoded once for all its hits. It ends in a backslash, which is
    // never a lead byte, so its decoding ends where its bytes do.
    std::string lastFolder, folderText;
    SearchHit hit;
    hit.Computer = computer.Name;
    ForEachListingEntry(computer.StoreDir, computer.Key, [&](std::string_view folder, const ListingEntry& entry) {
        if (stopped)
            return;
        if (query.MinSize && entry.Size < *query.MinSize)
            return;
        if (query.MaxSize && entry.Size > *query.MaxSize)
            return;
        if (query.After && !(entry.Modified >= *query.After))
            return;
        if (query.Before && !(entry.Modified < *query.Before))
            return;
        if (!matcher.matches(entry.Name))
            return;
        if (folder.empty() || folder.back() != '\\') {
            std::string path(folder);
            path.append(entry.Name);
            hit.Path.clear();
            AppendDecodedCP950(hit.Path, path);
        } else {
            if (folder != lastFolder) {
                lastFolder = folder;
                folderText.clear();
                AppendDecodedCP950(folderText, folder);
            }
            hit.Path = folderText;
            if (matcher.decodedName().empty())
                AppendDecodedCP950(hit.Path, entry.Name);
            else
                hit.Path += matcher.decodedName();
        }
        hit.Size = entry.Size;
        hit.Attributes = entry.Attributes;
        hit.Modified = entry.Modified;
        if (!onHit(hit))
            stopped = true;
    }, matcher.requiredBytes());
}

// The hits of one computer, kept on a helper thread for SearchCache: in order, their paths
// end to end in one text, so that a computer of many matches costs a few allocations, not
// one a match.
struct PackedHits {
    struct Hit {
        size_t pathAt = 0;
        uint32_t pathLength = 0;
        uint32_t size = 0;
        uint32_t attributes = 0;
        double modified = 0;
    };
    std::string paths;
    std::vector<Hit> hits;

    void clear()
    {
        paths.clear();
        hits.clear();
    }
    void add(const SearchHit& hit)
    {
        hits.push_back({paths.size(), uint32_t(hit.Path.size()), hit.Size, hit.Attributes, hit.Modified});
        paths += hit.Path;
    }
    // The k-th hit into `out`, whose Computer is already set.
    void get(size_t k, SearchHit& out) const
    {
        const Hit& h = hits[k];
        out.Path.assign(paths, h.pathAt, h.pathLength);
        out.Size = h.size;
        out.Attributes = h.attributes;
        out.Modified = h.modified;
    }
};

std::vector<CachedComputer> wantedComputers(const std::string& cachePath, const SearchQuery& query,
                                            const std::function<void(const std::string&)>& onError)
{
    std::vector<CachedComputer> computers;
    for (CachedComputer& computer : CachedComputers(cachePath, onError))
        if (wantedComputer(query, computer.Name))
            computers.push_back(std::move(computer));
    return computers;
}

size_t helperThreads(size_t computers)
{
    return std::min<size_t>({std::max(1u, std::thread::hardware_concurrency()), 8, computers});
}

// Searches `computers` on `threads` helper threads, each computer into a `Result` of its
// own: `keep` adds a hit to it on the helper thread. This thread hands the results on with
// `handOn` (false stops the search) computer by computer in their order, so the order of
// hits and errors is the one of a search on one thread. A helper runs at most a few
// computers ahead of the one being handed on, which bounds what is held, and a result
// handed on is cleared and kept for a later computer, with its room. Returns the number of
// computers searched without error.
template <class Result>
int searchInOrder(const std::vector<CachedComputer>& computers, size_t threads, const SearchQuery& query,
                  const std::function<void(const SearchHit&, Result&)>& keep,
                  const std::function<bool(const CachedComputer&, Result&)>& handOn,
                  const std::function<void(const std::string&)>& onError)
{
    struct Slot {
        Result result;
        std::string error;
        bool failed = false;
        bool done = false;
    };
    std::vector<Slot> slots(computers.size());
    std::vector<Result> spare;
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, handedOn = 0;
    bool stop = false;
    const size_t ahead = 2 * threads;
    auto helper = [&] {
        const NameMatcher matcher(query.Text);
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || next >= computers.size() || next < handedOn + ahead; });
            if (stop || next >= computers.size())
                return;
            const size_t k = next++;
            Slot slot;
            if (!spare.empty()) {
                slot.result = std::move(spare.back());
                spare.pop_back();
            }
            lock.unlock();
            try {
                searchComputer(computers[k], query, matcher, [&](const SearchHit& hit) {
                    keep(hit, slot.result);
                    return !stop;  // read without the lock: a late stop only costs work
                });
            } catch (const std::exception& e) {
                slot.failed = true;
                slot.error = computers[k].Name + ": " + e.what();
            } catch (...) {
                slot.failed = true;
                slot.error = computers[k].Name + ": ?";
            }
            lock.lock();
            slot.done = true;
            slots[k] = std::move(slot);
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; t++)
        pool.emplace_back(helper);
    int searched = 0;
    for (size_t k = 0; k < computers.size(); k++) {
        Slot slot;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return slots[k].done; });
            slot = std::move(slots[k]);
        }
        bool stopped = false;
        if (slot.failed) {
            if (onError)
                onError(slot.error);
        } else {
            stopped = !handOn(computers[k], slot.result);
            searched++;
        }
        slot.result.clear();
        std::lock_guard lock(mutex);
        spare.push_back(std::move(slot.result));
        handedOn = k + 1;
        stop = stopped;
        changed.notify_all();
        if (stopped)
            break;
    }
    for (std::thread& t : pool)
        t.join();
    return searched;
}

} // namespace

int SearchCache(const std::string& cachePath, const SearchQuery& query,
                const std::function<bool(const SearchHit&)>& onHit,
                const std::function<void(const std::string&)>& onError)
{
    const std::vector<CachedComputer> computers = wantedComputers(cachePath, query, onError);
    const size_t threads = helperThreads(computers.size());
    if (threads <= 1) {
        int searched = 0;
        const NameMatcher matcher(query.Text);
        bool stopped = false;
        for (const CachedComputer& computer : computers) {
            if (stopped)
                break;
            try {
                searchComputer(computer, query, matcher, [&](const SearchHit& hit) { return !(stopped = !onHit(hit)); });
                searched++;
            } catch (const std::exception& e) {
                if (onError)
                    onError(computer.Name + ": " + e.what());
            }
        }
        return searched;
    }
    SearchHit hit;
    return searchInOrder<PackedHits>(
        computers, threads, query, [](const SearchHit& found, PackedHits& kept) { kept.add(found); },
        [&](const CachedComputer& computer, PackedHits& kept) {
            hit.Computer = computer.Name;
            for (size_t h = 0; h < kept.hits.size(); h++) {
                kept.get(h, hit);
                if (!onHit(hit))
                    return false;
            }
            return true;
        },
        onError);
}

int SearchCacheText(const std::string& cachePath, const SearchQuery& query,
                    const std::function<void(const SearchHit& hit, std::string& text)>& format,
                    const std::function<bool(std::string_view text)>& write,
                    const std::function<void(const std::string&)>& onError)
{
    const std::vector<CachedComputer> computers = wantedComputers(cachePath, query, onError);
    // On one core too the search runs on a helper: one computer's text is then written
    // while the next is searched.
    return searchInOrder<std::string>(
        computers, std::max<size_t>(1, helperThreads(computers.size())), query, format,
        [&](const CachedComputer&, std::string& text) { return write(text); }, onError);
}

std::vector<std::vector<SearchHit>> GroupDuplicates(const std::vector<SearchHit>& hits)
{
    // Key: the folded bare name and the size; the groups keep the order of their first hit.
    std::map<std::pair<std::string, uint32_t>, size_t> groupOf;
    std::vector<std::vector<SearchHit>> groups;
    for (const SearchHit& hit : hits) {
        if (hit.Attributes & FileAttributeDirectory)
            continue;
        const auto key = std::make_pair(FoldTextCase(BareName(hit.Path)), hit.Size);
        const auto [it, added] = groupOf.try_emplace(key, groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(hit);
    }
    std::vector<std::vector<SearchHit>> acrossComputers;
    for (auto& group : groups) {
        const bool several = std::any_of(group.begin(), group.end(), [&](const SearchHit& h) {
            return CompareTextNoCase(h.Computer, group.front().Computer) != 0;
        });
        if (several)
            acrossComputers.push_back(std::move(group));
    }
    return acrossComputers;
}

std::optional<double> ParseSearchDate(std::string_view text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep1 = 0, sep2 = 0, tail = 0;
    const std::string t(text);
    int got = std::sscanf(t.c_str(), "%4d%c%2d%c%2d%c", &y, &sep1, &mo, &sep2, &d, &tail);
    if (got < 5 || sep1 != sep2 || (sep1 != '-' && sep1 != '/'))
        return std::nullopt;
    if (got == 6) {
        if (tail != ' ' && tail != 'T')
            return std::nullopt;
        char c1 = 0, c2 = 0, extra = 0;
        const size_t at = t.find(tail, 8);
        const int timeGot = std::sscanf(t.c_str() + at + 1, "%2d%c%2d%c%2d%c", &h, &c1, &mi, &c2, &s, &extra);
        if (!(timeGot == 3 && c1 == ':') && !(timeGot == 5 && c1 == ':' && c2 == ':'))
            return std::nullopt;
    } else if (t.size() > 10) {
        return std::nullopt;
    }
    static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > monthDays[mo - 1] || (mo == 2 && d == 29 && !leap)
        || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
        return std::nullopt;
    // Days from the civil date (proleptic Gregorian), then moved to the 1899-12-30 epoch.
    const int yy = mo <= 2 ? y - 1 : y;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days1970 = long(era) * 146097 + doe - 719468;
    const long days1899 = days1970 + 25569;
    // Before the epoch the whole part is negative and the fraction still counts forward.
    const double fraction = (h * 3600 + mi * 60 + s) / 86400.0;
    return days1899 < 0 ? double(days1899) - fraction : double(days1899) + fraction;
}
