#include "network/TPassForm.h"

#include "local/MessageBoxes.h"
#include "resources/UiText.h"
#include "ui/Fonts.h"
#include "ui/PasswordEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLineEdit* lineEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 30);
    return edit;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* result = new QPushButton(caption, parent);
    result->setObjectName(QString::fromLatin1(name));
    return result;
}

} // namespace

TPassForm::TPassForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("PassForm"));
    setWindowTitle(UiText("密碼"));
    setFont(SettingsFont("MS Sans Serif", font().pointSize()));

    auto* layout = new QVBoxLayout(this);
    // A dialog border: the size follows the contents, the user cannot drag it.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // Which share asks and why: a prompt out of nowhere reads like a fault of the program.
    ReasonLabel = new QLabel(this);
    ReasonLabel->setObjectName(QStringLiteral("ReasonLabel"));
    ReasonLabel->setTextFormat(Qt::PlainText);  // the location comes from the network
    ReasonLabel->setWordWrap(true);
    ReasonLabel->setMaximumWidth(ReasonLabel->fontMetrics().averageCharWidth() * 50);
    ReasonLabel->hide();
    layout->addWidget(ReasonLabel);
    auto* grid = new QGridLayout;
    ComputerEdit = lineEdit(this, "ComputerEdit");
    UserNameEdit = lineEdit(this, "UserNameEdit");
    PasswordEdit = lineEdit(this, "PasswordEdit");
    UseStarPasswordEcho(PasswordEdit);
    // Each caption names what its edit holds: a share or a computer, and a user's name.
    Label2 = new QLabel(UiText("位置"), this);
    Label3 = new QLabel(UiText("使用者名稱"), this);
    Label1 = new QLabel(UiText("密碼"), this);
    Label2->setBuddy(ComputerEdit);
    Label3->setBuddy(UserNameEdit);
    Label1->setBuddy(PasswordEdit);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(ComputerEdit, 0, 1);
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(UserNameEdit, 1, 1);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(PasswordEdit, 2, 1);
    layout->addLayout(grid);

    RecordCheckBox = new QCheckBox(UiText("記住密碼"), this);
    RecordCheckBox->setObjectName(QStringLiteral("RecordCheckBox"));
    layout->addWidget(RecordCheckBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    BitBtn1 = button(this, "BitBtn1", UiText("確定"));
    BitBtn1->setDefault(true);
    BitBtn2 = button(this, "BitBtn2", UiText("放棄"));
    BitBtn2->setAutoDefault(false);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TPassForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TPassForm::BitBtn2Click);
}

void TPassForm::setRemember(bool remember)
{
    RecordCheckBox->setChecked(remember);
}

void TPassForm::setReason(const QString& reason)
{
    ReasonLabel->setText(reason);
    ReasonLabel->setVisible(!reason.isEmpty());
}

QString TPassForm::reasonText(const QString& location, const QString& why)
{
    QString shown = location;
    while (shown.size() > 2 && shown.endsWith(QLatin1Char('\\')))
        shown.chop(1);
    return UiText("%1 需要密碼才能連線：%2").arg(shown, why);
}

bool TPassForm::showFor(const QString& location)
{
    ComputerEdit->setText(location);
    exec();
    return m_confirmed;
}

QPoint TPassForm::placementFor(const QRect& owner, const QSize& size, const QRect& screen)
{
    const QPoint centre = owner.isEmpty() ? screen.center() : owner.center();
    const int left = std::clamp(centre.x() - size.width() / 2, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
    const int top = std::clamp(centre.y() - size.height() / 2, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
    return {left, top};
}

QWidget* TPassForm::ownerWindow() const
{
    // A dialog that opened this one (the password manager) is where the user looks; a task
    // window that asks may be hidden or small, so the prompt comes over the main window.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner && owner->isVisible() && qobject_cast<QDialog*>(owner))
        return owner;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(top) && top->isVisible() && !top->isMinimized())
            return top;
    return owner && owner->isVisible() ? owner : nullptr;
}

void TPassForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TPassForm::FormShow()
{
    QWidget* owner = ownerWindow();
    const QScreen* screen = owner ? owner->screen() : this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    move(placementFor(owner ? owner->frameGeometry() : QRect(), frameGeometry().size(), area));
    PasswordEdit->setText(m_password);
    UserNameEdit->setText(m_userName);
    m_confirmed = false;
    // The user name is what a person most often corrects; an empty one is typed first.
    (UserNameEdit->text().isEmpty() ? UserNameEdit : PasswordEdit)->setFocus();
}

void TPassForm::BitBtn1Click()
{
    // The store keeps "user;password" and splits at the first ";": a user name holding one
    // would come back as another user with a different password.
    if (UserNameEdit->text().contains(QLatin1Char(';'))) {
        ShowErrorText(this, UiText("使用者名稱不能含有「;」"));
        UserNameEdit->setFocus();
        return;
    }
    m_password = PasswordEdit->text();
    m_userName = UserNameEdit->text();
    m_location = ComputerEdit->text();
    m_remember = RecordCheckBox->isChecked();
    m_confirmed = true;
    QDialog::accept();
}

void TPassForm::BitBtn2Click()
{
    m_remember = RecordCheckBox->isChecked();
    m_confirmed = false;
    QDialog::reject();
}

void TPassForm::reject()
{
    BitBtn2Click();
}
