#pragma once
#include "ui/TListModel.h"

#include <QStackedWidget>
#include <QStyledItemDelegate>

#include <functional>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTreeView;
class TImageList;
class TListView;

// The file list: one item model shown in one of four view styles (0 large icons, 1 small
// icons, 2 list, 3 details). The icon styles and the list share a list view; details use a
// tree view with columns. Both views share the model and the selection, so switching the
// style keeps the items and what is selected.
class TListView : public QStackedWidget {
    Q_OBJECT
public:
    enum ViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    explicit TListView(QWidget* parent = nullptr);

    TListModel* model() const { return m_model; }
    QItemSelectionModel* selectionModel() const;
    QAbstractItemView* currentView() const;

    void setViewStyle(int style);
    int viewStyle() const { return m_viewStyle; }
    /// The pictures of image numbers: the large list in large icons, the small one otherwise.
    void setImageLists(const TImageList* small, const TImageList* large);
    /// The size every item takes in the icon styles and the list: wide enough for the
    /// longest caption in the list styles (up to a limit, beyond which captions are cut), and
    /// a fixed cell with two lines of caption under the picture in large icons. Invalid in
    /// details.
    QSize itemSize() const;
    /// Gives each view a delegate of its own made by `make`; it must size items by
    /// `itemSize`. One delegate shared by both views would send an edit's commit to the
    /// view that is not editing, which warns about an editor that is not its own.
    void setItemDelegates(const std::function<QStyledItemDelegate*()>& make);
    /// Lays the items out again (in list style by passing through small icons and back, which
    /// is what recomputes the columns).
    void relayout();
    void selectAll();
    void invertSelection();

    /// Bulk update brackets: while any is open the views do not repaint, so a long run of
    /// insertions is drawn once. They nest; every begin needs its end.
    void beginUpdate();
    void endUpdate();
    int updateCount() const { return m_updateCount; }

signals:
    /// The last open bulk update has ended and the views draw again.
    void updatesEnded();

private:
    void measureCaptions(int first, int last);
    void updateItemSize();

    TListModel* m_model;
    QListView* m_iconView;
    QTreeView* m_detailView;
    int m_viewStyle = List;
    int m_updateCount = 0;
    const TImageList* m_smallImages = nullptr;
    const TImageList* m_largeImages = nullptr;
    int m_captionWidth = 0;
    QSize m_itemSize;
};

// Draws the items of a TListView at the size the list gives them, so that all items of a
// list take one size and long captions are neither cut short by the first item's width nor
// measured one by one when a large folder is laid out.
class TListViewDelegate : public QStyledItemDelegate {
public:
    TListViewDelegate(const TListView* list, QObject* parent) : QStyledItemDelegate(parent), m_list(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TListView* m_list;
};
