// The keys of the frequent commands. Menu entries carry their keys, so the menus show them;
// the commands that live on tool buttons or in context menus only get keys of the window.
// The File menu's delete, rename and properties act on what has the focus, so that a key
// pressed in the tree never acts on the list's selection.
#include "mainwindow/TMainForm.h"

#include "store/NodeTree.h"
#include "ui/TListView.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>

namespace {

struct EntryKeys {
    const char* name;
    QList<QKeySequence> keys;
};

} // namespace

void TMainForm::assignShortcuts()
{
    // F2 stays with the list's re-lay ("重新整理" of the View menu), so rename takes Shift+F2.
    const EntryKeys entries[] = {
        {"U1", {QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {"T3", {QKeySequence(Qt::CTRL | Qt::Key_X)}},
        {"C2", {QKeySequence(Qt::CTRL | Qt::Key_C)}},
        {"P1", {QKeySequence(Qt::CTRL | Qt::Key_V)}},
        {"A3", {QKeySequence(Qt::CTRL | Qt::Key_A)}},
        {"I1", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I)}},
        {"N1", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), QKeySequence(Qt::Key_F7)}},
        {"N3", {QKeySequence(Qt::Key_Delete)}},
        {"R1", {QKeySequence(Qt::SHIFT | Qt::Key_F2)}},
        {"C1", {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}},
        {"X1", {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        {"ML1", {QKeySequence(Qt::CTRL | Qt::Key_1)}},
        {"ML2", {QKeySequence(Qt::CTRL | Qt::Key_2)}},
        {"ML3", {QKeySequence(Qt::CTRL | Qt::Key_3)}},
        {"ML4", {QKeySequence(Qt::CTRL | Qt::Key_4)}},
        {"N28", {QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::Key_F3)}},
        {"T2", {QKeySequence(Qt::Key_F1)}},
        {"N99", {QKeySequence(Qt::CTRL | Qt::Key_D)}},
    };
    for (const EntryKeys& entry : entries) {
        QAction* action = findChild<QAction*>(QString::fromLatin1(entry.name));
        if (!action)
            continue;
        action->setShortcuts(entry.keys);
        // An entry of a tool button's drop-down answers its key only when the window holds
        // it too; for the menu bar's entries this changes nothing.
        addAction(action);
    }

    const std::pair<EntryKeys, void (TMainForm::*)()> windowKeys[] = {
        {{"GoBack", {QKeySequence(Qt::ALT | Qt::Key_Left)}}, &TMainForm::PriorToolButtonClick},
        {{"GoForward", {QKeySequence(Qt::ALT | Qt::Key_Right)}}, &TMainForm::NextToolButtonClick},
        {{"GoParent", {QKeySequence(Qt::ALT | Qt::Key_Up), QKeySequence(Qt::Key_Backspace)}},
         &TMainForm::goParentFolder},
        {{"GoAddress", {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F4)}}, &TMainForm::focusAddressBox},
        {{"Refresh", {QKeySequence(Qt::Key_F5)}}, &TMainForm::refreshFocused},
    };
    for (const auto& [keys, handler] : windowKeys) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(keys.name));
        action->setShortcuts(keys.keys);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    }
    // Enter opens the list's current item; its editor takes Enter itself while renaming.
    for (QAbstractItemView* view : FileListView->findChildren<QAbstractItemView*>())
        view->installEventFilter(this);
}

bool TMainForm::filterOpenKey(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    auto* view = qobject_cast<QAbstractItemView*>(watched);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    // While a caption is edited the editor has the focus, and the key is its own.
    if (view && enter && plain && view->hasFocus()) {
        OpenItem();
        return true;
    }
    return false;
}

void TMainForm::N3Click()
{
    if (treeHasFocus())
        DNDelClick();
    else
        N16Click();
}

void TMainForm::R1Click()
{
    if (!treeHasFocus() && firstSelectedRow() >= 0)
        M1Click();
    else
        DNRenameClick();
}

void TMainForm::C1Click()
{
    if (treeHasFocus())
        N39Click();
    else
        C4Click();
}

void TMainForm::goParentFolder()
{
    QTreeWidgetItem* node = m_shownNode ? m_shownNode : selectedNode();
    if (node && node->parent())
        FolderTreeView->setCurrentItem(node->parent());
}

void TMainForm::focusAddressBox()
{
    AddressComboBox->setFocus(Qt::ShortcutFocusReason);
    AddressComboBox->lineEdit()->selectAll();
}

void TMainForm::refreshFocused()
{
    const TNodeData* data = shownData();
    if (treeHasFocus())
        N34Click();
    else if (data && data->RootKind == FtpRoot)
        refreshFtpNode(m_shownNode);
    else
        N36Click();
}
