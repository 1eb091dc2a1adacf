#include "mainwindow/TFileListDelegate.h"

TFileListDelegate::TFileListDelegate(const TListView* list, std::function<QColor(const QModelIndex&)> colourOf,
                                     QObject* parent)
    : TListViewDelegate(list, parent), m_colourOf(std::move(colourOf))
{
}

void TFileListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    TListViewDelegate::initStyleOption(option, index);
    const QColor colour = m_colourOf(index.siblingAtColumn(0));
    option->palette.setColor(QPalette::Text, colour);
}
