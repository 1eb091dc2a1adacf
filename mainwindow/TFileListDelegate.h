#pragma once
#include "ui/TListView.h"

#include <functional>

// Draws the file list's items in the text colour of their colour group, decided when an
// item is painted, so the colour follows the settings without touching the items.
class TFileListDelegate : public TListViewDelegate {
public:
    /// `colourOf` gets the item's first-column index.
    TFileListDelegate(const TListView* list, std::function<QColor(const QModelIndex&)> colourOf, QObject* parent);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    std::function<QColor(const QModelIndex&)> m_colourOf;
};
