#include "mainwindow/TFileListDelegate.h"

TFileListDelegate::TFileListDelegate(std::function<QColor(const QModelIndex&)> colourOf, QObject* parent)
    : QStyledItemDelegate(parent), m_colourOf(std::move(colourOf))
{
}

void TFileListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QColor colour = m_colourOf(index.siblingAtColumn(0));
    option->palette.setColor(QPalette::Text, colour);
}
