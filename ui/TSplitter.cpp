#include "ui/TSplitter.h"

#include <QList>

TSplitter::TSplitter(QWidget* parent)
    : QSplitter(Qt::Horizontal, parent)
{
    setChildrenCollapsible(false);
    setHandleWidth(4);
}

int TSplitter::leftPosition() const
{
    const QList<int> widths = sizes();
    return widths.isEmpty() ? 0 : widths.first();
}

void TSplitter::setLeftPosition(int width)
{
    QList<int> widths = sizes();
    if (widths.size() < 2)
        return;
    int total = 0;
    for (int w : widths)
        total += w;
    // Before the first layout the sizes are zero; the widget's width is the best guess then.
    if (total <= 0)
        total = std::max(width + 1, this->width() - handleWidth());
    widths[0] = std::max(0, width);
    widths[1] = std::max(0, total - widths[0]);
    for (int i = 2; i < widths.size(); ++i)
        widths[i] = 0;
    setSizes(widths);
}
