// Shows one window of the program under a real X server for the help pages' screenshots:
//   help_gallery en|zh NAME
// NAME is a window of the gallery, "Main", "Toolbars", "Help", a main menu by its object
// name ("FileMenu", ...) or a context menu ("FolderTreeViewPopupMenu", ...). Once the window
// is up, one line "SHOT X Y W H" gives the screen rectangle to capture; the program then
// waits to be stopped. scripts/help-screenshots drives it.
#include "app/Application.h"
#include "app/SetupInfo.h"
#include "local/THelpForm.h"
#include "mainwindow/TMainForm.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"
#include "support/TestDrives.h"
#include "support/WindowGallery.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

void printShot(const QRect& area)
{
    std::printf("SHOT %d %d %d %d\n", area.x(), area.y(), area.width(), area.height());
    std::fflush(stdout);
}

// A folder of a few ordinary files for the main window to show.
std::string makeSampleFolder(const std::string& home, bool english)
{
    const std::filesystem::path folder = std::filesystem::path(home) / (english ? "Documents" : "文件");
    std::filesystem::create_directories(folder / (english ? "Photos" : "照片"));
    std::filesystem::create_directories(folder / (english ? "Reports" : "報告"));
    const char* const files[] = {"budget-2026.xls", "meeting.txt", "logo.png", "setup.exe"};
    const char* const chinese[] = {"預算-2026.xls", "會議記錄.txt", "標誌.png", "安裝程式.exe"};
    for (int i = 0; i < 4; ++i)
        std::ofstream(folder / (english ? files[i] : chinese[i])) << std::string(1500 * (i + 1), 'x');
    return AddBackslash(WindowsPath(folder.string()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: help_gallery en|zh NAME\n");
        return 2;
    }
    Application app(argc, argv);
    PrepareApplication(app);
    const bool english = std::string(argv[1]) == "en";
    SetInterfaceLanguage(english ? InterfaceLanguage::English : InterfaceLanguage::Chinese);
    InstallQtTranslations(app, CurrentInterfaceLanguage());
    const std::string name = argv[2];

    WindowGallery gallery;
    std::unique_ptr<TMainForm> form;
    QWidget* window = gallery.Open(name);
    QMenu* menu = nullptr;
    QWidget* part = nullptr;
    if (!window) {
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
        SetupInfo.AutoExpand = false;
        SetupInfo.ViewStyle = 3;
        // The sample files on a drive D: of their own, so that the tree shows them alone
        // and not the machine's scratch folders beside them.
        const std::string sampleDrive = NativePath(SetupInfo.ExePath) + "sample";
        std::filesystem::create_directories(sampleDrive);
        const std::vector<DriveInfo> drives = MapTestDrives(sampleDrive, DriveFixed);
        TMainForm::DriveSource = [drives] { return drives; };
        SetupInfo.StartDirectory = makeSampleFolder(sampleDrive, english);
        form = std::make_unique<TMainForm>();
        form->resize(900, 560);
        form->move(0, 0);
        form->show();
        window = form.get();
        if (name == "Help") {
            THelpForm::Instance().move(0, 0);
            THelpForm::Instance().ShowContents();
            window = &THelpForm::Instance();
        } else if (name == "Toolbars") {
            part = form->findChild<QToolBar*>(QStringLiteral("ToolBar1"))->parentWidget();
        } else if (name != "Main") {
            menu = form->findChild<QMenu*>(QString::fromStdString(name));
            if (!menu) {
                std::fprintf(stderr, "no window or menu %s\n", name.c_str());
                return 2;
            }
        }
    } else {
        window->move(0, 0);
    }
    QTimer::singleShot(1500, [&] {
        if (menu) {
            QPoint at = window->mapToGlobal(QPoint(200, 160));
            for (QAction* entry : form->menuBar()->actions())
                if (entry->menu() == menu)
                    at = form->menuBar()->mapToGlobal(form->menuBar()->actionGeometry(entry).bottomLeft());
            menu->popup(at);
            QTimer::singleShot(800, [&] {
                printShot(window->frameGeometry().united(menu->geometry()));
            });
            return;
        }
        if (part)
            printShot(QRect(part->mapToGlobal(QPoint(0, 0)), part->size()));
        else
            printShot(window->frameGeometry());
    });
    return app.exec();
}
