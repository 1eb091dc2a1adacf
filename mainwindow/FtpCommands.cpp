// The main window's side of FTP sites: expanding a site or one of its folders through the
// site window, opening and renaming remote files from the list, disconnecting.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "platform/Exception.h"
#include "network/TFTPEnumForm.h"
#include "resources/StringTable.h"
#include "store/NodeTree.h"
#include "ui/TListView.h"

#include <QTreeWidgetItem>

TFTPEnumForm* TMainForm::siteWindow(const TNodeData* data)
{
    return data ? static_cast<TFTPEnumForm*>(data->SiteWindow) : nullptr;
}

bool TMainForm::LoadFtpChildren(QTreeWidgetItem* node)
{
    TNodeData* data = GetNodeData(node);
    if (!data)
        return false;
    data->State |= Expanded;
    try {
        if (TFTPEnumForm* window = siteWindow(data)) {
            FTPEnumForm = window;
            window->ListFolder(node);
            return true;
        }
        ClearNodeChildren(node);
        data->State |= Expanded;
        auto* window = new TFTPEnumForm(nullptr);
        FTPEnumForm = window;
        data->SiteWindow = window;
        window->OnFinished = [this](QTreeWidgetItem* listed) { FtpSiteListed(listed); };
        // The site window's boxes go the way the main window's go.
        window->ShowError = ShowError;
        window->ShowInformation = ShowInformationText;
        if (!window->ConnectSite(node, UpdateAllowed, UpdateRunning)) {
            data->SiteWindow = nullptr;
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        throw Exception(LoadStr(33020) + error.what());
    }
}

void TMainForm::FtpSiteListed(QTreeWidgetItem* node)
{
    // A listing of the shown folder refreshes the list; the site closing collapses it.
    const TNodeData* data = GetNodeData(node);
    if (data && !data->SiteWindow && node == m_shownNode) {
        node->setExpanded(false);
        FileListView->model()->clear();
        return;
    }
    if (node == m_shownNode)
        ShowNode(node);
}

bool TMainForm::openFtpItem(const TNodeData* data, const QString& caption, bool folderItem)
{
    TFTPEnumForm* window = siteWindow(data);
    if (!window || folderItem || !data->has(Folder))
        return false;
    window->OpenRemoteFile(data->RemoteName + caption.toStdString());
    return true;
}

bool TMainForm::renameFtpItem(const TNodeData* data, const QString& oldCaption, const QString& newCaption)
{
    TFTPEnumForm* window = siteWindow(data);
    if (!window)
        return false;
    // The full path, so that the rename does not depend on the server's current folder.
    return window->RenameRemote(data->RemoteName + oldCaption.toStdString(), newCaption.toStdString());
}

void TMainForm::Disconnect2Click()
{
    if (!selectedNode() || !m_shownNode)
        return;
    const TNodeData* data = GetNodeData(m_shownNode);
    if (data && data->RootKind == FtpRoot)
        if (TFTPEnumForm* window = siteWindow(data))
            window->close();
}
