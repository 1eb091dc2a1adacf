// The options dialog, opened from the View menu.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "app/TSetupForm.h"
#include "ui/Fonts.h"

#include <QAction>

void TMainForm::connectSetupCommands()
{
    if (QAction* entry = findChild<QAction*>(QStringLiteral("N86"))) {
        connect(entry, &QAction::triggered, this, &TMainForm::N86Click);
        entry->setEnabled(true);
    }
}

void TMainForm::N86Click()
{
    TSetupForm form(this, FileListView, FolderTreeView);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.exec();
    if (form.Confirmed())
        ApplySettings();
}
