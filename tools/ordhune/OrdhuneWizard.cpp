#include "tools/ordhune/OrdhuneWizard.h"

#include "local/TImageLists.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/StoredNodes.h"
#include "ui/TIPEdit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum : int { kStrBookmarks = 33011, kStrExpandedNetwork = 33014 };

// The role of a computer row that says it is in the node store already.
constexpr int kWrittenRole = Qt::UserRole + 1;
// How often the crawl's output is read into the page.
constexpr int kLogIntervalMs = 300;
// The longest NetBIOS name.
constexpr int kMaxNetName = 15;

// A page whose "next" first runs a check that may refuse.
class CheckedPage : public QWizardPage {
public:
    std::function<bool()> check;
    bool validatePage() override { return !check || check(); }
};

QString text(const QLineEdit* edit)
{
    return edit->text().trimmed();
}

} // namespace

OrdhuneWizard::OrdhuneWizard(std::string cachePath, QString programFolder, QWidget* parent)
    : QWizard(parent), m_cachePath(std::move(cachePath)), m_programFolder(std::move(programFolder))
{
    setWindowTitle(UiText("設定精靈"));
    setObjectName(QStringLiteral("OrdhuneWizard"));
    setWizardStyle(QWizard::ClassicStyle);
    ShowError = [this](const QString& message) { QMessageBox::critical(this, UiText("錯誤"), message); };
    setPage(WelcomePage, buildWelcomePage());
    setPage(ComputersPage, buildComputersPage());
    setPage(FtpPage, buildFtpPage());
    setPage(CrawlPage, buildCrawlPage());
    setButtonText(QWizard::NextButton, UiText("下一步 >"));
    setButtonText(QWizard::BackButton, UiText("< 上一步"));
    setButtonText(QWizard::FinishButton, UiText("完成"));
    setButtonText(QWizard::CancelButton, UiText("取消"));
    m_logTimer = new QTimer(this);
    m_logTimer->setInterval(kLogIntervalMs);
    connect(m_logTimer, &QTimer::timeout, this, &OrdhuneWizard::readCrawlLog);
    resize(640, 480);
}

QWizardPage* OrdhuneWizard::buildWelcomePage()
{
    auto* page = new QWizardPage(this);
    page->setTitle(UiText("歡迎使用 Tamsel"));
    auto* label = new QLabel(UiText(
        "這個精靈帶您做三件事：\n\n"
        "1. 把區域網路上的電腦 (名稱與 IP 位址) 加入「擴大網路芳鄰」；\n"
        "2. 加入一個 FTP 站台；\n"
        "3. 第一次更新快取：把每部電腦的資料夾記下來，之後電腦關機時也能在 Tamsel 中瀏覽與搜尋。\n\n"
        "每一步都可以略過。"), page);
    label->setWordWrap(true);
    (new QVBoxLayout(page))->addWidget(label);
    return page;
}

QWizardPage* OrdhuneWizard::buildComputersPage()
{
    auto* page = new CheckedPage;
    page->setTitle(UiText("加入電腦"));
    page->setSubTitle(UiText("輸入電腦的名稱與 IP 位址，按「加入」；按「下一步」時寫入擴大網路芳鄰。"));
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    NetNameEdit = new QLineEdit(page);
    NetNameEdit->setObjectName(QStringLiteral("NetNameEdit"));
    NetNameEdit->setMaxLength(kMaxNetName);
    NetAddressEdit = new TIPEdit(page);
    NetAddressEdit->setObjectName(QStringLiteral("NetAddressEdit"));
    NetCaptionEdit = new QLineEdit(page);
    NetCaptionEdit->setObjectName(QStringLiteral("NetCaptionEdit"));
    NetCaptionEdit->setPlaceholderText(UiText("空白時用電腦名稱"));
    form->addRow(UiText("電腦名稱"), NetNameEdit);
    form->addRow(UiText("IP 位址"), NetAddressEdit);
    form->addRow(UiText("標題名稱"), NetCaptionEdit);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    AddComputerButton = new QPushButton(UiText("加入"), page);
    auto* remove = new QPushButton(UiText("移除"), page);
    buttons->addWidget(AddComputerButton);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    ComputerTree = new QTreeWidget(page);
    ComputerTree->setObjectName(QStringLiteral("ComputerTree"));
    ComputerTree->setRootIsDecorated(false);
    ComputerTree->setHeaderLabels({UiText("標題"), UiText("名稱"), UiText("位址"), UiText("狀態")});
    layout->addWidget(ComputerTree, 1);
    connect(AddComputerButton, &QPushButton::clicked, this, &OrdhuneWizard::AddComputerButtonClick);
    connect(remove, &QPushButton::clicked, this, [this] {
        for (QTreeWidgetItem* row : ComputerTree->selectedItems())
            if (!row->data(0, kWrittenRole).toBool())
                delete row;
    });
    page->check = [this] { return writeComputers(); };
    return page;
}

QWizardPage* OrdhuneWizard::buildFtpPage()
{
    auto* page = new CheckedPage;
    page->setTitle(UiText("加入 FTP 站台"));
    page->setSubTitle(UiText("不需要時留白，直接按「下一步」。站台會放在書籤中。"));
    auto* form = new QFormLayout(page);
    auto line = [page](const char* name) {
        auto* edit = new QLineEdit(page);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    FtpCaptionEdit = line("FtpCaptionEdit");
    FtpCaptionEdit->setPlaceholderText(UiText("空白時用主機名稱"));
    FtpHostEdit = line("FtpHostEdit");
    FtpPortEdit = new QSpinBox(page);
    FtpPortEdit->setRange(1, 65535);
    FtpPortEdit->setValue(21);
    FtpUserEdit = line("FtpUserEdit");
    FtpUserEdit->setText(QStringLiteral("anonymous"));
    FtpPasswordEdit = line("FtpPasswordEdit");
    FtpPasswordEdit->setEchoMode(QLineEdit::Password);
    form->addRow(UiText("主機"), FtpHostEdit);
    form->addRow(UiText("連接埠"), FtpPortEdit);
    form->addRow(UiText("使用者"), FtpUserEdit);
    form->addRow(UiText("密碼"), FtpPasswordEdit);
    form->addRow(UiText("標題名稱"), FtpCaptionEdit);
    page->check = [this] { return writeFtpSite(); };
    return page;
}

QWizardPage* OrdhuneWizard::buildCrawlPage()
{
    auto* page = new QWizardPage(this);
    page->setTitle(UiText("第一次更新快取"));
    auto* layout = new QVBoxLayout(page);
    CrawlLabel = new QLabel(page);
    CrawlLabel->setObjectName(QStringLiteral("CrawlLabel"));
    CrawlLabel->setWordWrap(true);
    layout->addWidget(CrawlLabel);
    CrawlButton = new QPushButton(UiText("開始更新快取"), page);
    CrawlButton->setObjectName(QStringLiteral("CrawlButton"));
    layout->addWidget(CrawlButton, 0, Qt::AlignLeft);
    CrawlLog = new QPlainTextEdit(page);
    CrawlLog->setObjectName(QStringLiteral("CrawlLog"));
    CrawlLog->setReadOnly(true);
    layout->addWidget(CrawlLog, 1);
    connect(CrawlButton, &QPushButton::clicked, this, &OrdhuneWizard::CrawlButtonClick);
    showCrawlState();
    return page;
}

void OrdhuneWizard::AddComputerButtonClick()
{
    const QString name = text(NetNameEdit);
    const QString caption = text(NetCaptionEdit).isEmpty() ? name : text(NetCaptionEdit);
    if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|. ]")))) {
        ShowError(UiText("請輸入電腦名稱 (最多 %1 個字，不含 \\ / : * ? \" < > | . 與空白)").arg(kMaxNetName));
        return;
    }
    if (NetAddressEdit->isBlank()) {
        ShowError(UiText("請輸入 %1 的 IP 位址").arg(name));
        return;
    }
    const std::string key = SafeFileName(caption.toStdString());
    for (int i = 0; i < ComputerTree->topLevelItemCount(); ++i)
        if (SafeFileName(ComputerTree->topLevelItem(i)->text(0).toStdString()) == key) {
            ShowError(UiText("清單中已經有「%1」").arg(caption));
            return;
        }
    auto* row = new QTreeWidgetItem(ComputerTree, {caption, name, QString::fromStdString(IpToText(NetAddressEdit->value())),
                                                   UiText("待加入")});
    row->setData(0, kWrittenRole, false);
    NetNameEdit->clear();
    NetCaptionEdit->clear();
    NetAddressEdit->clear();
    NetNameEdit->setFocus();
}

bool OrdhuneWizard::writeComputers()
{
    // A computer typed but not yet added is what the user means to add.
    if (!text(NetNameEdit).isEmpty()) {
        const int before = ComputerTree->topLevelItemCount();
        AddComputerButtonClick();
        if (ComputerTree->topLevelItemCount() == before)
            return false;
    }
    std::vector<TNodeData> records;
    std::vector<QTreeWidgetItem*> rows;
    const std::string folder = m_cachePath + "Expanded\\";
    for (int i = 0; i < ComputerTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ComputerTree->topLevelItem(i);
        if (row->data(0, kWrittenRole).toBool())
            continue;
        records.push_back(ExpandedComputerRecord(folder, row->text(0).toStdString(), row->text(1).toStdString(),
                                                 row->text(2).toStdString(), TImageLists::TreeComputer));
        rows.push_back(row);
    }
    if (records.empty())
        return true;
    try {
        EnsureRootRecord(m_cachePath, "Expanded", LoadStr(kStrExpandedNetwork), ExpandedRoot, TImageLists::TreeNetwork);
        AddStoredNodes(records);
    } catch (const std::exception& error) {
        ShowError(UiText("加入電腦時發生錯誤\r\n") + QString::fromUtf8(error.what()));
        return false;
    }
    for (QTreeWidgetItem* row : rows) {
        row->setData(0, kWrittenRole, true);
        row->setText(3, UiText("已加入"));
    }
    return true;
}

bool OrdhuneWizard::writeFtpSite()
{
    const QString host = text(FtpHostEdit);
    if (host.isEmpty() || m_ftpWritten)
        return true;
    const QString caption = text(FtpCaptionEdit).isEmpty() ? host : text(FtpCaptionEdit);
    TNodeData record = FtpSiteRecord(m_cachePath + "Bookmark\\", caption.toStdString(), host.toStdString(),
                                     TImageLists::TreeComputer);
    FtpSiteBlock block;
    block.Host = host.toStdString();
    block.User = text(FtpUserEdit).isEmpty() ? "anonymous" : text(FtpUserEdit).toStdString();
    block.Password = FtpPasswordEdit->text().toStdString();
    block.Port = FtpPortEdit->value();
    try {
        EnsureRootRecord(m_cachePath, "Bookmark", LoadStr(kStrBookmarks), BookmarkRoot, TImageLists::TreeBookmarkRoot);
        AddFtpSite(record, block);
    } catch (const std::exception& error) {
        ShowError(UiText("加入 FTP 站台時發生錯誤\r\n") + QString::fromUtf8(error.what()));
        return false;
    }
    m_ftpWritten = true;
    for (QWidget* field : std::initializer_list<QWidget*>{FtpCaptionEdit, FtpHostEdit, FtpPortEdit, FtpUserEdit, FtpPasswordEdit})
        field->setEnabled(false);
    return true;
}

void OrdhuneWizard::showCrawlState()
{
    const QString program = m_programFolder + QStringLiteral("/vessring");
    const bool present = QFileInfo(program).isExecutable();
    CrawlButton->setEnabled(present && m_logPath.isEmpty());
    CrawlLabel->setText(present ? UiText("按「開始更新快取」掃描每部加入的電腦 (vessring -N)。掃描在背景進行，關閉精靈後也會繼續。")
                                : UiText("找不到更新快取的程式 %1，所以無法更新快取。請把 vessring 安裝在 Tamsel 的程式資料夾中，"
                                                 "之後可從 Tamsel 的「工具 > 更新快取」執行。").arg(program));
}

void OrdhuneWizard::CrawlButtonClick()
{
    const QString program = m_programFolder + QStringLiteral("/vessring");
    if (!QFileInfo(program).isExecutable() || !m_logPath.isEmpty()) {
        showCrawlState();
        return;
    }
    // Its output goes to a file, so the crawl outlives the wizard and the page still shows it.
    // The program folder's Temp\ beside Cache\, as every program of the family keeps its scratch there.
    const std::string cache = RemoveBackslash(m_cachePath);
    const QString temp = QString::fromStdString(NativePath(std::string(FolderPart(cache)) + "Temp"));
    QDir().mkpath(temp);
    const QString log = QDir(temp).filePath(QStringLiteral("ordhune-crawl-%1.log").arg(QCoreApplication::applicationPid()));
    QProcess process;
    process.setProgram(program);
    process.setArguments({QStringLiteral("-N")});
    process.setStandardOutputFile(log);
    process.setStandardErrorFile(log, QIODevice::Append);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        ShowError(UiText("無法啟動 %1").arg(program));
        return;
    }
    m_logPath = log;
    m_logRead = 0;
    CrawlButton->setEnabled(false);
    CrawlLabel->setText(UiText("更新快取中…(可以關閉精靈，掃描會繼續)"));
    m_logTimer->start();
}

void OrdhuneWizard::readCrawlLog()
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_logRead))
        return;
    const QByteArray more = file.readAll();
    m_logRead += more.size();
    if (!more.isEmpty()) {
        CrawlLog->moveCursor(QTextCursor::End);
        CrawlLog->insertPlainText(QString::fromUtf8(more));
    }
}
