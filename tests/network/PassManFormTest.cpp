// The password manager through its real dialogs offscreen, each change checked in the
// registry file itself.
#include "network/TPassManForm.h"

#include "network/NetPassword.h"
#include "network/TPassForm.h"
#include "platform/RegistryStore.h"
#include "store/DialogDriver.h"
#include "support/TempConfig.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Answers the modal dialogs of one step in the order they come up, the prompt and the
// message boxes after it alike. A dialog that nobody expected, or one a step left open for
// seconds, is cancelled and fails the test; an expected one that never came fails it when
// the script ends.
class DialogScript {
public:
    DialogScript()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    ~DialogScript() { EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " dialogs never came up"; }

    template <class Dialog>
    DialogScript& then(std::function<void(Dialog&)> handle)
    {
        m_steps.push_back([handle](QWidget& shown) {
            auto* dialog = qobject_cast<Dialog*>(&shown);
            if (!dialog)
                return false;
            handle(*dialog);
            return true;
        });
        return *this;
    }

private:
    void poll()
    {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal)
            return;
        if (std::find(m_handled.begin(), m_handled.end(), modal) != m_handled.end()) {
            if (m_sinceHandled.elapsed() > 5000) {
                ADD_FAILURE() << "left open: " << modal->windowTitle().toStdString();
                modal->reject();
            }
            return;
        }
        m_handled.emplace_back(modal);
        m_sinceHandled.start();
        std::function<bool(QWidget&)> step;
        if (!m_steps.empty()) {
            step = std::move(m_steps.front());
            m_steps.pop_front();
        }
        if (!step || !step(*modal)) {
            ADD_FAILURE() << "unexpected dialog: " << modal->windowTitle().toStdString();
            modal->reject();
        }
    }

    std::deque<std::function<bool(QWidget&)>> m_steps;
    std::vector<QPointer<QDialog>> m_handled;
    QElapsedTimer m_sinceHandled;
    QTimer m_timer;
};

// Fills the prompt and confirms it; `seen` looks at what it showed first.
std::function<void(TPassForm&)> fill(const QString& location, const QString& user, const QString& password,
                                     std::function<void(TPassForm&)> seen = {})
{
    return [=](TPassForm& prompt) {
        if (seen)
            seen(prompt);
        prompt.ComputerEdit->selectAll();
        typeInto(prompt.ComputerEdit, location);
        prompt.UserNameEdit->selectAll();
        typeInto(prompt.UserNameEdit, user);
        if (!password.isEmpty())
            typeInto(prompt.PasswordEdit, password);
        prompt.BitBtn1->click();
    };
}

std::function<void(QMessageBox&)> press(QMessageBox::StandardButton button, QString* text = nullptr)
{
    return [=](QMessageBox& box) {
        if (text)
            *text = box.text();
        box.button(button)->click();
    };
}

class PassManFormTest : public ::testing::Test {
protected:
    // The store's values as the file holds them, in the file's order.
    Entries stored() const
    {
        std::ifstream in(m_config.registryFile());
        std::stringstream text;
        text << in.rdbuf();
        std::vector<RegKey> keys;
        std::string error;
        EXPECT_TRUE(RegistryStore::parse(text.str(), keys, &error)) << error;
        Entries entries;
        for (const RegKey& key : keys)
            if (RegistryStore::foldCase(key.path) == RegistryStore::foldCase(NetPasswordKey.substr(1)))
                for (const RegValue& value : key.values)
                    entries.emplace_back(value.name, value.text);
        return entries;
    }

    static void seed(const Entries& entries)
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey(NetPasswordKey, true));
        for (const auto& [name, data] : entries)
            registry.writeString(name, data);
        ASSERT_TRUE(registry.flush());
    }

    struct Row {
        std::string location, user, shown, password;
        bool operator==(const Row&) const = default;
    };
    static std::vector<Row> rows(const TPassManForm& form)
    {
        std::vector<Row> result;
        for (int k = 0; k < form.PassListView->topLevelItemCount(); k++) {
            const QTreeWidgetItem* row = form.PassListView->topLevelItem(k);
            result.push_back({row->text(0).toStdString(), row->text(1).toStdString(), row->text(2).toStdString(),
                              row->data(2, TPassManForm::PasswordRole).toString().toStdString()});
        }
        return result;
    }

    void select(TPassManForm& form, int row) { form.PassListView->setCurrentItem(form.PassListView->topLevelItem(row)); }

    TempConfig m_config;
};

TEST_F(PassManFormTest, ListsEveryValueInTheStoresOrderWithTheMask)
{
    seed({{"\\\\SRV\\公用\\", "alice;a;b;c"}, {"\\\\OLD", "no separator"}, {"\\\\SRV", "bob;"},
          {"\\\\LONG", "carol;" + std::string(40, 'x')}});
    TPassManForm form;
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("密碼管理員"));
    EXPECT_EQ(form.PageControl->tabText(0), QStringLiteral("網芳密碼"));
    EXPECT_EQ(form.PassListView->header()->sectionSize(2), 75);
    const std::vector<Row> expected = {{"\\\\SRV\\公用\\", "alice", "*****", "a;b;c"},
                                       {"\\\\OLD", "", "*****", ""},
                                       {"\\\\SRV", "bob", "*****", ""},
                                       {"\\\\LONG", "carol", "*****", std::string(40, 'x')}};
    EXPECT_EQ(rows(form), expected);
    // The connection code still sees the one without a separator as no entry.
    std::string user, password;
    EXPECT_FALSE(LookupNetPassword("\\\\OLD", user, password));
}

TEST_F(PassManFormTest, AddStoresTheEntryAndReplacesOneOfTheSameLocation)
{
    seed({{"\\\\SRV\\A\\", "old;pw"}});
    TPassManForm form;
    form.show();
    bool remembered = false;
    QString shownLocation = QStringLiteral("unset");
    {
        DialogScript script;
        script.then<TPassForm>(fill(QStringLiteral("\\\\新電腦\\共用\\"), QStringLiteral("使用者"), QStringLiteral("密;碼"),
                                    [&](TPassForm& prompt) {
                                        remembered = prompt.RecordCheckBox->isChecked();
                                        shownLocation = prompt.ComputerEdit->text();
                                    }));
        form.BitBtn4->click();
    }
    EXPECT_TRUE(remembered);
    EXPECT_EQ(shownLocation, QString());
    {
        // The same location in other ASCII case is the same value: its row is updated, not doubled.
        DialogScript script;
        script.then<TPassForm>(fill(QStringLiteral("\\\\srv\\a\\"), QStringLiteral("new"), QStringLiteral("x")));
        form.BitBtn4->click();
    }
    EXPECT_EQ(stored(), (Entries{{"\\\\SRV\\A\\", "new;x"}, {"\\\\新電腦\\共用\\", "使用者;密;碼"}}));
    EXPECT_EQ(rows(form), (std::vector<Row>{{"\\\\srv\\a\\", "new", "*****", "x"},
                                            {"\\\\新電腦\\共用\\", "使用者", "*****", "密;碼"}}));
    struct stat st {};
    ASSERT_EQ(stat(m_config.registryFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PassManFormTest, EditWithoutRetypingStoresAnEmptyPasswordAndCanMoveTheEntry)
{
    seed({{"\\\\A", "anna;secret"}, {"\\\\B", "ben;pw"}, {"\\\\C", "cid;pw"}});
    TPassManForm form;
    form.show();
    select(form, 0);
    QString shownUser, shownPassword, shownLocation;
    {
        DialogScript script;
        script.then<TPassForm>(fill(QStringLiteral("\\\\A"), QStringLiteral("anna"), QString(), [&](TPassForm& prompt) {
            shownUser = prompt.UserNameEdit->text();
            shownPassword = prompt.PasswordEdit->text();
            shownLocation = prompt.ComputerEdit->text();
        }));
        form.BitBtn1->click();
    }
    EXPECT_EQ(shownUser, QStringLiteral("anna"));
    EXPECT_EQ(shownPassword, QString());
    EXPECT_EQ(shownLocation, QStringLiteral("\\\\A"));
    // The same location is deleted and written again: it moves to the end of the key.
    EXPECT_EQ(stored(), (Entries{{"\\\\B", "ben;pw"}, {"\\\\C", "cid;pw"}, {"\\\\A", "anna;"}}));
    EXPECT_EQ(rows(form)[0], (Row{"\\\\A", "anna", "*****", ""}));

    {
        // A double click edits too; a new location moves the entry and leaves no old value.
        DialogScript script;
        script.then<TPassForm>(fill(QStringLiteral("\\\\D\\新\\"), QStringLiteral("dora"), QStringLiteral("pw2")));
        QTreeWidgetItem* b = form.PassListView->topLevelItem(1);
        form.PassListView->setCurrentItem(b);
        emit form.PassListView->itemDoubleClicked(b, 0);
    }
    EXPECT_EQ(stored(), (Entries{{"\\\\C", "cid;pw"}, {"\\\\A", "anna;"}, {"\\\\D\\新\\", "dora;pw2"}}));
    EXPECT_EQ(rows(form)[1], (Row{"\\\\D\\新\\", "dora", "*****", "pw2"}));

    {
        // Moved onto another entry's location: that entry is replaced (the store keeps its
        // name's case and place) and its row goes.
        select(form, 2);
        DialogScript script;
        script.then<TPassForm>(fill(QStringLiteral("\\\\a"), QStringLiteral("cid"), QStringLiteral("z")));
        form.BitBtn1->click();
    }
    EXPECT_EQ(stored(), (Entries{{"\\\\A", "cid;z"}, {"\\\\D\\新\\", "dora;pw2"}}));
    EXPECT_EQ(rows(form), (std::vector<Row>{{"\\\\D\\新\\", "dora", "*****", "pw2"}, {"\\\\a", "cid", "*****", "z"}}));
}

TEST_F(PassManFormTest, CancelledPromptsAndRefusedEntriesChangeNothing)
{
    seed({{"\\\\A", "anna;secret"}});
    TPassManForm form;
    form.show();
    select(form, 0);
    {
        DialogScript script;
        script.then<TPassForm>([](TPassForm& prompt) { prompt.BitBtn2->click(); });
        form.BitBtn1->click();
    }
    {
        // An entry without a location could never be used: it is refused with a message.
        DialogScript script;
        QString title;
        script.then<TPassForm>(fill(QString(), QStringLiteral("nobody"), QStringLiteral("pw")))
            .then<QMessageBox>([&title](QMessageBox& box) {
                title = box.windowTitle();
                box.button(QMessageBox::Ok)->click();
            });
        form.BitBtn4->click();
        EXPECT_EQ(title, QStringLiteral("錯誤"));
    }
    {
        // A user name with ";" would split into another user: the prompt refuses it and
        // stays open until it is corrected.
        DialogScript script;
        bool stillOpen = false;
        script.then<TPassForm>([&stillOpen](TPassForm& prompt) {
                  prompt.UserNameEdit->selectAll();
                  typeInto(prompt.UserNameEdit, QStringLiteral("a;b"));
                  // Clicked from a timer of its own, so that the script answers the error box.
                  QTimer::singleShot(0, &prompt, [&stillOpen, &prompt] {
                      prompt.BitBtn1->click();
                      stillOpen = prompt.isVisible();
                      prompt.UserNameEdit->setText(QStringLiteral("ab"));
                      prompt.BitBtn1->click();
                  });
              })
            .then<QMessageBox>(press(QMessageBox::Ok));
        select(form, 0);
        form.BitBtn1->click();
        EXPECT_TRUE(stillOpen);
    }
    EXPECT_EQ(stored(), (Entries{{"\\\\A", "ab;"}}));
    EXPECT_EQ(rows(form).size(), 1u);
}

TEST_F(PassManFormTest, DeleteAsksAndOnlyYesRemoves)
{
    seed({{"\\\\A", "anna;secret"}, {"\\\\B", "ben;pw"}});
    TPassManForm form;
    form.show();
    {
        // Nothing selected: no question (the script fails on any dialog), nothing removed.
        DialogScript script;
        form.PassListView->clearSelection();
        form.BitBtn2->click();
    }
    for (auto [answer, left] : {std::pair{QMessageBox::No, size_t(2)}, std::pair{QMessageBox::Yes, size_t(1)}}) {
        select(form, 0);
        QString question;
        {
            DialogScript script;
            script.then<QMessageBox>(press(answer, &question));
            form.BitBtn2->click();
        }
        EXPECT_EQ(question, QStringLiteral("確定要刪除?"));
        EXPECT_EQ(stored().size(), left);
        EXPECT_EQ(rows(form).size(), left);
    }
    EXPECT_EQ(stored(), (Entries{{"\\\\B", "ben;pw"}}));
    form.BitBtn3->click();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
