#include "store/CacheListing.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"
#include "store/TNodeData.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <unordered_set>
#include <unistd.h>

namespace {

constexpr size_t IndexFixed = 10;    // offset, count, path length
constexpr size_t ListingFixed = 18;  // size, attributes, date, name length
constexpr size_t kGatheredBytes = 1 << 20;  // listing bytes held before a pair replacement writes them

[[noreturn]] void raiseDamaged(const std::string& path)
{
    throw Exception(UiFormat("快取檔 %1 已損壞", {path}));
}

uint16_t get16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t get32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put16(std::string& out, uint16_t v)
{
    out += char(v & 0xFF);
    out += char(v >> 8);
}

void put32(std::string& out, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        out += char((v >> (8 * k)) & 0xFF);
}

std::string readWhole(PlatformFile& file, const std::string& path)
{
    const int64_t size = file.size();
    if (size < 0)
        RaiseFileError(file.error());
    std::string data(size_t(size), '\0');
    size_t got = 0;
    if (size > 0 && (!file.read(data.data(), data.size(), &got)))
        RaiseFileError(file.error());
    if (got != data.size())
        raiseDamaged(path);
    return data;
}

// A file whole in memory: a local file mapped, a share's read into a buffer that is not
// cleared first and that the thread keeps for its next file: the listing of a computer is megabytes, and clearing them, or the
// system's handing out of fresh pages for each computer, cost as much as reading them. A
// read while the thread's buffer is in use (a visit that reads another listing) gets a
// buffer of its own.
class WholeFile {
public:
    WholeFile()
    {
        if (!t_inUse) {
            t_inUse = true;
            m_shared = true;
        }
    }
    ~WholeFile()
    {
        if (m_shared) {
            t_inUse = false;
            if (t_capacity > KeptBytes) {
                t_buffer.reset();
                t_capacity = 0;
            }
        }
    }
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Reads `file`, or maps it when it is local: copying a listing of many megabytes out of
    // the system's cache cost more than all the search in it. A mapped file is kept open
    // (and so locked against truncation) as long as this object lives.
    void read(std::unique_ptr<PlatformFile> file, const std::string& path)
    {
        const int64_t size = file->size();
        if (size < 0)
            RaiseFileError(file->error());
        m_size = size_t(size);
        if ((m_view = MapFileForReading(*file, m_size))) {
            m_data = m_view.data();
            m_file = std::move(file);
            return;
        }
        readCopy(*file, path);
    }
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    void readCopy(PlatformFile& file, const std::string& path)
    {
        char* buffer = nullptr;
        if (m_shared) {
            if (t_capacity < m_size + 1) {
                t_buffer.reset();
                t_buffer.reset(new char[m_size + 1]);
                t_capacity = m_size + 1;
            }
            buffer = t_buffer.get();
        } else {
            m_own.reset(new char[m_size + 1]);
            buffer = m_own.get();
        }
        size_t got = 0;
        if (m_size > 0 && !file.read(buffer, m_size, &got))
            RaiseFileError(file.error());
        if (got != m_size)
            raiseDamaged(path);
        m_data = buffer;
    }

    static constexpr size_t KeptBytes = size_t(64) << 20;  // a larger buffer is not kept
    static thread_local std::unique_ptr<char[]> t_buffer;
    static thread_local size_t t_capacity;
    static thread_local bool t_inUse;
    bool m_shared = false;
    std::unique_ptr<char[]> m_own;
    std::unique_ptr<PlatformFile> m_file;
    FileView m_view;
    const char* m_data = nullptr;
    size_t m_size = 0;
};
thread_local std::unique_ptr<char[]> WholeFile::t_buffer;
thread_local size_t WholeFile::t_capacity = 0;
thread_local bool WholeFile::t_inUse = false;

// Index paths are compared without regard to case. Most compare equal or differ in their
// ASCII bytes, which can be told without decoding: a CP950 lead byte (0x81 and up) and its
// trail byte are compared as they are, other bytes with ASCII letters folded. Anything
// else is decided on the decoded texts.
bool samePathNoCase(std::string_view stored, std::string_view wanted, const std::string& wantedText)
{
    if (stored.size() == wanted.size()) {
        size_t i = 0;
        for (; i < wanted.size(); i++) {
            const unsigned char a = static_cast<unsigned char>(stored[i]);
            const unsigned char b = static_cast<unsigned char>(wanted[i]);
            if (b >= 0x81) {
                if (a != b || i + 1 >= wanted.size() || stored[i + 1] != wanted[i + 1])
                    break;
                i++;
                continue;
            }
            const unsigned char fa = a >= 'a' && a <= 'z' ? a - 0x20 : a;
            const unsigned char fb = b >= 'a' && b <= 'z' ? b - 0x20 : b;
            if (fa != fb)
                break;
        }
        if (i == wanted.size())
            return true;
        if (static_cast<unsigned char>(wanted[i]) < 0x81 && static_cast<unsigned char>(stored[i]) < 0x81)
            return false;  // two ASCII bytes that differ in more than case
    } else if (stored.find('\xFF') == std::string_view::npos && wanted.find('\xFF') == std::string_view::npos) {
        // Upper and lower case of a letter take the same number of CP950 bytes; only the
        // escapes of characters outside CP950 vary in length.
        return false;
    }
    return CompareTextNoCase(DecodeCP950(stored), wantedText) == 0;
}

// One entry of an ".IDX": where its folder's entries begin, how many, and its path.
struct IndexEntry {
    uint32_t offset = 0;
    uint32_t count = 0;
    std::string_view folder;  // CP950, up to its NUL
};

// The index entry at `at`, which then moves past it; a cut entry is damage.
IndexEntry readIndexEntry(const std::string& index, size_t& at, const std::string& indexPath)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(index.data());
    if (index.size() - at < IndexFixed)
        raiseDamaged(indexPath);
    const size_t m = get16(p + at + 8);
    if (index.size() - at - IndexFixed < m)
        raiseDamaged(indexPath);
    const std::string_view field(index.data() + at + IndexFixed, m);
    IndexEntry entry;
    entry.offset = get32(p + at);
    entry.count = get32(p + at + 4);
    entry.folder = field.substr(0, std::min(field.find('\0'), field.size()));
    at += IndexFixed + m;
    return entry;
}

// Reads the listing sequentially in slices, so that a large listing is never held whole.
class SliceReader {
public:
    explicit SliceReader(PlatformFile& file) : m_file(file) {}

    /// Exactly `count` bytes, or false at the end of the file.
    bool read(unsigned char* out, size_t count)
    {
        while (count > 0) {
            if (m_pos == m_data.size() && !refill())
                return false;
            const size_t take = std::min(count, m_data.size() - m_pos);
            std::memcpy(out, m_data.data() + m_pos, take);
            m_pos += take;
            out += take;
            count -= take;
        }
        return true;
    }

private:
    bool refill()
    {
        m_data.resize(64 * 1024);
        size_t got = 0;
        if (!m_file.read(m_data.data(), m_data.size(), &got))
            RaiseFileError(m_file.error());
        m_data.resize(got);
        m_pos = 0;
        return got > 0;
    }

    PlatformFile& m_file;
    std::vector<unsigned char> m_data;
    size_t m_pos = 0;
};

// The entry a reader makes of a stored name under the folder path it asked for
// (`wanted`, CP950): the path cut to the field as the reader cuts it.
void setEntryPath(TItemData& item, const std::string& wanted, std::string_view nameBytes)
{
    const size_t room = sizeof item.Path - 1;
    if (wanted.size() + nameBytes.size() <= room) {
        std::memcpy(item.Path, wanted.data(), wanted.size());
        std::memcpy(item.Path + wanted.size(), nameBytes.data(), nameBytes.size());
        item.Path[wanted.size() + nameBytes.size()] = '\0';
        return;
    }
    std::string path = wanted;
    path.append(nameBytes);
    path.resize(CP950CutLength(path, room));
    std::memcpy(item.Path, path.data(), path.size());
    item.Path[path.size()] = '\0';
}

// A listing's names enter the program here. Plain ASCII names are checked as they are
// (the usual case, and cheap); any other is decoded and given the check of every entering name.
bool isPlainStoredName(std::string_view bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return !bytes.empty() && bytes != "." && bytes != ".." && bytes.find_first_of("\\/") == std::string_view::npos;
    return IsPlainName(DecodeCP950(bytes));
}

[[noreturn]] void raiseNameTooLong(const std::string& listingPath, size_t n)
{
    throw Exception(UiFormat("快取檔 %1 已損壞：名稱長度 %2 超過 %3 位元組",
                             {listingPath, std::to_string(n), std::to_string(ListingNameBuffer)}));
}

// The name a listing stores for an entry (CP950, without its NUL). Only the decoded path
// is split: a CP950 trail byte can be a backslash.
std::string storedName(const TItemData& item)
{
    return EncodeCP950(BareName(ItemPath(item)));
}

// The folder path the index stores for a folder's entries (CP950, trailing backslash).
std::string storedFolder(const TItemList& list)
{
    return EncodeCP950(FolderPart(ItemPath(list.front())));
}

} // namespace

void ReadFolderListing(TItemList& list, const std::string& storeDir, const std::string& key,
                       const std::string& folderPath)
{
    RecoverFolderListings(storeDir, key);
    const std::string base = storeDir + key;
    const std::string indexPath = base + ".IDX";
    // The index stays open until the listing is open: a replacement of the pair cannot
    // switch the files between the two opens.
    auto indexFile = OpenFileOrRaise(indexPath, FileMode::Read);
    const std::string index = readWhole(*indexFile, indexPath);

    const std::string wanted = EncodeCP950(folderPath);
    size_t at = 0;
    bool found = false;
    uint32_t offset = 0, count = 0;
    while (at < index.size()) {
        const IndexEntry entry = readIndexEntry(index, at, indexPath);
        if (samePathNoCase(entry.folder, wanted, folderPath)) {
            offset = entry.offset;
            count = entry.count;
            found = true;
            break;
        }
    }
    if (!found)
        throw Exception(UiFormat("快取檔中沒有 %1 的資料", {folderPath}));
    const std::string listingPath = base + ".LST";
    if (int32_t(offset) < 0 || int32_t(count) < 0)
        raiseDamaged(indexPath);

    auto file = OpenFileOrRaise(listingPath, FileMode::Read);
    indexFile.reset();
    const int64_t fileSize = file->size();
    if (int64_t(offset) > fileSize || uint64_t(count) * ListingFixed > uint64_t(fileSize - int64_t(offset)))
        raiseDamaged(listingPath);
    if (!file->seek(offset))
        RaiseFileError(file->error());

    SliceReader reader(*file);
    // Into the caller's list when it is empty (the usual case): each entry is 272 bytes,
    // and a copy of thousands of them costs more than reading them did.
    TItemList appended;
    TItemList& entries = list.empty() ? list : appended;
    entries.reserve(count);
    unsigned char fixed[ListingFixed];
    unsigned char name[ListingNameBuffer];
    try {
        for (uint32_t k = 0; k < count; k++) {
            if (!reader.read(fixed, ListingFixed))
                raiseDamaged(listingPath);
            const size_t n = get16(fixed + 16);
            if (n > ListingNameBuffer)
                raiseNameTooLong(listingPath, n);
            if (!reader.read(name, n))
                raiseDamaged(listingPath);
            const std::string_view nameBytes(reinterpret_cast<const char*>(name),
                                             strnlen(reinterpret_cast<const char*>(name), n));
            if (!isPlainStoredName(nameBytes)) {
                std::fprintf(stderr, "tamsel: %s: %s\n", listingPath.c_str(),
                             UiFormat("拒絕不安全的名稱: %1", {DecodeCP950(nameBytes)}).c_str());
                continue;
            }
            TItemData& item = entries.emplace_back();
            item.Size = get32(fixed);
            item.Attributes = get32(fixed + 4);
            std::memcpy(&item.Modified, fixed + 8, 8);
            setEntryPath(item, wanted, nameBytes);
        }
    } catch (...) {
        // Damage appends nothing.
        if (&entries == &list)
            list.clear();
        throw;
    }
    if (&entries != &list)
        list.insert(list.end(), entries.begin(), entries.end());
}

bool FolderListingAsRead(const TItemList& written, const std::string& folderPath, TItemList& asRead)
{
    asRead.clear();
    if (written.empty())
        return false;
    const std::string wanted = EncodeCP950(folderPath);
    if (!samePathNoCase(storedFolder(written), wanted, folderPath))
        return false;
    asRead.reserve(written.size());
    for (const TItemData& item : written) {
        const std::string name = storedName(item);
        if (name.size() + 1 > ListingNameBuffer || !isPlainStoredName(name)) {
            asRead.clear();
            return false;
        }
        TItemData& entry = asRead.emplace_back();
        entry.Size = item.Size;
        entry.Attributes = item.Attributes;
        entry.Modified = item.Modified;
        setEntryPath(entry, wanted, name);
    }
    return true;
}

namespace {

// How common a byte is in names, lower for rarer ones: the search for a literal looks for
// its rarest byte first.
int byteRank(unsigned char b)
{
    static const char order[] = "zqxjkvbpygfwmucldrhsnioate";
    if (b >= 'A' && b <= 'Z')
        b = static_cast<unsigned char>(b | 0x20);
    if (b >= 'a' && b <= 'z')
        return int(std::strchr(order, b) - order);
    return b >= 0x80 ? 8 : b >= '0' && b <= '9' ? 10 : 20;
}

// Where `raw` (ASCII letters in lower case; such bytes in `data` match either case) starts
// in `data`, in increasing order. One pass of memchr over the whole file for its rarest
// byte, in both cases for a letter, instead of a search per name.
std::vector<uint32_t> literalPositions(const char* data, size_t size, std::string_view raw)
{
    size_t key = 0;
    for (size_t k = 1; k < raw.size(); k++)
        if (byteRank(static_cast<unsigned char>(raw[k])) < byteRank(static_cast<unsigned char>(raw[key])))
            key = k;
    const char lower = raw[key];
    const char upper = lower >= 'a' && lower <= 'z' ? char(lower - 0x20) : lower;
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; };
    std::vector<uint32_t> out;
    const char* const end = data + size;
    const char* nextLower = data;
    const char* nextUpper = upper == lower ? end : data;
    auto find = [&](const char* from, char c) {
        const char* hit = from < end ? static_cast<const char*>(std::memchr(from, c, size_t(end - from))) : nullptr;
        return hit ? hit : end;
    };
    nextLower = find(nextLower, lower);
    if (upper != lower)
        nextUpper = find(nextUpper, upper);
    while (nextLower < end || nextUpper < end) {
        const char* at = std::min(nextLower, nextUpper);
        if (at == nextLower)
            nextLower = find(at + 1, lower);
        else
            nextUpper = find(at + 1, upper);
        if (size_t(at - data) < key || size_t(end - at) < raw.size() - key)
            continue;
        const char* start = at - key;
        size_t k = 0;
        while (k < raw.size() && fold(start[k]) == raw[k])
            k++;
        if (k == raw.size())
            out.push_back(uint32_t(start - data));
    }
    return out;
}

} // namespace

void ForEachListingEntry(const std::string& storeDir, const std::string& key,
                         const std::function<void(std::string_view folder, const ListingEntry& entry)>& visit,
                         std::string_view mustHold)
{
    RecoverFolderListings(storeDir, key);
    const std::string base = storeDir + key;
    const std::string indexPath = base + ".IDX";
    const std::string listingPath = base + ".LST";
    std::string index;
    WholeFile listing;
    {
        // Open both before either is read, so that a switch of the pair cannot come between.
        auto indexFile = OpenFileOrRaise(indexPath, FileMode::Read);
        auto listingFile = OpenFileOrRaise(listingPath, FileMode::Read);
        index = readWhole(*indexFile, indexPath);
        listing.read(std::move(listingFile), listingPath);
    }
    const unsigned char* lp = reinterpret_cast<const unsigned char*>(listing.data());
    std::vector<uint32_t> holding;
    if (!mustHold.empty())
        holding = literalPositions(listing.data(), listing.size(), mustHold);
    // Folded paths of the folders listed so far; the room of one decoding is reused.
    std::unordered_set<std::string> seen;
    seen.reserve(index.size() / 32);
    std::string decoded;
    for (size_t at = 0; at < index.size();) {
        const IndexEntry indexEntry = readIndexEntry(index, at, indexPath);
        const std::string_view folder = indexEntry.folder;
        const uint32_t offset = indexEntry.offset, count = indexEntry.count;
        if (int32_t(offset) < 0 || int32_t(count) < 0)
            raiseDamaged(indexPath);
        // The first listing of a folder wins; folder paths are compared without case.
        std::string folded;
        if (IsAscii(folder)) {
            folded.assign(folder);
            for (char& c : folded)
                if (c >= 'A' && c <= 'Z')
                    c = char(c | 0x20);
        } else {
            decoded.clear();
            AppendDecodedCP950(decoded, folder);
            folded = FoldTextCase(decoded);
        }
        if (!seen.insert(std::move(folded)).second)
            continue;
        if (offset > listing.size() || uint64_t(count) * ListingFixed > listing.size() - offset)
            raiseDamaged(listingPath);
        size_t pos = offset;
        ListingEntry entry;
        // The first place of the literal at or after the current name: every entry is still
        // checked, only those whose name cannot hold the literal are not visited.
        auto candidate = std::lower_bound(holding.begin(), holding.end(), uint32_t(offset));
        for (uint32_t k = 0; k < count; k++) {
            if (listing.size() - pos < ListingFixed)
                raiseDamaged(listingPath);
            const size_t n = get16(lp + pos + 16);
            if (n > ListingNameBuffer)
                raiseNameTooLong(listingPath, n);
            if (listing.size() - pos - ListingFixed < n)
                raiseDamaged(listingPath);
            entry.Size = get32(lp + pos);
            entry.Attributes = get32(lp + pos + 4);
            std::memcpy(&entry.Modified, lp + pos + 8, 8);
            const size_t nameAt = pos + ListingFixed;
            const char* name = listing.data() + nameAt;
            pos += ListingFixed + n;
            if (!mustHold.empty()) {
                while (candidate != holding.end() && *candidate < nameAt)
                    ++candidate;
                if (candidate == holding.end() || *candidate + mustHold.size() > nameAt + n)
                    continue;
            }
            entry.Name = std::string_view(name, strnlen(name, n));
            if (!mustHold.empty() && *candidate + mustHold.size() > nameAt + entry.Name.size())
                continue;
            visit(folder, entry);
        }
    }
}

namespace {

const char* const PairExtensions[] = {".LST", ".IDX"};

// The marker of a pair switch in progress: it names the process whose temporary pair is
// complete, so that whoever opens the pair next can finish the switch.
std::string markerPath(const std::string& base)
{
    return base + ".PAIR";
}

// The listing entries and the index entry of one folder, the listing entries starting at
// `start` in the listing file.
void encodeFolder(const TItemList& list, uint32_t start, std::string& listing, std::string& index)
{
    for (const TItemData& item : list) {
        const std::string name = storedName(item);
        put32(listing, item.Size);
        put32(listing, item.Attributes);
        listing.append(reinterpret_cast<const char*>(&item.Modified), 8);
        put16(listing, uint16_t(name.size() + 1));
        listing += name;
        listing += '\0';
    }
    const std::string folder = storedFolder(list);
    put32(index, start);
    put32(index, uint32_t(list.size()));
    put16(index, uint16_t(folder.size() + 1));
    index += folder;
    index += '\0';
}

[[noreturn]] void raiseTooLarge(const std::string& base)
{
    throw Exception(UiFormat("快取檔 %1.LST 已超過 2 GB，無法再加入資料", {base}));
}

void writeOrRaise(PlatformFile& file, const std::string& data)
{
    if (!data.empty() && !file.write(data.data(), data.size()))
        RaiseFileError(file.error());
}

void deleteQuietly(const std::string& path)
{
    if (FileExists(path))
        DeleteFile(path);
}

void reached(PairSwitchStep step)
{
    if (PairSwitchStepReached)
        PairSwitchStepReached(step);
}

// Finishes the switch `id` began: each temporary file of the pair that is still there
// replaces its file. Safe to run twice and from two processes.
void completeSwitch(const std::string& base, const std::string& id)
{
    static_assert(std::size(PairExtensions) == 2, "one step per file of the pair");
    const PairSwitchStep replaced[] = {PairSwitchStep::ListingReplaced, PairSwitchStep::IndexReplaced};
    for (size_t i = 0; i < std::size(PairExtensions); ++i) {
        const std::string temp = base + PairExtensions[i] + ".tmp-" + id;
        int error = 0;
        if (FileExists(temp) && !ReplaceFile(temp, base + PairExtensions[i], &error) && FileExists(temp))
            RaiseFileError(error);
        reached(replaced[i]);
    }
    int error = 0;
    if (FileExists(markerPath(base)) && !DeleteFile(markerPath(base), &error) && FileExists(markerPath(base)))
        RaiseFileError(error);
}

// The switch the marker names ("<pid>" or "<pid>-<count>", the suffix of its temporary
// files); empty when the marker has gone meanwhile, its switch finished.
std::string readMarker(const std::string& base)
{
    int error = 0;
    auto file = OpenFile(markerPath(base), FileMode::Read, &error);
    if (!file) {
        if (error == Win32::FileNotFound)
            return {};
        RaiseFileError(error);
    }
    std::string id = readWhole(*file, markerPath(base));
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r'))
        id.pop_back();
    if (!IsTemporarySuffix(id))
        throw Exception(UiFormat("快取檔 %1 已損壞", {markerPath(base)}));
    return id;
}

} // namespace

void RecoverFolderListings(const std::string& storeDir, const std::string& key)
{
    const std::string base = storeDir + key;
    if (FileExists(markerPath(base))) {
        // Only the holder of the index switches the pair. A writer holds it from its marker
        // to the end of its switch, so a marker seen here without it is one whose writer
        // gave up or died; a marker read before taking it may already be another switch's.
        std::unique_ptr<PlatformFile> guard;
        if (FileExists(base + ".IDX"))
            guard = OpenFileOrRaise(base + ".IDX", FileMode::ReadWrite);
        if (const std::string id = readMarker(base); !id.empty())
            completeSwitch(base, id);
    }
    std::vector<std::string> written{markerPath(base)};
    for (const char* ext : PairExtensions)
        written.push_back(base + ext);
    RemoveStaleTemporaries(written);
}

namespace {

// The pair switch of both ReplaceFolderListings: `nextFolder` gives each folder in turn
// (null when there are no more) without a copy of its entries.
void replaceFolderListings(const std::string& storeDir, const std::string& key,
                           const std::function<const TItemList*()>& nextFolder)
{
    const std::string base = storeDir + key;
    RecoverFolderListings(storeDir, key);
    // A name of this switch alone: the one before it may still be finished by a reader
    // that read its marker, and must not find these files under its name.
    const std::string id = UniqueTemporarySuffix();
    const std::string listingTemp = base + ".LST.tmp-" + id;
    const std::string indexTemp = base + ".IDX.tmp-" + id;
    try {
        {
            auto listing = OpenFileOrRaise(listingTemp, FileMode::Create);
            auto index = OpenFileOrRaise(indexTemp, FileMode::Create);
            // Folders are gathered into large writes: a crawl's thousands of small
            // folders would otherwise cost two writes each.
            int64_t start = 0;
            std::string listingBytes, indexBytes;
            auto writeGathered = [&] {
                writeOrRaise(*listing, listingBytes);
                writeOrRaise(*index, indexBytes);
                listingBytes.clear();
                indexBytes.clear();
            };
            while (const TItemList* folder = nextFolder()) {
                if (folder->empty())
                    continue;
                if (start > INT32_MAX)
                    raiseTooLarge(base);
                const size_t before = listingBytes.size();
                encodeFolder(*folder, uint32_t(start), listingBytes, indexBytes);
                start += int64_t(listingBytes.size() - before);
                if (listingBytes.size() >= kGatheredBytes)
                    writeGathered();
            }
            writeGathered();
            if (!listing->flush())
                RaiseFileError(listing->error());
            if (!index->flush())
                RaiseFileError(index->error());
        }
        reached(PairSwitchStep::TemporariesWritten);
        // Readers keep the index open until they have opened the listing: holding the old
        // index exclusively keeps them out while the two files change.
        std::unique_ptr<PlatformFile> guard;
        if (FileExists(base + ".IDX"))
            guard = OpenFileOrRaise(base + ".IDX", FileMode::ReadWrite);
        int error = 0;
        if (!WriteFileReplacing(markerPath(base), id.data(), id.size(), &error))
            RaiseFileError(error);
        reached(PairSwitchStep::MarkerWritten);
        // From here the new pair is the one that counts: a failure below is finished by the
        // next open of the pair.
        completeSwitch(base, id);
    } catch (...) {
        if (!FileExists(markerPath(base))) {
            deleteQuietly(listingTemp);
            deleteQuietly(indexTemp);
        }
        throw;
    }
}

} // namespace

void ReplaceFolderListings(const std::string& storeDir, const std::string& key,
                           const std::function<bool(TItemList&)>& nextFolder)
{
    TItemList folder;
    replaceFolderListings(storeDir, key, [&]() -> const TItemList* {
        folder.clear();
        return nextFolder(folder) ? &folder : nullptr;
    });
}

void ReplaceFolderListings(const std::string& storeDir, const std::string& key,
                           const std::vector<TItemList>& folders)
{
    size_t next = 0;
    replaceFolderListings(storeDir, key,
                          [&]() -> const TItemList* { return next < folders.size() ? &folders[next++] : nullptr; });
}

void WriteFolderListing(const TItemList& list, const std::string& storeDir, const std::string& key,
                        bool startNew)
{
    if (list.empty())
        return;
    if (startNew) {
        ReplaceFolderListings(storeDir, key, std::vector<TItemList>{list});
        return;
    }
    RecoverFolderListings(storeDir, key);
    const std::string base = storeDir + key;
    int64_t start = 0;
    std::string listingBytes, indexBytes;
    {
        auto file = OpenFileOrRaise(base + ".LST", FileMode::OpenOrCreate);
        start = file->size();
        if (start < 0)
            RaiseFileError(file->error());
        if (start > INT32_MAX)
            raiseTooLarge(base);
        encodeFolder(list, uint32_t(start), listingBytes, indexBytes);
        if (!file->seek(start))
            RaiseFileError(file->error());
        writeOrRaise(*file, listingBytes);
    }
    // The index entry comes last and in one write: entries without one are never read.
    auto file = OpenFileOrRaise(base + ".IDX", FileMode::OpenOrCreate);
    const int64_t end = file->size();
    if (end < 0 || !file->seek(end))
        RaiseFileError(file->error());
    writeOrRaise(*file, indexBytes);
}

void ReadNodeAttachment(const TNodeData& data, void* buffer, size_t size)
{
    auto file = OpenFileOrRaise(data.StoreDir + data.Key + ".ATT", FileMode::Read);
    size_t got = 0;
    if (!file->read(buffer, size, &got) || got != size)
        throw Exception("Read Error");
}

void WriteNodeAttachment(const TNodeData& data, const void* buffer, size_t size)
{
    const std::string path = data.StoreDir + data.Key + ".ATT";
    RemoveStaleTemporaries(path);
    // The block holds a site's password: no one else may enter its folder or read it.
    KeepSecret(path);
    int error = 0;
    if (!WriteFileReplacing(path, buffer, size, &error)) {
        if (error == Win32::DiskFull || error == Win32::HandleEof)
            throw Exception("Write Error");
        RaiseFileError(error);
    }
    if (!KeepSecret(path))
        throw Exception(UiFormat("無法保護檔案 %1：只有本人可讀", {path}));
}

void ReadListDat(const std::string& path, TItemList& list)
{
    auto file = OpenFileOrRaise(path, FileMode::Read);
    SliceReader reader(*file);
    TItemData item;
    while (reader.read(reinterpret_cast<unsigned char*>(&item), sizeof item)) {
        // A Path without its NUL is ended where the NUL belongs.
        item.Path[sizeof item.Path - 1] = '\0';
        list.push_back(item);
    }
}

void WriteListDat(const std::string& path, const TItemList& list)
{
    RemoveStaleTemporaries(path);
    int error = 0;
    if (!WriteFileReplacing(path, list.data(), list.size() * sizeof(TItemData), &error))
        RaiseFileError(error);
}

namespace {
constexpr size_t HostWidth = 128, UserWidth = 64, PasswordWidth = 64, ProxyWidth = 128;
}

void EncodeFtpSiteBlock(const FtpSiteBlock& b, unsigned char* out)
{
    std::memset(out, 0, FtpSiteBlockSize);
    WriteTextField(out, HostWidth, b.Host);
    WriteTextField(out + 128, UserWidth, b.User);
    WriteTextField(out + 192, PasswordWidth, b.Password);
    WriteTextField(out + 256, ProxyWidth, b.ProxyHost);
    for (int k = 0; k < 4; k++) {
        out[384 + k] = uint8_t(uint32_t(b.Port) >> (8 * k));
        out[388 + k] = uint8_t(uint32_t(b.ProxyPort) >> (8 * k));
    }
}

FtpSiteBlock DecodeFtpSiteBlock(const unsigned char* in)
{
    FtpSiteBlock b;
    b.Host = ReadTextField(in, HostWidth);
    b.User = ReadTextField(in + 128, UserWidth);
    b.Password = ReadTextField(in + 192, PasswordWidth);
    b.ProxyHost = ReadTextField(in + 256, ProxyWidth);
    b.Port = int32_t(get32(in + 384));
    b.ProxyPort = int32_t(get32(in + 388));
    return b;
}
