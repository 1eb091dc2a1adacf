#pragma once
#include <QPixmap>

class QDrag;

// The window's six drag cursors: copy, move and link, each also in the form shown while
// the tree under the pointer scrolls. Their hot spot is the picture's centre, where the
// arrow's tip is drawn.
class TDragCursors {
public:
    /// Loads "COPY", "MOVE", "LINK", "COPYSC", "MOVESC" and "LINKSC" from the resources.
    TDragCursors();

    /// Gives the drag the cursors of each effect; `scrolling` picks the scrolling forms.
    /// Set again while the drag runs, the next move of the pointer shows them.
    void applyTo(QDrag& drag, bool scrolling) const;

    enum Kind { Copy, Move, Link, CopyScroll, MoveScroll, LinkScroll, Count };
    const QPixmap& picture(Kind kind) const { return m_pictures[kind]; }

private:
    QPixmap m_pictures[Count];
};
