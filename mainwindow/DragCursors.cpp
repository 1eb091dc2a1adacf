#include "mainwindow/DragCursors.h"

#include <QDrag>

TDragCursors::TDragCursors()
{
    static const char* const names[Count] = {"COPY", "MOVE", "LINK", "COPYSC", "MOVESC", "LINKSC"};
    for (int kind = 0; kind < Count; ++kind)
        m_pictures[kind] = QPixmap(QStringLiteral(":/cursors/%1.png").arg(QLatin1String(names[kind])));
}

void TDragCursors::applyTo(QDrag& drag, bool scrolling) const
{
    const int offset = scrolling ? CopyScroll : Copy;
    drag.setDragCursor(m_pictures[offset + Copy], Qt::CopyAction);
    drag.setDragCursor(m_pictures[offset + Move], Qt::MoveAction);
    drag.setDragCursor(m_pictures[offset + Link], Qt::LinkAction);
}
