#include <gtest/gtest.h>

#include "local/ForceStopEvent.h"
#include "local/MessageBoxes.h"
#include "local/TThreadForm.h"
#include "local/TempTree.h"
#include "support/ScopedEnvironment.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

// Stand-ins for the two task window classes, kept to this file (the program has real ones
// of the same names): they count the stop messages they handle and,
// like the real ones, remove their task when they stop.
namespace {

class TNetEnumForm : public QWidget {
    Q_OBJECT
public:
    TThreadForm* list = nullptr;
    int taskId = 0;
    int stops = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == ForceStopEventType()) {
            ++stops;
            if (list)
                list->RemoveTask(taskId);
            return true;
        }
        return QWidget::event(e);
    }
};

class TFTPEnumForm : public TNetEnumForm {
    Q_OBJECT
};

class ThreadFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TAMSEL_CONFIG", m_tree.path("registry.reg").c_str(), 1);
        m_form = std::make_unique<TThreadForm>(nullptr, [this] { return m_look; });
        m_form->OnTasksChanged = [this] { m_changes.push_back(m_form->TaskCount()); };
        m_form->AskQuestion = [this](QWidget*, int number) {
            m_asked.push_back(number);
            return m_answer;
        };
    }

    void select(int row)
    {
        m_form->ThreadListView->topLevelItem(row)->setSelected(true);
    }

    TempTree m_tree;
    ScopedEnvironment m_env{"TAMSEL_CONFIG"};
    std::unique_ptr<TThreadForm> m_form;
    std::vector<int> m_changes;
    std::vector<int> m_asked;
    int m_answer = IdYes;
    TTaskListLook m_look;
};

} // namespace

TEST_F(ThreadFormTest, TaskIdsCountUpAndAreNeverReused)
{
    TNetEnumForm net;
    EXPECT_EQ(m_form->AddTask("SERVER1", QString::fromUtf8("網路芳鄰"), &net, QString::fromUtf8("正在連線")), 1);
    QTreeWidgetItem* row = m_form->ThreadListView->topLevelItem(0);
    EXPECT_EQ(row->text(0), "SERVER1");
    EXPECT_EQ(row->text(1), QString::fromUtf8("網路芳鄰"));
    EXPECT_FALSE(row->text(2).isEmpty());
    EXPECT_EQ(row->text(3), QString::fromUtf8("正在連線"));
    EXPECT_EQ(row->text(4), "1");
    m_form->RemoveTask(1);
    EXPECT_EQ(m_form->TaskCount(), 0);
    EXPECT_EQ(m_form->AddTask("SITE", "FTP", &net, "x"), 2);
    EXPECT_EQ(m_form->AddTask("SITE2", "FTP", &net, "x"), 3);
    m_form->RemoveTask(99);  // not listed: no row changes, the handler still runs
    EXPECT_EQ(m_form->TaskCount(), 2);
    EXPECT_EQ(m_changes, (std::vector<int>{1, 0, 1, 2, 2}));
    m_form->RemoveTask(2);
    EXPECT_EQ(m_form->ThreadListView->topLevelItem(0)->text(4), "3");
}

TEST_F(ThreadFormTest, StopAsksUntilAnsweredYesAndStopsOnlySelectedTaskWindows)
{
    TNetEnumForm net;
    TFTPEnumForm ftp;
    QWidget other;
    net.list = ftp.list = m_form.get();
    net.taskId = m_form->AddTask("NET", "n", &net, "s");
    ftp.taskId = m_form->AddTask("FTP", "f", &ftp, "s");
    m_form->AddTask("OTHER", "o", &other, "s");
    select(0);
    select(2);

    m_answer = IdNo;
    m_form->ToolButton5->click();
    EXPECT_EQ(m_asked, (std::vector<int>{33102}));
    EXPECT_EQ(net.stops, 0);
    EXPECT_TRUE(m_form->ConfirmStop);

    m_answer = IdYes;
    m_form->ToolButton5->click();
    EXPECT_EQ(m_asked.size(), 2u);
    EXPECT_EQ(net.stops, 1);  // handled before the click returned: sent, not posted
    EXPECT_EQ(ftp.stops, 0);
    EXPECT_FALSE(m_form->ConfirmStop);
    EXPECT_EQ(m_form->TaskCount(), 2);  // the stopped window removed its row

    m_form->ThreadListView->clearSelection();
    select(0);
    m_form->ToolButton5->click();
    EXPECT_EQ(m_asked.size(), 2u);  // never asked again in this run
    EXPECT_EQ(ftp.stops, 1);
}

TEST(ForceStopEvent, IsTheNumberTheTaskWindowsExpect)
{
    EXPECT_EQ(int(ForceStopEventType()), 32968);
    EXPECT_EQ(WM_FORCESTOP, 32968);
}

TEST_F(ThreadFormTest, StopAllTasksReachesEveryTaskWindow)
{
    TNetEnumForm net1, net2;
    TFTPEnumForm ftp;
    QWidget other;
    for (TNetEnumForm* w : {&net1, &net2, static_cast<TNetEnumForm*>(&ftp)}) {
        w->list = m_form.get();
        w->taskId = m_form->AddTask("T", "k", w, "s");
    }
    m_form->AddTask("OTHER", "o", &other, "s");
    {
        // A task window that is gone by now is skipped.
        TNetEnumForm gone;
        m_form->AddTask("GONE", "k", &gone, "s");
    }
    m_form->StopAllTasks();
    EXPECT_EQ(net1.stops + net2.stops + ftp.stops, 3);
    EXPECT_TRUE(m_asked.empty());
    EXPECT_EQ(m_form->TaskCount(), 2);
}

TEST_F(ThreadFormTest, ShowAndHideActOnSelectedTaskWindows)
{
    TNetEnumForm net;
    QWidget other;
    m_form->AddTask("NET", "n", &net, "s");
    m_form->AddTask("OTHER", "o", &other, "s");
    select(0);
    select(1);
    m_form->ToolButton3->click();
    EXPECT_TRUE(net.isVisible());
    EXPECT_FALSE(other.isVisible());
    m_form->ToolButton4->click();
    EXPECT_FALSE(net.isVisible());
}

TEST_F(ThreadFormTest, ClosingHidesKeepsRowsAndThePlacementIsRestored)
{
    TNetEnumForm net;
    m_form->AddTask("NET", "n", &net, "s");
    m_form->show();
    m_form->setGeometry(120, 130, 420, 310);
    m_form->close();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(m_form->TaskCount(), 1);
    m_form->AppendLog("line one");
    m_form->AppendLog("line two");
    EXPECT_EQ(m_form->LogMemo->toPlainText(), "line one\nline two");

    TThreadForm second;
    second.show();
    EXPECT_EQ(second.geometry().size(), QSize(420, 310));
    EXPECT_EQ(second.geometry().topLeft(), QPoint(120, 130));
}

TEST_F(ThreadFormTest, ToolBarStyleFollowsTheSettings)
{
    m_form->ApplyToolBarStyle(2, true, true);
    EXPECT_TRUE(m_form->ToolBar->isHidden());
    m_form->ApplyToolBarStyle(1, false, true);
    EXPECT_FALSE(m_form->ToolBar->isHidden());
    EXPECT_FALSE(m_form->ToolButton3->autoRaise());
    EXPECT_EQ(m_form->ToolButton3->toolButtonStyle(), Qt::ToolButtonTextOnly);
    m_form->ApplyToolBarStyle(0, true, false);
    EXPECT_TRUE(m_form->ToolButton5->autoRaise());
    EXPECT_EQ(m_form->ToolButton5->toolButtonStyle(), Qt::ToolButtonIconOnly);

    // Showing the window applies the settings as they are then.
    m_look.ButtonStyle = 2;
    m_form->show();
    EXPECT_TRUE(m_form->ToolBar->isHidden());
    m_form->hide();
    m_look = TTaskListLook{"", 0, 1, true, true};
    m_form->show();
    EXPECT_FALSE(m_form->ToolBar->isHidden());
    EXPECT_FALSE(m_form->ToolButton4->autoRaise());
    EXPECT_EQ(m_form->ToolButton4->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

#include "TThreadFormTest.moc"
