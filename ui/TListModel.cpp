#include "ui/TListModel.h"

#include <QIcon>

#include <algorithm>
#include <numeric>

TListModel::TListModel(QObject* parent) : QAbstractTableModel(parent)
{
}

void TListModel::setColumns(const QStringList& captions)
{
    beginResetModel();
    m_columns = captions;
    m_alignments.assign(size_t(captions.size()), Qt::Alignment());
    endResetModel();
}

void TListModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    if (column < 0 || size_t(column) >= m_alignments.size())
        return;
    m_alignments[size_t(column)] = alignment;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void TListModel::setIconSource(std::function<QIcon(int)> iconOf)
{
    m_iconOf = std::move(iconOf);
    iconsChanged();
}

void TListModel::iconsChanged()
{
    if (!m_items.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

int TListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int TListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max<int>(1, int(m_columns.size()));
}

QVariant TListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_items.size())
        return {};
    const TListItem& item = m_items[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == 0)
            return item.Caption;
        return item.SubItems.value(column - 1);
    case Qt::DecorationRole:
        if (column == 0 && m_iconOf)
            return m_iconOf(item.ImageIndex);
        return {};
    case Qt::TextAlignmentRole:
        // Unset columns leave the alignment to the view: centred under the picture in
        // large icons, beside it elsewhere.
        if (size_t(column) < m_alignments.size() && m_alignments[size_t(column)] != Qt::Alignment())
            return int(m_alignments[size_t(column)]);
        return {};
    case ImageIndexRole:
        return item.ImageIndex;
    case StateIndexRole:
        return QVariant::fromValue(item.StateIndex);
    default:
        return {};
    }
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[section];
    if (role == Qt::TextAlignmentRole && m_alignments[size_t(section)] != Qt::Alignment())
        return int(m_alignments[size_t(section)]);
    return {};
}

Qt::ItemFlags TListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        result |= Qt::ItemIsEditable;
    return result;
}

bool TListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0 || size_t(index.row()) >= m_items.size())
        return false;
    emit captionEdited(index.row(), value.toString());
    return true;
}

bool TListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || size_t(row) + size_t(count) > m_items.size())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_items.erase(m_items.begin() + row, m_items.begin() + row + count);
    endRemoveRows();
    if (m_items.empty())
        std::vector<TListItem>().swap(m_items);
    return true;
}

void TListModel::appendItems(std::vector<TListItem>& items)
{
    if (items.empty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + int(items.size()) - 1);
    m_items.insert(m_items.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    endInsertRows();
    items.clear();
}

void TListModel::appendItem(TListItem item)
{
    std::vector<TListItem> one;
    one.push_back(std::move(item));
    appendItems(one);
}

void TListModel::clear()
{
    if (m_items.empty())
        return;
    beginResetModel();
    std::vector<TListItem>().swap(m_items);
    endResetModel();
}

void TListModel::setCaption(int row, const QString& caption)
{
    if (row < 0 || size_t(row) >= m_items.size())
        return;
    m_items[size_t(row)].Caption = caption;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::DisplayRole, Qt::EditRole});
}

void TListModel::setImageIndex(int row, int imageIndex)
{
    if (row < 0 || size_t(row) >= m_items.size())
        return;
    m_items[size_t(row)].ImageIndex = imageIndex;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::DecorationRole, ImageIndexRole});
}

int TListModel::findCaption(const QString& caption) const
{
    const auto found = std::find_if(m_items.begin(), m_items.end(), [&](const TListItem& item) { return item.Caption == caption; });
    return found == m_items.end() ? -1 : int(found - m_items.begin());
}

void TListModel::sortItems(const std::function<bool(const TListItem&, const TListItem&)>& less)
{
    if (m_items.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(m_items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(m_items[size_t(a)], m_items[size_t(b)]); });
    std::vector<int> newRowOf(order.size());
    std::vector<TListItem> sorted;
    sorted.reserve(m_items.size());
    for (size_t to = 0; to < order.size(); ++to) {
        newRowOf[size_t(order[to])] = int(to);
        sorted.push_back(std::move(m_items[size_t(order[to])]));
    }
    m_items.swap(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newRowOf[size_t(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
