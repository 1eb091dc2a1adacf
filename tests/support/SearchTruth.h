#pragma once
// What a search over a random cache must find, by the plain definitions: a substring or a
// whole-name pattern compared after folding, checked entry by entry against what the
// generator wrote.
#include "support/RandomCache.h"
#include "store/CacheSearch.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace randomcache {

using Found = std::set<std::tuple<std::string, std::string, uint32_t>>;  // computer, path, size

// Code points of a UTF-8 text, for the plain matcher below.
inline std::u32string codePoints(const std::string& utf8)
{
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        char32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
        for (int k = 1; k < n && i + size_t(k) < utf8.size(); k++)
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + size_t(k)]) & 0x3F);
        out += cp;
        i += size_t(n);
    }
    return out;
}

// The plain recursive definition of a pattern, slow but obviously right.
inline bool globPlain(const std::u32string& p, size_t i, const std::u32string& t, size_t j)
{
    if (i == p.size())
        return j == t.size();
    if (p[i] == U'*')
        return globPlain(p, i + 1, t, j) || (j < t.size() && globPlain(p, i, t, j + 1));
    return j < t.size() && (p[i] == U'?' || p[i] == t[j]) && globPlain(p, i + 1, t, j + 1);
}

inline bool plainMatch(const std::string& pattern, const std::string& name)
{
    const std::string p = FoldTextCase(pattern), n = FoldTextCase(name);
    if (pattern.find_first_of("*?") == std::string::npos)
        return n.find(p) != std::string::npos;
    return globPlain(codePoints(p), 0, codePoints(n), 0);
}

inline Found bruteForce(const std::vector<randomcache::Entry>& truth, const SearchQuery& q)
{
    Found out;
    for (const auto& e : truth) {
        if ((q.MinSize && e.Size < *q.MinSize) || (q.MaxSize && e.Size > *q.MaxSize)
            || (q.After && e.Modified < *q.After) || (q.Before && e.Modified >= *q.Before))
            continue;
        if (!q.Computers.empty() && std::find(q.Computers.begin(), q.Computers.end(), e.Computer) == q.Computers.end())
            continue;
        if (plainMatch(q.Text, e.Name))
            out.insert({e.Computer, e.Folder + e.Name, e.Size});
    }
    return out;
}

} // namespace randomcache
