// The options dialog of the View menu, and the help.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "app/TSetupForm.h"
#include "local/THelpForm.h"
#include "ui/Fonts.h"

#include <QAction>
#include <QApplication>

void TMainForm::connectSetupCommands()
{
    const std::pair<const char*, void (TMainForm::*)()> commands[] = {
        {"N86", &TMainForm::N86Click}, {"T2", &TMainForm::T2Click}, {"N87", &TMainForm::N87Click}};
    for (const auto& [name, handler] : commands) {
        if (QAction* entry = findChild<QAction*>(QString::fromLatin1(name))) {
            connect(entry, &QAction::triggered, this, handler);
            entry->setEnabled(true);
        }
    }
    if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance()))
        InstallHelpKey(*application);
}

void TMainForm::T2Click()
{
    THelpForm::Instance().ShowContents();
}

void TMainForm::N87Click()
{
    THelpForm::Instance().ShowIndex();
}

void TMainForm::N86Click()
{
    TSetupForm form(this, FileListView, FolderTreeView);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.exec();
    if (form.Confirmed())
        ApplySettings();
}
