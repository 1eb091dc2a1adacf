#pragma once
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabBar>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWidget>
#include <QWizard>
#include <QWizardPage>

// Finds the Chinese left in a window shown in English: every text the user can read on
// the window and on all its widgets, shown or on a page not shown yet.
inline bool HasHan(const QString& text)
{
    for (const QChar c : text)
        if ((c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF) || (c.unicode() >= 0xF900 && c.unicode() <= 0xFAFF))
            return true;
    return false;
}

class HanTextWalk {
public:
    /// Texts that stay as they are in every language (the language box names each language
    /// in its own words).
    explicit HanTextWalk(QStringList allowed = {QStringLiteral("中文")}) : m_allowed(std::move(allowed)) {}

    /// "Class objectName: text" for each text of `window` that holds a Han character.
    QStringList operator()(const QWidget* window)
    {
        m_found.clear();
        note(window, window->windowTitle());
        visit(window);
        for (const QWidget* widget : window->findChildren<QWidget*>())
            visit(widget);
        return m_found;
    }

private:
    void note(const QObject* where, const QString& text)
    {
        if (HasHan(text) && !m_allowed.contains(text))
            m_found << QString::fromLatin1(where->metaObject()->className()) + QLatin1Char(' ') + where->objectName()
                           + QStringLiteral(": ") + text;
    }

    void visitActions(const QWidget* widget)
    {
        for (const QAction* action : widget->actions()) {
            note(widget, action->text());
            note(widget, action->toolTip());
        }
    }

    void visit(const QWidget* widget)
    {
        note(widget, widget->toolTip());
        visitActions(widget);
        if (auto* label = qobject_cast<const QLabel*>(widget))
            note(label, label->text());
        if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            note(button, button->text());
        if (auto* group = qobject_cast<const QGroupBox*>(widget))
            note(group, group->title());
        if (auto* tabs = qobject_cast<const QTabBar*>(widget))
            for (int i = 0; i < tabs->count(); ++i) {
                note(tabs, tabs->tabText(i));
                note(tabs, tabs->tabToolTip(i));
            }
        if (auto* edit = qobject_cast<const QLineEdit*>(widget))
            note(edit, edit->placeholderText());
        if (auto* combo = qobject_cast<const QComboBox*>(widget))
            for (int i = 0; i < combo->count(); ++i)
                note(combo, combo->itemText(i));
        if (auto* text = qobject_cast<const QPlainTextEdit*>(widget))
            note(text, text->toPlainText());
        if (auto* text = qobject_cast<const QTextEdit*>(widget))
            note(text, text->toPlainText());
        if (auto* bar = qobject_cast<const QStatusBar*>(widget))
            note(bar, bar->currentMessage());
        if (auto* page = qobject_cast<const QWizardPage*>(widget)) {
            note(page, page->title());
            note(page, page->subTitle());
        }
        if (auto* wizard = qobject_cast<const QWizard*>(widget))
            for (auto which : {QWizard::BackButton, QWizard::NextButton, QWizard::FinishButton, QWizard::CancelButton})
                note(wizard, wizard->buttonText(which));
        if (auto* view = qobject_cast<const QAbstractItemView*>(widget); view && view->model()) {
            const QAbstractItemModel* model = view->model();
            for (int column = 0; column < model->columnCount(); ++column)
                note(view, model->headerData(column, Qt::Horizontal).toString());
        }
        if (auto* tree = qobject_cast<const QTreeWidget*>(widget))
            for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(tree)); *it; ++it)
                for (int column = 0; column < (*it)->columnCount(); ++column)
                    note(tree, (*it)->text(column));
        if (auto* list = qobject_cast<const QListWidget*>(widget))
            for (int i = 0; i < list->count(); ++i)
                note(list, list->item(i)->text());
    }

    QStringList m_allowed;
    QStringList m_found;
};
