#include "local/TFileOperationDialog.h"

#include "local/FileOperationQuestions.h"
#include "local/MessageBoxes.h"
#include "platform/DriveMap.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStringList>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

enum : int {
    kStrCopying = 44002, kStrMoving = 44003, kStrDeleting = 44004, kStrRenaming = 44005,
    kStrCancel = 44006, kStrOverwriteCaption = 44007, kStrOverwriteText = 44008,
    kStrYes = 44009, kStrYesToAll = 44010, kStrNo = 44011, kStrNoToAll = 44012,
    kStrTrashOne = 44013, kStrTrashMany = 44014, kStrDeleteOne = 44015, kStrDeleteMany = 44016,
    kStrEntryInfo = 44017, kStrFailed = 44018, kStrInside = 44019, kStrSameFile = 44020,
    kStrOperationCaption = 44022, kStrNotKept = 44025, kStrDatesNotKept = 44026, kStrModeNotKept = 44027,
    kStrMoreNotKept = 44028,
};

// The bar counts in units of this many bytes, so totals beyond int range still fit.
constexpr uint64_t kBarUnit = 1024;

QString entryInfo(const FileOpEntry& entry)
{
    return UiString(kStrEntryInfo)
        .arg(QLocale().toString(qulonglong(entry.size)))
        .arg(QDateTime::fromSecsSinceEpoch(entry.modified).toString("yyyy/MM/dd hh:mm:ss"));
}

OverwriteAnswer askOverwriteDialog(QWidget* owner, const FileOpEntry& existing, const FileOpEntry& incoming)
{
    QMessageBox box(QMessageBox::Question, UiString(kStrOverwriteCaption),
                    UiString(kStrOverwriteText)
                        .arg(TFileOperationDialog::DisplayPath(existing.path), entryInfo(existing), entryInfo(incoming)),
                    QMessageBox::NoButton, owner);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setTextFormat(Qt::PlainText);  // the names are data, never markup
    QPushButton* yes = box.addButton(UiString(kStrYes), QMessageBox::YesRole);
    QPushButton* yesAll = box.addButton(UiString(kStrYesToAll), QMessageBox::YesRole);
    QPushButton* no = box.addButton(UiString(kStrNo), QMessageBox::NoRole);
    QPushButton* noAll = box.addButton(UiString(kStrNoToAll), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(UiString(kStrCancel), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes)
        return OverwriteAnswer::Yes;
    if (clicked == yesAll)
        return OverwriteAnswer::YesToAll;
    if (clicked == no)
        return OverwriteAnswer::No;
    if (clicked == noAll)
        return OverwriteAnswer::NoToAll;
    return OverwriteAnswer::Cancel;
}

bool confirmDeleteBox(QWidget* owner, const std::vector<std::string>& paths, bool toTrash)
{
    QString text;
    if (paths.size() == 1)
        text = UiString(toTrash ? kStrTrashOne : kStrDeleteOne).arg(TFileOperationDialog::DisplayPath(paths.front()));
    else
        text = UiString(toTrash ? kStrTrashMany : kStrDeleteMany).arg(paths.size());
    return ShowMessageText(owner, text, MsgQuestion) == IdYes;
}

} // namespace

FileOperationQuestions FileOperationQuestions::Dialogs()
{
    FileOperationQuestions questions;
    questions.askOverwrite = askOverwriteDialog;
    questions.confirmDelete = confirmDeleteBox;
    questions.showError = [](QWidget* owner, const QString& text) { ShowMessageText(owner, text, MsgError); };
    questions.showNotice = [](QWidget* owner, const QString& text) { ShowMessageText(owner, text, MsgInformation); };
    return questions;
}

TFileOperationDialog::TFileOperationDialog(QWidget* owner, uint32_t operation, const QString& title, bool simple)
    : QDialog(owner), m_simple(simple)
{
    setWindowTitle(title.isEmpty() ? UiString(kStrOperationCaption) : title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    int caption = kStrCopying;
    if (operation == FO_MOVE)
        caption = kStrMoving;
    else if (operation == FO_DELETE)
        caption = kStrDeleting;
    else if (operation == FO_RENAME)
        caption = kStrRenaming;
    layout->addWidget(new QLabel(simple && !title.isEmpty() ? title : UiString(caption), this));
    m_current = new QLabel(this);
    m_current->setMinimumWidth(360);
    m_current->setTextFormat(Qt::PlainText);
    layout->addWidget(m_current);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 0);
    layout->addWidget(m_bar);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(UiString(kStrCancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &TFileOperationDialog::reject);
    layout->addWidget(buttons);

    m_showTimer = new QTimer(this);
    m_showTimer->setSingleShot(true);
    connect(m_showTimer, &QTimer::timeout, this, &QWidget::show);
    m_showTimer->start(kShowDelayMs);
}

void TFileOperationDialog::reject()
{
    // The operation ends at its next checkpoint and closes this window itself.
    m_cancel->store(true);
}

void TFileOperationDialog::Begin(uint64_t totalBytes, uint64_t totalEntries)
{
    m_totalBytes = totalBytes;
    m_totalEntries = totalEntries;
    if (totalBytes > 0)
        m_bar->setRange(0, int(totalBytes / kBarUnit) + 1);
    else if (totalEntries > 0)
        m_bar->setRange(0, int(std::min<uint64_t>(totalEntries, INT32_MAX)));
    m_bar->setValue(0);
}

void TFileOperationDialog::SetProgress(uint64_t doneBytes, const std::string& nativeCurrent)
{
    if (nativeCurrent != m_lastEntry) {
        m_lastEntry = nativeCurrent;
        ++m_entriesSeen;
        if (!m_simple)
            m_current->setText(DisplayPath(nativeCurrent));
    }
    if (m_totalBytes > 0)
        m_bar->setValue(int(std::min(doneBytes, m_totalBytes) / kBarUnit));
    else if (m_totalEntries > 0)
        m_bar->setValue(int(std::min(m_entriesSeen, m_totalEntries)));
}

QString TFileOperationDialog::DisplayPath(const std::string& nativePath)
{
    // A share's entry in the form the user knows from the address box and the tree.
    if (IsSmbNative(nativePath))
        return QString::fromStdString(UncFromSmbNative(nativePath));
    const std::string windows = WindowsPath(nativePath);
    return QString::fromStdString(windows.empty() ? nativePath : windows);
}

QString TFileOperationDialog::ErrorText(const FileOperationOutcome& outcome)
{
    if (outcome.code == 0 || outcome.aborted)
        return {};
    QString reason;
    if (outcome.code == FileOpDestinationInside)
        reason = UiString(kStrInside);
    else if (outcome.code == FileOpSameFile)
        reason = UiString(kStrSameFile);
    else
        reason = QString::fromStdString(Win32MessageText(outcome.code));
    return UiString(kStrFailed).arg(DisplayPath(outcome.failedPath), reason);
}

QString TFileOperationDialog::NotKeptText(const FileOperationOutcome& outcome)
{
    if (outcome.notKeptCount == 0)
        return {};
    QStringList lines;
    for (const FileOpNotKept& item : outcome.notKept)
        lines << UiString(item.what == FileOpNotKept::Dates ? kStrDatesNotKept : kStrModeNotKept)
                     .arg(DisplayPath(item.path), QString::fromStdString(Win32MessageLine(item.code)));
    if (outcome.notKeptCount > outcome.notKept.size())
        lines << UiString(kStrMoreNotKept).arg(outcome.notKeptCount - outcome.notKept.size());
    return UiString(kStrNotKept).arg(lines.join("\r\n"));
}
