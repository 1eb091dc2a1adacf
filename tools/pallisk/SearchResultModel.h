#pragma once
#include "store/CacheSearch.h"

#include <QAbstractTableModel>

#include <vector>

// The search results as one table: name, folder, size, date, computer. Batches are added
// as the search finds them; a sorted model keeps its order by merging each sorted batch in,
// so the rows never jump back to the order of the scan.
class SearchResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, FolderColumn, SizeColumn, DateColumn, ComputerColumn, ColumnCount };

    explicit SearchResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    /// Adds the hits, in their place when the model is sorted; `hits` is left empty.
    void appendHits(std::vector<SearchHit>& hits);
    void clear();
    const SearchHit& hit(int row) const { return m_hits[size_t(row)]; }
    const std::vector<SearchHit>& hits() const { return m_hits; }
    int sortColumn() const { return m_sortColumn; }

    /// The texts the views show.
    static QString sizeText(uint32_t size);
    static QString dateText(double modified);

private:
    bool less(const SearchHit& a, const SearchHit& b) const;
    void movePersistentRows(const std::vector<size_t>& newRowOf);

    std::vector<SearchHit> m_hits;
    int m_sortColumn = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
};
