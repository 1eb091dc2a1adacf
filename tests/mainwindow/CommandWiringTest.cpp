#include <gtest/gtest.h>

#include "FormFixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include <iostream>
#include <memory>
#include <utility>
#include <set>
#include <string>

namespace {

// Counts the receivers of a signal. `receivers` is protected; taking its address through a
// derived class is the legal way to call it on any object.
struct ReceiverCount : QObject {
    static int of(const QObject* object, const char* signal)
    {
        int (QObject::*count)(const char*) const = &ReceiverCount::receivers;
        return (object->*count)(signal);
    }
};

// Entries whose command is not built yet. This list is the work list: the test fails when an
// entry not on it is dead, and when an entry on it has been wired (so it leaves the list).
const std::set<std::string> kNotYetWired = {
};

// Special folders only Windows has. They may stay dead, but only disabled and with a hint
// saying why.
const std::set<std::string> kWindowsOnly = {"N56", "Intern1", "N49", "N74", "N75", "N41", "N46", "N55"};
// Entries that run a program of the desktop, which this machine may not have: the same rule.
const std::set<std::string> kDesktopTools = {"N37"};

class CommandWiringTest : public FormFixture {
protected:
    // Every command entry of `menu` and its submenus. A menu's own triggered signal does not
    // count: a tool button connects to the menu it drops down, whatever the entries do.
    void walk(const QMenu* menu)
    {
        for (const QAction* entry : menu->actions()) {
            if (entry->isSeparator())
                continue;
            if (entry->menu()) {
                walk(entry->menu());
                continue;
            }
            const std::string name = entry->objectName().toStdString();
            if ((kWindowsOnly.count(name) || kDesktopTools.count(name)) && !answers(entry)) {
                ++walked;
                seen.insert(entry->objectName().toStdString());
                EXPECT_FALSE(entry->isEnabled()) << entry->objectName().toStdString();
                EXPECT_FALSE(entry->statusTip().isEmpty()) << entry->objectName().toStdString() << " gives no reason";
                continue;
            }
            record(entry->objectName(), entry->text(), answers(entry));
        }
    }

    // Qt connects every menu an entry is added to to the entry's signals itself; only the
    // receivers beyond those are the program's.
    static bool answers(const QAction* entry)
    {
        static const auto [triggeredPerMenu, toggledPerMenu] = [] {
            QMenu menu;
            QAction* probe = menu.addAction(QStringLiteral("probe"));
            return std::pair{ReceiverCount::of(probe, SIGNAL(triggered(bool))),
                             ReceiverCount::of(probe, SIGNAL(toggled(bool)))};
        }();
        int menus = 0;
        for (const QObject* holder : entry->associatedObjects())
            menus += qobject_cast<const QMenu*>(holder) != nullptr;
        return ReceiverCount::of(entry, SIGNAL(triggered(bool))) > triggeredPerMenu * menus
            || ReceiverCount::of(entry, SIGNAL(toggled(bool))) > toggledPerMenu * menus;
    }

    void record(const QString& name, const QString& caption, bool wired)
    {
        ++walked;
        const std::string key = name.toStdString();
        seen.insert(key);
        if (wired) {
            EXPECT_EQ(kNotYetWired.count(key), 0u) << key << " is wired now; take it off the work list";
            return;
        }
        dead.push_back(key + " " + caption.toStdString());
        EXPECT_EQ(kNotYetWired.count(key), 1u) << key << " (" << caption.toStdString() << ") does nothing";
    }

    int walked = 0;
    std::set<std::string> seen;
    std::vector<std::string> dead;
};

} // namespace

TEST_F(CommandWiringTest, EveryMenuToolBarAndContextEntryAnswers)
{
    for (const QAction* top : form->menuBar()->actions())
        walk(top->menu());
    for (const QMenu* menu : {form->FolderTreeViewPopupMenu, form->LocalListPopupMenu, form->NetListPopupMenu,
                              form->FTPListPopupMenu})
        walk(menu);
    for (QToolBar* bar : {form->ToolBar1, form->ToolBar2}) {
        for (QAction* slot : bar->actions()) {
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(slot));
            // The hidden preview button is not offered to anyone.
            if (!button || !slot->isVisible())
                continue;
            const bool dropDownOnly = button->menu() && button->popupMode() == QToolButton::InstantPopup;
            record(button->objectName(), button->text(),
                   dropDownOnly || ReceiverCount::of(button, SIGNAL(clicked(bool))) > 0
                       || (button->defaultAction() && answers(button->defaultAction())));
            if (button->menu())
                walk(button->menu());
        }
    }

    // The walk must reach the whole window: a renamed entry would otherwise leave the list
    // unnoticed.
    EXPECT_GT(walked, 100);
    for (const std::string& name : kNotYetWired)
        EXPECT_EQ(seen.count(name), 1u) << name << " is on the work list but not in the window";
    std::cout << dead.size() << " of " << walked << " entries not wired yet:\n";
    for (const std::string& line : dead)
        std::cout << "  " << line << '\n';
}
