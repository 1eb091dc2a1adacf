#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

// The archive's block coder written the plain way, byte by byte, as the classic LZSS coder
// reads. The tests check the fast coder against it on data of every kind, and the
// benchmark reports its speed beside the fast one's. One object codes the blocks of one
// archive in order, with one window.
class PlainLzss {
public:
    static constexpr int N = 4096, F = 18, Threshold = 2, Nil = N;

    PlainLzss() { std::memset(m_text, 0, sizeof m_text); }

    /// Appends the block of `data` (4-byte size, coded data) to `out`.
    void encodeBlock(const std::vector<uint8_t>& data, std::vector<uint8_t>& out)
    {
        const uint32_t size = uint32_t(data.size());
        for (int k = 0; k < 4; k++)
            out.push_back(uint8_t(size >> (8 * k)));
        if (size == 0)
            return;
        size_t in = 0;
        for (int i = N + 1; i <= N + 256; i++)
            m_right[i] = Nil;
        for (int i = 0; i < N; i++)
            m_parent[i] = Nil;
        uint8_t code[17];
        code[0] = 0;
        int codePtr = 1;
        unsigned mask = 1;
        int s = 0, r = N - F, len = 0;
        for (; len < F && in < data.size(); len++)
            m_text[r + len] = data[in++];
        for (int i = 1; i <= F; i++)
            insertNode(r - i);
        insertNode(r);
        do {
            if (m_matchLength > len)
                m_matchLength = len;
            if (m_matchLength <= Threshold) {
                m_matchLength = 1;
                code[0] |= uint8_t(mask);
                code[codePtr++] = m_text[r];
            } else {
                code[codePtr++] = uint8_t(m_matchPosition);
                code[codePtr++] = uint8_t(((m_matchPosition >> 4) & 0xF0) | (m_matchLength - (Threshold + 1)));
            }
            if ((mask = (mask << 1) & 0xFF) == 0) {
                out.insert(out.end(), code, code + codePtr);
                code[0] = 0;
                codePtr = 1;
                mask = 1;
            }
            const int last = m_matchLength;
            int i = 0;
            for (; i < last && in < data.size(); i++) {
                const uint8_t c = data[in++];
                deleteNode(s);
                m_text[s] = c;
                if (s < F - 1)
                    m_text[s + N] = c;
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
        if (codePtr > 1)
            out.insert(out.end(), code, code + codePtr);
    }

private:
    void insertNode(int r)
    {
        int cmp = 1, p = N + 1 + m_text[r];
        const uint8_t* key = &m_text[r];
        m_right[r] = m_left[r] = Nil;
        m_matchLength = 0;
        for (;;) {
            if (cmp >= 0) {
                if (m_right[p] != Nil) {
                    p = m_right[p];
                } else {
                    m_right[p] = r;
                    m_parent[r] = p;
                    return;
                }
            } else {
                if (m_left[p] != Nil) {
                    p = m_left[p];
                } else {
                    m_left[p] = r;
                    m_parent[r] = p;
                    return;
                }
            }
            int i;
            for (i = 1; i < F; i++)
                if ((cmp = key[i] - m_text[p + i]) != 0)
                    break;
            if (i > m_matchLength) {
                m_matchPosition = p;
                if ((m_matchLength = i) >= F)
                    break;
            }
        }
        m_parent[r] = m_parent[p];
        m_left[r] = m_left[p];
        m_right[r] = m_right[p];
        m_parent[m_left[p]] = r;
        m_parent[m_right[p]] = r;
        if (m_right[m_parent[p]] == p)
            m_right[m_parent[p]] = r;
        else
            m_left[m_parent[p]] = r;
        m_parent[p] = Nil;
    }

    void deleteNode(int p)
    {
        int q;
        if (m_parent[p] == Nil)
            return;
        if (m_right[p] == Nil) {
            q = m_left[p];
        } else if (m_left[p] == Nil) {
            q = m_right[p];
        } else {
            q = m_left[p];
            if (m_right[q] != Nil) {
                do {
                    q = m_right[q];
                } while (m_right[q] != Nil);
                m_right[m_parent[q]] = m_left[q];
                m_parent[m_left[q]] = m_parent[q];
                m_left[q] = m_left[p];
                m_parent[m_left[p]] = q;
            }
            m_right[q] = m_right[p];
            m_parent[m_right[p]] = q;
        }
        m_parent[q] = m_parent[p];
        if (m_right[m_parent[p]] == p)
            m_right[m_parent[p]] = q;
        else
            m_left[m_parent[p]] = q;
        m_parent[p] = Nil;
    }

    uint8_t m_text[N + F - 1];
    int m_left[N + 1], m_right[N + 257], m_parent[N + 1];
    int m_matchPosition = 0, m_matchLength = 0;
};
