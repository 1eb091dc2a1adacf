// tamsel-bench-gui: the file list's speed, run offscreen through the real local lister and
// the real list model. `tamsel-bench list|switch ...` starts it; it can run alone too.
//
//   tamsel-bench-gui list FOLDER          list FOLDER into the details view; wall time, the
//                                         window thread's longest stretch, memory, and the
//                                         wall time of `ls -l FOLDER` for comparison
//   tamsel-bench-gui switch FOLDER OTHER  while FOLDER is being listed, switch to OTHER;
//                                         time until OTHER's first items are in the list
//   tamsel-bench-gui cached STOREDIR KEY FOLDERPATH
//                                         list the cached FOLDERPATH of KEY in the native
//                                         STOREDIR into the details view; the figures of list
//   tamsel-bench-gui expand [SHARES]      the main window on a cache of its own in a temporary
//                                         folder: expand a cached computer of SHARES top
//                                         folders (2000); time until they are in the tree
#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "app/Application.h"
#include "app/SetupInfo.h"
#include "mainwindow/TMainForm.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/TObjCacheDir.h"
#include "platform/DriveMap.h"
#include "ui/TListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
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

TObjLocalDir* startLister(TListView& view, TImageLists& images, const QString& folder, bool* done)
{
    auto* worker = new TObjLocalDir(&view, &images, folder);
    worker->OnStatus = [done](TObjLocalDir* w) {
        if (w->RunState == 5)
            *done = true;
    };
    worker->StartListing();
    return worker;
}

// Runs one lister into a details view and prints its figures. `start` makes and starts the
// lister; it calls `finished` with the entry count and an error text when it is done.
using StartLister = std::function<void(TListView&, TImageLists&, std::function<void(int, const QString&)>)>;

int measureListing(const StartLister& start, double ls)
{
    TListView view;
    view.setViewStyle(TListView::Details);
    view.resize(1000, 700);
    view.show();
    TImageLists images;
    QCoreApplication::processEvents();
    const long rssBefore = statusKb("VmRSS");

    StretchMeter meter;
    bool done = false;
    int entries = 0;
    QString error;
    QElapsedTimer wall;
    meter.start();
    wall.start();
    start(view, images, [&](int count, const QString& failure) {
        done = true;
        entries = count;
        error = failure;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double stretch = meter.longestMs();
    for (int i = 0; i < 20; ++i)  // let the worker go
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tamsel-bench: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const long rssAfter = statusKb("VmRSS");
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("entries: %d\n", entries);
    std::printf("rows_in_model: %d\n", view.model()->rowCount());
    std::printf("wall_seconds: %.3f\n", seconds);
    if (ls >= 0) {
        std::printf("ls_seconds: %.3f\n", ls);
        std::printf("ratio_to_ls: %.2f\n", ls > 0 ? seconds / ls : 0.0);
    }
    std::printf("longest_window_stretch_ms: %.1f\n", stretch);
    std::printf("peak_rss_kb: %ld\n", usage.ru_maxrss);
    std::printf("per_entry_bytes: %.0f\n", entries ? double(rssAfter - rssBefore) * 1024.0 / entries : 0.0);
    return 0;
}

int list(const char* folder)
{
    const double ls = lsSeconds(folder);
    return measureListing([folder](TListView& view, TImageLists& images, auto finished) {
        auto* worker = new TObjLocalDir(&view, &images, windowsFolder(folder));
        worker->OnStatus = [finished](TObjLocalDir* w) {
            if (w->RunState == 5)
                finished(w->FileTotal + w->FolderTotal, w->Completed ? QString() : w->ErrorText);
        };
        worker->StartListing();
    }, ls);
}

// A cached folder has no `ls` to compare with: its figure to compare is `list` on a local
// folder of the same entries.
int cached(const char* storeDir, const char* key, const char* folderPath)
{
    return measureListing([&](TListView& view, TImageLists& images, auto finished) {
        auto* worker = new TObjCacheDir(windowsFolder(storeDir).toStdString(), &images, &view, folderPath, key);
        worker->OnStatus = [finished](TObjCacheDir* w) {
            if (w->RunState == 5)
                finished(w->FileTotal + w->FolderTotal, w->Completed ? QString() : w->ErrorText);
        };
        worker->StartListing();
    }, -1);
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
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    setenv("TAMSEL_HOME", home.filePath("home").toLocal8Bit().constData(), 1);
    setenv("TAMSEL_CONFIG", home.filePath("registry.reg").toLocal8Bit().constData(), 1);
    SetupInfo = TSetupInfo();
    PrepareProgramFolders(SetupInfo);
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

    TMainForm form;
    form.ShowError = [](const QString& text) { std::fprintf(stderr, "error: %s\n", text.toLocal8Bit().constData()); };
    form.show();
    QCoreApplication::processEvents();
    form.N91Click();
    form.netRoot()->setExpanded(true);
    QTreeWidgetItem* group = childCaptioned(form.netRoot(), QStringLiteral("WORKGROUP"));
    if (group)
        group->setExpanded(true);
    QTreeWidgetItem* pc = childCaptioned(group, QStringLiteral("PC("));
    if (!pc) {
        std::fprintf(stderr, "tamsel-bench: the cached computer is not in the tree\n");
        return 1;
    }
    QCoreApplication::processEvents();
    QElapsedTimer wall;
    wall.start();
    pc->setExpanded(true);
    const double inTree = double(wall.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();
    const double painted = double(wall.nsecsElapsed()) / 1e6;
    std::printf("children_in_tree: %d\n", pc->childCount());
    std::printf("expand_ms: %.1f\n", inTree);
    std::printf("expand_and_events_ms: %.1f\n", painted);
    return pc->childCount() == shares ? 0 : 1;
}

int switchFolders(const char* folder, const char* other, int delayMs)
{
    TListView view;
    view.setViewStyle(TListView::Details);
    view.resize(1000, 700);
    view.show();
    TImageLists images;
    const QString oldFolder = windowsFolder(folder);
    const QString newFolder = windowsFolder(other);
    bool oldDone = false;
    QPointer<TObjLocalDir> old = startLister(view, images, oldFolder, &oldDone);
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < delayMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const bool oldStillRunning = !oldDone;

    // What the window does on a click: stop the running lister, empty the list and the
    // per-folder images, start the new one.
    StretchMeter meter;
    meter.start();
    QElapsedTimer click;
    click.start();
    if (old)
        old->Terminate();
    view.model()->clear();
    images.resetListImages();
    bool newDone = false;
    startLister(view, images, newFolder, &newDone);
    while (view.model()->rowCount() == 0 && !newDone)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double firstMs = double(click.nsecsElapsed()) / 1e6;
    while (!newDone || old)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5), QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int oldRows = 0;
    for (int r = 0; r < view.model()->rowCount(); ++r)
        if (view.model()->item(r).SubItems.value(1) == oldFolder)
            ++oldRows;
    std::printf("old_listing_running_at_click: %s\n", oldStillRunning ? "yes" : "no");
    std::printf("switch_first_items_ms: %.1f\n", firstMs);
    std::printf("new_rows: %d\n", view.model()->rowCount());
    std::printf("old_rows_after_switch: %d\n", oldRows);
    std::printf("longest_window_stretch_ms: %.1f\n", meter.longestMs());
    return oldRows == 0 ? 0 : 1;
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
    if (command == "expand" && argc <= 3)
        return expand(argc == 3 ? std::atoi(argv[2]) : 2000);
    if (command == "switch" && (argc == 4 || argc == 5))
        return switchFolders(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 200);
    std::fprintf(stderr, "usage: tamsel-bench list FOLDER\n"
                         "       tamsel-bench switch FOLDER OTHER [DELAY_MS]\n"
                         "       tamsel-bench cached STOREDIR KEY FOLDERPATH\n"
                         "       tamsel-bench expand [SHARES]\n");
    return 2;
}
