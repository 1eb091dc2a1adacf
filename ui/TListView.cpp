#include "ui/TListView.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QStandardItemModel>
#include <QTreeView>

namespace {
constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;

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

private:
    const int* m_updateCount;
    bool m_pending = false;
};
}

TListView::TListView(QWidget* parent)
    : QStackedWidget(parent)
    , m_model(new QStandardItemModel(this))
    , m_iconView(new HeldLayoutView<QListView>(&m_updateCount, this))
    , m_detailView(new HeldLayoutView<QTreeView>(&m_updateCount, this))
{
    m_iconView->setModel(m_model);
    m_detailView->setModel(m_model);
    m_detailView->setSelectionModel(m_iconView->selectionModel());
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_iconView), static_cast<QAbstractItemView*>(m_detailView)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    m_iconView->setResizeMode(QListView::Adjust);
    m_iconView->setWrapping(true);
    m_iconView->setUniformItemSizes(true);
    m_detailView->setRootIsDecorated(false);
    m_detailView->setItemsExpandable(false);
    m_detailView->setUniformRowHeights(true);
    m_detailView->setSortingEnabled(false);
    addWidget(m_iconView);
    addWidget(m_detailView);
    setViewStyle(List);
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
