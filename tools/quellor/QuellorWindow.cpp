#include "tools/quellor/QuellorWindow.h"

#include "local/TWorkerThread.h"
#include "platform/DriveMap.h"
#include "resources/UiText.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

// Fetches the items one after another; each result goes to the window as it is known.
class TObjCollect : public TWorkerThread {
public:
    TObjCollect(std::string cachePath, std::string target, std::vector<CollectItem> items,
                std::function<bool(const std::string&)> hostAnswers)
        : m_cachePath(std::move(cachePath)), m_target(std::move(target)), m_items(std::move(items)),
          m_hostAnswers(std::move(hostAnswers))
    {
    }
    std::function<void(const CollectResult&)> OnResult;

protected:
    void Execute() override
    {
        Collector collector(m_cachePath, m_target);
        if (m_hostAnswers)
            collector.HostAnswers = m_hostAnswers;
        for (const CollectItem& item : m_items) {
            if (Terminated())
                return;
            const CollectResult result = collector.collect(item);
            SynchronizeUnlessStopped([this, &result] {
                if (OnResult)
                    OnResult(result);
            });
        }
    }
    void ClearHandlers() override { OnResult = nullptr; }

private:
    const std::string m_cachePath;
    const std::string m_target;
    const std::vector<CollectItem> m_items;
    const std::function<bool(const std::string&)> m_hostAnswers;
};

QuellorWindow::QuellorWindow(std::string cachePath, QWidget* parent)
    : QMainWindow(parent), m_cachePath(std::move(cachePath))
{
    setWindowTitle(UiText("收集器"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(UiText("要收集的檔案：一行一個路徑 (\\\\電腦\\分享\\資料夾\\檔名)，或搜尋家的結果"), central));
    ListEdit = new QPlainTextEdit(central);
    ListEdit->setObjectName(QStringLiteral("ListEdit"));
    ListEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    ListEdit->setTabChangesFocus(true);
    layout->addWidget(ListEdit, 1);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(UiText("收集到"), central));
    TargetEdit = new QLineEdit(central);
    TargetEdit->setObjectName(QStringLiteral("TargetEdit"));
    TargetEdit->setPlaceholderText(UiText("本機的資料夾"));
    row->addWidget(TargetEdit, 1);
    BrowseButton = new QPushButton(UiText("選擇…"), central);
    row->addWidget(BrowseButton);
    CollectButton = new QPushButton(UiText("收集"), central);
    CollectButton->setObjectName(QStringLiteral("CollectButton"));
    CollectButton->setDefault(true);
    row->addWidget(CollectButton);
    layout->addLayout(row);

    ResultTree = new QTreeWidget(central);
    ResultTree->setObjectName(QStringLiteral("ResultTree"));
    ResultTree->setRootIsDecorated(false);
    ResultTree->setHeaderLabels({UiText("結果"), UiText("來源"), UiText("存為 / 原因")});
    ResultTree->header()->resizeSection(1, 320);
    layout->addWidget(ResultTree, 1);
    setCentralWidget(central);
    StatusLabel = new QLabel(this);
    statusBar()->addWidget(StatusLabel, 1);

    connect(BrowseButton, &QPushButton::clicked, this, &QuellorWindow::BrowseButtonClick);
    connect(CollectButton, &QPushButton::clicked, this, &QuellorWindow::CollectButtonClick);
    resize(820, 560);
}

QuellorWindow::~QuellorWindow()
{
    if (m_worker)
        m_worker->Terminate();
}

void QuellorWindow::loadList(const QString& nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly)) {
        StatusLabel->setText(UiText("無法讀取 %1：%2").arg(nativePath, file.errorString()));
        return;
    }
    ListEdit->setPlainText(QString::fromUtf8(file.readAll()));
}

void QuellorWindow::BrowseButtonClick()
{
    const QString folder = QFileDialog::getExistingDirectory(this, UiText("收集到"), TargetEdit->text());
    if (!folder.isEmpty())
        TargetEdit->setText(folder);
}

void QuellorWindow::CollectButtonClick()
{
    if (m_worker)
        return;
    QStringList unreadable;
    const std::vector<CollectItem> items = ReadCollectList(ListEdit->toPlainText().toStdString(), [&](int line, const std::string&) {
        unreadable << QString::number(line);
    });
    std::string target = TargetEdit->text().trimmed().toStdString();
    if (target.size() >= 2 && (target[1] == ':' || target[0] == '\\'))
        target = NativePath(target);
    if (target.empty() || target[0] != '/') {
        StatusLabel->setText(UiText("請選擇收集到的本機資料夾"));
        return;
    }
    if (items.empty()) {
        StatusLabel->setText(UiText("清單是空的"));
        return;
    }
    ResultTree->clear();
    m_fetched = m_failed = 0;
    auto* worker = new TObjCollect(m_cachePath, target, items, HostAnswers);
    worker->SetReceiver(this);
    worker->OnResult = [this](const CollectResult& result) { collected(result); };
    worker->OnTerminate = [this](TWorkerThread* sender) {
        if (sender == m_worker)
            collectDone();
    };
    m_worker = worker;
    CollectButton->setEnabled(false);
    StatusLabel->setText(unreadable.isEmpty() ? UiText("收集中…")
                                              : UiText("收集中… (略過看不懂的第 %1 行)").arg(unreadable.join(',')));
    worker->Resume();
}

void QuellorWindow::collected(const CollectResult& result)
{
    const bool ok = result.Code == 0;
    (ok ? m_fetched : m_failed)++;
    auto* row = new QTreeWidgetItem({ok ? UiText("已收集") : UiText("未取得"), QString::fromStdString(result.Source),
                                     QString::fromStdString(ok ? result.Target : result.Message)});
    if (!ok)
        row->setForeground(0, QColor(Qt::red));
    ResultTree->addTopLevelItem(row);
}

void QuellorWindow::collectDone()
{
    m_worker = nullptr;
    CollectButton->setEnabled(true);
    StatusLabel->setText(UiText("已收集 %1 個，%2 個無法取得").arg(m_fetched).arg(m_failed));
}
