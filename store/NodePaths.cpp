#include "store/NodePaths.h"

#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/FolderLinks.h"
#include "store/TItemData.h"
#include "store/TNodeData.h"

#include <vector>

std::string AddBackslash(std::string_view path)
{
    std::string result(path);
    if (!result.empty() && result.back() != '\\')
        result += '\\';
    return result;
}

std::string RemoveBackslash(std::string_view path)
{
    if (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return std::string(path);
}

int CountBackslashes(std::string_view text)
{
    int n = 0;
    for (char c : text)
        n += c == '\\';
    return n;
}

std::string PathPart(std::string_view path, int n)
{
    const std::string full = AddBackslash(path);
    size_t start = 0;
    for (int k = 1; k <= n; k++) {
        const size_t end = full.find('\\', start);
        if (end == std::string::npos)
            return {};
        if (k == n)
            return full.substr(start, end - start);
        start = end + 1;
    }
    return {};
}

std::string_view BareName(std::string_view path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FolderPart(std::string_view path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string SafeFileName(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    std::string result;
    size_t units = 0;
    for (size_t pos = 0; pos < text.size();) {
        const char32_t c = NextUtf8(text, pos);
        units += c > 0xFFFF ? 2 : 1;
        if (units > 254)
            break;
        switch (c) {
        case '\\': case '/': case '?': case '*': case ':': case '"': case '<': case '>': case '(': case ')':
            continue;
        default:
            AppendUtf8(result, c);
        }
    }
    return result.empty() ? "EMPTY_NAME" : result;
}

namespace {

char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        || (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

} // namespace

int CompareTextNoCase(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        // ASCII on both sides: the common case, without decoding.
        const unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        char32_t x, y;
        if (ca < 0x80 && cb < 0x80) {
            x = foldCase(ca);
            y = foldCase(cb);
            i++;
            j++;
        } else {
            x = foldCase(NextUtf8(a, i));
            y = foldCase(NextUtf8(b, j));
        }
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

std::string FoldTextCase(std::string_view text)
{
    std::string folded;
    folded.reserve(text.size());
    AppendFoldedText(folded, text);
    return folded;
}

void AppendFoldedText(std::string& folded, std::string_view text)
{
    for (size_t pos = 0; pos < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            // A run of ASCII at once, its letters folded in place.
            size_t end = pos + 1;
            while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80)
                end++;
            const size_t at = folded.size();
            folded.append(text.data() + pos, end - pos);
            for (size_t k = at; k < folded.size(); k++)
                if (folded[k] >= 'A' && folded[k] <= 'Z')
                    folded[k] = static_cast<char>(folded[k] | 0x20);
            pos = end;
        } else if (c >= 0xE1 && c <= 0xEE && c != 0xED && pos + 2 < text.size()
                   && (static_cast<unsigned char>(text[pos + 1]) & 0xC0) == 0x80
                   && (static_cast<unsigned char>(text[pos + 2]) & 0xC0) == 0x80) {
            // U+1000 to U+EFFF, well formed and no surrogate: CJK and the like, which never
            // fold, go over as they are. Most names here are of them.
            folded.append(text.data() + pos, 3);
            pos += 3;
        } else {
            AppendUtf8(folded, foldCase(NextUtf8(text, pos)));
        }
    }
}

int CompareFoldedNaturally(std::string_view a, std::string_view b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // A run of digits is a number: fewer significant digits is smaller, then digit
            // by digit; leading zeros only break a tie.
            const size_t startA = i, startB = j;
            while (i < a.size() && isDigit(a[i]))
                i++;
            while (j < b.size() && isDigit(b[j]))
                j++;
            std::string_view x = a.substr(startA, i - startA), y = b.substr(startB, j - startB);
            const size_t zerosX = std::min(x.find_first_not_of('0'), x.size() - 1);
            const size_t zerosY = std::min(y.find_first_not_of('0'), y.size() - 1);
            const std::string_view valueX = x.substr(zerosX), valueY = y.substr(zerosY);
            if (valueX.size() != valueY.size())
                return valueX.size() < valueY.size() ? -1 : 1;
            if (const int c = valueX.compare(valueY); c != 0)
                return c < 0 ? -1 : 1;
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        i++;
        j++;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

int CompareNamesNaturally(std::string_view a, std::string_view b)
{
    return CompareFoldedNaturally(FoldTextCase(a), FoldTextCase(b));
}

int CompareNodes(const TNodeData& a, const TNodeData& b)
{
    auto group = [](const TNodeData& d) { return d.has(Domain) ? 0 : d.has(Computer) ? 1 : 2; };
    const int ga = group(a), gb = group(b);
    if (ga != gb)
        return ga - gb;
    return CompareNamesNaturally(a.Caption, b.Caption);
}

int CompareItems(const TItemData& a, const TItemData& b)
{
    if (a.isFolder() != b.isFolder())
        return a.isFolder() ? -1 : 1;
    return CompareTextNoCase(ItemPath(a), ItemPath(b));
}

std::string NewFolder(const std::string& parent, const std::string& name)
{
    const std::string base = AddBackslash(parent);
    std::string candidate;
    if (!name.empty()) {
        candidate = base + name + "\\";
        if (DirectoryExists(candidate))
            throw Exception(UiCaption("重複的名稱"));
    } else {
        const std::string fresh = UiCaption("新資料夾");
        candidate = base + fresh + "\\";
        for (int k = 0; k < 1000 && DirectoryExists(candidate); k++)
            candidate = base + fresh + std::to_string(k) + "\\";
    }
    int error = 0;
    if (!ForceDirectories(candidate, &error))
        throw Exception(Win32MessageText(error));
    return candidate;
}

bool DeleteFolderTree(const std::string& folder)
{
    const std::string dir = RemoveBackslash(folder);
    if (dir.empty())
        return false;
    std::vector<FindEntry> entries;
    if (!ListDirectory(dir, entries))
        return false;
    bool ok = true;
    for (const FindEntry& e : entries) {
        const std::string path = dir + "\\" + e.name;
        // A link is removed as a link, never walked into: it may lead out of the tree.
        if (IsSymbolicLink(path))
            ok = RemoveSymbolicLink(path) && ok;
        else if (e.attributes & 0x10)
            ok = DeleteFolderTree(path) && ok;
        else
            ok = DeleteFile(path) && ok;
    }
    return RemoveDirectory(dir) && ok;
}

std::string IpToText(uint32_t value)
{
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "."
        + std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

uint32_t TextToIp(std::string_view text)
{
    uint32_t result = 0;
    for (int k = 0; k < 4; k++) {
        std::string_view run;
        if (k < 3) {
            const size_t dot = text.find('.');
            run = text.substr(0, dot);
            text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
        } else {
            run = text;
        }
        uint32_t value = 0;
        bool numeric = false;
        for (char c : run) {
            if (static_cast<unsigned char>(c) < '0')
                continue;
            if (c > '9') {
                numeric = false;
                value = 0;
                break;
            }
            numeric = true;
            value = value * 10 + uint32_t(c - '0');
        }
        result = (result << 8) + (numeric ? value : 0);
    }
    return result;
}
