#pragma once
#include <QDialog>

// The about box: a picture, the program's name and version, and a button that closes it.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* owner = nullptr);
};
