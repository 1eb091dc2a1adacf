#include "store/TObjCacheDir.h"

#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "platform/MemoryPages.h"
#include "platform/TextCodec.h"
#include "resources/UiText.h"
#include "store/ListDat.h"
#include "store/NodePaths.h"

#include <QMimeDatabase>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_set>

namespace {

constexpr const char* kListDatName = "LIST.DAT";
// Distinct texts kept for sharing before the set starts afresh.
constexpr qsizetype kInternedTexts = 4096;
// The rows of a cached folder are all at hand at once, unlike a disk's that arrive as they
// are read: after the quick first batch, larger ones than the local lister's. Each hand-over
// waits for the window thread, which on a busy machine costs more than inserting the rows.
constexpr size_t kCachedBatchRows = 5000;

QString fromStr(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Files that show a picture of their own keep the generic file image in the cache: the
// file is not at hand to read it from.
bool OwnIconExtension(const QString& upperExt)
{
    return upperExt == QLatin1String(".EXE") || upperExt == QLatin1String(".ICO") || upperExt == QLatin1String(".CUR")
        || upperExt == QLatin1String(".ANI") || upperExt == QLatin1String(".LNK");
}

} // namespace

TObjCacheDir::TObjCacheDir(const std::string& storeDir, TImageLists* images, TListView* listView,
                           const std::string& folderPath, const std::string& key)
    : m_storeDir(storeDir)
    , m_folderPath(folderPath)
    , m_key(key)
    , m_listView(listView)
    , m_images(images)
    , m_large(listView->viewStyle() == TListView::LargeIcons)
    , m_details(listView->viewStyle() == TListView::Details)
{
    SetReceiver(listView);
}

QString TObjCacheDir::TextCache::intern(const QString& text)
{
    if (texts.size() > kInternedTexts)
        texts.clear();
    return *texts.insert(text);
}

TListItem TObjCacheDir::itemRow(const TItemData& item, std::string_view path, bool details, TextCache& cache)
{
    TListItem row;
    row.Caption = fromStr(BareName(path));
    // Entries of one folder share their folder text; a flat listing changes it now and then.
    const std::string_view folder = FolderPart(path);
    if (folder != cache.folder || cache.folderText.isNull()) {
        cache.folder = std::string(folder);
        cache.folderText = cache.intern(fromStr(folder));
    }
    if (item.isFolder()) {
        row.ImageIndex = TImageLists::Folder;
    } else {
        row.ImageIndex = TImageLists::File;
        row.StateIndex = item.Size;
    }
    if (details) {
        if (item.Modified != cache.modified || cache.dateText.isNull()) {
            cache.modified = item.Modified;
            cache.dateText = cache.intern(TObjLocalDir::DateText(item.Modified));
        }
        const quint64 size = item.isFolder() ? 0 : item.Size;
        auto sizeText = cache.sizeTexts.constFind(size);
        if (sizeText == cache.sizeTexts.cend()) {
            if (cache.sizeTexts.size() > kInternedTexts)
                cache.sizeTexts.clear();
            sizeText = cache.sizeTexts.insert(size, cache.intern(TObjLocalDir::SizeText(size)));
        }
        auto attributeText = cache.attributeTexts.constFind(item.Attributes);
        if (attributeText == cache.attributeTexts.cend())
            attributeText = cache.attributeTexts.insert(item.Attributes,
                                                        cache.intern(TObjLocalDir::AttributeText(item.Attributes)));
        QString extension;
        if (!item.isFolder()) {
            // "." is one byte in UTF-8: the caption's extension is the text of these bytes.
            const std::string_view name = BareName(path);
            const size_t dot = name.rfind('.');
            if (dot != std::string_view::npos) {
                auto known = cache.extensionTexts.find(name.substr(dot));
                if (known == cache.extensionTexts.end()) {
                    if (cache.extensionTexts.size() > size_t(kInternedTexts))
                        cache.extensionTexts.clear();
                    known = cache.extensionTexts.emplace(name.substr(dot), cache.intern(fromStr(name.substr(dot)))).first;
                }
                extension = known->second;
            }
        }
        row.SubItems = {extension, cache.folderText, *sizeText, *attributeText, cache.dateText};
    } else {
        row.SubItems = {QString(), cache.folderText};
    }
    return row;
}

void TObjCacheDir::reportStatus()
{
    SynchronizeUnlessStopped([this] {
        if (OnStatus)
            OnStatus(this);
    });
}

void TObjCacheDir::Execute()
{
    RunState = 3;
    reportStatus();
    if (readItems()) {
        sortItems();
        fillList();
        if (!Terminated())
            lookUpIcons();
        Completed = true;
    }
    RunState = 5;
    reportStatus();
    if (Terminated())
        OnTerminate = nullptr;
    else
        CallCompletion();
}

bool TObjCacheDir::readItems()
{
    if (m_itemsGiven)
        return true;
    if (!m_folderPath.empty()) {
        try {
            ReadFolderListing(Items, m_storeDir, m_key, m_folderPath);
        } catch (const std::exception& error) {
            Items.clear();
            ErrorText = QString::fromUtf8(error.what());
            return false;
        }
        return true;
    }
    const std::string listDat = m_storeDir + kListDatName;
    try {
        ReadListDat(listDat, Items);
    } catch (const std::exception&) {
        Items.clear();
        ErrorText = UiText("快取檔 %1 無法開啟").arg(fromStr(listDat));
        return false;
    }
    return true;
}

void TObjCacheDir::sortItems()
{
    // Each path is decoded and folded once, into one buffer each; numbers in names count as
    // people count.
    std::vector<size_t> pathEnds, keyEnds;
    ReservePrefaulted(pathEnds, Items.size());
    ReservePrefaulted(keyEnds, Items.size());
    std::string keyText;
    m_pathText.clear();
    // Room for paths of a usual length, so that the buffers are seldom moved as they grow.
    for (std::string* text : {&m_pathText, &keyText}) {
        text->reserve(Items.size() * 32);
        PrefaultForWriting(text->data(), text->capacity());
    }
    for (const TItemData& item : Items) {
        const size_t start = m_pathText.size();
        AppendDecodedCP950(m_pathText, ItemPathBytes(item));
        pathEnds.push_back(m_pathText.size());
        AppendFoldedText(keyText, std::string_view(m_pathText).substr(start));
        keyEnds.push_back(keyText.size());
    }
    const auto views = [](const std::string& text, const std::vector<size_t>& ends) {
        std::vector<std::string_view> parts;
        ReservePrefaulted(parts, ends.size());
        size_t start = 0;
        for (size_t end : ends) {
            parts.emplace_back(text.data() + start, end - start);
            start = end;
        }
        return parts;
    };
    const std::vector<std::string_view> paths = views(m_pathText, pathEnds);
    const std::vector<std::string_view> keys = views(keyText, keyEnds);
    std::vector<size_t> order(Items.size());
    std::iota(order.begin(), order.end(), 0);
    const auto before = [&](size_t a, size_t b) {
        if (Items[a].isFolder() != Items[b].isFolder())
            return Items[a].isFolder();
        return CompareFoldedNaturally(keys[a], keys[b]) < 0;
    };
    // Many servers list in name order already: such a listing stays as it came, which is
    // what the stable sort would leave too, for one comparison an entry.
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::stable_sort(order.begin(), order.end(), before);
    m_paths.reserve(Items.size());
    for (size_t i : order) {
        if (Items[i].isFolder()) {
            ++FolderTotal;
            FolderPaths.push_back(AddBackslash(paths[i]));
        } else {
            ++FileTotal;
            ByteTotal += Items[i].Size;
        }
        m_paths.push_back(paths[i]);
    }
    // Into that order in place, cycle by cycle: a sorted copy of thousands of 272-byte
    // entries would cost more than the sort.
    for (size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start)
            continue;
        TItemData held = Items[start];
        size_t at = start;
        while (order[at] != start) {
            Items[at] = Items[order[at]];
            const size_t next = order[at];
            order[at] = at;
            at = next;
        }
        Items[at] = held;
        order[at] = at;
    }
}

void TObjCacheDir::fillList()
{
    QPointer<TListView> list = m_listView.data();
    // The bulk update begins with the first rows and ends with the last, in the same
    // hand-overs (each one waits for the window thread). A stopped lister begins nothing,
    // and one that has begun always ends: begin and end stay paired.
    bool begun = false;
    auto put = [&](std::vector<TListItem>& rows) {
        if (!list)
            return;
        if (!begun) {
            list->beginUpdate();
            begun = true;
        }
        list->model()->appendItems(rows);
    };

    // Equal texts share one string: a cached folder repeats the same few sizes, attribute
    // words and extensions, and all its entries share their folder.
    TextCache cache;
    // A quick first batch, then larger ones at most every interval, so a large folder is
    // laid out a few times, not once per row.
    TBatchHandover<TListItem> batches([&](std::vector<TListItem>&& rows) { SynchronizeUnlessStopped([&] { put(rows); }); },
                                      kCachedBatchRows, TObjLocalDir::kBatchInterval, TObjLocalDir::kBatchRows);
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Terminated())
            break;
        batches.Add(itemRow(Items[i], m_paths[i], m_details, cache));
    }
    std::vector<TListItem> last = batches.Take();
    collectExtensions();
    Synchronize([&] {
        const bool showing = !Terminated() && ReceiverAlive();
        if (showing && !last.empty())
            put(last);
        if (begun && list)
            list->endUpdate();
        // The icons this run need not look up: the key list has them already.
        if (showing)
            for (qsizetype i = m_extensions.size() - 1; i >= 0; --i)
                if (m_images->findKey(m_extensions[i]) >= 0)
                    m_extensions.removeAt(i);
    });
}

void TObjCacheDir::collectExtensions()
{
    // Each extension once per run, whatever the number of its files: its bytes as they
    // stand are looked at once ("." is one byte in UTF-8, so they begin where the text's
    // extension begins), and only a new one is turned into upper-case text.
    std::unordered_set<std::string_view> rawSeen;
    QSet<QString> seen;
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Terminated())
            return;
        if (Items[i].isFolder())
            continue;
        const std::string_view name = BareName(m_paths[i]);
        const size_t dot = name.rfind('.');
        if (dot == std::string_view::npos || !rawSeen.insert(name.substr(dot)).second)
            continue;
        const QString ext = fromStr(name.substr(dot)).toUpper();
        if (OwnIconExtension(ext) || seen.contains(ext))
            continue;
        seen.insert(ext);
        m_extensions << ext;
    }
}

void TObjCacheDir::lookUpIcons()
{
    const QStringList extensions = m_extensions;
    if (extensions.isEmpty())
        return;
    // The type by name on this thread; the picture from the theme on the window thread.
    static const QMimeDatabase database;
    std::vector<std::pair<QString, QMimeType>> types;
    for (const QString& ext : extensions) {
        if (Terminated())
            return;
        const QMimeType type = database.mimeTypeForFile(QStringLiteral("x") + ext, QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault())
            types.emplace_back(ext, type);
    }
    if (types.empty())
        return;
    SynchronizeUnlessStopped([&] {
        if (!m_listView)
            return;
        // The pictures are only added: no row shows one of them yet. The window gives the
        // rows their pictures when the listing is complete, and that redraws them; a redraw
        // here would only draw the same rows again.
        for (const auto& [ext, type] : types) {
            // Another lister of the same list may have brought the key meanwhile.
            if (m_images->findKey(ext) >= 0)
                continue;
            const QIcon icon = TImageLists::mimeIcon(type);
            if (icon.isNull())
                continue;
            m_images->listImages(m_large).add(icon);
            m_images->IconKeys.append(ext);
        }
    });
}
