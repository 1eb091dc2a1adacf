#include "ui/TListView.h"

#include "ui/TImageList.h"

#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QListView>
#include <QTreeView>

#include <algorithm>

namespace {
constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;
// Width of a large-icon cell in widths of an "x", and the widest a list column may grow
// for a long caption.
constexpr int kLargeCellChars = 13;
constexpr int kMaxListItemWidth = 360;
// Room around the picture and the caption inside an item.
constexpr int kItemPadding = 8;

// Views that hold their layout while a bulk update is open: each insertion would otherwise
// make them lay out every row again, which costs n² time over a large folder filled in
// batches. The layout is done once when the last update ends.
template <typename View>
class HeldLayoutView : public View {
public:
    explicit HeldLayoutView(const int* updateCount, QWidget* parent) : View(parent), m_updateCount(updateCount) {}

    void doItemsLayout() override
    {
        if (*m_updateCount > 0) {
            m_pending = true;
            return;
        }
        m_pending = false;
        View::doItemsLayout();
    }
    void releaseLayout()
    {
        if (m_pending)
            doItemsLayout();
    }
    void layoutLater() { View::scheduleDelayedItemsLayout(); }

private:
    const int* m_updateCount;
    bool m_pending = false;
};
}

TListView::TListView(QWidget* parent)
    : QStackedWidget(parent)
    , m_model(new TListModel(this))
    , m_iconView(new HeldLayoutView<QListView>(&m_updateCount, this))
    , m_detailView(new HeldLayoutView<QTreeView>(&m_updateCount, this))
{
    m_iconView->setModel(m_model);
    m_detailView->setModel(m_model);
    m_detailView->setSelectionModel(m_iconView->selectionModel());
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_iconView), static_cast<QAbstractItemView*>(m_detailView)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // An item is a whole row of the model, also where a view shows its first column only:
        // the window asks for the selected rows.
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    m_iconView->setResizeMode(QListView::Adjust);
    m_iconView->setWrapping(true);
    m_iconView->setUniformItemSizes(true);
    m_detailView->setRootIsDecorated(false);
    m_detailView->setItemsExpandable(false);
    m_detailView->setUniformRowHeights(true);
    m_detailView->setSortingEnabled(false);
    m_iconView->setTextElideMode(Qt::ElideRight);
    addWidget(m_iconView);
    addWidget(m_detailView);
    setItemDelegates([this] { return new TListViewDelegate(this, this); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { measureCaptions(first, last); });
    // Only a changed caption can change the widest one: new pictures for every item (a
    // view style switch, an icon pass) must not measure the whole list again.
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                if (from.column() == 0 && (roles.isEmpty() || roles.contains(Qt::DisplayRole)))
                    measureCaptions(from.row(), to.row());
            });
    auto forget = [this] {
        if (m_model->rowCount() == 0 && m_captionWidth != 0) {
            m_captionWidth = 0;
            updateItemSize();
        }
    };
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, forget);
    connect(m_model, &QAbstractItemModel::modelReset, this, forget);
    setViewStyle(List);
}

void TListView::setImageLists(const TImageList* small, const TImageList* large)
{
    m_smallImages = small;
    m_largeImages = large;
    m_model->setIconSource([this](int image) {
        const TImageList* images = m_viewStyle == LargeIcons ? m_largeImages : m_smallImages;
        return images ? images->icon(image) : QIcon();
    });
}

void TListView::setItemDelegates(const std::function<QStyledItemDelegate*()>& make)
{
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_iconView), static_cast<QAbstractItemView*>(m_detailView)}) {
        QAbstractItemDelegate* old = view->itemDelegate();
        view->setItemDelegate(make());
        if (old && old->parent() == this)
            old->deleteLater();
    }
}

QSize TListView::itemSize() const
{
    return m_itemSize;
}

void TListView::measureCaptions(int first, int last)
{
    // Details size their columns by the header; only the other styles need the widest caption.
    if (m_viewStyle == Details)
        return;
    const QFontMetrics metrics(m_iconView->font());
    int widest = m_captionWidth;
    for (int row = first; row <= last && row < m_model->rowCount(); ++row)
        widest = std::max(widest, metrics.horizontalAdvance(m_model->item(row).Caption));
    if (widest != m_captionWidth) {
        m_captionWidth = widest;
        updateItemSize();
    }
}

void TListView::updateItemSize()
{
    const QFontMetrics metrics(m_iconView->font());
    QSize size;
    switch (m_viewStyle) {
    case LargeIcons:
        size = QSize(std::max(kLargeIcon + 2 * kItemPadding, kLargeCellChars * metrics.horizontalAdvance(QLatin1Char('x'))),
                     kLargeIcon + 2 * metrics.lineSpacing() + kItemPadding);
        break;
    case SmallIcons:
    case List:
        size = QSize(std::min(kMaxListItemWidth, kSmallIcon + m_captionWidth + 2 * kItemPadding),
                     std::max(kSmallIcon, metrics.height()) + kItemPadding / 2);
        break;
    default:
        break;
    }
    if (size == m_itemSize)
        return;
    m_itemSize = size;
    static_cast<HeldLayoutView<QListView>*>(m_iconView)->layoutLater();
}

QItemSelectionModel* TListView::selectionModel() const
{
    return m_iconView->selectionModel();
}

QAbstractItemView* TListView::currentView() const
{
    return m_viewStyle == Details ? static_cast<QAbstractItemView*>(m_detailView) : m_iconView;
}

void TListView::setViewStyle(int style)
{
    if (style < LargeIcons || style > Details)
        return;
    m_viewStyle = style;
    switch (style) {
    case LargeIcons:
        m_iconView->setViewMode(QListView::IconMode);
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setIconSize(QSize(kLargeIcon, kLargeIcon));
        m_iconView->setMovement(QListView::Static);
        break;
    case SmallIcons:
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setIconSize(QSize(kSmallIcon, kSmallIcon));
        break;
    case List:
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setFlow(QListView::TopToBottom);
        m_iconView->setIconSize(QSize(kSmallIcon, kSmallIcon));
        break;
    default:
        break;
    }
    // Mode changes reset these; the list always wraps into columns or rows.
    m_iconView->setWrapping(true);
    m_iconView->setResizeMode(QListView::Adjust);
    m_iconView->setWordWrap(style == LargeIcons);
    if (style != Details) {
        m_captionWidth = 0;
        measureCaptions(0, m_model->rowCount() - 1);
    }
    updateItemSize();
    m_model->iconsChanged();
    setCurrentWidget(style == Details ? static_cast<QWidget*>(m_detailView) : m_iconView);
}

void TListView::relayout()
{
    if (m_viewStyle == List) {
        setViewStyle(SmallIcons);
        setViewStyle(List);
    } else {
        m_iconView->doItemsLayout();
    }
}

void TListView::selectAll()
{
    currentView()->selectAll();
}

void TListView::invertSelection()
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    const QItemSelection all(m_model->index(0, 0), m_model->index(rows - 1, m_model->columnCount() - 1));
    selectionModel()->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

void TListView::beginUpdate()
{
    if (m_updateCount++ == 0) {
        m_iconView->setUpdatesEnabled(false);
        m_detailView->setUpdatesEnabled(false);
    }
}

void TListView::endUpdate()
{
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0) {
        static_cast<HeldLayoutView<QListView>*>(m_iconView)->releaseLayout();
        static_cast<HeldLayoutView<QTreeView>*>(m_detailView)->releaseLayout();
        m_iconView->setUpdatesEnabled(true);
        m_detailView->setUpdatesEnabled(true);
        emit updatesEnded();
    }
}

QSize TListViewDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QSize size = m_list->itemSize();
    return size.isValid() ? size : QStyledItemDelegate::sizeHint(option, index);
}
