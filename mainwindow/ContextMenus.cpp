// The context menus of the tree and of the three kinds of list. The tree's menu pops up by
// itself; the list menus are chosen by the kind of the shown node when the list is clicked.
#include "mainwindow/TMainForm.h"

#include "resources/UiText.h"

#include <QAction>
#include <QMenu>

namespace {

QMenu* makeMenu(const char* name, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

QMenu* addToolsEntry(QMenu* menu, const char* name)
{
    // One entry per external tool joins this submenu when the tools are loaded.
    QMenu* tools = menu->addMenu(UiText("延伸工具"));
    tools->setObjectName(QString::fromLatin1(name));
    return tools;
}

} // namespace

void TMainForm::buildContextMenus()
{
    FolderTreeViewPopupMenu = makeMenu("FolderTreeViewPopupMenu", this);
    QMenu* tree = FolderTreeViewPopupMenu;
    tree->setDefaultAction(addCommand(tree, "N92", "系統選單"));
    addCommand(tree, "N30", "開啟檔案總管");
    tree->addSeparator();
    addCommand(tree, "DNNewDir", "新增資料夾(&N)");
    addCommand(tree, "DNNewComputer", "新增電腦(&C)");
    addCommand(tree, "DNNewFtpSite", "新增 FTP 站台…", &TMainForm::NewFtpSiteClick);
    addCommand(tree, "N34", "重新整理");
    tree->addSeparator();
    addCommand(tree, "DNDel", "刪除(&D)");
    addCommand(tree, "DNRename", "更名(&R)");
    addCommand(tree, "N81", "斷線", &TMainForm::Disconnect2Click);
    // Shown for FTP sites only.
    addCommand(tree, "FtpSiteOptions", "站台選項(&O)...");
    tree->addSeparator();
    addCommand(tree, "DNContent", "節點(&N)", &TMainForm::DNContentClick);
    addCommand(tree, "N39", "內容(&C)");

    LocalListPopupMenu = makeMenu("LocalListPopupMenu", this);
    QMenu* local = LocalListPopupMenu;
    local->setDefaultAction(addCommand(local, "N83", "系統選單"));
    addCommand(local, "N19", "開啟");
    addCommand(local, "N31", "檔案總管");
    ToolMenuItem4 = addToolsEntry(local, "ToolMenuItem4");
    local->addSeparator();
    addCommand(local, "N33", "新資料夾");
    addCommand(local, "M1", "更名(&M)");
    addCommand(local, "N16", "刪除(&D)");
    local->addSeparator();
    QMenu* localView = local->addMenu(UiText("檢示(&V)"));
    localView->setObjectName(QStringLiteral("LocalViewMenu"));
    addViewStyleEntries(localView, "Local");
    addCommand(local, "N36", "重新整理");
    local->addSeparator();
    addCommand(local, "C4", "內容(&C)");

    NetListPopupMenu = makeMenu("NetListPopupMenu", this);
    QMenu* net = NetListPopupMenu;
    net->setDefaultAction(addCommand(net, "N76", "系統選單"));
    addCommand(net, "NetOpen", "開啟(&O)");
    ToolMenuItem2 = addToolsEntry(net, "ToolMenuItem2");
    addCommand(net, "NetExplore", "開啟檔案總管(&E)");
    addCommand(net, "NetRefresh", "重新整理(&F)");
    net->addSeparator();
    addCommand(net, "NetNewDir", "新資料夾(&N)");
    addCommand(net, "NetRename", "更名(&M)");
    addCommand(net, "NetDelete", "刪除(&D)");
    net->addSeparator();
    QMenu* netView = net->addMenu(UiText("檢示(&V)"));
    netView->setObjectName(QStringLiteral("NetViewMenu"));
    addViewStyleEntries(netView, "Net");
    net->addSeparator();
    addCommand(net, "NetProperties", "內容(&R)");

    FTPListPopupMenu = makeMenu("FTPListPopupMenu", this);
    QMenu* ftp = FTPListPopupMenu;
    addCommand(ftp, "FTPOpen", "開啟(&O)");
    ToolMenuItem3 = addToolsEntry(ftp, "ToolMenuItem3");
    addCommand(ftp, "FTPExplore", "開啟檔案總管(&E)");
    addCommand(ftp, "FTPRefresh", "重新整理(&F)");
    ftp->addSeparator();
    addCommand(ftp, "FTPNewDir", "新資料夾(&N)");
    addCommand(ftp, "FTPRename", "更名(&M)");
    addCommand(ftp, "FTPDelete", "刪除(&D)");
    ftp->addSeparator();
    addCommand(ftp, "FTPProperties", "內容(&R)");
}
