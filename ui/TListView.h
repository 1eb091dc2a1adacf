#pragma once
#include <QStackedWidget>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QStandardItemModel;
class QTreeView;

// The file list: one item model shown in one of four view styles (0 large icons, 1 small
// icons, 2 list, 3 details). The icon styles and the list share a list view; details use a
// tree view with columns. Both views share the model and the selection, so switching the
// style keeps the items and what is selected.
class TListView : public QStackedWidget {
    Q_OBJECT
public:
    enum ViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    explicit TListView(QWidget* parent = nullptr);

    QStandardItemModel* model() const { return m_model; }
    QItemSelectionModel* selectionModel() const;
    QAbstractItemView* currentView() const;

    void setViewStyle(int style);
    int viewStyle() const { return m_viewStyle; }
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
    QStandardItemModel* m_model;
    QListView* m_iconView;
    QTreeView* m_detailView;
    int m_viewStyle = List;
    int m_updateCount = 0;
};
