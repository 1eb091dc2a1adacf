#include "ui/PasswordEdit.h"

#include <QLineEdit>
#include <QProxyStyle>

namespace {

class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void UseStarPasswordEcho(QLineEdit* edit)
{
    auto* stars = new StarPasswordStyle;
    stars->setParent(edit->window());
    edit->setStyle(stars);
    edit->setEchoMode(QLineEdit::Password);
}
