#include "network/TFtpOptionsForm.h"

#include "local/MessageBoxes.h"
#include "platform/DriveMap.h"
#include "resources/UiText.h"
#include "store/NodeTree.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

TFtpOptionsForm::TFtpOptionsForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FtpOptionsForm"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    EncodingComboBox = new QComboBox(this);
    EncodingComboBox->setObjectName(QStringLiteral("EncodingComboBox"));
    // In the order of FtpEncoding.
    EncodingComboBox->addItem(UiText("自動偵測"), int(FtpEncoding::Auto));
    EncodingComboBox->addItem(QStringLiteral("UTF-8"), int(FtpEncoding::Utf8));
    EncodingComboBox->addItem(QStringLiteral("CP950 (Big5)"), int(FtpEncoding::Cp950));
    form->addRow(UiText("檔名編碼:"), EncodingComboBox);
    layout->addLayout(form);

    auto* mode = new QGroupBox(UiText("傳輸模式"), this);
    auto* modeLayout = new QVBoxLayout(mode);
    ActiveRadioButton = new QRadioButton(UiText("主動 (無法連接時改用被動)"), mode);
    ActiveRadioButton->setObjectName(QStringLiteral("ActiveRadioButton"));
    PassiveRadioButton = new QRadioButton(UiText("被動"), mode);
    PassiveRadioButton->setObjectName(QStringLiteral("PassiveRadioButton"));
    modeLayout->addWidget(ActiveRadioButton);
    modeLayout->addWidget(PassiveRadioButton);
    layout->addWidget(mode);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(UiText("確定"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("OkButton"));
    buttons->addButton(UiText("放棄"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("CancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    ShowError = [this](const QString& text) { ShowErrorText(this, text); };
    setOptions(FtpSiteOptions());
}

void TFtpOptionsForm::setOptions(const FtpSiteOptions& options)
{
    EncodingComboBox->setCurrentIndex(EncodingComboBox->findData(int(options.encoding)));
    (options.passive ? PassiveRadioButton : ActiveRadioButton)->setChecked(true);
}

FtpSiteOptions TFtpOptionsForm::options() const
{
    FtpSiteOptions options;
    options.encoding = static_cast<FtpEncoding>(EncodingComboBox->currentData().toInt());
    options.passive = PassiveRadioButton->isChecked();
    return options;
}

bool TFtpOptionsForm::ShowFor(QTreeWidgetItem* site)
{
    const TNodeData* data = site ? GetNodeData(site) : nullptr;
    if (!data)
        return false;
    setWindowTitle(site->text(0));
    const std::string base = NativePath(data->StoreDir + data->Key);
    setOptions(ReadFtpSiteOptions(base));
    if (exec() != QDialog::Accepted)
        return false;
    if (!WriteFtpSiteOptions(base, options())) {
        ShowError(UiText("無法寫入站台選項 ") + QString::fromStdString(base) + QStringLiteral(".OPT"));
        return false;
    }
    return true;
}
