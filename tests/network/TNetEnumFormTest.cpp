// The expansion window against an smbd of the test's own on loopback: a computer and a
// share expanded into a tree, the logon loop with stored and typed passwords, and every way
// the window can end leaving the node idle and expandable and the task list clean.
#include "app/SetupInfo.h"
#include "local/ForceStopEvent.h"
#include "local/TThreadForm.h"
#include "network/NetPassword.h"
#include "local/TWorkerThread.h"
#include "network/TNetEnumForm.h"
#include "network/TPassForm.h"
#include "network/NetDiscovery.h"
#include "platform/DriveMap.h"
#include "platform/NetResource.h"
#include "store/NodeFile.h"
#include "support/TempFolder.h"
#include "platform/SmbContext.h"
#include "store/NodeTree.h"
#include "support/SmbTestServer.h"
#include "support/TempConfig.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

namespace {

class NetEnumFormTest : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        if (HasFatalFailure())
            return;
        SetupInfo = TSetupInfo();
        SetupInfo.AutoHide = true;
        m_tasks = std::make_unique<TThreadForm>();
        ThreadForm = m_tasks.get();
        m_tasks->OnTasksChanged = [this] { m_mostTasks = std::max(m_mostTasks, m_tasks->TaskCount()); };
        UseNetPasswordsForSmb();
    }

    void TearDown() override
    {
        SmbCredentials::setFallback(nullptr);
        // Abandoned workers end by themselves; the tree they were given stays until they have.
        EXPECT_TRUE(workersEnded());
        ThreadForm = nullptr;
        m_tasks.reset();
        FreeNodeTree(m_tree.invisibleRootItem());
        SmbServerTest::TearDown();
    }

    QTreeWidgetItem* addNode(const std::string& remoteName, uint16_t attributes)
    {
        auto* node = new QTreeWidgetItem(&m_tree);
        auto* data = new TNodeData;
        data->RootKind = ExpandedRoot;
        data->NodeAttributes = attributes;
        data->Host = "127.0.0.1";
        data->RemoteName = remoteName;
        data->Caption = remoteName;
        data->DisplayType = int32_t(attributes & Computer ? netres::DisplayServer : netres::DisplayShare);
        data->Usage = int32_t(netres::UsageContainer);
        data->State = Idle;
        ShowNodeData(data, node);
        AddPlaceholderChild(node);
        return node;
    }
    QTreeWidgetItem* computer() { return addNode("\\\\127.0.0.1\\", Computer | Container); }
    QTreeWidgetItem* share(const char* name) { return addNode(std::string("\\\\127.0.0.1\\") + name + "\\", Share | Folder); }

    // As the main window hands a node over: children cleared, Expanded set.
    TNetEnumForm* start(QTreeWidgetItem* node, bool realPrompt = false)
    {
        ClearNodeChildren(node);
        GetNodeData(node)->State |= Expanded;
        auto* form = new TNetEnumForm;
        form->OnFinished = [this](TNetEnumForm*) { ++m_finished; };
        form->ShowError = [this](const QString& text) { m_errors << text; };
        form->ShowInformation = [this](const QString& text) { m_informations << text; };
        form->AskQuestion = [this](const QString& text) {
            m_questions << text;
            return m_answer;
        };
        if (!realPrompt)
            form->AskCredentials = [this](const std::string& location, std::string& user, std::string& password,
                                      bool& remember) {
            m_prompts.push_back({location, user, password});
            if (m_typed.empty())
                return false;
            user = m_typed.front().user;
            password = m_typed.front().password;
            remember = true;
            m_typed.erase(m_typed.begin());
            return true;
        };
        m_form = form;
        form->StartEnum(node, m_updateAllowed, m_updateRunning);
        if (TWorkerThread* worker = form->worker())
            m_workers << worker;
        return form;
    }
    /// Runs events until every worker the windows started has ended.
    bool workersEnded()
    {
        return wait([this] {
            for (const QPointer<TWorkerThread>& worker : m_workers)
                if (worker)
                    return false;
            return true;
        }, 30000);
    }

    static bool wait(const std::function<bool()>& done, int ms = 8000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > ms)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return true;
    }
    bool waitClosed() { return wait([this] { return m_form.isNull(); }); }

    static QStringList captions(const QTreeWidgetItem* node)
    {
        QStringList texts;
        for (int i = 0; i < node->childCount(); ++i)
            texts << node->child(i)->text(0);
        return texts;
    }
    // Idle, not expanded, one placeholder: the node can be expanded again.
    static void expectExpandable(QTreeWidgetItem* node)
    {
        const TNodeData* data = GetNodeData(node);
        EXPECT_TRUE(data->State & Idle);
        EXPECT_FALSE(data->State & Expanded);
        ASSERT_EQ(node->childCount(), 1);
        EXPECT_EQ(GetNodeData(node->child(0)), nullptr);
    }

    struct Credentials {
        std::string location, user, password;
    };

    TempConfig m_config;
    QTreeWidget m_tree;
    std::unique_ptr<TThreadForm> m_tasks;
    QPointer<TNetEnumForm> m_form;
    QList<QPointer<TWorkerThread>> m_workers;
    bool m_updateAllowed = true;
    bool m_updateRunning = false;
    bool m_answer = true;
    int m_finished = 0;
    int m_mostTasks = 0;
    QStringList m_errors, m_informations, m_questions;
    std::vector<Credentials> m_prompts, m_typed;
};

TEST_F(NetEnumFormTest, ExpandsAComputerIntoSharesAndAShareIntoFolders)
{
    QTreeWidgetItem* pc = computer();
    start(pc);
    EXPECT_FALSE(GetNodeData(pc)->State & Idle);
    EXPECT_EQ(m_tasks->TaskCount(), 1);
    EXPECT_FALSE(m_form->isVisible());  // AutoHide
    ASSERT_TRUE(waitClosed());
    // The hidden share is left out; the others come sorted, each expandable.
    QStringList shares = captions(pc);
    EXPECT_EQ(shares.size(), 2) << shares.join(',').toStdString();
    EXPECT_TRUE(shares.contains(QStringLiteral("公開")) && shares.contains(QStringLiteral("私人")));
    for (int i = 0; i < pc->childCount(); ++i) {
        const TNodeData* data = GetNodeData(pc->child(i));
        EXPECT_TRUE(data->has(Share) && data->has(Folder));
        EXPECT_EQ(data->ImageIndex, 0);
        EXPECT_EQ(data->SelectedIndex, 1);
        EXPECT_EQ(data->RemoteName, "\\\\127.0.0.1\\" + pc->child(i)->text(0).toStdString() + "\\");
        EXPECT_EQ(pc->child(i)->childCount(), 1);
    }
    EXPECT_EQ(GetNodeData(pc)->State & (Expanded | Idle), Expanded | Idle);
    EXPECT_EQ(m_finished, 1);
    EXPECT_EQ(m_tasks->TaskCount(), 0);
    EXPECT_TRUE(m_updateAllowed);
    EXPECT_TRUE(m_errors.isEmpty() && m_informations.isEmpty());

    for (const char* folder : {"乙", "甲", "甲/深"})
        std::filesystem::create_directories(s_server->folder("public") + "/樹/" + folder);
    std::ofstream(s_server->folder("public") + "/樹/檔案.txt") << "x";
    QTreeWidgetItem* tree = share("公開\\樹");
    start(tree);
    ASSERT_TRUE(waitClosed());
    EXPECT_EQ(captions(tree), (QStringList{QStringLiteral("乙"), QStringLiteral("甲")}));
    const TNodeData* first = GetNodeData(tree->child(1));
    EXPECT_EQ(first->RemoteName, "\\\\127.0.0.1\\公開\\樹\\甲\\");
    EXPECT_TRUE(first->has(Folder));
    EXPECT_EQ(first->RootKind, ExpandedRoot);
    EXPECT_EQ(tree->child(1)->childCount(), 1);
    EXPECT_EQ(m_mostTasks, 1);
}

TEST_F(NetEnumFormTest, AWrongStoredPasswordBringsThePromptBackUntilARightOneIsTyped)
{
    std::filesystem::create_directories(s_server->folder("private-share") + "/祕密");
    StoreNetPassword("\\\\127.0.0.1\\私人\\", "root", "stored-wrong");
    m_typed = {{"", "root", "typed-wrong"}, {"", "root", SmbTestServer::Password}};
    QTreeWidgetItem* node = share("私人");
    start(node);
    ASSERT_TRUE(waitClosed());
    // First pre-filled from the store, then with what was typed last.
    ASSERT_EQ(m_prompts.size(), 2u);
    EXPECT_EQ(m_prompts[0].location, "\\\\127.0.0.1\\私人\\");
    EXPECT_EQ(m_prompts[0].password, "stored-wrong");
    EXPECT_EQ(m_prompts[1].password, "typed-wrong");
    // The failed typed logon is logged and, with the task list hidden, shown.
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].startsWith(QStringLiteral("\\\\127.0.0.1\\私人\\\r\n"))) << m_errors[0].toStdString();
    EXPECT_TRUE(m_tasks->LogMemo->toPlainText().contains(QStringLiteral("私人\\:"))) << m_tasks->LogMemo->toPlainText().toStdString();
    EXPECT_EQ(captions(node), QStringList{QStringLiteral("祕密")});
    std::string user, password;
    ASSERT_TRUE(LookupNetPassword("\\\\127.0.0.1\\私人\\", user, password));
    EXPECT_EQ(password, SmbTestServer::Password);
    // The restart after the logon kept one row for the window, and none is left.
    EXPECT_EQ(m_mostTasks, 1);
    EXPECT_EQ(m_tasks->TaskCount(), 0);

    // Now the stored password is right: no prompt at all.
    SmbCredentials::clear();
    m_prompts.clear();
    QTreeWidgetItem* again = share("私人");
    start(again);
    ASSERT_TRUE(waitClosed());
    EXPECT_TRUE(m_prompts.empty());
    EXPECT_EQ(captions(again), QStringList{QStringLiteral("祕密")});
}

TEST_F(NetEnumFormTest, ACancelledPromptLeavesTheShareExpandable)
{
    QTreeWidgetItem* node = share("私人");
    start(node);
    ASSERT_TRUE(waitClosed());
    EXPECT_EQ(m_prompts.size(), 1u);
    expectExpandable(node);
    EXPECT_EQ(m_tasks->TaskCount(), 0);
}

TEST_F(NetEnumFormTest, CancelAsksAndOnlyYesStopsTheExpansion)
{
    QTreeWidgetItem* pc = computer();
    m_answer = false;
    start(pc)->close();
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_TRUE(m_questions[0].endsWith(QStringLiteral("確定要中斷?")));
    ASSERT_TRUE(waitClosed());
    EXPECT_EQ(pc->childCount(), 2);  // No: the expansion went on

    QTreeWidgetItem* other = computer();
    m_answer = true;
    start(other)->close();
    ASSERT_TRUE(waitClosed());
    expectExpandable(other);
    EXPECT_EQ(m_tasks->TaskCount(), 0);
    EXPECT_TRUE(m_updateAllowed);
    // The abandoned worker ends later and reaches nothing.
    ASSERT_TRUE(workersEnded());
    expectExpandable(other);
    // And the node expands as before.
    start(other);
    ASSERT_TRUE(waitClosed());
    EXPECT_EQ(other->childCount(), 2);
}

TEST_F(NetEnumFormTest, ForceStopAbandonsTheWorkerAlsoInsideTheLogonPrompt)
{
    QTreeWidgetItem* pc = computer();
    QEvent stop(ForceStopEventType());
    QApplication::sendEvent(start(pc), &stop);
    ASSERT_TRUE(waitClosed());
    expectExpandable(pc);
    EXPECT_EQ(m_tasks->TaskCount(), 0);
    EXPECT_TRUE(m_questions.isEmpty());
    ASSERT_TRUE(workersEnded());
    expectExpandable(pc);

    // A stop from the task list while the prompt is up: the typed answer is not used.
    m_typed = {{"", "root", SmbTestServer::Password}};
    QTreeWidgetItem* node = share("私人");
    TNetEnumForm* form = start(node);
    auto ask = form->AskCredentials;
    form->AskCredentials = [form, ask](const std::string& location, std::string& user, std::string& password,
                                       bool& remember) {
        QEvent inner(ForceStopEventType());
        QApplication::sendEvent(form, &inner);
        return ask(location, user, password, remember);
    };
    ASSERT_TRUE(waitClosed());
    expectExpandable(node);
    EXPECT_EQ(m_tasks->TaskCount(), 0);
    std::string user, password;
    EXPECT_FALSE(LookupNetPassword("\\\\127.0.0.1\\私人\\", user, password));
}

TEST_F(NetEnumFormTest, ThePasswordDialogComesPrefilledAndWhatWorkedIsStored)
{
    StoreNetPassword("\\\\127.0.0.1\\私人\\", "root", "old");
    QString shownLocation, shownUser, shownPassword, shownReason;
    // The dialog runs modally: fill it from inside its own event loop.
    std::function<void()> answer = [&] {
        TPassForm* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* candidate = qobject_cast<TPassForm*>(widget); candidate && candidate->isVisible())
                dialog = candidate;
        if (!dialog) {
            QTimer::singleShot(20, answer);
            return;
        }
        shownLocation = dialog->ComputerEdit->text();
        shownUser = dialog->UserNameEdit->text();
        shownPassword = dialog->PasswordEdit->text();
        shownReason = dialog->ReasonLabel->text();
        dialog->PasswordEdit->setText(QString::fromUtf8(SmbTestServer::Password));
        dialog->RecordCheckBox->setChecked(true);
        dialog->BitBtn1->click();
    };
    QTimer::singleShot(20, answer);
    QTreeWidgetItem* node = share("私人");
    start(node, true);
    ASSERT_TRUE(waitClosed());
    EXPECT_EQ(shownLocation, QStringLiteral("\\\\127.0.0.1\\私人\\"));
    EXPECT_EQ(shownUser, QStringLiteral("root"));
    EXPECT_EQ(shownPassword, QStringLiteral("old"));
    // The stored password was refused: the prompt says so, for this share.
    EXPECT_EQ(shownReason, QStringLiteral("\\\\127.0.0.1\\私人 需要密碼才能連線：伺服器拒絕了目前的登入。"));
    std::string user, password;
    ASSERT_TRUE(LookupNetPassword("\\\\127.0.0.1\\私人\\", user, password));
    EXPECT_EQ(password, SmbTestServer::Password);
    EXPECT_EQ(GetNodeData(node)->State & (Expanded | Idle), Expanded | Idle);
}

// A computer whose name loses its brackets to ".." cannot name its cache folder: it alone is
// refused and logged, and the workgroup's other computers are shown and stored as usual.
TEST_F(NetEnumFormTest, AComputerWhoseKeyCannotNameAFolderIsRefusedAloneAndLogged)
{
    TempFolder scratch;
    const std::string browse = scratch.path("browse");
    scratch.writeFile("browse",
        "#!/bin/sh\n"
        "case \"$4\" in\n"
        "--workgroups) echo '{\"type\": \"workgroup\", \"name\": \"WG\"}';;\n"
        "--workgroup) for pc in GOOD '(..)' OTHER; do\n"
        "  echo \"{\\\"type\\\": \\\"computer\\\", \\\"name\\\": \\\"$pc\\\", \\\"workgroup\\\": \\\"WG\\\", \\\"address\\\": \\\"\\\"}\"; done;;\n"
        "esac\n"
        "echo '{\"type\": \"done\"}'\n");
    std::filesystem::permissions(browse, std::filesystem::perms::owner_all);
    SetupInfo.AutoCache = true;

    auto* node = new QTreeWidgetItem(&m_tree);
    auto* group = new TNodeData;
    group->RootKind = NetRoot;
    group->NodeAttributes = Domain | Container;
    group->DisplayType = int32_t(netres::DisplayDomain);
    group->Usage = int32_t(netres::UsageContainer);
    group->RemoteName = group->Caption = group->Host = group->Key = "WG";
    group->StoreDir = WindowsPath(scratch.path()) + "\\";
    group->State = Expanded | Idle;
    ShowNodeData(group, node);
    auto* form = new TNetEnumForm;
    form->ShowError = [this](const QString& text) { m_errors << text; };
    form->ShowInformation = [this](const QString& text) { m_informations << text; };
    form->DiscoveryWaitMs = 1000;
    form->BrowseProgram = browse;
    // NetBIOS through the script alone: nothing goes out to the machine's networks.
    form->DiscoverySources = discovery::NetBios;
    m_form = form;
    form->StartEnum(node, m_updateAllowed, m_updateRunning);
    ASSERT_TRUE(waitClosed());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    EXPECT_EQ(captions(node), (QStringList{"GOOD", "OTHER"}));
    TNodeList stored;
    LoadNodeFile(group->StoreDir + "WG\\", stored, true);
    QStringList keys;
    for (const auto& record : stored)
        keys << QString::fromStdString(record->Key);
    EXPECT_EQ(keys, (QStringList{"GOOD", "OTHER"}));
    const QString log = m_tasks->LogMemo->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral("(..)")) && log.contains(QStringLiteral("拒絕不安全的名稱")))
        << log.toStdString();
}

} // namespace
