#pragma once
#include "store/CacheSearch.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class SearchResultModel;
class TObjCacheSearch;

// The search window "搜尋家": finds files by name, size and date in the cache of every
// cached computer that is switched on in its list, results streaming in as the worker finds
// them; a result opens Tamsel at its folder, live when its computer answers, from the cache
// otherwise. Its other pages show the duplicates across computers (on request) and what the
// last crawl of a computer changed.
class PalliskWindow : public QMainWindow {
    Q_OBJECT
public:
    /// `cachePath` is the program folder's "Cache\" (Windows form, trailing backslash).
    explicit PalliskWindow(std::string cachePath, QWidget* parent = nullptr);
    ~PalliskWindow() override;

    /// Starts a search with the fields as they are, stopping the one running.
    void SearchButtonClick();
    /// Stops the running search; what was found stays.
    void StopButtonClick();
    /// Finds the duplicates of the fields' query across the switched-on computers.
    void DuplicatesButtonClick();
    /// Reads the cached computers again, keeping the switches.
    void ReloadComputers();
    bool searching() const { return m_worker != nullptr; }
    /// The running search, or null. Hold it weakly: it frees itself, also once stopped.
    TObjCacheSearch* searchWorker() const { return m_worker; }
    bool findingDuplicates() const { return m_duplicateWorker != nullptr; }

    /// Opens a hit in Tamsel: asks PingHost first when its computer is on the network.
    void OpenHit(const SearchHit& hit);
    /// Hands the selected results to the collector (quellor, its window with the list).
    void CollectButtonClick();
    /// How a program of the family ("tamsel", "quellor") is started with its arguments;
    /// replaceable for tests. The default starts it from this program's folder and says so
    /// when it is missing.
    std::function<void(const QString& program, const QStringList& arguments)> StartProgram;
    /// Whether a host answers; replaceable for tests. Runs on a worker thread.
    std::function<bool(const std::string& host)> HostAnswers;
    /// How errors reach the user; replaceable for tests.
    std::function<void(const QString&)> ShowError;

    // Components.
    QLineEdit* NameEdit = nullptr;
    QLineEdit* MinSizeEdit = nullptr;
    QLineEdit* MaxSizeEdit = nullptr;
    QLineEdit* AfterEdit = nullptr;
    QLineEdit* BeforeEdit = nullptr;
    QPushButton* SearchButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* CollectButton = nullptr;
    QListWidget* ComputerList = nullptr;
    QTabWidget* PageControl = nullptr;
    QTreeView* ResultView = nullptr;
    SearchResultModel* ResultModel = nullptr;
    QPushButton* DuplicatesButton = nullptr;
    QTreeWidget* DuplicateTree = nullptr;
    QComboBox* ChangeComputerBox = nullptr;
    QLabel* ChangeLabel = nullptr;
    QTreeWidget* ChangeTree = nullptr;
    QLabel* CountLabel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    QWidget* buildQueryRow();
    QWidget* buildDuplicatesPage();
    QWidget* buildChangesPage();
    void QueryChanged();
    void ComputerListItemChanged(QListWidgetItem* item);
    void ResultViewActivated();
    void DuplicateTreeActivated(QTreeWidgetItem* item);
    /// Shows what the last crawl of the chosen computer changed.
    void ChangeComputerBoxChanged();
    void ChangeTreeActivated(QTreeWidgetItem* item);
    /// The query of the fields; false with the reason in the status bar when a field is wrong.
    bool readQuery(SearchQuery& query);
    std::vector<std::string> checkedComputers() const;
    void searchHits(TObjCacheSearch* sender, std::vector<SearchHit>& hits);
    void flushPending();
    void searchDone(TObjCacheSearch* sender);
    void duplicatesFound(TObjCacheSearch* sender, std::vector<std::vector<SearchHit>>& groups);
    void showCount();
    const CachedComputer* computerOf(const std::string& name) const;
    void startTamselAt(const SearchHit& hit, bool live, const QString& why);
    void defaultStartProgram(const QString& name, const QStringList& arguments);

    const std::string m_cachePath;
    std::vector<CachedComputer> m_computers;
    QStringList m_computerErrors;
    TObjCacheSearch* m_worker = nullptr;
    TObjCacheSearch* m_duplicateWorker = nullptr;
    std::vector<SearchHit> m_pending;
    std::vector<std::vector<SearchHit>> m_duplicateGroups;
    QTimer* m_queryTimer = nullptr;
    QTimer* m_flushTimer = nullptr;
    QString m_lastMessage;
    bool m_loadingComputers = false;
};
