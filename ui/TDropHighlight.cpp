#include "ui/TDropHighlight.h"

#include <QPainter>

namespace {

constexpr int kFillAlpha = 80;

} // namespace

TDropHighlight::TDropHighlight(QWidget* viewport) : QWidget(viewport)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void TDropHighlight::mark(const QRect& rect)
{
    if (rect.isEmpty()) {
        hide();
        return;
    }
    setGeometry(rect);
    raise();
    show();
    update();
}

void TDropHighlight::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(kFillAlpha);
    painter.fillRect(rect(), fill);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
