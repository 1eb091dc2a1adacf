// The commands that hand work to the desktop or to the task list: the task list button, the
// explorer button and its menu of special folders.
#include "mainwindow/TMainForm.h"

#include "local/TObjShell.h"
#include "local/TThreadForm.h"
#include "network/TCrawlForm.h"
#include "store/NodeTree.h"
#include "resources/StringTable.h"

#include "platform/DriveMap.h"
#include "platform/ShellServices.h"
#include "resources/UiText.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

namespace {

enum : int { kStrHideWindow = 33035, kStrShowWindow = 33036, kStrNoSpecialFolder = 44079 };

// Special folder identifiers of the explorer menu.
enum : int {
    CsidlInternet = 1, CsidlPrograms = 2, CsidlControls = 3, CsidlPrinters = 4, CsidlPersonal = 5,
    CsidlFavorites = 6, CsidlStartup = 7, CsidlRecent = 8, CsidlSendTo = 9, CsidlBitBucket = 10,
    CsidlStartMenu = 11, CsidlDesktopDirectory = 16, CsidlDrives = 17, CsidlNetwork = 18, CsidlFonts = 20,
    CsidlAppData = 26,
};

struct FolderEntry {
    const char* name;
    int csidl;
    bool properties;  // the entry shows the folder's properties instead of opening it
};

constexpr FolderEntry kFolderEntries[] = {
    {"N40", CsidlDesktopDirectory, false}, {"N42", CsidlDrives, false},   {"N45", CsidlPersonal, false},
    {"N44", CsidlNetwork, false},          {"N56", CsidlFavorites, false}, {"Intern1", CsidlInternet, false},
    {"N49", CsidlRecent, false},           {"N50", CsidlBitBucket, false}, {"N38", CsidlDesktopDirectory, true},
    {"N74", CsidlNetwork, true},           {"N75", CsidlInternet, true},   {"N41", CsidlControls, false},
    {"N46", CsidlPrinters, false},         {"N43", CsidlFonts, false},     {"N55", CsidlSendTo, false},
    {"N54", CsidlStartMenu, false},        {"N48", CsidlStartup, false},   {"N47", CsidlPrograms, false},
    {"N57", CsidlAppData, false},
};

// Where the explorer and the search start when no folder is given.
constexpr const char* kSystemDrive = "C:\\";

} // namespace

void TMainForm::connectFolderPopupMenu()
{
    auto find = [this](const char* name) {
        QAction* entry = FolderPopupMenu->findChild<QAction*>(QString::fromLatin1(name));
        return entry ? entry : findChild<QAction*>(QString::fromLatin1(name));
    };
    auto wire = [this, find](const char* name, auto command) {
        QAction* entry = find(name);
        if (!entry)
            return;
        connect(entry, &QAction::triggered, this, command);
        entry->setEnabled(true);
    };
    for (const FolderEntry& folder : kFolderEntries) {
        const int csidl = folder.csidl;
        if (csidl == CsidlNetwork && !folder.properties) {
            // The network neighbourhood here is the program's own branch.
            wire(folder.name, [this] {
                if (m_netRoot)
                    FolderTreeView->setCurrentItem(m_netRoot);
            });
            continue;
        }
        if (!ShellServices::HasSpecialFolder(csidl)) {
            // A folder only Windows has: greyed, and the hint says why.
            if (QAction* entry = find(folder.name)) {
                const QString hint = QString::fromStdString(LoadStr(kStrNoSpecialFolder));
                entry->setEnabled(false);
                entry->setStatusTip(hint);
                entry->setToolTip(hint);
            }
            continue;
        }
        if (folder.properties)
            wire(folder.name, [this, csidl] { m_shell->SpecialFolderProperties(csidl); });
        else
            wire(folder.name, [this, csidl] { m_shell->OpenSpecialFolder(csidl); });
    }
    wire("N32", [this] { m_shell->EmptyRecycleBin(); });
    // The display settings are the desktop's own program; without one the entry is greyed
    // and its hint says why.
    const QStringList display = ShellServices::DisplaySettingsCommand();
    if (!display.isEmpty()) {
        wire("N37", [this, display] { m_shell->RunProgram(WindowsPath(display.front().toStdString()), display.mid(1)); });
    } else if (QAction* entry = find("N37")) {
        const QString hint = UiText("這部電腦沒有設定螢幕顯示器的程式");
        entry->setEnabled(false);
        entry->setStatusTip(hint);
        entry->setToolTip(hint);
    }
    wire("N58", [this] { m_shell->ShowFind(kSystemDrive); });

    // The search over the cache, from the tools menu and the tool bar.
    if (FamilyProgramFolder.isEmpty())
        FamilyProgramFolder = QCoreApplication::applicationDirPath();
    if (QAction* search = findChild<QAction*>(QStringLiteral("N28"))) {
        connect(search, &QAction::triggered, this, [this] { runFamilyProgram("pallisk"); });
        search->setEnabled(true);
    }
    connect(ToolButton6, &QToolButton::clicked, this, [this] { runFamilyProgram("pallisk"); });
    ToolButton6->setEnabled(true);
    // The cache update, from the tools menu and the tool bar, runs as a task.
    if (QAction* update = findChild<QAction*>(QStringLiteral("N12"))) {
        connect(update, &QAction::triggered, this, &TMainForm::N12Click);
        update->setEnabled(true);
    }
    connect(ToolButton5, &QToolButton::clicked, this, &TMainForm::N12Click);
    ToolButton5->setEnabled(true);
    // The collector from its menu entry and button, the wizard from its button.
    if (QAction* collect = findChild<QAction*>(QStringLiteral("ToolMenu"))) {
        connect(collect, &QAction::triggered, this, [this] { runFamilyProgram("quellor"); });
        collect->setEnabled(true);
    }
    connect(ToolButton10, &QToolButton::clicked, this, [this] { runFamilyProgram("quellor"); });
    ToolButton10->setEnabled(true);
    connect(ToolButton1, &QToolButton::clicked, this, [this] { runFamilyProgram("ordhune"); });
    ToolButton1->setEnabled(true);
}

QString TMainForm::familyProgram(const char* name)
{
    const QString program = FamilyProgramFolder + QLatin1Char('/') + QLatin1String(name);
    // Said plainly here: the shell would only report a file it cannot open.
    if (!QFileInfo(program).isExecutable()) {
        ShowError(UiText("找不到程式 %1，請把它安裝在 Tamsel 的程式資料夾中").arg(program));
        return QString();
    }
    return program;
}

void TMainForm::N12Click()
{
    // One update at a time: a second click shows the one that runs.
    if (TCrawlForm* running = TCrawlForm::Running()) {
        running->show();
        running->raise();
        return;
    }
    const QString program = familyProgram("vessring");
    if (program.isEmpty())
        return;
    auto* form = new TCrawlForm(program, {QStringLiteral("-N")});
    form->setFont(font());
    connect(form, &TCrawlForm::ComputerCrawled, this, &TMainForm::reshowCachedFolder);
    if (!form->Start())
        ShowError(UiText("無法啟動程式 %1").arg(program));
}

void TMainForm::reshowCachedFolder()
{
    QTreeWidgetItem* node = m_shownNode;
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (CacheMode && data && (data->State & FromCache) && node == FolderTreeView->currentItem())
        ShowNode(node);
}

void TMainForm::runFamilyProgram(const char* name)
{
    const QString program = familyProgram(name);
    if (program.isEmpty())
        return;
    m_shell->RunProgram(WindowsPath(program.toStdString()), "");
}

void TMainForm::ThreadToolButtonClick()
{
    if (!ThreadForm)
        return;
    const bool show = !ThreadForm->isVisible();
    if (show)
        ThreadForm->show();
    else
        ThreadForm->hide();
    ThreadToolButton->setChecked(show);
    // The hint names what the next click does.
    const QString hint = QString::fromStdString(LoadStr(show ? kStrHideWindow : kStrShowWindow));
    ThreadToolButton->setToolTip(hint);
    ThreadToolButton->setStatusTip(hint);
}

void TMainForm::ExploreToolButtonClick()
{
    m_shell->ExplorePath(kSystemDrive);
}
