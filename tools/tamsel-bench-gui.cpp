// tamsel-bench-gui: the file list's speed, run offscreen through the real main window, the
// real local lister and the real list model. `tamsel-bench list|switch ...` starts it; it can
// run alone too. The window keeps its settings in a private temporary folder.
//
//   tamsel-bench-gui list FOLDER          show FOLDER in the details view, from ShowNode until
//                                         the summary is in status panel 1; wall time, the
//                                         window thread's longest stretch, memory, and the
//                                         wall time of `ls -l FOLDER` for comparison
//   tamsel-bench-gui switch FOLDER OTHER  while FOLDER is being listed, click OTHER in the
//                                         tree; time until OTHER's first items are in the list
//   tamsel-bench-gui cached STOREDIR KEY FOLDERPATH
//                                         with the cached view on, show the cached FOLDERPATH of
//                                         KEY in the native STOREDIR as a click on its node does,
//                                         until the summary is in status panel 1; the figures
//                                         of list without `ls`
//   tamsel-bench-gui ftpget URL [PASSWORD_FILE]
//                                         a site for URL's host, expanded in the tree, and
//                                         URL's file downloaded through the site window;
//                                         wall time, the window thread's longest stretch,
//                                         and `curl` on the same URL in the same run
//   tamsel-bench-gui expand [SHARES]      with the cached view on, expand a cached computer of
//                                         SHARES top folders (2000); time until they are in
//                                         the tree
//   tamsel-bench-gui netexpand ADDRESS    ADDRESS as a computer of the expanded network,
//                                         expanded live through the expansion window until
//                                         its shares are in the tree or it did not answer
#include "app/Application.h"
#include "app/SetupInfo.h"
#include "local/MessageBoxes.h"
#include "mainwindow/TMainForm.h"
#include "network/TFTPEnumForm.h"
#include "network/TNetEnumForm.h"
#include "platform/NetResource.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "platform/DriveMap.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>

namespace {

long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    return 0;
}

QString windowsFolder(const char* native)
{
    std::string path = WindowsPath(native);
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return QString::fromStdString(path);
}

double lsSeconds(const char* folder)
{
    const std::string command = std::string("ls -l '") + folder + "' > /dev/null";
    if (std::system(command.c_str()) != 0)  // the first run warms the cache
        return -1;
    QElapsedTimer timer;
    timer.start();
    if (std::system(command.c_str()) != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

// The longest gap between two turns of the window thread's event loop, seen by a timer that
// wants to run every millisecond.
class StretchMeter {
public:
    StretchMeter()
    {
        m_timer.setInterval(1);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0 && now - m_last > m_longest)
                m_longest = now - m_last;
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = -1;
        m_longest = 0;
        m_timer.start();
    }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longest = 0;
};

// The main window as the user has it, with its settings in a private folder so a run
// neither reads nor changes the user's own.
class BenchWindow {
public:
    BenchWindow()
    {
        setenv("TAMSEL_HOME", (m_home.path() + "/program").toLocal8Bit().constData(), 1);
        setenv("TAMSEL_CONFIG", (m_home.path() + "/registry.reg").toLocal8Bit().constData(), 1);
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
        SetupInfo.ViewStyle = TListView::Details;
        SetupInfo.AutoExpand = false;
        SetupInfo.StartDirectory.clear();
        form = std::make_unique<TMainForm>();
        form->ShowError = [](const QString& text) { std::fprintf(stderr, "tamsel-bench: %s\n", text.toLocal8Bit().constData()); };
        form->ShowInformation = [](int) {};
        form->AskQuestion = [](int) { return IdNo; };
        form->resize(1200, 800);
        form->show();
        QCoreApplication::processEvents();
    }
    ~BenchWindow() { form.reset(); }

    /// The tree node of a native folder, with the tree loaded down to it; null when the
    /// folder has no node (not on a drive of the drive map).
    QTreeWidgetItem* nodeOf(const char* folder)
    {
        if (!form->SelectLocalPath(windowsFolder(folder).toStdString()))
            return nullptr;
        waitForSummary();
        return form->FolderTreeView->currentItem();
    }
    bool summaryShown() const
    {
        return !form->statusBarPanels()->isBusy() && form->statusBarPanels()->panelText(1).contains(QLatin1Char(','));
    }
    void waitForSummary()
    {
        while (!summaryShown())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    TListModel* model() const { return form->fileListView()->model(); }

    std::unique_ptr<TMainForm> form;

private:
    QTemporaryDir m_home;
};

// What showing one folder cost, from the click on its tree node until `ended` holds.
struct ShowFigures {
    double seconds = 0;
    double stretchMs = 0;
    long rssGrowthKb = 0;
};

ShowFigures measureShow(BenchWindow& window, QTreeWidgetItem* node, const std::function<bool()>& ended)
{
    for (int i = 0; i < 10; ++i)  // let the window settle first
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const long rssBefore = statusKb("VmRSS");
    StretchMeter meter;
    QElapsedTimer wall;
    meter.start();
    wall.start();
    window.form->FolderTreeView->setCurrentItem(node);  // ShowNode
    while (!ended())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ShowFigures figures;
    figures.seconds = double(wall.nsecsElapsed()) / 1e9;
    figures.stretchMs = meter.longestMs();
    figures.rssGrowthKb = statusKb("VmRSS") - rssBefore;
    return figures;
}

// The figures both listing benchmarks print; `extra` prints lines of its own after the wall time.
void printShowFigures(const BenchWindow& window, const ShowFigures& figures, const std::function<void()>& extra = {})
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const int entries = window.model()->rowCount();
    std::printf("entries: %d\n", entries);
    std::printf("summary: %s\n", window.form->statusBarPanels()->panelText(1).toUtf8().constData());
    std::printf("wall_seconds: %.3f\n", figures.seconds);
    if (extra)
        extra();
    std::printf("longest_window_stretch_ms: %.1f\n", figures.stretchMs);
    std::printf("peak_rss_kb: %ld\n", usage.ru_maxrss);
    std::printf("per_entry_bytes: %.0f\n", entries ? double(figures.rssGrowthKb) * 1024.0 / entries : 0.0);
}

int list(const char* folder)
{
    const double ls = lsSeconds(folder);
    BenchWindow window;
    // Show the parent first, so the tree is loaded down to the folder and the list is small
    // when the measured listing starts. `ls` has warmed the file system's caches.
    const std::filesystem::path native = std::filesystem::path(folder).lexically_normal();
    QTreeWidgetItem* parentNode = window.nodeOf((native.has_filename() ? native : native.parent_path()).parent_path().c_str());
    if (!parentNode) {
        std::fprintf(stderr, "tamsel-bench: %s is on no drive of the drive map\n", folder);
        return 1;
    }
    parentNode->setExpanded(true);
    const QString name = QString::fromStdString((native.has_filename() ? native : native.parent_path()).filename().string());
    QTreeWidgetItem* node = nullptr;
    for (int i = 0; i < parentNode->childCount() && !node; ++i)
        if (parentNode->child(i)->text(0) == name)
            node = parentNode->child(i);
    if (!node) {
        std::fprintf(stderr, "tamsel-bench: no tree node for %s\n", folder);
        return 1;
    }
    const ShowFigures figures = measureShow(window, node, [&] { return window.summaryShown(); });
    printShowFigures(window, figures, [&] {
        std::printf("ls_seconds: %.3f\n", ls);
        std::printf("ratio_to_ls: %.2f\n", ls > 0 ? figures.seconds / ls : 0.0);
    });
    return 0;
}

int switchFolders(const char* folder, const char* other, int delayMs)
{
    BenchWindow window;
    QTreeWidgetItem* newNode = window.nodeOf(other);
    QTreeWidgetItem* oldNode = window.nodeOf(folder);
    if (!newNode || !oldNode) {
        std::fprintf(stderr, "tamsel-bench: both folders must be on drives of the drive map\n");
        return 1;
    }
    const QString oldFolder = windowsFolder(folder);
    // Show the large folder again and click the other one while its listing runs.
    window.form->FolderTreeView->setCurrentItem(newNode);
    window.waitForSummary();
    window.form->FolderTreeView->setCurrentItem(oldNode);
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < delayMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const bool oldStillRunning = !window.summaryShown();

    StretchMeter meter;
    meter.start();
    QElapsedTimer click;
    click.start();
    window.form->FolderTreeView->setCurrentItem(newNode);
    while (window.model()->rowCount() == 0 && !window.summaryShown())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double firstMs = double(click.nsecsElapsed()) / 1e6;
    int oldRowsAtFirst = 0;
    for (const TListItem& item : window.model()->items())
        if (item.SubItems.value(1) == oldFolder)
            ++oldRowsAtFirst;
    window.waitForSummary();
    // Let a late hand-over of the old lister arrive, if one were still under way.
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    int oldRows = 0;
    for (const TListItem& item : window.model()->items())
        if (item.SubItems.value(1) == oldFolder)
            ++oldRows;
    std::printf("old_listing_running_at_click: %s\n", oldStillRunning ? "yes" : "no");
    std::printf("switch_first_items_ms: %.1f\n", firstMs);
    std::printf("old_rows_at_first_items: %d\n", oldRowsAtFirst);
    std::printf("new_rows: %d\n", window.model()->rowCount());
    std::printf("old_rows_after_switch: %d\n", oldRows);
    std::printf("longest_window_stretch_ms: %.1f\n", meter.longestMs());
    return oldRows == 0 && oldRowsAtFirst == 0 ? 0 : 1;
}

// A node of a cached folder, as expanding the cached network would make it, under the
// network root of a window whose cached view is on.
QTreeWidgetItem* cachedFolderNode(TMainForm& form, const std::string& storeDir, const std::string& key,
                                  const std::string& folderPath)
{
    // The root counts as loaded, so showing its new child does not load it again.
    GetNodeData(form.netRoot())->State |= Expanded;
    auto* node = new QTreeWidgetItem(form.netRoot());
    auto* data = new TNodeData;
    data->Caption = "BENCH";
    data->RootKind = NetRoot;
    data->NodeAttributes = Folder;
    data->StoreDir = storeDir;
    data->Key = key;
    data->RemoteName = folderPath;
    data->State = Idle | FromCache;
    ShowNodeData(data, node);
    return node;
}

int cached(const char* storeDir, const char* key, const char* folderPath)
{
    BenchWindow window;
    window.form->N91Click();
    QTreeWidgetItem* node = cachedFolderNode(*window.form, windowsFolder(storeDir).toStdString(), key, folderPath);
    const ShowFigures figures = measureShow(window, node, [&] {
        return window.summaryShown() || window.form->statusBarPanels()->panelText(1).contains(QStringLiteral("快取檔"));
    });
    if (!window.summaryShown()) {
        std::fprintf(stderr, "tamsel-bench: %s\n", window.form->statusBarPanels()->panelText(1).toLocal8Bit().constData());
        return 1;
    }
    printShowFigures(window, figures);
    return 0;
}

QTreeWidgetItem* childCaptioned(QTreeWidgetItem* node, const QString& prefix)
{
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0).startsWith(prefix))
            return node->child(i);
    return nullptr;
}

int expand(int shares)
{
    BenchWindow window;
    // One domain with one computer whose listing holds the shares and top folders.
    const std::string workgroup = SetupInfo.CachePath + "Net\\WORKGROUP\\";
    TNodeData domain;
    domain.StoreDir = SetupInfo.CachePath + "Net\\";
    domain.Caption = domain.Key = "WORKGROUP";
    domain.RootKind = NetRoot;
    domain.NodeAttributes = Domain;
    domain.ImageIndex = domain.SelectedIndex = 8;
    QDir().mkpath(QString::fromStdString(NativePath(domain.StoreDir)));
    WriteNodeRecord(domain);
    TNodeData computer = domain;
    computer.StoreDir = workgroup;
    computer.Caption = computer.Key = "PC";
    computer.RemoteName = "\\\\PC";
    computer.NodeAttributes = Computer;
    computer.ImageIndex = computer.SelectedIndex = 6;
    computer.RecordOffset = -1;
    computer.FileCount = 50000;
    WriteNodeRecord(computer);
    std::vector<TItemData> top(static_cast<size_t>(shares));
    for (int k = 0; k < shares; ++k) {
        SetItemPath(top[size_t(k)], "\\\\PC\\SHARE" + std::to_string(k));
        top[size_t(k)].Attributes = 0x10;
    }
    WriteFolderListing(top, workgroup, "PC", true);

    window.form->N91Click();
    window.form->netRoot()->setExpanded(true);
    QTreeWidgetItem* group = childCaptioned(window.form->netRoot(), QStringLiteral("WORKGROUP"));
    if (group)
        group->setExpanded(true);
    QTreeWidgetItem* pc = childCaptioned(group, QStringLiteral("PC("));
    if (!pc) {
        std::fprintf(stderr, "tamsel-bench: the cached computer is not in the tree\n");
        return 1;
    }
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QElapsedTimer wall;
    wall.start();
    pc->setExpanded(true);
    const double inTree = double(wall.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();
    const double withEvents = double(wall.nsecsElapsed()) / 1e6;
    std::printf("children_in_tree: %d\n", pc->childCount());
    std::printf("expand_ms: %.1f\n", inTree);
    std::printf("expand_and_events_ms: %.1f\n", withEvents);
    return pc->childCount() == shares ? 0 : 1;
}

int ftpget(const std::string& url, const char* passwordFile)
{
    // ftp://[USER@]HOST[:PORT]/PATH
    if (url.rfind("ftp://", 0) != 0 || url.find('/', 6) == std::string::npos) {
        std::fprintf(stderr, "tamsel-bench: not an ftp:// file: %s\n", url.c_str());
        return 2;
    }
    std::string authority = url.substr(6, url.find('/', 6) - 6);
    const std::string path = url.substr(url.find('/', 6));
    FtpSiteBlock block;
    block.User = "anonymous";
    if (authority.find('@') != std::string::npos) {
        block.User = authority.substr(0, authority.rfind('@'));
        authority.erase(0, authority.rfind('@') + 1);
    }
    block.Host = authority.substr(0, authority.find(':'));
    if (authority.find(':') != std::string::npos)
        block.Port = std::atoi(authority.c_str() + authority.find(':') + 1);
    if (passwordFile) {
        std::ifstream in(passwordFile);
        std::getline(in, block.Password);
    }
    BenchWindow window;
    auto* node = new QTreeWidgetItem(window.form->bookmarkRoot());
    auto* data = new TNodeData;
    data->Caption = "BENCH";
    data->RootKind = FtpRoot;
    data->NodeAttributes = Computer | Folder;
    data->Host = block.Host;
    data->StoreDir = SetupInfo.CachePath;
    data->Key = "BENCH";
    data->State = Idle;
    QDir().mkpath(QString::fromStdString(NativePath(data->StoreDir)));
    ShowNodeData(data, node);
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    EncodeFtpSiteBlock(block, bytes.data());
    WriteNodeAttachment(*data, bytes.data(), bytes.size());
    if (!window.form->LoadFtpChildren(node) || !window.form->FTPEnumForm) {
        std::fprintf(stderr, "tamsel-bench: cannot connect to %s\n", block.Host.c_str());
        return 1;
    }
    TFTPEnumForm* site = window.form->FTPEnumForm;
    site->ShowError = [](const QString& text) { std::fprintf(stderr, "tamsel-bench: %s\n", text.toLocal8Bit().constData()); };
    std::string remote;
    for (char c : path)
        remote += c == '/' ? '\\' : c;
    QTemporaryDir target;
    const std::string destination = WindowsPath(target.path().toStdString()) + "\\";
    StretchMeter meter;
    meter.start();
    QElapsedTimer wall;
    wall.start();
    site->DownloadFiles(destination, {"1" + remote});
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const std::string name = remote.substr(remote.find_last_of('\\') + 1);
    const std::string local = target.path().toStdString() + "/" + name;
    std::error_code error;
    const auto size = std::filesystem::file_size(local, error);
    std::printf("bytes: %lld\n", error ? -1LL : static_cast<long long>(size));
    std::printf("wall_seconds: %.3f\n", seconds);
    std::printf("longest_window_stretch_ms: %.1f\n", meter.longestMs());
    QElapsedTimer curlClock;
    curlClock.start();
    // curl writes a file too, beside ours: the disk is part of both.
    const std::string curlFile = target.path().toStdString() + "/curl.out";
    std::string command = "curl -s -o '" + curlFile + "' '" + url + "'";
    if (passwordFile)
        command = "curl -s -o '" + curlFile + "' --user \"" + block.User + ":" + block.Password + "\" '" + url + "'";
    const int curlStatus = std::system(command.c_str());
    std::printf("curl_seconds: %.3f\n", curlStatus == 0 ? double(curlClock.nsecsElapsed()) / 1e9 : -1.0);
    site->AskQuestion = [](const QString&) { return true; };
    site->close();
    QCoreApplication::processEvents();
    return error ? 1 : 0;
}

int netexpand(const std::string& address)
{
    BenchWindow window;
    TMainForm& form = *window.form;
    // The computer as the new-computer command stores it, then loaded as the user opens
    // the expanded network.
    TNodeData computer = MakeChildData(*GetNodeData(form.expandedRoot()));
    computer.Caption = address;
    computer.RootKind = ExpandedRoot;
    computer.NodeAttributes = Computer;
    computer.Host = address;
    computer.RemoteName = "\\\\" + address + "\\";
    computer.ResourceType = int32_t(netres::TypeDisk);
    computer.DisplayType = int32_t(netres::DisplayServer);
    computer.Scope = int32_t(netres::ScopeGlobalNet);
    computer.Usage = int32_t(netres::UsageContainer);
    computer.State = Idle;
    computer.Key = SafeFileName(address);
    WriteNodeRecord(computer);
    form.expandedRoot()->setExpanded(true);
    QTreeWidgetItem* node = nullptr;
    for (int i = 0; i < form.expandedRoot()->childCount() && !node; ++i)
        if (form.expandedRoot()->child(i)->text(0) == QString::fromStdString(address))
            node = form.expandedRoot()->child(i);
    if (!node) {
        std::fprintf(stderr, "tamsel-bench: the computer did not load into the tree\n");
        return 1;
    }
    bool ended = false;
    QString failure;
    form.NetEnumFormSetup = [&](TNetEnumForm* expansion) {
        expansion->ShowInformation = [&failure](const QString& text) { failure = text; };
        expansion->ShowError = [&failure](const QString& text) { failure = text; };
        expansion->AskCredentials = [](const std::string&, std::string&, std::string&, bool&) { return false; };
        QObject::connect(expansion, &QObject::destroyed, [&ended] { ended = true; });
    };
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    StretchMeter meter;
    QElapsedTimer wall;
    meter.start();
    wall.start();
    node->setExpanded(true);
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double ms = double(wall.nsecsElapsed()) / 1e6;
    int shares = 0;
    for (int i = 0; i < node->childCount(); ++i)
        if (const TNodeData* child = GetNodeData(node->child(i)); child && child->has(Share))
            ++shares;
    std::printf("expand_ms: %.1f\n", ms);
    std::printf("shares: %d\n", shares);
    std::printf("longest_window_stretch_ms: %.1f\n", meter.longestMs());
    if (!failure.isEmpty())
        std::printf("error: %s\n", failure.simplified().toUtf8().constData());
    return shares > 0 || !failure.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 3)
        return list(argv[2]);
    if (command == "cached" && argc == 5)
        return cached(argv[2], argv[3], argv[4]);
    if (command == "ftpget" && (argc == 3 || argc == 4))
        return ftpget(argv[2], argc == 4 ? argv[3] : nullptr);
    if (command == "expand" && argc <= 3)
        return expand(argc == 3 ? std::atoi(argv[2]) : 2000);
    if (command == "netexpand" && argc == 3)
        return netexpand(argv[2]);
    if (command == "switch" && (argc == 4 || argc == 5))
        return switchFolders(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 200);
    std::fprintf(stderr, "usage: tamsel-bench list FOLDER\n"
                         "       tamsel-bench switch FOLDER OTHER [DELAY_MS]\n"
                         "       tamsel-bench cached STOREDIR KEY FOLDERPATH\n"
                         "       tamsel-bench expand [SHARES]\n"
                         "       tamsel-bench netexpand ADDRESS\n"
                         "       tamsel-bench ftpget URL [PASSWORD_FILE]\n");
    return 2;
}
