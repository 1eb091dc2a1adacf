#include "store/TLZHuff.h"

#include "platform/Exception.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <bit>
#include <cstring>

// The coder reproduces the classic LZSS binary-tree coder to the byte: archives travel
// between installations, so the choice of match (and with it every coded byte) is fixed.
// Speed comes from comparing eight bytes at a time in the match finder, from loading the
// next step of its walk before the direction is known, and from decoding into a linear
// buffer, none of which changes a coded byte.

namespace {

constexpr size_t GroupInput = 17;    // one flag byte and eight two-byte matches
constexpr size_t GroupOutput = 8 * TLZHuff::F;
constexpr size_t CopySlack = 24;     // the decoder copies matches in 8-byte chunks

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline uint32_t load32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The most bytes `inSize` coded bytes can produce: a group of 17 bytes yields at most 144.
inline uint64_t maxDecoded(size_t inSize)
{
    return (uint64_t(inSize) / GroupInput + 1) * GroupOutput;
}

} // namespace

TLZHuff::TLZHuff()
{
    resetWindow();
    initTree();
}

void TLZHuff::resetWindow()
{
    std::memset(m_window, 0, sizeof m_window);
}

void TLZHuff::initTree()
{
    // The walk reads both children of every node it passes, the roots' left ones and the
    // empty mark's included, so they hold the empty mark too (no walk ever follows them).
    for (int i = N; i <= N + 256; i++)
        m_child[i][0] = m_child[i][1] = Nil;
    for (int i = 0; i < N; i++)
        m_parent[i] = Nil;
    m_prevInsert = Nil;
    m_prevFull = Nil;
}

uint32_t TLZHuff::childPair(int p) const
{
    uint32_t v;
    std::memcpy(&v, m_child[p], sizeof v);  // [0] in the low half, [1] in the high
    return v;
}

void TLZHuff::insertNode(int r)
{
    static_assert(F == 18, "the comparison below covers bytes 1 to 17");
    static_assert(sizeof(m_child[0]) == 4, "both children are read as one word");
    // The classic finder walks down from the root of the key's first byte, comparing
    // bytes 1 to 17 one by one, and goes right when the key is not smaller. The same walk
    // is made here with the same decisions, so the tree and every match are the same:
    // - eight bytes at a time: the first differing byte gives the length, and the
    //   byte-swapped words compare in the order the byte loop would;
    // - without jumps on the comparison, which is unpredictable on text; masks, since
    //   conditionals come back as jumps;
    // - the bytes of both children are loaded before the direction is known, so that
    //   the next step's comparison does not wait for two loads in a row.
    const uint8_t* const w = m_window;
    const uint8_t* key = &w[r];
    const uint64_t k1 = load64(key + 1);
    const uint64_t k9 = load64(key + 9);
    const uint8_t k17 = key[17];
    const uint64_t b1 = __builtin_bswap64(k1);
    const uint64_t b9 = __builtin_bswap64(k9);
    m_child[r][0] = m_child[r][1] = Nil;

    // In a repeated stretch the string at r usually equals the successor of the string
    // the previous position matched in full. Strings in the tree are unique and the tree
    // is ordered, so the walk would end at that node with a full match: take its place
    // at once. The result, tree and match included, is the walk's.
    if (m_prevInsert == ((r - 1) & (N - 1)) && m_prevFull != Nil) {
        const int x = (m_prevFull + 1) & (N - 1);
        if (m_parent[x] != Nil && x != r && load64(w + x + 1) == k1 && load64(w + x + 9) == k9
            && w[x + 17] == k17 && w[x] == key[0]) {
            replaceNode(x, r);
            m_prevInsert = r;
            m_prevFull = x;
            m_matchLength = F;
            m_matchPosition = x;
            return;
        }
    }
    m_prevInsert = r;
    m_prevFull = Nil;

    // The walk is a chain of dependent loads: each step loads both children of the current
    // node and their first key words before the direction is known, and then only picks one
    // (without a jump), so a step waits for one load instead of two. Reads at the empty mark
    // stay inside the arrays: the window has room past N and the children have a row for N.
    int p = N + 1 + key[0];
    int dir = 1;
    int best = 0;
    int bestPosition = 0;
    uint32_t kids = childPair(p);
    for (;;) {
        const int left = int(kids & 0xFFFF), right = int(kids >> 16);
        const uint64_t leftWord = load64(w + left + 1), rightWord = load64(w + right + 1);
        const uint32_t leftKids = childPair(left), rightKids = childPair(right);
        const int next = dir ? right : left;
        if (next == Nil) {
            m_child[p][dir] = uint16_t(r);
            m_parent[r] = uint16_t(p);
            m_matchLength = best;
            m_matchPosition = bestPosition;
            return;
        }
        const uint64_t pick = -uint64_t(dir);
        const uint64_t c1 = (rightWord & pick) | (leftWord & ~pick);
        kids = uint32_t((rightKids & pick) | (leftKids & ~pick));
        p = next;
        const uint8_t* cand = &w[p];
        int i;
        if (k1 != c1) {
            i = 1 + (__builtin_ctzll(k1 ^ c1) >> 3);
            dir = b1 > __builtin_bswap64(c1);
        } else {
            const uint64_t c9 = load64(cand + 9);
            if (k9 != c9) {
                i = 9 + (__builtin_ctzll(k9 ^ c9) >> 3);
                dir = b9 > __builtin_bswap64(c9);
            } else if (k17 != cand[17]) {
                i = 17;
                dir = k17 > cand[17];
            } else {
                i = F;
            }
        }
        const int better = -int(i > best);
        bestPosition = (p & better) | (bestPosition & ~better);
        best = (i & better) | (best & ~better);
        if (i >= F)
            break;
    }
    m_matchLength = best;
    m_matchPosition = bestPosition;
    m_prevFull = p;
    replaceNode(p, r);
}

void TLZHuff::replaceNode(int p, int r)
{
    // A full match: the new string takes the old node's place in the tree.
    m_parent[r] = m_parent[p];
    m_child[r][0] = m_child[p][0];
    m_child[r][1] = m_child[p][1];
    m_parent[m_child[p][0]] = uint16_t(r);
    m_parent[m_child[p][1]] = uint16_t(r);
    const int up = m_parent[p];
    m_child[up][m_child[up][1] == p] = uint16_t(r);
    m_parent[p] = Nil;
}

void TLZHuff::deleteNode(int p)
{
    if (m_parent[p] == Nil)
        return;
    int q;
    if (m_child[p][1] == Nil) {
        q = m_child[p][0];
    } else if (m_child[p][0] == Nil) {
        q = m_child[p][1];
    } else {
        q = m_child[p][0];
        if (m_child[q][1] != Nil) {
            do {
                q = m_child[q][1];
            } while (m_child[q][1] != Nil);
            m_child[m_parent[q]][1] = m_child[q][0];
            m_parent[m_child[q][0]] = m_parent[q];
            m_child[q][0] = m_child[p][0];
            m_parent[m_child[p][0]] = uint16_t(q);
        }
        m_child[q][1] = m_child[p][1];
        m_parent[m_child[p][1]] = uint16_t(q);
    }
    m_parent[q] = m_parent[p];
    const int up = m_parent[p];
    m_child[up][m_child[up][1] == p] = uint16_t(q);
    m_parent[p] = Nil;
}

void TLZHuff::progress(uint64_t produced)
{
    m_produced = produced;
    if (produced > m_nextProgress) {
        while (m_nextProgress < produced)
            m_nextProgress += ProgressStep;
        if (OnProgress)
            OnProgress(*this);
    }
}

size_t TLZHuff::encode(const uint8_t* in, size_t size, uint8_t* out)
{
    const uint8_t* const inEnd = in + size;
    uint8_t* o = out;
    uint8_t* flag = o++;
    *flag = 0;
    unsigned mask = 1;

    initTree();
    int s = 0;
    int r = N - F;
    int len = 0;
    while (len < F && in < inEnd)
        m_window[r + len++] = *in++;
    for (int i = 1; i <= F; i++)
        insertNode(r - i);
    insertNode(r);

    do {
        if (m_matchLength > len)
            m_matchLength = len;
        if (m_matchLength <= Threshold) {
            m_matchLength = 1;
            *flag |= uint8_t(mask);
            *o++ = m_window[r];
        } else {
            *o++ = uint8_t(m_matchPosition);
            *o++ = uint8_t(((m_matchPosition >> 4) & 0xF0) | (m_matchLength - (Threshold + 1)));
        }
        mask <<= 1;
        if (mask == 0x100) {
            // A group is complete: the place to look at progress and the stop request.
            progress(uint64_t(o - out));
            if (cancelled())
                return size_t(o - out);
            flag = o++;
            *flag = 0;
            mask = 1;
        }
        const int last = m_matchLength;
        int i = 0;
        for (; i < last && in < inEnd; i++) {
            const uint8_t c = *in++;
            deleteNode(s);
            m_window[s] = c;
            if (s < F - 1)
                m_window[s + N] = c;
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            insertNode(r);
        }
        while (i++ < last) {
            deleteNode(s);
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            if (--len)
                insertNode(r);
        }
    } while (len > 0);

    if (mask == 1)
        --o;  // the last group is empty: drop its flag byte
    return size_t(o - out);
}

bool TLZHuff::EncodeBlock(std::span<const uint8_t> source, std::vector<uint8_t>& archive)
{
    if (cancelled())
        return false;
    if (source.size() > 0xFFFFFFFFu)
        throw Exception(UiCaption("檔案太大，無法放入封存檔（上限 4 GB）"));
    const uint32_t size = uint32_t(source.size());
    m_sourceSize = size;
    m_produced = 0;
    m_nextProgress = 0;
    m_lastBlockShort = false;

    const size_t start = archive.size();
    // Literals only is the worst case: one byte each plus one flag byte per eight.
    const size_t bound = size_t(size) + size / 8 + 2;
    archive.resize(start + 4 + (size ? bound : 0));
    store32(&archive[start], size);
    if (size == 0)
        return false;
    const size_t coded = encode(source.data(), size, &archive[start + 4]);
    archive.resize(start + 4 + coded);
    m_produced = coded;
    if (OnBlockEncoded)
        OnBlockEncoded(*this);
    return true;
}

size_t TLZHuff::decode(const uint8_t* in, size_t inSize, uint32_t size, std::vector<uint8_t>& target)
{
    // The window is laid out linearly in front of the output, oldest byte first, so that a
    // match is a copy from `distance` bytes back in one buffer. The block starts writing at
    // 4078, so the oldest byte is the one at 4078.
    const size_t limit = size_t(std::min<uint64_t>(size, maxDecoded(inSize)));
    std::vector<uint8_t>& buf = target;
    buf.resize(N + limit + CopySlack);
    for (int k = 0; k < N; k++)
        buf[k] = m_window[(N - F + k) & (N - 1)];

    uint8_t* const base = buf.data() + N;
    uint8_t* o = base;
    uint8_t* const oEnd = base + limit;
    const uint8_t* p = in;
    const uint8_t* const pEnd = in + inSize;
    unsigned flags = 0;

    auto copyMatch = [&](unsigned b1, unsigned b2) {
        const unsigned pos = b1 | ((b2 & 0xF0) << 4);
        const size_t len = (b2 & 0x0F) + Threshold + 1;
        const unsigned r = unsigned((N - F) + (o - base)) & (N - 1);
        size_t distance = (r - pos) & (N - 1);
        if (distance == 0)
            distance = N;  // the byte about to be overwritten, written N bytes ago
        const uint8_t* src = o - distance;
        if (distance >= 8) {
            std::memcpy(o, src, 8);
            std::memcpy(o + 8, src + 8, 8);
            std::memcpy(o + 16, src + 16, 8);
        } else {
            for (size_t k = 0; k < len; k++)
                o[k] = src[k];
        }
        return len;
    };

    for (;;) {
        // Whole groups while input and output room allow; checked items near the ends.
        if (size_t(pEnd - p) >= GroupInput && size_t(oEnd - o) >= GroupOutput) {
            flags = *p++;
            for (int k = 0; k < 8; k++, flags >>= 1) {
                if (flags & 1) {
                    *o++ = *p++;
                } else {
                    const unsigned b1 = p[0], b2 = p[1];
                    p += 2;
                    o += copyMatch(b1, b2);
                }
            }
            progress(uint64_t(o - base));
            if (cancelled())
                break;
            continue;
        }
        if (o >= oEnd || p >= pEnd)
            break;
        flags = *p++;
        int item = 0;
        for (; item < 8 && o < oEnd; item++, flags >>= 1) {
            if (flags & 1) {
                if (p >= pEnd)
                    break;
                *o++ = *p++;
            } else {
                if (pEnd - p < 2) {
                    p = pEnd;
                    break;
                }
                const unsigned b1 = p[0], b2 = p[1];
                p += 2;
                const size_t len = copyMatch(b1, b2);
                // A damaged block may overrun its size: the output stops at the size.
                if (len > size_t(oEnd - o))
                    m_lastBlockLong = true;
                o = std::min(o + len, oEnd);
            }
        }
        // The coder leaves the flag bits of a last group's unused items clear: a literal
        // still due after the size was reached means the content goes on.
        if (o >= oEnd && limit == size && item < 8 && (flags & ((1u << (8 - item)) - 1)) != 0)
            m_lastBlockLong = true;
        progress(uint64_t(o - base));
        if (cancelled() || p >= pEnd)
            break;
    }

    const size_t produced = size_t(o - base);
    // The window after the block: the last N bytes written, each at its ring position.
    for (size_t k = 0; k < size_t(N); k++)
        m_window[(N - F + produced + k) & (N - 1)] = buf[produced + k];
    std::memcpy(m_window + N, m_window, F - 1);

    buf.resize(N + produced);
    buf.erase(buf.begin(), buf.begin() + N);
    m_produced = produced;
    return size_t(p - in);
}

bool TLZHuff::DecodeBlock(std::span<const uint8_t> archive, size_t& pos, std::vector<uint8_t>& target)
{
    target.clear();
    if (cancelled())
        return false;
    if (pos > archive.size() || archive.size() - pos < 4)
        throw Exception("Read Error");
    const uint32_t size = load32(&archive[pos]);
    pos += 4;
    m_sourceSize = size;
    m_produced = 0;
    m_nextProgress = 0;
    m_lastBlockShort = false;
    m_lastBlockLong = false;
    if (size == 0)
        return false;
    pos += decode(archive.data() + pos, archive.size() - pos, size, target);
    m_lastBlockShort = target.size() < size && !cancelled();
    if (OnBlockDecoded)
        OnBlockDecoded(*this);
    return true;
}
