#include "store/ListingPair.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"
#include "store/RecordLayout.h"
#include "store/StoredFileReading.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <unordered_set>
#include <utility>

namespace {

// An entry of ".LST": these fields, then the name (CP950 with its NUL) of NameLength bytes.
struct ListingLayout {
    static constexpr RecordField Size = FirstField(4);
    static constexpr RecordField Attributes = FieldAfter(Size, 4);
    static constexpr RecordField Modified = FieldAfter(Attributes, 8);  // a little-endian double
    static constexpr RecordField NameLength = FieldAfter(Modified, 2);
    static constexpr size_t Fixed = NameLength.End();
};

// An entry of ".IDX": these fields, then the folder path (CP950 with its NUL, trailing
// backslash) of PathLength bytes.
struct IndexLayout {
    static constexpr RecordField Offset = FirstField(4);  // of the folder's first entry in ".LST"
    static constexpr RecordField Count = FieldAfter(Offset, 4);
    static constexpr RecordField PathLength = FieldAfter(Count, 2);
    static constexpr size_t Fixed = PathLength.End();
};

static_assert(ListingLayout::Fixed == 18 && IndexLayout::Fixed == 10,
              "the entries keep the layout of the files already stored");

constexpr size_t kGatheredBytes = 1 << 20;  // listing bytes held before a pair replacement writes them

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
    using L = IndexLayout;
    if (index.size() - at < L::Fixed)
        RaiseDamagedCacheFile(indexPath);
    const size_t m = GetLE16(p + at + L::PathLength.At);
    if (index.size() - at - L::Fixed < m)
        RaiseDamagedCacheFile(indexPath);
    const std::string_view field(index.data() + at + L::Fixed, m);
    IndexEntry entry;
    entry.offset = GetLE32(p + at + L::Offset.At);
    entry.count = GetLE32(p + at + L::Count.At);
    entry.folder = field.substr(0, std::min(field.find('\0'), field.size()));
    at += L::Fixed + m;
    return entry;
}


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
    // A path of plain ASCII (nearly every one) is its own text and its own CP950.
    const std::string_view bytes = ItemPathBytes(item);
    if (IsAscii(bytes))
        return std::string(BareName(bytes));
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
    const std::string index = ReadCacheFileWhole(*indexFile, indexPath);

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
        RaiseDamagedCacheFile(indexPath);

    auto file = OpenFileOrRaise(listingPath, FileMode::Read);
    indexFile.reset();
    const int64_t fileSize = file->size();
    if (int64_t(offset) > fileSize || uint64_t(count) * ListingLayout::Fixed > uint64_t(fileSize - int64_t(offset)))
        RaiseDamagedCacheFile(listingPath);
    if (!file->seek(offset))
        RaiseFileError(file->error());

    SliceReader reader(*file);
    // Into the caller's list when it is empty (the usual case): each entry is 272 bytes,
    // and a copy of thousands of them costs more than reading them did.
    TItemList appended;
    TItemList& entries = list.empty() ? list : appended;
    entries.reserve(count);
    using L = ListingLayout;
    unsigned char fixed[L::Fixed];
    unsigned char name[ListingNameBuffer];
    try {
        for (uint32_t k = 0; k < count; k++) {
            if (!reader.read(fixed, L::Fixed))
                RaiseDamagedCacheFile(listingPath);
            const size_t n = GetLE16(fixed + L::NameLength.At);
            if (n > ListingNameBuffer)
                raiseNameTooLong(listingPath, n);
            if (!reader.read(name, n))
                RaiseDamagedCacheFile(listingPath);
            const std::string_view nameBytes(reinterpret_cast<const char*>(name),
                                             strnlen(reinterpret_cast<const char*>(name), n));
            if (!isPlainStoredName(nameBytes)) {
                std::fprintf(stderr, "tamsel: %s: %s\n", listingPath.c_str(),
                             UiFormat("拒絕不安全的名稱: %1", {DecodeCP950(nameBytes)}).c_str());
                continue;
            }
            TItemData& item = entries.emplace_back();
            item.Size = GetLE32(fixed + L::Size.At);
            item.Attributes = GetLE32(fixed + L::Attributes.At);
            std::memcpy(&item.Modified, fixed + L::Modified.At, L::Modified.Width);
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

bool FolderListingAsRead(TItemList&& written, const std::string& folderPath, TItemList& asRead)
{
    asRead.clear();
    if (written.empty())
        return false;
    const std::string wanted = EncodeCP950(folderPath);
    if (!samePathNoCase(storedFolder(written), wanted, folderPath))
        return false;
    // Size, attributes and time stay as they are; the path becomes the reader's, with the
    // rest of the field cleared as a new entry's is.
    for (TItemData& entry : written) {
        const std::string name = storedName(entry);
        if (name.size() + 1 > ListingNameBuffer || !isPlainStoredName(name))
            return false;
        std::memset(entry.Path, 0, sizeof entry.Path);
        setEntryPath(entry, wanted, name);
    }
    asRead = std::move(written);
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
        index = ReadCacheFileWhole(*indexFile, indexPath);
        listing.read(*listingFile, listingPath);
    }
    using L = ListingLayout;
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
            RaiseDamagedCacheFile(indexPath);
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
        if (offset > listing.size() || uint64_t(count) * L::Fixed > listing.size() - offset)
            RaiseDamagedCacheFile(listingPath);
        size_t pos = offset;
        ListingEntry entry;
        // The first place of the literal at or after the current name: every entry is still
        // checked, only those whose name cannot hold the literal are not visited.
        auto candidate = std::lower_bound(holding.begin(), holding.end(), uint32_t(offset));
        for (uint32_t k = 0; k < count; k++) {
            if (listing.size() - pos < L::Fixed)
                RaiseDamagedCacheFile(listingPath);
            const size_t n = GetLE16(lp + pos + L::NameLength.At);
            if (n > ListingNameBuffer)
                raiseNameTooLong(listingPath, n);
            if (listing.size() - pos - L::Fixed < n)
                RaiseDamagedCacheFile(listingPath);
            const size_t fieldsAt = pos;
            const size_t nameAt = pos + L::Fixed;
            const char* name = listing.data() + nameAt;
            pos += L::Fixed + n;
            if (!mustHold.empty()) {
                while (candidate != holding.end() && *candidate < nameAt)
                    ++candidate;
                if (candidate == holding.end() || *candidate + mustHold.size() > nameAt + n)
                    continue;
            }
            entry.Name = std::string_view(name, strnlen(name, n));
            if (!mustHold.empty() && *candidate + mustHold.size() > nameAt + entry.Name.size())
                continue;
            // The fields only of the entries visited: most are passed over.
            entry.Size = GetLE32(lp + fieldsAt + L::Size.At);
            entry.Attributes = GetLE32(lp + fieldsAt + L::Attributes.At);
            std::memcpy(&entry.Modified, lp + fieldsAt + L::Modified.At, L::Modified.Width);
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
    using L = ListingLayout;
    unsigned char fixed[L::Fixed];
    for (const TItemData& item : list) {
        const std::string name = storedName(item);
        PutLE32(fixed + L::Size.At, item.Size);
        PutLE32(fixed + L::Attributes.At, item.Attributes);
        std::memcpy(fixed + L::Modified.At, &item.Modified, L::Modified.Width);
        PutLE16(fixed + L::NameLength.At, uint16_t(name.size() + 1));
        listing.append(reinterpret_cast<const char*>(fixed), sizeof fixed);
        listing += name;
        listing += '\0';
    }
    using I = IndexLayout;
    const std::string folder = storedFolder(list);
    unsigned char entry[I::Fixed];
    PutLE32(entry + I::Offset.At, start);
    PutLE32(entry + I::Count.At, uint32_t(list.size()));
    PutLE16(entry + I::PathLength.At, uint16_t(folder.size() + 1));
    index.append(reinterpret_cast<const char*>(entry), sizeof entry);
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
    std::string id = ReadCacheFileWhole(*file, markerPath(base));
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
