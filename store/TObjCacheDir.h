#pragma once
#include "local/TWorkerThread.h"
#include "store/ListingPair.h"
#include "ui/TListView.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TImageLists;

// Lists one folder of the offline cache into the file list in the background: reads its
// entries from the computer's index and listing (or a flat "LIST.DAT" when no folder path is
// given), sorts them folders first, adds the items in batches inside one bulk update, and
// then brings each file type's icon into the key list, once per extension (the window points
// the rows at them when the listing is complete). Rows are appended after whatever
// the list holds already, so several listers can fill one list one after another. A stopped
// lister puts nothing more on the screen and calls no completion handler.
class TObjCacheDir : public TWorkerThread {
    Q_OBJECT
public:

    /// `storeDir` is the StoreDir of the shown node; `folderPath` the folder's network path
    /// with its trailing backslash, or empty for the store folder's "LIST.DAT"; `key` the
    /// Key of the computer or site that owns the folder. The view style is taken now.
    TObjCacheDir(const std::string& storeDir, TImageLists* images, TListView* listView, const std::string& folderPath,
                 const std::string& key);

    void StartListing() { Resume(); }
    /// Lists `items` instead of reading the cache files: the entries exactly as reading the
    /// folder would give them (FolderListingAsRead of what was just written). Before
    /// StartListing.
    void UseListedItems(TItemList&& items)
    {
        Items = std::move(items);
        m_itemsGiven = true;
    }

    /// 0 created, 3 running, 5 done.
    std::atomic<int> RunState{0};
    /// The entries read, sorted as they are shown.
    TItemList Items;
    /// The folders among them, as paths with a trailing backslash, in list order: what a
    /// recursive listing queues next.
    std::vector<std::string> FolderPaths;
    int32_t FileTotal = 0;
    int32_t FolderTotal = 0;
    uint64_t ByteTotal = 0;
    QString ErrorText;
    bool Completed = false;

    std::function<void(TObjCacheDir*)> OnStatus;

protected:
    void Execute() override;
    void ExecuteFailed(const std::string& message) override { ErrorText = QString::fromStdString(message); }
    void ClearHandlers() override { OnStatus = nullptr; }

private:
    // Texts shared by rows. The folder of a run of entries and the last date are kept as
    // they come; sizes and attributes by their value (formatted once each); every text once,
    // so equal texts of rows far apart share one string too.
    struct TextCache {
        std::string folder;
        QString folderText;
        double modified = 0;
        QString dateText;
        QHash<quint64, QString> sizeTexts;
        QHash<quint32, QString> attributeTexts;
        // By the bytes of the name from its last "." on (views of the run's paths).
        std::unordered_map<std::string_view, QString> extensionTexts;
        QSet<QString> texts;
        QString intern(const QString& text);
    };
    /// The row of one entry in the given view style: caption, sub-items, image, size value.
    static TListItem itemRow(const TItemData& item, std::string_view path, bool details, TextCache& cache);

    void reportStatus();
    bool readItems();
    void sortItems();
    void fillList();
    /// The upper-case extensions of the files whose icons this run looks up.
    void collectExtensions();
    void lookUpIcons();

    std::string m_storeDir;
    std::string m_folderPath;
    std::string m_key;
    QPointer<TListView> m_listView;
    TImageLists* m_images;
    bool m_large;
    bool m_details;
    bool m_itemsGiven = false;
    QStringList m_extensions;
    // The decoded paths of Items, in the same order: views of one buffer.
    std::string m_pathText;
    std::vector<std::string_view> m_paths;
};
