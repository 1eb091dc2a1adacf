#include "store/CrawlChanges.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

constexpr const char* Magic = "tamsel-crawl";
constexpr const char* Version = "1";
// A record holds what one crawl of one computer found changed; anything near this size
// is not a file this program wrote.
constexpr int64_t MaxRecordBytes = int64_t(1) << 30;

std::string escapeLast(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '%')
            out += "%25";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

bool unescapeLast(std::string_view text, std::string& out)
{
    out.clear();
    for (size_t k = 0; k < text.size(); k++) {
        if (text[k] != '%') {
            out += text[k];
            continue;
        }
        const std::string_view code = text.substr(k + 1, 2);
        if (code == "25")
            out += '%';
        else if (code == "0D")
            out += '\r';
        else if (code == "0A")
            out += '\n';
        else
            return false;
        k += 2;
    }
    return true;
}

std::string realText(double value)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

bool parseReal(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size();
}

template <class Number>
bool parseWhole(std::string_view text, Number& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// The line's fields: at most `count` of them, the last one taking the rest of the line.
std::vector<std::string_view> splitFields(std::string_view line, size_t count)
{
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            break;
        fields.push_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    return fields;
}

bool parseChange(const std::vector<std::string_view>& f, CrawlChange& change)
{
    if (f.size() != 6)
        return false;
    if (f[0] == "new")
        change.Kind = CrawlChangeKind::New;
    else if (f[0] == "removed")
        change.Kind = CrawlChangeKind::Removed;
    else if (f[0] == "changed")
        change.Kind = CrawlChangeKind::Changed;
    else
        return false;
    return parseWhole(f[1], change.Size) && parseReal(f[2], change.Modified) && parseWhole(f[3], change.OldSize)
           && parseReal(f[4], change.OldModified) && unescapeLast(f[5], change.Path) && !change.Path.empty();
}

} // namespace

std::string CrawlRecordPath(const std::string& storeDir, const std::string& key)
{
    return storeDir + key + ".CHG";
}

const char* CrawlChangeKindName(CrawlChangeKind kind)
{
    switch (kind) {
    case CrawlChangeKind::New: return "new";
    case CrawlChangeKind::Removed: return "removed";
    case CrawlChangeKind::Changed: return "changed";
    }
    return "changed";
}

bool ReadCrawlRecord(const std::string& storeDir, const std::string& key, CrawlRecord& record)
{
    const std::string path = CrawlRecordPath(storeDir, key);
    if (!FileExists(path))
        return false;
    std::string text;
    {
        auto file = OpenFileOrRaise(path, FileMode::Read);
        const int64_t size = file->size();
        if (size < 0 || size > MaxRecordBytes)
            throw Exception(UiFormat("快取檔 %1 已損壞", {path}));
        text.resize(size_t(size));
        size_t got = 0;
        if (size > 0 && (!file->read(text.data(), text.size(), &got) || got != text.size()))
            RaiseFileError(file->error());
    }
    const auto damaged = [&](size_t line) {
        return Exception(UiFormat("快取檔 %1 已損壞：第 %2 行", {path, std::to_string(line)}));
    };
    CrawlRecord out;
    size_t lineNumber = 0;
    bool sawState = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            throw damaged(lineNumber + 1);  // a file this program wrote ends every line
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        ++lineNumber;
        const std::string_view kind = line.substr(0, line.find('\t'));
        if (lineNumber == 1) {
            if (line != std::string(Magic) + "\t" + Version)
                throw Exception(UiFormat("快取檔 %1 不是本程式可讀的格式", {path}));
            continue;
        }
        bool ok = false;
        if (kind == "crawled" || kind == "previous") {
            const auto f = splitFields(line, 2);
            ok = f.size() == 2 && parseReal(f[1], kind == "crawled" ? out.Crawled : out.Previous);
        } else if (kind == "state") {
            const auto f = splitFields(line, 2);
            ok = f.size() == 2 && (f[1] == "complete" || f[1] == "partial");
            out.Partial = ok && f[1] == "partial";
            sawState = ok;
        } else if (kind == "reason") {
            const auto f = splitFields(line, 2);
            std::string reason;
            ok = f.size() == 2 && unescapeLast(f[1], reason);
            out.Reasons.push_back(reason);
        } else if (kind == "refused") {
            const auto f = splitFields(line, 4);
            RefusedShare share;
            ok = f.size() == 4 && parseWhole(f[1], share.Code) && !f[2].empty() && unescapeLast(f[3], share.Message);
            share.Share = std::string(f.size() > 2 ? f[2] : std::string_view());
            out.Refused.push_back(share);
        } else {
            CrawlChange change;
            ok = parseChange(splitFields(line, 6), change);
            out.Changes.push_back(std::move(change));
        }
        if (!ok)
            throw damaged(lineNumber);
    }
    if (lineNumber == 0 || !sawState)
        throw Exception(UiFormat("快取檔 %1 已損壞：不完整", {path}));
    record = std::move(out);
    return true;
}

void WriteCrawlRecord(const std::string& storeDir, const std::string& key, const CrawlRecord& record)
{
    std::string text = std::string(Magic) + "\t" + Version + "\n";
    text += "crawled\t" + realText(record.Crawled) + "\n";
    text += "previous\t" + realText(record.Previous) + "\n";
    text += std::string("state\t") + (record.Partial ? "partial" : "complete") + "\n";
    for (const std::string& reason : record.Reasons)
        text += "reason\t" + escapeLast(reason) + "\n";
    for (const RefusedShare& share : record.Refused) {
        if (share.Share.empty() || share.Share.find_first_of("\t\r\n") != std::string::npos)
            throw Exception(UiFormat("分享名稱無法記錄：%1", {share.Share}));
        text += "refused\t" + std::to_string(share.Code) + "\t" + share.Share + "\t" + escapeLast(share.Message) + "\n";
    }
    for (const CrawlChange& change : record.Changes) {
        text += CrawlChangeKindName(change.Kind);
        text += "\t" + std::to_string(change.Size) + "\t" + realText(change.Modified) + "\t"
                + std::to_string(change.OldSize) + "\t" + realText(change.OldModified) + "\t"
                + escapeLast(change.Path) + "\n";
    }
    int error = 0;
    if (!WriteFileReplacing(CrawlRecordPath(storeDir, key), text.data(), text.size(), &error))
        RaiseFileError(error);
}

CrawlBaseline::CrawlBaseline(std::vector<CrawledFile> before) : m_files(std::move(before))
{
    m_folded.reserve(m_files.size());
    for (const CrawledFile& file : m_files)
        m_folded.push_back(FoldTextCase(file.Path));
    // Views into m_folded, which no longer grows.
    m_first.reserve(m_files.size());
    for (size_t k = 0; k < m_folded.size(); k++)
        m_first.emplace(m_folded[k], k);
}

std::vector<CrawlChange> CrawlBaseline::changes(const std::vector<CrawledFile>& after) const
{
    // Each file before is matched once; a second file after of the same path is new.
    std::vector<bool> matched(m_files.size());
    std::vector<std::pair<std::string, CrawlChange>> found;
    for (const CrawledFile& file : after) {
        std::string folded = FoldTextCase(file.Path);
        const auto it = m_first.find(folded);
        if (it == m_first.end() || matched[it->second]) {
            found.emplace_back(std::move(folded), CrawlChange{CrawlChangeKind::New, file.Path, file.Size, file.Modified, 0, 0});
            continue;
        }
        matched[it->second] = true;
        const CrawledFile& was = m_files[it->second];
        if (was.Size != file.Size || was.Modified != file.Modified)
            found.emplace_back(std::move(folded), CrawlChange{CrawlChangeKind::Changed, file.Path, file.Size,
                                                              file.Modified, was.Size, was.Modified});
    }
    for (const auto& [folded, k] : m_first)
        if (!matched[k])
            found.emplace_back(std::string(folded),
                               CrawlChange{CrawlChangeKind::Removed, m_files[k].Path, m_files[k].Size, m_files[k].Modified, 0, 0});
    // By path; of one path only the first found.
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<CrawlChange> out;
    out.reserve(found.size());
    for (size_t k = 0; k < found.size(); k++)
        if (k == 0 || found[k].first != found[k - 1].first)
            out.push_back(std::move(found[k].second));
    return out;
}

std::vector<CrawlChange> CompareCrawls(const std::vector<CrawledFile>& before, const std::vector<CrawledFile>& after)
{
    return CrawlBaseline(before).changes(after);
}
