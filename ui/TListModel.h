#pragma once
#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <vector>

// One item of the file list: its caption, the texts of the further columns, its image
// number and its state index (a value the window keeps per item: the file size).
struct TListItem {
    QString Caption;
    QStringList SubItems;   // column 1 on; shorter lists leave the rest empty
    int ImageIndex = 0;
    quint64 StateIndex = 0;
};

// The file list's items as one table model. Items are kept as plain values, not as an
// object per cell: a folder of 100,000 files costs a few hundred bytes an item, and equal
// texts (a folder path, the common sizes and dates) share one string. Pictures are not kept
// per item either: the image number is turned into a picture when a view asks for it.
class TListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int ImageIndexRole = Qt::UserRole + 2;
    static constexpr int StateIndexRole = Qt::UserRole + 4;

    explicit TListModel(QObject* parent = nullptr);

    /// The column captions; the model always has this many columns.
    void setColumns(const QStringList& captions);
    void setColumnAlignment(int column, Qt::Alignment alignment);
    /// Where pictures come from: the icon of an image number for the current view size.
    void setIconSource(std::function<QIcon(int imageIndex)> iconOf);
    /// The pictures changed (another view size, replaced images): views draw them again.
    void iconsChanged();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// An edit of a caption is not taken by the model: it is offered as `captionEdited`, and
    /// whoever renames the thing behind the item sets the new caption when that succeeds.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    const TListItem& item(int row) const { return m_items[size_t(row)]; }
    const std::vector<TListItem>& items() const { return m_items; }
    /// Appends the items in one insertion; `items` is left empty.
    void appendItems(std::vector<TListItem>& items);
    void appendItem(TListItem item);
    void clear();
    void setCaption(int row, const QString& caption);
    void setImageIndex(int row, int imageIndex);
    /// Gives every item the image `imageOf` returns for it, in one change for the views.
    void setImageIndexes(const std::function<int(const TListItem&)>& imageOf);
    /// Row of the first item with this caption (exact), or -1.
    int findCaption(const QString& caption) const;
    /// Orders the rows by `less` (stable), keeping the selection and the current item on
    /// the items they were on.
    void sortItems(const std::function<bool(const TListItem&, const TListItem&)>& less);

signals:
    void captionEdited(int row, const QString& newCaption);

private:
    std::vector<TListItem> m_items;
    QStringList m_columns;
    std::vector<Qt::Alignment> m_alignments;
    std::function<QIcon(int)> m_iconOf;
};
