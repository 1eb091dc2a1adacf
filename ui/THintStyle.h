#pragma once
#include <QProxyStyle>

// The application's style with the program's own hint timing: hints appear after a short
// pause and, once one is up, the next button's hint follows at once.
class THintStyle : public QProxyStyle {
    Q_OBJECT
public:
    THintStyle(int hintPause, int hintShortPause);

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;

private:
    int m_hintPause;
    int m_hintShortPause;
};
