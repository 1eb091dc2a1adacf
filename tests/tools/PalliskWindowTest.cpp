#include "store/StoreFolder.h"
#include "support/SearchTruth.h"
#include "support/TempConfig.h"
#include "platform/DateTime.h"
#include "store/CacheListing.h"
#include "store/CrawlChanges.h"
#include "store/NodeFile.h"
#include "tools/pallisk/PalliskWindow.h"
#include "tools/pallisk/SearchResultModel.h"
#include "tools/pallisk/TObjCacheSearch.h"

#include "local/WaitFor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include <atomic>
#include <filesystem>
#include <functional>

namespace {

using randomcache::Found;

Found shown(const SearchResultModel& model)
{
    Found out;
    for (const SearchHit& hit : model.hits())
        EXPECT_TRUE(out.insert({hit.Computer, hit.Path, hit.Size}).second) << "twice: " << hit.Path;
    return out;
}

// A window over a random cache of five computers, with its settings in a private registry.
class PalliskWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_home.path("Cache"));
        m_cache = m_home.win("Cache");
        m_truth = randomcache::makeRandomCache(m_cache, 5, 6000, 4711, 40);
    }

    PalliskWindow& open()
    {
        m_window = std::make_unique<PalliskWindow>(m_cache);
        m_window->ShowError = [this](const QString& text) { m_errors << text; };
        m_window->StartProgram = [this](const QString& program, const QStringList& arguments) {
            m_programs << program;
            m_started << arguments;
        };
        m_window->show();
        return *m_window;
    }

    /// Types a query and waits for its search to end.
    Found searchFor(const QString& text)
    {
        m_window->NameEdit->setText(text);
        m_window->SearchButton->click();
        EXPECT_TRUE(WaitFor([this] { return !m_window->searching(); }));
        return shown(*m_window->ResultModel);
    }

    Found expected(const std::string& text, std::vector<std::string> computers = {})
    {
        SearchQuery query;
        query.Text = text;
        query.Computers = std::move(computers);
        return randomcache::bruteForce(m_truth, query);
    }

    TempConfig m_config;
    StoreFolder m_home;
    std::string m_cache;
    std::vector<randomcache::Entry> m_truth;
    std::unique_ptr<PalliskWindow> m_window;
    QStringList m_errors;
    QList<QStringList> m_started;
    QStringList m_programs;
};

TEST_F(PalliskWindowTest, ResultsAreWhatAPlainScanFindsWithTheFieldsFilters)
{
    PalliskWindow& window = open();
    ASSERT_EQ(window.ComputerList->count(), 5);
    for (const char* text : {"report", "報告", "*.JPG", "r?port*", "no such name"})
        EXPECT_EQ(searchFor(QString::fromUtf8(text)), expected(text)) << text;
    EXPECT_GT(expected("報告").size(), 100u);

    window.MinSizeEdit->setText(QStringLiteral("1000000"));
    window.MaxSizeEdit->setText(QStringLiteral("9000000"));
    window.AfterEdit->setText(QStringLiteral("2005-01-01"));
    window.BeforeEdit->setText(QStringLiteral("2015-06-30 12:00"));
    SearchQuery query;
    query.Text = "a";
    query.MinSize = 1000000;
    query.MaxSize = 9000000;
    query.After = ParseSearchDate("2005-01-01");
    query.Before = ParseSearchDate("2015-06-30 12:00");
    const Found filtered = randomcache::bruteForce(m_truth, query);
    EXPECT_FALSE(filtered.empty());
    EXPECT_EQ(searchFor(QStringLiteral("a")), filtered);
    EXPECT_TRUE(window.CountLabel->text().contains(QString::number(filtered.size())))
        << window.CountLabel->text().toStdString();

    // A date that cannot be read searches nothing and says why.
    window.BeforeEdit->setText(QStringLiteral("2015-13-01"));
    EXPECT_TRUE(searchFor(QStringLiteral("a")).empty());
    EXPECT_TRUE(window.CountLabel->text().contains(QStringLiteral("2015-13-01")));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(PalliskWindowTest, ComputerSwitchesFilterAndAreRemembered)
{
    PalliskWindow& window = open();
    const QList<QListWidgetItem*> pc1 = window.ComputerList->findItems(QStringLiteral("PC1"), Qt::MatchExactly);
    const QList<QListWidgetItem*> pc3 = window.ComputerList->findItems(QStringLiteral("PC3"), Qt::MatchExactly);
    ASSERT_EQ(pc1.size(), 1);
    ASSERT_EQ(pc3.size(), 1);
    pc1[0]->setCheckState(Qt::Unchecked);
    pc3[0]->setCheckState(Qt::Unchecked);
    const Found found = searchFor(QStringLiteral("data"));
    EXPECT_EQ(found, expected("data", {"PC0", "PC2", "PC4"}));
    EXPECT_FALSE(found.empty());

    // A new window opens with the same switches.
    m_window.reset();
    PalliskWindow& again = open();
    EXPECT_EQ(again.ComputerList->findItems(QStringLiteral("PC1"), Qt::MatchExactly)[0]->checkState(), Qt::Unchecked);
    EXPECT_EQ(again.ComputerList->findItems(QStringLiteral("PC2"), Qt::MatchExactly)[0]->checkState(), Qt::Checked);
    EXPECT_EQ(searchFor(QStringLiteral("data")), found);

    // With every computer off nothing is searched, and the window says so.
    for (int i = 0; i < again.ComputerList->count(); ++i)
        again.ComputerList->item(i)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(searchFor(QStringLiteral("data")).empty());
    EXPECT_TRUE(again.CountLabel->text().contains(QStringLiteral("沒有選擇"))) << again.CountLabel->text().toStdString();
}

TEST_F(PalliskWindowTest, EveryColumnSortsAndASortedListStaysSortedWhileItFills)
{
    PalliskWindow& window = open();
    const Found all = expected("*");
    // Sorted before the search: every batch is merged into its place.
    window.ResultView->header()->setSortIndicator(SearchResultModel::SizeColumn, Qt::DescendingOrder);
    EXPECT_EQ(searchFor(QStringLiteral("*")), all);
    const std::vector<SearchHit>& hits = window.ResultModel->hits();
    ASSERT_EQ(hits.size(), all.size());
    for (size_t i = 1; i < hits.size(); ++i)
        ASSERT_GE(hits[i - 1].Size, hits[i].Size) << i;

    using Less = std::function<bool(const SearchHit&, const SearchHit&)>;
    const std::pair<int, Less> columns[] = {
        {SearchResultModel::NameColumn,
         [](const SearchHit& a, const SearchHit& b) { return CompareTextNoCase(BareName(a.Path), BareName(b.Path)) > 0; }},
        {SearchResultModel::FolderColumn,
         [](const SearchHit& a, const SearchHit& b) { return CompareTextNoCase(FolderPart(a.Path), FolderPart(b.Path)) > 0; }},
        {SearchResultModel::DateColumn, [](const SearchHit& a, const SearchHit& b) { return a.Modified > b.Modified; }},
        {SearchResultModel::ComputerColumn,
         [](const SearchHit& a, const SearchHit& b) { return CompareTextNoCase(a.Computer, b.Computer) > 0; }},
    };
    for (const auto& [column, outOfOrder] : columns) {
        window.ResultView->header()->setSortIndicator(column, Qt::AscendingOrder);
        const std::vector<SearchHit>& rows = window.ResultModel->hits();
        for (size_t i = 1; i < rows.size(); ++i)
            ASSERT_FALSE(outOfOrder(rows[i - 1], rows[i])) << "column " << column << " row " << i;
    }
    // The rows shown are the hits, whatever the order.
    EXPECT_EQ(shown(*window.ResultModel), all);
    // The current row stays on its hit through a sort.
    const QModelIndex current = window.ResultModel->index(7, 0);
    window.ResultView->setCurrentIndex(current);
    const std::string path = window.ResultModel->hit(7).Path;
    window.ResultView->header()->setSortIndicator(SearchResultModel::SizeColumn, Qt::AscendingOrder);
    EXPECT_EQ(window.ResultModel->hit(window.ResultView->currentIndex().row()).Path, path);
}

TEST_F(PalliskWindowTest, ANewQueryCancelsTheRunningSearchAndNoneOfItsRowsRemain)
{
    // Enough entries that the first search is still running when the query changes.
    m_truth = randomcache::makeRandomCache(m_cache, 5, 300000, 99, 200);
    PalliskWindow& window = open();
    window.NameEdit->setText(QStringLiteral("*"));
    window.SearchButton->click();
    ASSERT_TRUE(WaitFor([&] { return window.ResultModel->rowCount() > 0; }));
    EXPECT_TRUE(window.searching());
    QPointer<TObjCacheSearch> first = window.searchWorker();
    // Typing stops the search at once, before the pause that starts the next.
    window.NameEdit->setText(QStringLiteral("照片"));
    EXPECT_FALSE(window.searching());
    ASSERT_TRUE(WaitFor([&] { return window.searching(); }));
    ASSERT_TRUE(WaitFor([&] { return !window.searching(); }, 30000));
    // Late batches of the first search never reach the list: checked once it has ended.
    ASSERT_TRUE(WaitFor([&] { return first.isNull(); }, 30000));
    EXPECT_EQ(shown(*window.ResultModel), expected("照片"));

    // Stop keeps what was found and takes nothing more, up to the stopped search's end.
    window.NameEdit->setText(QStringLiteral("*"));
    window.SearchButton->click();
    ASSERT_TRUE(WaitFor([&] { return window.ResultModel->rowCount() > 0; }));
    QPointer<TObjCacheSearch> stopped = window.searchWorker();
    ASSERT_FALSE(stopped.isNull());
    window.StopButton->click();
    const int kept = window.ResultModel->rowCount();
    ASSERT_TRUE(WaitFor([&] { return stopped.isNull(); }, 30000));
    EXPECT_EQ(window.ResultModel->rowCount(), kept);
    EXPECT_LT(size_t(kept), m_truth.size());
}

// A hit opens Tamsel at its folder: live when its computer answers the echo (an
// expanded-network computer through the address it was given), from the cache otherwise.
TEST_F(PalliskWindowTest, AResultOpensTamselLiveOrFromTheCache)
{
    TNodeData root;
    root.StoreDir = m_cache;
    root.Caption = "擴大網路芳鄰";
    root.Key = "Expanded";
    root.RootKind = ExpandedRoot;
    root.NodeAttributes = Sys | Domain | Container;
    WriteNodeRecord(root);
    TNodeData host;
    host.StoreDir = m_cache + "Expanded\\";
    host.Caption = "會計";
    host.Key = "ACCT";
    host.RootKind = ExpandedRoot;
    host.NodeAttributes = Computer;
    host.RemoteName = "\\\\ACCT\\";
    host.Host = "127.0.0.1";
    WriteNodeRecord(host);
    TItemData item;
    SetItemPath(item, "\\\\ACCT\\帳本\\2024\\總帳.xls");
    item.Size = 10;
    WriteFolderListing({item}, host.StoreDir, host.Key, true);

    PalliskWindow& window = open();
    std::vector<std::string> pinged;
    bool answer = true;
    window.HostAnswers = [&](const std::string& name) {
        pinged.push_back(name);
        return answer;
    };
    EXPECT_EQ(searchFor(QStringLiteral("總帳")).size(), 1u);
    window.ResultView->setCurrentIndex(window.ResultModel->index(0, 0));
    emit window.ResultView->activated(window.ResultView->currentIndex());
    ASSERT_TRUE(WaitFor([&] { return m_started.size() == 1; }));
    EXPECT_EQ(pinged, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(m_started[0], (QStringList{"--select", "\\\\127.0.0.1\\帳本\\2024\\", "--item", "總帳.xls"}));

    answer = false;
    emit window.ResultView->activated(window.ResultView->currentIndex());
    ASSERT_TRUE(WaitFor([&] { return m_started.size() == 2; }));
    EXPECT_EQ(m_started[1], (QStringList{"--select", "\\\\ACCT\\帳本\\2024\\", "--cached", "--computer", "會計", "--item", "總帳.xls"}));

    // A network computer is pinged by its name.
    const randomcache::Entry& first = m_truth.front();
    EXPECT_FALSE(searchFor(QString::fromStdString(first.Name)).empty());
    pinged.clear();
    window.ResultView->setCurrentIndex(window.ResultModel->index(0, 0));
    emit window.ResultView->activated(window.ResultView->currentIndex());
    ASSERT_TRUE(WaitFor([&] { return m_started.size() == 3; }));
    ASSERT_EQ(pinged.size(), 1u);
    EXPECT_EQ(pinged[0], window.ResultModel->hit(0).Computer);
}

TEST_F(PalliskWindowTest, DuplicatesAcrossComputersOnRequest)
{
    // The same name (in another case) and size on two computers, and a same-named file of
    // another size, which is no duplicate.
    auto file = [](const std::string& path, uint32_t size) {
        TItemData item;
        SetItemPath(item, path);
        item.Size = size;
        return item;
    };
    const std::string group = m_cache + "Net\\WG\\";
    for (const char* name : {"PCX", "PCY"}) {
        TNodeData pc;
        pc.StoreDir = group;
        pc.Caption = pc.Key = name;
        pc.RootKind = NetRoot;
        pc.NodeAttributes = Computer;
        pc.RemoteName = std::string("\\\\") + name;
        WriteNodeRecord(pc);
    }
    WriteFolderListing({file("\\\\PCX\\d\\年報.PDF", 777), file("\\\\PCX\\d\\single.pdf", 5)}, group, "PCX", true);
    WriteFolderListing({file("\\\\PCY\\e\\年報.pdf", 777), file("\\\\PCY\\e\\single.pdf", 6)}, group, "PCY", true);

    PalliskWindow& window = open();
    window.NameEdit->setText(QStringLiteral(".pdf"));
    window.DuplicatesButton->click();
    ASSERT_TRUE(WaitFor([&] { return !window.findingDuplicates(); }));
    ASSERT_EQ(window.DuplicateTree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = window.DuplicateTree->topLevelItem(0);
    EXPECT_EQ(top->childCount(), 2);
    EXPECT_EQ(top->text(4), QStringLiteral("PCX, PCY"));
    EXPECT_EQ(top->child(1)->text(1), QStringLiteral("\\\\PCY\\e\\"));

    // A duplicate opens like any result.
    window.HostAnswers = [](const std::string&) { return false; };
    emit window.DuplicateTree->itemActivated(top->child(1), 0);
    ASSERT_TRUE(WaitFor([&] { return m_started.size() == 1; }));
    EXPECT_EQ(m_started[0][1], QStringLiteral("\\\\PCY\\e\\"));
}

// The changes page reads the record the cache updater left beside a computer's listing.
TEST_F(PalliskWindowTest, ChangesSinceThePreviousCrawlPerComputer)
{
    const std::string group = m_cache + "Net\\WG\\";
    CrawlRecord record;
    record.Crawled = *ParseSearchDate("2026-12-01 08:00");
    record.Previous = *ParseSearchDate("2026-11-24 08:00");
    record.Partial = true;
    record.Reasons = {"時間到"};
    record.Refused = {{"\\\\PC2\\私人", 5, "存取被拒"}};
    record.Changes = {{CrawlChangeKind::New, "\\\\PC2\\共用0\\新的.txt", 12, 46000, 0, 0},
                      {CrawlChangeKind::Removed, "\\\\PC2\\共用0\\舊的.txt", 7, 45000, 0, 0},
                      {CrawlChangeKind::Changed, "\\\\PC2\\共用1\\改了.doc", 300, 46001, 200, 45001}};
    WriteCrawlRecord(group, "PC2", record);
    m_home.writeFile("Cache/Net/WG/PC3.CHG", "not a crawl record\n");

    PalliskWindow& window = open();
    window.ChangeComputerBox->setCurrentIndex(window.ChangeComputerBox->findText(QStringLiteral("PC2")));
    ASSERT_EQ(window.ChangeTree->topLevelItemCount(), 3);
    QStringList kinds;
    for (int i = 0; i < 3; ++i)
        kinds << window.ChangeTree->topLevelItem(i)->text(0) + QLatin1Char(' ') + window.ChangeTree->topLevelItem(i)->text(1);
    kinds.sort();
    EXPECT_EQ(kinds, (QStringList{"刪除 舊的.txt", "新增 新的.txt", "變更 改了.doc"}));
    const QString label = window.ChangeLabel->text();
    for (const char* part : {"2026/12/01 08:00:00", "2026/11/24 08:00:00", "不完整", "時間到", "\\\\PC2\\私人", "新增 1、刪除 1、變更 1"})
        EXPECT_TRUE(label.contains(QString::fromUtf8(part))) << part << " in " << label.toStdString();

    // A change opens its folder as a result does.
    window.HostAnswers = [](const std::string&) { return false; };
    QTreeWidgetItem* row = window.ChangeTree->findItems(QStringLiteral("改了.doc"), Qt::MatchExactly, 1).value(0);
    ASSERT_NE(row, nullptr);
    emit window.ChangeTree->itemActivated(row, 0);
    ASSERT_TRUE(WaitFor([&] { return m_started.size() == 1; }));
    EXPECT_EQ(m_started[0], (QStringList{"--select", "\\\\PC2\\共用1\\", "--cached", "--computer", "PC2", "--item", "改了.doc"}));

    // Never crawled, and a record that cannot be read: each says so, with no rows.
    window.ChangeComputerBox->setCurrentIndex(window.ChangeComputerBox->findText(QStringLiteral("PC1")));
    EXPECT_EQ(window.ChangeTree->topLevelItemCount(), 0);
    EXPECT_TRUE(window.ChangeLabel->text().contains(QStringLiteral("還沒有"))) << window.ChangeLabel->text().toStdString();
    window.ChangeComputerBox->setCurrentIndex(window.ChangeComputerBox->findText(QStringLiteral("PC3")));
    EXPECT_EQ(window.ChangeTree->topLevelItemCount(), 0);
    EXPECT_TRUE(window.ChangeLabel->text().contains(QStringLiteral("無法讀取"))) << window.ChangeLabel->text().toStdString();
}

// Selected results go to the collector as the search's own lines.
TEST_F(PalliskWindowTest, SelectedResultsAreHandedToTheCollector)
{
    PalliskWindow& window = open();
    window.CollectButton->click();
    EXPECT_TRUE(m_programs.isEmpty());
    EXPECT_TRUE(window.CountLabel->text().contains(QStringLiteral("選取"))) << window.CountLabel->text().toStdString();

    ASSERT_GT(searchFor(QStringLiteral("照片")).size(), 2u);
    QItemSelectionModel* selection = window.ResultView->selectionModel();
    for (int row : {0, 2})
        selection->select(window.ResultModel->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.CollectButton->click();
    ASSERT_EQ(m_programs, QStringList{"quellor"});
    ASSERT_EQ(m_started[0].size(), 2);
    EXPECT_EQ(m_started[0][0], QStringLiteral("--list"));
    QFile list(m_started[0][1]);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = list.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);  // two lines and the empty rest after the last line end
    for (int i : {0, 1}) {
        const QJsonObject line = QJsonDocument::fromJson(lines[i]).object();
        const SearchHit& hit = window.ResultModel->hit(i == 0 ? 0 : 2);
        EXPECT_EQ(line.value(QStringLiteral("path")).toString().toStdString(), hit.Path);
        EXPECT_EQ(line.value(QStringLiteral("computer")).toString().toStdString(), hit.Computer);
    }
    // The list lies in the program folder's scratch folder, not somewhere shared.
    EXPECT_EQ(m_started[0][1].toStdString().rfind(m_home.path("Temp/"), 0), 0u) << m_started[0][1].toStdString();
}

} // namespace
