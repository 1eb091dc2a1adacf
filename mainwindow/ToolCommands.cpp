// The external tools: their entries in the Tools menu and the three list menus, the dialog
// that edits them and RunTool, which starts one on the selected file.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ExtendTools.h"
#include "local/TExtendToolForm.h"
#include "local/TObjShell.h"
#include "platform/DriveMap.h"
#include "platform/SmbFiles.h"
#include "store/NodePaths.h"
#include "store/TNodeData.h"
#include "ui/TListView.h"
#include "ui/Fonts.h"

#include <QAction>
#include <QMenu>

namespace {

// The Tools menu's own entries, separators included; the tools follow them.
constexpr int kFixedToolEntries = 7;
constexpr const char* kToolEntryProperty = "extendTool";

// What a program of this machine can open for the file the list shows: the local file's
// own path, a share's file in the form the desktop's programs take, anything else as it is.
std::string fileForProgram(const std::string& windowsPath)
{
    if (windowsPath.empty())
        return windowsPath;
    if (IsUncPath(windowsPath)) {
        const std::string smb = SmbNativePath(windowsPath);
        return smb.empty() ? windowsPath : smb;
    }
    const std::string native = NativePath(windowsPath);
    return native.empty() ? windowsPath : native;
}

} // namespace

void TMainForm::connectToolCommands()
{
    if (QAction* entry = findChild<QAction*>(QStringLiteral("M50"))) {
        connect(entry, &QAction::triggered, this, &TMainForm::M50Click);
        entry->setEnabled(true);
    }
    // The dialog is made invisibly only to read the captions; nothing is written then.
    std::vector<std::string> captions;
    for (const TExtendTool& tool : ReadExtendTools())
        captions.push_back(tool.Caption);
    rebuildToolEntries(captions);
}

void TMainForm::rebuildToolEntries(const std::vector<std::string>& captions)
{
    const QList<QAction*> fixed = ToolMenuItem1->actions();
    for (int i = kFixedToolEntries; i < fixed.size(); ++i) {
        ToolMenuItem1->removeAction(fixed[i]);
        delete fixed[i];
    }
    for (QMenu* menu : {ToolMenuItem2, ToolMenuItem3, ToolMenuItem4}) {
        for (QAction* entry : menu->actions()) {
            menu->removeAction(entry);
            delete entry;
        }
    }
    for (const std::string& caption : captions) {
        for (QMenu* menu : {ToolMenuItem1, ToolMenuItem2, ToolMenuItem3, ToolMenuItem4}) {
            // The caption is the user's text: a "&" in it is a character, not a mnemonic.
            auto* entry = new QAction(QString::fromStdString(caption).replace(QLatin1Char('&'), QLatin1String("&&")), menu);
            entry->setProperty(kToolEntryProperty, QString::fromStdString(caption));
            connect(entry, &QAction::triggered, this, [this, entry] { RunTool(entry); });
            menu->addAction(entry);
        }
    }
    // A submenu without entries would open onto nothing.
    for (QMenu* menu : {ToolMenuItem2, ToolMenuItem3, ToolMenuItem4})
        menu->menuAction()->setEnabled(!captions.empty());
}

void TMainForm::M50Click()
{
    TExtendToolForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.exec();
    rebuildToolEntries(form.Captions());
}

std::string TMainForm::toolFile() const
{
    const int row = firstSelectedRow();
    if (!shownData() || row < 0)
        return {};
    const QString caption = FileListView->model()->item(row).Caption;
    return AddBackslash(itemFolder(row)) + caption.toStdString();
}

void TMainForm::RunTool(QAction* entry)
{
    if (!m_shell)
        return;
    // The registry is read again at each click: a tool runs as it was last saved.
    try {
        const auto tool = FindEnabledTool(entry->property(kToolEntryProperty).toString().toStdString());
        if (!tool)
            return;
        m_shell->RunProgram(tool->Program, ToolArguments(tool->Parameters, fileForProgram(toolFile())));
    } catch (const std::exception&) {
        // A tool that cannot be read or started is the shell's to report, not ours.
    }
}
