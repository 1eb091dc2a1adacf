#include "local/TOpenWithForm.h"

#include "local/MessageBoxes.h"
#include "platform/TextPathAlias.h"
#include "resources/UiText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 24;

QIcon iconOf(const DesktopApp& app)
{
    if (app.icon.isEmpty())
        return QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (QFileInfo(app.icon).isAbsolute())
        return QIcon(app.icon);
    return QIcon::fromTheme(app.icon, QIcon::fromTheme(QStringLiteral("application-x-executable")));
}

} // namespace

TOpenWithForm::TOpenWithForm(QWidget* parent, const QString& fileName, const QString& mimeType)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("OpenWithForm"));
    setWindowTitle(UiText("開啟檔案方式"));
    AskProgram = [](QWidget* owner) {
        return QFileDialog::getOpenFileName(owner, UiText("其他程式"), QStringLiteral("/usr/bin"));
    };

    auto* layout = new QVBoxLayout(this);
    PromptLabel = new QLabel(UiText("選擇要用來開啟「%1」的程式：").arg(fileName), this);
    PromptLabel->setObjectName(QStringLiteral("PromptLabel"));
    PromptLabel->setWordWrap(true);
    layout->addWidget(PromptLabel);
    AppListBox = new QListWidget(this);
    AppListBox->setObjectName(QStringLiteral("AppListBox"));
    AppListBox->setIconSize(QSize(kIconSize, kIconSize));
    layout->addWidget(AppListBox);
    DefaultCheckBox = new QCheckBox(UiText("永遠用這個程式開啟這種檔案"), this);
    DefaultCheckBox->setObjectName(QStringLiteral("DefaultCheckBox"));
    DefaultCheckBox->setEnabled(!mimeType.isEmpty());
    layout->addWidget(DefaultCheckBox);

    auto* buttons = new QHBoxLayout;
    BrowseButton = new QPushButton(UiText("其他程式…"), this);
    BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
    OkButton = new QPushButton(UiText("確定"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(UiText("放棄"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(BrowseButton);
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
    resize(420, 360);

    if (!mimeType.isEmpty())
        for (const DesktopApp& app : DesktopApps::ApplicationsFor(mimeType))
            addApp(app);
    if (AppListBox->count() > 0)
        AppListBox->setCurrentRow(0);
    updateButtons();

    connect(BrowseButton, &QPushButton::clicked, this, &TOpenWithForm::BrowseButtonClick);
    connect(OkButton, &QPushButton::clicked, this, &TOpenWithForm::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(AppListBox, &QListWidget::itemDoubleClicked, this, &TOpenWithForm::AppListBoxDblClick);
    connect(AppListBox, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
}

void TOpenWithForm::addApp(const DesktopApp& app)
{
    m_apps << app;
    auto* item = new QListWidgetItem(iconOf(app), app.name, AppListBox);
    item->setToolTip(app.exec);
}

void TOpenWithForm::updateButtons()
{
    OkButton->setEnabled(AppListBox->currentRow() >= 0);
}

std::optional<DesktopApp> TOpenWithForm::chosen() const
{
    const int row = AppListBox->currentRow();
    if (result() != Accepted || row < 0 || row >= m_apps.size())
        return std::nullopt;
    return m_apps[row];
}

bool TOpenWithForm::makeDefault() const
{
    return DefaultCheckBox->isEnabled() && DefaultCheckBox->isChecked();
}

void TOpenWithForm::BrowseButtonClick()
{
    const QString program = AskProgram(this);
    if (program.isEmpty())
        return;
    const auto app = DesktopApps::FromProgram(program);
    if (!app) {
        ShowErrorText(this, UiText("「%1」不是可以執行的程式。").arg(program));
        return;
    }
    addApp(*app);
    AppListBox->setCurrentRow(AppListBox->count() - 1);
}

void TOpenWithForm::OkButtonClick()
{
    if (AppListBox->currentRow() >= 0)
        accept();
}

void TOpenWithForm::AppListBoxDblClick(QListWidgetItem* item)
{
    if (item)
        OkButtonClick();
}

bool OpenFilesWith(QWidget* parent, const std::vector<std::string>& nativeFiles)
{
    if (nativeFiles.empty())
        return false;
    // Applications take their files as text: a name that is not UTF-8 goes as an alias.
    QStringList files;
    QString type;
    for (const std::string& native : nativeFiles) {
        const QString file = QString::fromStdString(TextPathAlias(native));
        if (file.isEmpty())
            return false;
        const QString one = DesktopApps::MimeTypeOfFile(file);
        type = files.isEmpty() || one == type ? one : QStringLiteral("-");
        files << file;
    }
    if (type == QLatin1String("-") || type == QLatin1String("inode/directory"))
        type.clear();
    TOpenWithForm form(parent, QFileInfo(QString::fromStdString(nativeFiles.front())).fileName(), type);
    if (parent)
        form.setFont(parent->font());
    form.exec();
    const auto app = form.chosen();
    if (!app)
        return false;
    QString error;
    if (form.makeDefault() && !DesktopApps::SetDefaultFor(*app, type, &error))
        ShowErrorText(parent, UiText("無法把「%1」設為這種檔案的預設程式：%2").arg(app->name, error));
    if (!DesktopApps::Launch(*app, files, &error)) {
        ShowErrorText(parent, UiText("無法啟動「%1」：%2").arg(app->name, error));
        return false;
    }
    return true;
}
