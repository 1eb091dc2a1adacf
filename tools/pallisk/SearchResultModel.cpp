#include "tools/pallisk/SearchResultModel.h"

#include "platform/DateTime.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/TItemData.h"

#include <QLocale>

#include <algorithm>
#include <iterator>

namespace {

QString qtext(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

bool isFolder(const SearchHit& hit)
{
    return (hit.Attributes & FileAttributeDirectory) != 0;
}

} // namespace

SearchResultModel::SearchResultModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int SearchResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString SearchResultModel::sizeText(uint32_t size)
{
    return QLocale().toString(qulonglong(size));
}

QString SearchResultModel::dateText(double modified)
{
    return QString::fromStdString(DateTimeText(modified));
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_hits.size()))
        return {};
    const SearchHit& hit = m_hits[size_t(index.row())];
    if (role == Qt::TextAlignmentRole)
        return index.column() == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case NameColumn: return qtext(BareName(hit.Path));
    case FolderColumn: return qtext(FolderPart(hit.Path));
    case SizeColumn: return isFolder(hit) ? UiText("<資料夾>") : sizeText(hit.Size);
    case DateColumn: return dateText(hit.Modified);
    case ComputerColumn: return QString::fromStdString(hit.Computer);
    default: return {};
    }
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const captions[] = {"名稱", "資料夾", "大小", "日期", "電腦"};
    return section >= 0 && section < ColumnCount ? QVariant(UiText(captions[section])) : QVariant();
}

bool SearchResultModel::less(const SearchHit& a, const SearchHit& b) const
{
    int c = 0;
    switch (m_sortColumn) {
    case NameColumn: c = CompareTextNoCase(BareName(a.Path), BareName(b.Path)); break;
    case FolderColumn: c = CompareTextNoCase(FolderPart(a.Path), FolderPart(b.Path)); break;
    case SizeColumn: c = a.Size < b.Size ? -1 : a.Size > b.Size ? 1 : 0; break;
    case DateColumn: c = a.Modified < b.Modified ? -1 : a.Modified > b.Modified ? 1 : 0; break;
    case ComputerColumn: c = CompareTextNoCase(a.Computer, b.Computer); break;
    default: return false;
    }
    // Rows that tie keep the order of the scan (the sorts are stable).
    return m_order == Qt::AscendingOrder ? c < 0 : c > 0;
}

void SearchResultModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_sortColumn = column;
    m_order = order;
    std::vector<size_t> oldRowAt(m_hits.size());
    for (size_t i = 0; i < oldRowAt.size(); ++i)
        oldRowAt[i] = i;
    std::stable_sort(oldRowAt.begin(), oldRowAt.end(), [this](size_t a, size_t b) { return less(m_hits[a], m_hits[b]); });
    std::vector<size_t> newRowOf(m_hits.size());
    std::vector<SearchHit> sorted;
    sorted.reserve(m_hits.size());
    for (size_t row = 0; row < oldRowAt.size(); ++row) {
        newRowOf[oldRowAt[row]] = row;
        sorted.push_back(std::move(m_hits[oldRowAt[row]]));
    }
    m_hits.swap(sorted);
    movePersistentRows(newRowOf);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SearchResultModel::movePersistentRows(const std::vector<size_t>& newRowOf)
{
    // The selection and the current row stay on the hits they were on.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after << (size_t(index.row()) < newRowOf.size() ? this->index(int(newRowOf[size_t(index.row())]), index.column())
                                                         : QModelIndex());
    changePersistentIndexList(before, after);
}

void SearchResultModel::appendHits(std::vector<SearchHit>& hits)
{
    if (hits.empty())
        return;
    if (m_sortColumn < 0) {
        const int first = int(m_hits.size());
        beginInsertRows({}, first, first + int(hits.size()) - 1);
        std::move(hits.begin(), hits.end(), std::back_inserter(m_hits));
        endInsertRows();
        hits.clear();
        return;
    }
    // Sorted: the batch is sorted and merged in, one pass over the rows; the earlier rows
    // win ties, so equal keys keep the order in which they were found.
    auto byKey = [this](const SearchHit& a, const SearchHit& b) { return less(a, b); };
    std::stable_sort(hits.begin(), hits.end(), byKey);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<SearchHit> merged;
    merged.reserve(m_hits.size() + hits.size());
    std::vector<size_t> newRowOf(m_hits.size());
    size_t a = 0, b = 0;
    while (a < m_hits.size() || b < hits.size()) {
        if (b == hits.size() || (a < m_hits.size() && !less(hits[b], m_hits[a]))) {
            newRowOf[a] = merged.size();
            merged.push_back(std::move(m_hits[a++]));
        } else {
            merged.push_back(std::move(hits[b++]));
        }
    }
    m_hits.swap(merged);
    hits.clear();
    movePersistentRows(newRowOf);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SearchResultModel::clear()
{
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    endResetModel();
}
