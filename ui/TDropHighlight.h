#pragma once
#include <QWidget>

// The mark of the item a drag would drop on: a tinted frame laid over one rectangle of a
// view's viewport. It lets every mouse and drag event through to the view below.
class TDropHighlight : public QWidget {
public:
    explicit TDropHighlight(QWidget* viewport);

    /// Marks `rect` (viewport coordinates); an empty rectangle hides the mark.
    void mark(const QRect& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
};
