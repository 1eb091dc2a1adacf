#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;

// The small busy window shown while a long job runs on the window thread: an animation over
// one line of text, no caption buttons, on top and centred on its owner.
class TProcessForm : public QDialog {
    Q_OBJECT
public:
    // The stock animations the window can show; only copying is used.
    enum Animation { AnimationNone = 0, AnimationCopyFiles = 4 };

    explicit TProcessForm(QWidget* owner = nullptr);

    void setAnimation(int animation);
    int animation() const { return m_animation; }
    void setText(const QString& text);
    QString text() const;
    bool animationRunning() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* m_animate;
    QLabel* m_label;
    int m_animation = AnimationNone;
};
