#pragma once
#include "local/TBatchHandover.h"
#include "local/TWorkerThread.h"
#include "ui/TListView.h"

#include <QImage>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TImageLists;

// One entry of a listed folder. The size is the full 64-bit size: files of 4 GiB and more
// show and add up correctly in the live list (the stored cache formats keep their 32 bits).
struct TLocalItem {
    QString Name;           // name part; the full path is the folder path + Name
    uint64_t Size = 0;      // 0 for folders
    uint32_t Attributes = 0;
    double Modified = 0;
    bool Symlink = false;
    bool Executable = false;

    bool isFolder() const { return (Attributes & 0x10) != 0; }
};

// Lists one folder into the file list in the background: reads and sorts the whole folder,
// adds the items in batches inside one bulk update, gives each file type its icon from the
// MIME database and icon theme, and in a second pass gives icon files, cursors, programs and
// desktop launchers their own icons. The icon key list and the image lists are changed only
// on the window thread; a stopped lister changes nothing on the screen.
class TObjLocalDir : public TWorkerThread {
    Q_OBJECT
public:
    /// Rows of the first batch, which goes at once so the list fills without delay.
    static constexpr size_t kBatchRows = 200;
    /// Later batches go at most this often: each insertion makes the views lay out every
    /// row again, so fewer and larger batches keep a large folder from costing n² time.
    static constexpr std::chrono::milliseconds kBatchInterval{50};
    /// Rows per batch at most, so no one insertion holds the window thread for long.
    static constexpr size_t kMaxBatchRows = 1000;
    /// Hands rows to the list by the batch sizes above; the cached lister fills its list
    /// the same way.
    static TBatchHandover<TListItem> RowBatches(std::function<void(std::vector<TListItem>&&)> insert)
    {
        return TBatchHandover<TListItem>(std::move(insert), kMaxBatchRows, kBatchInterval, kBatchRows);
    }
    /// Own icons handed to the window per synchronised call in the second pass.
    static constexpr size_t kIconSlice = 32;

    /// Roles of the first column's item: the image number and the size value (the file
    /// list's state index, which the window adds up for the selected files).
    static constexpr int ImageIndexRole = TListModel::ImageIndexRole;
    static constexpr int StateIndexRole = TListModel::StateIndexRole;

    /// `folderPath` ends with a backslash ("C:\dir\"). The view style is taken now; a
    /// later change does not affect this lister. `images` holds the icon key list.
    TObjLocalDir(TListView* listView, TImageLists* images, const QString& folderPath);

    void StartListing() { Resume(); }
    const QString& FolderPath() const { return m_folderPath; }

    /// 0 created, 3 running, 5 done.
    std::atomic<int> RunState{0};
    std::vector<TLocalItem> Items;
    int32_t FileTotal = 0;
    int32_t FolderTotal = 0;
    uint64_t ByteTotal = 0;
    QString ErrorText;
    bool Completed = false;

    std::function<void(TObjLocalDir*)> OnStatus;
    /// Item `itemNumber` of the list now shows image `imageIndex` (second pass).
    std::function<void(int itemNumber, int imageIndex)> OnItemImage;

    /// The texts the details view shows, for tests and the cached lister's twin.
    static QString AttributeText(uint32_t attributes);
    static QString DateText(double modified);
    static QString SizeText(uint64_t size);
    /// The extension of a name from its last dot, case kept; empty without one.
    static QString Extension(const QString& name);

protected:
    void Execute() override;
    void ExecuteFailed(const std::string& message) override { ErrorText = QString::fromStdString(message); }
    void ClearHandlers() override
    {
        OnStatus = nullptr;
        OnItemImage = nullptr;
    }

private:
    struct OwnIcon;

    void reportStatus();
    bool readFolder();
    void sortItems();
    void firstPass();
    int resolveIcon(const TLocalItem& item, const QString& upperExt);
    void secondPass();
    bool loadOwnIcon(const TLocalItem& item, OwnIcon& icon) const;
    void insertRows(std::vector<TListItem>&& rows);
    QString fullPath(const TLocalItem& item) const { return m_folderPath + item.Name; }
    std::string nativePath(const TLocalItem& item) const;

    QPointer<TListView> m_listView;
    TImageLists* m_images;
    QString m_folderPath;
    bool m_large;
    bool m_details;
    bool m_secondPass = false;
    int m_firstRow = 0;
};
