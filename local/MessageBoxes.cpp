#include "local/MessageBoxes.h"

#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QAbstractButton>
#include <QMessageBox>

int ShowMessageText(QWidget* owner, const QString& text, int kind)
{
    QMessageBox box(owner);
    // Stay on top of every other window, as the boxes of the other family programs do, so that
    // a message raised by a hidden task window is never lost behind the desktop.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Names from servers and files are shown as they are: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (kind) {
    case MsgQuestion:
        box.setWindowTitle(QString::fromStdString(LoadStr(32000)));
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MsgInformation:
        box.setWindowTitle(QString::fromStdString(LoadStr(32001)));
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    default:
        box.setWindowTitle(QString::fromStdString(LoadStr(32002)));
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    // The buttons speak the interface's language whatever Qt translations are installed.
    if (QAbstractButton* button = box.button(QMessageBox::Ok))
        button->setText(UiText("確定"));
    if (QAbstractButton* button = box.button(QMessageBox::Yes))
        button->setText(UiText("是(&Y)"));
    if (QAbstractButton* button = box.button(QMessageBox::No))
        button->setText(UiText("否(&N)"));
    const int answer = box.exec();
    if (kind == MsgQuestion)
        return answer == QMessageBox::Yes ? IdYes : IdNo;
    return IdOk;
}

int ShowMessageId(QWidget* owner, int number, int kind)
{
    return ShowMessageText(owner, QString::fromStdString(LoadStr(number)), kind);
}
