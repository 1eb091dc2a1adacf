// Applying the settings, and the commands of the View, Edit, File and Help menus that only
// change the window itself.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/TAboutForm.h"
#include "local/TObjShell.h"
#include "platform/TextCodec.h"
#include "resources/StringTable.h"
#include "ui/Fonts.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QToolBar>
#include <QTreeWidget>

void TMainForm::ApplySettings()
{
    setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));

    FileListView->setViewStyle(SetupInfo.ViewStyle);
    if (SetupInfo.ViewStyle < m_viewStyleEntries.size())
        m_viewStyleEntries[SetupInfo.ViewStyle]->setChecked(true);

    // Any other style leaves the tool bars as they are.
    if (SetupInfo.ButtonStyle <= 2)
        setToolBarStyle(SetupInfo.ButtonStyle);

    // Each command flips its mark and applies it, so the mark starts opposite the setting.
    m_N7->setChecked(!SetupInfo.ShowGlyph);
    N7Click();
    m_N8->setChecked(!SetupInfo.ShowText);
    N8Click();
    m_S1->setChecked(!SetupInfo.ShowStatusBar);
    S1Click();
    m_N10->setChecked(!SetupInfo.ShowPanel);
    N10Click();

    if (m_shell) {
        m_shell->WorkLimit = SetupInfo.ShellWorkLimit;
        m_shell->TempFolder = SetupInfo.TempPath;
    }

    const int textHeight = QFontMetrics(font()).boundingRect(QStringLiteral("Font")).height();
    StatusBar->setClientHeight(textHeight + 6);
    TreePanel->setFont(SettingsFont(SetupInfo.TreeViewFontName, SetupInfo.TreeViewFontSize));
    ListPanel->setFont(SettingsFont(SetupInfo.ListViewFontName, SetupInfo.ListViewFontSize));
    FolderTreeView->setFont(TreePanel->font());
    FileListView->setFont(ListPanel->font());
    fitDetailColumns();
    for (QLabel* strip : {TreePanel, ListPanel})
        strip->setFixedHeight(textHeight + 2 + 2 * strip->frameWidth());
    // The box needs room for its frame around the text, or the text would be clipped.
    AddressComboBox->setMinimumHeight(textHeight + 2);

    if (UpperAscii(LoadStr(100)) == "EN") {
        const bool denseScreen = screen() && screen()->logicalDotsPerInch() >= 100;
        ToolBar1->setFont(denseScreen ? SettingsFont("Small Fonts", 6) : SettingsFont("MS Sans Serif", 8));
    }
}

void TMainForm::S1Click()
{
    StatusBar->setVisible(!m_S1->isChecked());
    m_S1->setChecked(!m_S1->isChecked());
    SetupInfo.ShowStatusBar = m_S1->isChecked();
}

void TMainForm::N10Click()
{
    const bool show = !m_N10->isChecked();
    TreePanel->setVisible(show);
    ListPanel->setVisible(show);
    m_N10->setChecked(show);
    SetupInfo.ShowPanel = show;
}

void TMainForm::N93Click()
{
    // A share's folder has no watcher to bring its changes: every refresh reads the shown
    // folder again, wherever its node hangs, and lays the list out afresh.
    ShowNode(FolderTreeView->currentItem());
    FileListView->relayout();
}

void TMainForm::setViewStyleCommand(int style)
{
    // The entry and its copies in the list menus show the same mark.
    for (QAction* entry : findChildren<QAction*>())
        if (entry->property("viewStyle").toInt() == style && entry->property("viewStyle").isValid())
            entry->setChecked(true);
    FileListView->setViewStyle(style);
    // The listers pick their pictures and columns by the style: list the node again.
    ShowNode(FolderTreeView->currentItem());
    SetupInfo.ViewStyle = uint8_t(style);
}

void TMainForm::ML1Click()
{
    setViewStyleCommand(TListView::LargeIcons);
}

void TMainForm::ML2Click()
{
    setViewStyleCommand(TListView::SmallIcons);
}

void TMainForm::ML3Click()
{
    setViewStyleCommand(TListView::List);
}

void TMainForm::ML4Click()
{
    setViewStyleCommand(TListView::Details);
}

void TMainForm::A3Click()
{
    FileListView->selectAll();
}

void TMainForm::I1Click()
{
    FileListView->invertSelection();
}

void TMainForm::X1Click()
{
    close();
}

void TMainForm::A1Click()
{
    TAboutForm about(this);
    about.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    about.exec();
}
