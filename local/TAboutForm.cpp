#include "local/TAboutForm.h"

#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAboutForm::TAboutForm(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(UiText("關於"));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(QIcon::fromTheme(QStringLiteral("system-file-manager")).pixmap(48, 48));
    auto* information = new QLabel(this);
    information->setObjectName(QStringLiteral("InfoLabel"));
    information->setText(QString::fromStdString(LoadStr(30000)) + QStringLiteral("\nTamsel 1.0 Release"));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(UiText("確定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(information, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    // Fixed to what the contents need in whatever font the caller gives the box.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
