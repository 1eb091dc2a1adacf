#pragma once
#include <QSplitter>

// The splitter between two panes side by side. Its position is the width of the left pane,
// which the windows store between runs.
class TSplitter : public QSplitter {
    Q_OBJECT
public:
    explicit TSplitter(QWidget* parent = nullptr);

    int leftPosition() const;
    void setLeftPosition(int width);
};
