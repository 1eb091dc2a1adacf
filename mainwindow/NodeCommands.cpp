// The node dialogs of the main window: the content dialog of the selected tree node.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "store/NodeTree.h"
#include "store/TContentForm.h"
#include "ui/Fonts.h"

#include <QTreeWidget>

void TMainForm::N26Click()
{
    showNodeContent(selectedNode());
}

void TMainForm::DNContentClick()
{
    showNodeContent(selectedNode());
}

void TMainForm::showNodeContent(QTreeWidgetItem* node)
{
    if (!node)
        return;
    TContentForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.ShowError = ShowError;
    form.ResetChildren = [this](QTreeWidgetItem* edited) { resetStoredChildren(edited); };
    form.ShowFor(node);
}

void TMainForm::resetStoredChildren(QTreeWidgetItem* node)
{
    // The tree's own selection changes while the children go are not the user's. A list of
    // the node's children, or of a folder below it, goes with them (a lister may still be
    // reading them), and then the edited node itself is shown afresh.
    const bool hadShown = m_shownNode != nullptr;
    m_treeChanging = true;
    if (m_shownNode == node) {
        StopWorkers();
        m_shownNode = nullptr;
    }
    forgetShownNodeBelow(node);
    ClearNodeChildren(node);
    AddPlaceholderChild(node);
    m_treeChanging = false;
    if (hadShown && !m_shownNode) {
        if (FolderTreeView->currentItem() == node)
            ShowNode(node);
        else
            FolderTreeView->setCurrentItem(node);
    }
}
