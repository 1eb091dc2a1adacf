#include "tools/pallisk/PalliskWindow.h"

#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/Ping.h"
#include "platform/RegistryFile.h"
#include "resources/UiText.h"
#include "store/CrawlChanges.h"
#include "store/NodePaths.h"
#include "store/TItemData.h"
#include "store/TNodeData.h"
#include "tools/JsonLine.h"
#include "tools/pallisk/SearchResultModel.h"
#include "tools/pallisk/TObjCacheSearch.h"
#include "platform/ThreadGuard.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The switches of the computer list, one DWORD per computer caption (1 on, 0 off); a
// computer not named there is on.
constexpr const char* kComputersKey = "\\Software\\Brightmoor\\Morvane\\Pallisk\\Computers";
// A pause in typing this long starts the search.
constexpr int kQueryDelayMs = 300;
// While a sorted list fills, found hits are merged in at most this often.
constexpr int kFlushIntervalMs = 150;
// The role of a duplicate row that holds the index of its hit.
constexpr int kHitRole = Qt::UserRole + 1;

QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

bool computerSwitchedOn(const std::string& name)
{
    try {
        Registry registry;
        if (registry.openKey(kComputersKey, false) && registry.valueExists(name))
            return registry.readInteger(name) != 0;
    } catch (const std::exception&) {
        // A value of the wrong type counts as never set.
    }
    return true;
}

void storeComputerSwitch(const std::string& name, bool on)
{
    try {
        Registry registry;
        if (registry.openKey(kComputersKey, true))
            registry.writeInteger(name, on ? 1 : 0);
    } catch (const std::exception&) {
        // A store that cannot be written costs the memory of the switch, not the search.
    }
}

std::optional<uint64_t> sizeField(const QLineEdit* edit)
{
    const QString text = edit->text().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text.toULongLong();
}

QList<QTreeWidgetItem*> hitRows(const std::vector<SearchHit>& group, size_t groupIndex)
{
    QList<QTreeWidgetItem*> rows;
    for (size_t i = 0; i < group.size(); ++i) {
        const SearchHit& hit = group[i];
        auto* row = new QTreeWidgetItem({qtext(std::string(BareName(hit.Path))), qtext(std::string(FolderPart(hit.Path))),
                                         SearchResultModel::sizeText(hit.Size), SearchResultModel::dateText(hit.Modified),
                                         qtext(hit.Computer)});
        row->setData(0, kHitRole, QVariantList{qulonglong(groupIndex), qulonglong(i)});
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        rows << row;
    }
    return rows;
}

} // namespace

PalliskWindow::PalliskWindow(std::string cachePath, QWidget* parent)
    : QMainWindow(parent), m_cachePath(std::move(cachePath))
{
    setWindowTitle(UiText("搜尋家"));
    setObjectName(QStringLiteral("PalliskWindow"));
    ShowError = [this](const QString& text) { QMessageBox::critical(this, UiText("錯誤"), text); };
    StartProgram = [this](const QString& name, const QStringList& arguments) { defaultStartProgram(name, arguments); };
    HostAnswers = [](const std::string& host) { return PingHost(host).reachable; };
    buildWindow();
    ReloadComputers();
    showCount();
    NameEdit->setFocus();
}

PalliskWindow::~PalliskWindow()
{
    StopButtonClick();
    if (m_duplicateWorker)
        m_duplicateWorker->Terminate();
}

void PalliskWindow::buildWindow()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildQueryRow());

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(new QLabel(UiText("搜尋的電腦"), left));
    ComputerList = new QListWidget(left);
    ComputerList->setObjectName(QStringLiteral("ComputerList"));
    leftLayout->addWidget(ComputerList);

    PageControl = new QTabWidget(splitter);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    ResultView = new QTreeView(PageControl);
    ResultView->setObjectName(QStringLiteral("ResultView"));
    ResultModel = new SearchResultModel(ResultView);
    ResultView->setModel(ResultModel);
    ResultView->setRootIsDecorated(false);
    ResultView->setUniformRowHeights(true);
    ResultView->setAllColumnsShowFocus(true);
    ResultView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ResultView->setSortingEnabled(true);
    // No sort until a header is clicked: the rows come in the order they are found.
    ResultView->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ResultView->header()->resizeSection(SearchResultModel::NameColumn, 220);
    ResultView->header()->resizeSection(SearchResultModel::FolderColumn, 260);
    ResultView->header()->resizeSection(SearchResultModel::SizeColumn, 90);
    ResultView->header()->resizeSection(SearchResultModel::DateColumn, 150);
    PageControl->addTab(ResultView, UiText("搜尋結果"));
    PageControl->addTab(buildDuplicatesPage(), UiText("重複檔案"));
    PageControl->addTab(buildChangesPage(), UiText("變更"));
    splitter->addWidget(left);
    splitter->addWidget(PageControl);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({180, 720});
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    CountLabel = new QLabel(this);
    CountLabel->setObjectName(QStringLiteral("CountLabel"));
    statusBar()->addWidget(CountLabel, 1);

    m_queryTimer = new QTimer(this);
    m_queryTimer->setSingleShot(true);
    m_queryTimer->setInterval(kQueryDelayMs);
    connect(m_queryTimer, &QTimer::timeout, this, &PalliskWindow::SearchButtonClick);
    m_flushTimer = new QTimer(this);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &PalliskWindow::flushPending);

    connect(ComputerList, &QListWidget::itemChanged, this, &PalliskWindow::ComputerListItemChanged);
    connect(ResultView, &QTreeView::activated, this, &PalliskWindow::ResultViewActivated);
    connect(DuplicateTree, &QTreeWidget::itemActivated, this, &PalliskWindow::DuplicateTreeActivated);
    resize(960, 600);
}

QWidget* PalliskWindow::buildQueryRow()
{
    auto* row = new QWidget(this);
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(0, 0, 0, 0);
    auto edit = [row](const char* name, const QString& hint) {
        auto* line = new QLineEdit(row);
        line->setObjectName(QString::fromLatin1(name));
        line->setPlaceholderText(hint);
        line->setClearButtonEnabled(true);
        return line;
    };
    NameEdit = edit("NameEdit", UiText("名稱的一部分，或 *、? 的樣式 (不分大小寫)"));
    MinSizeEdit = edit("MinSizeEdit", UiText("最小"));
    MaxSizeEdit = edit("MaxSizeEdit", UiText("最大"));
    AfterEdit = edit("AfterEdit", QStringLiteral("yyyy-mm-dd"));
    BeforeEdit = edit("BeforeEdit", QStringLiteral("yyyy-mm-dd"));
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), row);
    MinSizeEdit->setValidator(digits);
    MaxSizeEdit->setValidator(digits);
    SearchButton = new QPushButton(UiText("搜尋"), row);
    SearchButton->setObjectName(QStringLiteral("SearchButton"));
    SearchButton->setDefault(true);
    StopButton = new QPushButton(UiText("停止"), row);
    StopButton->setObjectName(QStringLiteral("StopButton"));
    StopButton->setEnabled(false);
    CollectButton = new QPushButton(UiText("收集選取的檔案…"), row);
    CollectButton->setObjectName(QStringLiteral("CollectButton"));
    CollectButton->setToolTip(UiText("把選取的結果交給收集器，從各電腦複製到一個本機資料夾"));

    grid->addWidget(new QLabel(UiText("名稱"), row), 0, 0);
    grid->addWidget(NameEdit, 0, 1, 1, 5);
    grid->addWidget(SearchButton, 0, 6);
    grid->addWidget(new QLabel(UiText("大小 (位元組)"), row), 1, 0);
    grid->addWidget(MinSizeEdit, 1, 1);
    grid->addWidget(new QLabel(UiText("至"), row), 1, 2);
    grid->addWidget(MaxSizeEdit, 1, 3);
    grid->addWidget(StopButton, 1, 6);
    grid->addWidget(CollectButton, 2, 6);
    grid->addWidget(new QLabel(UiText("修改日期 自"), row), 2, 0);
    grid->addWidget(AfterEdit, 2, 1);
    grid->addWidget(new QLabel(UiText("至 (不含)"), row), 2, 2);
    grid->addWidget(BeforeEdit, 2, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 2);

    for (QLineEdit* line : {NameEdit, MinSizeEdit, MaxSizeEdit, AfterEdit, BeforeEdit}) {
        connect(line, &QLineEdit::textChanged, this, &PalliskWindow::QueryChanged);
        connect(line, &QLineEdit::returnPressed, this, &PalliskWindow::SearchButtonClick);
    }
    connect(SearchButton, &QPushButton::clicked, this, &PalliskWindow::SearchButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &PalliskWindow::StopButtonClick);
    connect(CollectButton, &QPushButton::clicked, this, &PalliskWindow::CollectButtonClick);
    return row;
}

QWidget* PalliskWindow::buildDuplicatesPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    DuplicatesButton = new QPushButton(UiText("找重複檔案"), page);
    DuplicatesButton->setObjectName(QStringLiteral("DuplicatesButton"));
    top->addWidget(DuplicatesButton);
    top->addWidget(new QLabel(UiText("名稱 (不分大小寫) 與大小相同、分在不同電腦上的檔案，依上面的條件"), page), 1);
    layout->addLayout(top);
    DuplicateTree = new QTreeWidget(page);
    DuplicateTree->setObjectName(QStringLiteral("DuplicateTree"));
    DuplicateTree->setHeaderLabels({UiText("名稱"), UiText("資料夾"), UiText("大小"),
                                    UiText("日期"), UiText("電腦")});
    DuplicateTree->setUniformRowHeights(true);
    DuplicateTree->header()->resizeSection(0, 220);
    DuplicateTree->header()->resizeSection(1, 300);
    layout->addWidget(DuplicateTree, 1);
    connect(DuplicatesButton, &QPushButton::clicked, this, &PalliskWindow::DuplicatesButtonClick);
    return page;
}

QWidget* PalliskWindow::buildChangesPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(UiText("電腦"), page));
    ChangeComputerBox = new QComboBox(page);
    ChangeComputerBox->setObjectName(QStringLiteral("ChangeComputerBox"));
    ChangeComputerBox->setMinimumContentsLength(16);
    top->addWidget(ChangeComputerBox);
    top->addStretch(1);
    layout->addLayout(top);
    ChangeLabel = new QLabel(page);
    ChangeLabel->setObjectName(QStringLiteral("ChangeLabel"));
    ChangeLabel->setWordWrap(true);
    layout->addWidget(ChangeLabel);
    ChangeTree = new QTreeWidget(page);
    ChangeTree->setObjectName(QStringLiteral("ChangeTree"));
    ChangeTree->setRootIsDecorated(false);
    ChangeTree->setUniformRowHeights(true);
    ChangeTree->setSortingEnabled(true);
    ChangeTree->sortByColumn(2, Qt::AscendingOrder);
    ChangeTree->setHeaderLabels({UiText("變更"), UiText("名稱"), UiText("資料夾"),
                                 UiText("大小"), UiText("日期"), UiText("原大小"),
                                 UiText("原日期")});
    ChangeTree->header()->resizeSection(1, 200);
    ChangeTree->header()->resizeSection(2, 260);
    layout->addWidget(ChangeTree, 1);
    connect(ChangeComputerBox, &QComboBox::currentIndexChanged, this, &PalliskWindow::ChangeComputerBoxChanged);
    connect(ChangeTree, &QTreeWidget::itemActivated, this, &PalliskWindow::ChangeTreeActivated);
    return page;
}

void PalliskWindow::ChangeComputerBoxChanged()
{
    ChangeTree->clear();
    const int index = ChangeComputerBox->currentIndex();
    if (index < 0 || size_t(index) >= m_computers.size()) {
        ChangeLabel->setText(m_computers.empty() ? UiText("還沒有快取的電腦") : QString());
        return;
    }
    const CachedComputer& computer = m_computers[size_t(index)];
    CrawlRecord record;
    try {
        if (!ReadCrawlRecord(computer.StoreDir, computer.Key, record)) {
            ChangeLabel->setText(UiText("%1 還沒有被「更新快取」掃描過，沒有變更的記錄").arg(qtext(computer.Name)));
            return;
        }
    } catch (const std::exception& error) {
        ChangeLabel->setText(UiText("無法讀取 %1 的變更記錄：%2").arg(qtext(computer.Name), QString::fromUtf8(error.what())));
        return;
    }
    QString text = UiText("最近一次掃描 %1").arg(SearchResultModel::dateText(record.Crawled));
    text += record.Previous > 0 ? UiText("，與 %1 的掃描比較").arg(SearchResultModel::dateText(record.Previous))
                                : UiText("，這是第一次掃描，沒有可比較的");
    text += record.Partial ? UiText("；掃描不完整") : UiText("；掃描完整");
    for (const std::string& reason : record.Reasons)
        text += QStringLiteral("：") + qtext(reason);
    for (const RefusedShare& refused : record.Refused)
        text += UiText("；%1 拒絕存取 (%2)").arg(qtext(refused.Share), qtext(refused.Message));
    int counts[3] = {};
    for (const CrawlChange& change : record.Changes)
        counts[int(change.Kind)]++;
    text += UiText("。新增 %1、刪除 %2、變更 %3 個檔案").arg(counts[0]).arg(counts[1]).arg(counts[2]);
    ChangeLabel->setText(text);

    static const char* const kinds[] = {"新增", "刪除", "變更"};
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qsizetype(record.Changes.size()));
    for (const CrawlChange& change : record.Changes) {
        const bool changed = change.Kind == CrawlChangeKind::Changed;
        auto* row = new QTreeWidgetItem({QString::fromUtf8(kinds[int(change.Kind)]), qtext(std::string(BareName(change.Path))),
                                         qtext(std::string(FolderPart(change.Path))), SearchResultModel::sizeText(change.Size),
                                         SearchResultModel::dateText(change.Modified),
                                         changed ? SearchResultModel::sizeText(change.OldSize) : QString(),
                                         changed ? SearchResultModel::dateText(change.OldModified) : QString()});
        row->setData(0, kHitRole, qtext(change.Path));
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(5, Qt::AlignRight | Qt::AlignVCenter);
        rows << row;
    }
    ChangeTree->addTopLevelItems(rows);
}

void PalliskWindow::ChangeTreeActivated(QTreeWidgetItem* item)
{
    const int index = ChangeComputerBox->currentIndex();
    if (!item || index < 0 || size_t(index) >= m_computers.size())
        return;
    SearchHit hit;
    hit.Path = item->data(0, kHitRole).toString().toStdString();
    hit.Computer = m_computers[size_t(index)].Name;
    OpenHit(hit);
}

void PalliskWindow::ReloadComputers()
{
    m_computerErrors.clear();
    m_computers = CachedComputers(m_cachePath, [this](const std::string& message) { m_computerErrors << qtext(message); });
    m_loadingComputers = true;
    ComputerList->clear();
    QStringList seen;
    for (const CachedComputer& computer : m_computers) {
        const QString name = qtext(computer.Name);
        // The search names computers by caption: one switch for each caption.
        if (seen.contains(name, Qt::CaseInsensitive))
            continue;
        seen << name;
        auto* item = new QListWidgetItem(name, ComputerList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(computerSwitchedOn(computer.Name) ? Qt::Checked : Qt::Unchecked);
        item->setIcon(QIcon::fromTheme(computer.RootKind == FtpRoot ? QStringLiteral("folder-remote")
                                                                    : QStringLiteral("computer")));
    }
    m_loadingComputers = false;
    // The changes are per computer node: one entry each, in the order of the node files.
    const QString chosen = ChangeComputerBox->currentText();
    const QSignalBlocker blocker(ChangeComputerBox);
    ChangeComputerBox->clear();
    for (const CachedComputer& computer : m_computers)
        ChangeComputerBox->addItem(qtext(computer.Name));
    ChangeComputerBox->setCurrentIndex(std::max(0, ChangeComputerBox->findText(chosen)));
    ChangeComputerBoxChanged();
}

std::vector<std::string> PalliskWindow::checkedComputers() const
{
    std::vector<std::string> names;
    for (int i = 0; i < ComputerList->count(); ++i)
        if (ComputerList->item(i)->checkState() == Qt::Checked)
            names.push_back(ComputerList->item(i)->text().toStdString());
    return names;
}

void PalliskWindow::ComputerListItemChanged(QListWidgetItem* item)
{
    if (m_loadingComputers)
        return;
    storeComputerSwitch(item->text().toStdString(), item->checkState() == Qt::Checked);
    QueryChanged();
}

void PalliskWindow::QueryChanged()
{
    // The search follows the fields: the running one is of no use any more.
    StopButtonClick();
    m_queryTimer->start();
}

bool PalliskWindow::readQuery(SearchQuery& query)
{
    query = SearchQuery();
    query.Text = NameEdit->text().toStdString();
    query.MinSize = sizeField(MinSizeEdit);
    query.MaxSize = sizeField(MaxSizeEdit);
    for (auto [edit, field] : {std::pair{AfterEdit, &query.After}, std::pair{BeforeEdit, &query.Before}}) {
        const QString text = edit->text().trimmed();
        if (text.isEmpty())
            continue;
        *field = ParseSearchDate(text.toStdString());
        if (!*field) {
            m_lastMessage = UiText("日期 %1 看不懂：請寫成 yyyy-mm-dd 或 yyyy-mm-dd hh:mm").arg(text);
            return false;
        }
    }
    if (query.MinSize && query.MaxSize && *query.MinSize > *query.MaxSize) {
        m_lastMessage = UiText("最小的大小大於最大的大小");
        return false;
    }
    query.Computers = checkedComputers();
    if (query.Computers.empty()) {
        m_lastMessage = m_computers.empty() ? UiText("還沒有快取的電腦：請先用「更新快取」建立快取")
                                            : UiText("沒有選擇要搜尋的電腦");
        return false;
    }
    return true;
}

void PalliskWindow::SearchButtonClick()
{
    m_queryTimer->stop();
    StopButtonClick();
    ResultModel->clear();
    m_pending.clear();
    m_lastMessage.clear();
    SearchQuery query;
    if (!readQuery(query)) {
        showCount();
        return;
    }
    auto* worker = new TObjCacheSearch(m_cachePath, query, TObjCacheSearch::Mode::Hits);
    worker->SetReceiver(this);
    worker->OnHits = [this](TObjCacheSearch* sender, std::vector<SearchHit>& hits) { searchHits(sender, hits); };
    worker->OnTerminate = [this](TWorkerThread* sender) { searchDone(static_cast<TObjCacheSearch*>(sender)); };
    m_worker = worker;
    StopButton->setEnabled(true);
    m_flushTimer->start();
    showCount();
    worker->Resume();
}

void PalliskWindow::StopButtonClick()
{
    if (!m_worker)
        return;
    // Stopped, not waited for: it frees itself, and its late batches are dropped.
    m_worker->Terminate();
    m_worker = nullptr;
    flushPending();
    m_flushTimer->stop();
    StopButton->setEnabled(false);
    m_lastMessage = UiText("已停止");
    showCount();
}

void PalliskWindow::searchHits(TObjCacheSearch* sender, std::vector<SearchHit>& hits)
{
    if (sender != m_worker)
        return;
    std::move(hits.begin(), hits.end(), std::back_inserter(m_pending));
    // Unsorted rows only append: no reason to wait. A sorted list merges less often.
    if (ResultModel->sortColumn() < 0 || ResultModel->rowCount() == 0)
        flushPending();
}

void PalliskWindow::flushPending()
{
    if (m_pending.empty())
        return;
    ResultModel->appendHits(m_pending);
    m_pending.clear();
    showCount();
}

void PalliskWindow::searchDone(TObjCacheSearch* sender)
{
    if (sender != m_worker)
        return;
    m_worker = nullptr;
    m_flushTimer->stop();
    flushPending();
    StopButton->setEnabled(false);
    QStringList failures = m_computerErrors;
    for (const std::string& error : sender->Errors)
        failures << qtext(error);
    m_lastMessage = failures.isEmpty() ? QString() : UiText("無法讀取：") + failures.join(QStringLiteral("；"));
    showCount();
}

void PalliskWindow::showCount()
{
    const QString count = UiText("找到 %1 個").arg(QLocale().toString(ResultModel->rowCount()));
    QString text = m_worker ? UiText("搜尋中… ") + count : count;
    if (!m_lastMessage.isEmpty())
        text += QStringLiteral("　") + m_lastMessage;
    CountLabel->setText(text);
}

void PalliskWindow::DuplicatesButtonClick()
{
    if (m_duplicateWorker)
        m_duplicateWorker->Terminate();
    m_duplicateWorker = nullptr;
    DuplicateTree->clear();
    SearchQuery query;
    if (!readQuery(query)) {
        showCount();
        return;
    }
    auto* worker = new TObjCacheSearch(m_cachePath, query, TObjCacheSearch::Mode::Duplicates);
    worker->SetReceiver(this);
    worker->OnGroups = [this](TObjCacheSearch* sender, std::vector<std::vector<SearchHit>>& groups) {
        duplicatesFound(sender, groups);
    };
    worker->OnTerminate = [this](TWorkerThread* sender) {
        if (sender == m_duplicateWorker) {
            m_duplicateWorker = nullptr;
            DuplicatesButton->setEnabled(true);
        }
    };
    m_duplicateWorker = worker;
    DuplicatesButton->setEnabled(false);
    worker->Resume();
}

void PalliskWindow::duplicatesFound(TObjCacheSearch* sender, std::vector<std::vector<SearchHit>>& groups)
{
    if (sender != m_duplicateWorker)
        return;
    m_duplicateGroups = std::move(groups);
    QList<QTreeWidgetItem*> tops;
    for (size_t g = 0; g < m_duplicateGroups.size(); ++g) {
        const std::vector<SearchHit>& group = m_duplicateGroups[g];
        QStringList computers;
        for (const SearchHit& hit : group)
            if (!computers.contains(qtext(hit.Computer), Qt::CaseInsensitive))
                computers << qtext(hit.Computer);
        auto* top = new QTreeWidgetItem({qtext(std::string(BareName(group.front().Path))),
                                         UiText("%1 份").arg(group.size()),
                                         SearchResultModel::sizeText(group.front().Size), QString(),
                                         computers.join(QStringLiteral(", "))});
        top->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        top->addChildren(hitRows(group, g));
        tops << top;
    }
    DuplicateTree->addTopLevelItems(tops);
    m_lastMessage = UiText("%1 組重複檔案").arg(m_duplicateGroups.size());
    showCount();
}

void PalliskWindow::ResultViewActivated()
{
    const QModelIndex index = ResultView->currentIndex();
    if (index.isValid())
        OpenHit(ResultModel->hit(index.row()));
}

void PalliskWindow::DuplicateTreeActivated(QTreeWidgetItem* item)
{
    const QVariantList at = item ? item->data(0, kHitRole).toList() : QVariantList();
    if (at.size() != 2)
        return;
    const size_t g = at[0].toULongLong(), i = at[1].toULongLong();
    if (g < m_duplicateGroups.size() && i < m_duplicateGroups[g].size())
        OpenHit(m_duplicateGroups[g][i]);
}

const CachedComputer* PalliskWindow::computerOf(const std::string& name) const
{
    for (const CachedComputer& computer : m_computers)
        if (CompareTextNoCase(computer.Name, name) == 0)
            return &computer;
    return nullptr;
}

void PalliskWindow::OpenHit(const SearchHit& hit)
{
    const CachedComputer* computer = computerOf(hit.Computer);
    const LiveLocation live = computer ? LiveLocationOf(*computer, hit.Path) : LiveLocation();
    if (live.Path.empty()) {
        startTamselAt(hit, false, QString());  // an FTP site's folder, or a computer no longer cached
        return;
    }
    if (live.Host.empty()) {
        startTamselAt(hit, true, QString());  // this machine's own folder
        return;
    }
    // The echo waits up to its limit: on a thread of its own, never on the window's.
    m_lastMessage = UiText("檢查 %1 是否開機…").arg(qtext(live.Host));
    showCount();
    QPointer<PalliskWindow> self(this);
    auto answers = HostAnswers;
    QThread* check = QThread::create([self, answers, hit, host = live.Host] {
        bool on = false;
        RunGuarded([&] { on = answers(host); }, [](const std::string&) {});
        QMetaObject::invokeMethod(qApp, [self, hit, on] {
            if (self)
                self->startTamselAt(hit, on, on ? QString() : UiText("%1 沒有回應：").arg(qtext(hit.Computer)));
        });
    });
    connect(check, &QThread::finished, check, &QObject::deleteLater);
    check->start();
}

void PalliskWindow::startTamselAt(const SearchHit& hit, bool live, const QString& why)
{
    const CachedComputer* computer = computerOf(hit.Computer);
    QStringList arguments;
    // The folder opens with the found entry selected in it.
    const QString entry = qtext(std::string(BareName(RemoveBackslash(hit.Path))));
    if (live && computer) {
        const LiveLocation location = LiveLocationOf(*computer, hit.Path);
        arguments << QStringLiteral("--select") << qtext(std::string(FolderPart(location.Path)));
        m_lastMessage = UiText("開啟 %1").arg(arguments.last());
    } else {
        arguments << QStringLiteral("--select") << qtext(std::string(FolderPart(hit.Path))) << QStringLiteral("--cached")
                  << QStringLiteral("--computer") << qtext(hit.Computer);
        m_lastMessage = why + UiText("從快取開啟 %1").arg(arguments[1]);
    }
    if (!entry.isEmpty() && !entry.contains(QLatin1Char('/')))
        arguments << QStringLiteral("--item") << entry;
    showCount();
    StartProgram(QStringLiteral("tamsel"), arguments);
}

void PalliskWindow::defaultStartProgram(const QString& name, const QStringList& arguments)
{
    const QString program = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    if (!QFileInfo(program).isExecutable()) {
        ShowError(UiText("找不到程式 %1，請把它安裝在搜尋家的程式資料夾中").arg(program));
        return;
    }
    if (!QProcess::startDetached(program, arguments))
        ShowError(UiText("無法啟動 %1").arg(program));
}

void PalliskWindow::CollectButtonClick()
{
    const QModelIndexList rows = ResultView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        m_lastMessage = UiText("請先選取要收集的結果");
        showCount();
        return;
    }
    // The list goes to the collector as a file of the search's own lines, in the program
    // folder's Temp\ beside Cache\.
    const std::string cache = RemoveBackslash(m_cachePath);
    const QString temp = QString::fromStdString(NativePath(std::string(FolderPart(cache)) + "Temp"));
    QDir().mkpath(temp);
    QTemporaryFile file(QDir(temp).filePath(QStringLiteral("pallisk-collect-XXXXXX.txt")));
    file.setAutoRemove(false);
    if (!file.open()) {
        ShowError(UiText("無法寫入收集清單 %1：%2").arg(file.fileName(), file.errorString()));
        return;
    }
    for (const QModelIndex& index : rows) {
        const SearchHit& hit = ResultModel->hit(index.row());
        JsonObject line;
        line.text("path", hit.Path).number("size", hit.Size).text("modified", DateTimeText(hit.Modified));
        line.text("computer", hit.Computer);
        file.write(QByteArray::fromStdString(line.line()));
    }
    file.close();
    m_lastMessage = UiText("把 %1 個結果交給收集器").arg(rows.size());
    showCount();
    StartProgram(QStringLiteral("quellor"), {QStringLiteral("--list"), file.fileName()});
}

void PalliskWindow::closeEvent(QCloseEvent* event)
{
    StopButtonClick();
    QMainWindow::closeEvent(event);
}
