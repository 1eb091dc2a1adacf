#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/SetupInfo.h"
#include "local/ForceStopEvent.h"
#include "local/MessageBoxes.h"
#include "local/TObjShell.h"
#include "local/TThreadForm.h"
#include "mainwindow/TMainForm.h"
#include "network/CrawlTargets.h"
#include "network/TNetEnumForm.h"
#include "support/TempConfig.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QToolButton>

#include "../local/WaitFor.h"

#include <fstream>
#include <sys/stat.h>

#include <memory>

// A network expansion window with no expansion: counts the stop messages it gets and, like
// a running one, leaves the task list when it stops.
class CountingNetEnumForm : public TNetEnumForm {
    Q_OBJECT
public:
    int taskId = 0;
    int stops = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == ForceStopEventType()) {
            ++stops;
            ThreadForm->RemoveTask(taskId);
            hide();
            return true;
        }
        return TNetEnumForm::event(e);
    }
};

namespace {

class ShellWiringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
        // As at start-up: the main window first, then the task list.
        m_form = std::make_unique<TMainForm>();
        m_threadForm = std::make_unique<TThreadForm>();
        m_threadForm->AskQuestion = [](QWidget*, int) { return int(IdYes); };
        ThreadForm = m_threadForm.get();
        m_form->show();
        QApplication::processEvents();
    }

    void TearDown() override
    {
        m_form.reset();
        m_threadForm.reset();
    }

    QAction* action(const char* name) { return m_form->findChild<QAction*>(QString::fromLatin1(name)); }
    QString panel(int number) const { return m_form->statusBarPanels()->panelText(number); }

    TempConfig m_config;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TThreadForm> m_threadForm;
};

TEST_F(ShellWiringTest, TaskListButtonShowsAndHidesTheTaskList)
{
    ASSERT_TRUE(m_form->ThreadToolButton->isEnabled());
    EXPECT_FALSE(ThreadForm->isVisible());
    m_form->ThreadToolButton->click();
    EXPECT_TRUE(ThreadForm->isVisible());
    EXPECT_TRUE(m_form->ThreadToolButton->isChecked());
    EXPECT_EQ(m_form->ThreadToolButton->toolTip(), QStringLiteral("隱藏視窗"));
    m_form->ThreadToolButton->click();
    EXPECT_FALSE(ThreadForm->isVisible());
    EXPECT_FALSE(m_form->ThreadToolButton->isChecked());
    EXPECT_EQ(m_form->ThreadToolButton->toolTip(), QStringLiteral("顯現視窗"));
    EXPECT_EQ(m_form->ThreadToolButton->statusTip(), QStringLiteral("顯現視窗"));
}

TEST_F(ShellWiringTest, PanelsCountShellJobsAndTasks)
{
    TObjShell* shell = m_form->shell();
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(panel(3), QStringLiteral("0"));
    EXPECT_EQ(panel(4), QStringLiteral("0"));
    ASSERT_TRUE(shell->CanStartJob());
    ASSERT_TRUE(shell->CanStartJob());
    EXPECT_EQ(panel(4), QStringLiteral("2"));
    shell->JobDone(nullptr);
    EXPECT_EQ(panel(4), QStringLiteral("1"));

    QWidget window;
    const int first = ThreadForm->AddTask("A", "B", &window, "C");
    ThreadForm->AddTask("D", "E", &window, "F");
    EXPECT_EQ(panel(3), QStringLiteral("2"));
    ThreadForm->RemoveTask(first);
    EXPECT_EQ(panel(3), QStringLiteral("1"));
    EXPECT_EQ(panel(4), QStringLiteral("1")) << "the two counts are kept apart";
}

TEST_F(ShellWiringTest, ShellWorkLimitReachesTheShellObject)
{
    SetupInfo.ShellWorkLimit = 7;
    m_form->ApplySettings();
    EXPECT_EQ(m_form->shell()->WorkLimit, 7);
    // The limit is what the job question counts against.
    int asked = 0;
    m_form->shell()->AskQuestion = [&](QWidget*, const QString&) { ++asked; return int(IdNo); };
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(m_form->shell()->CanStartJob());
    EXPECT_FALSE(m_form->shell()->CanStartJob());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(panel(4), QStringLiteral("7"));
}

TEST_F(ShellWiringTest, ExplorerCommandsAreWired)
{
    EXPECT_TRUE(m_form->ExploreToolButton->isEnabled());
    for (const char* name : {"N40", "N42", "N45", "N44", "N50", "N32", "N38", "N43", "N58", "N54", "N48", "N47",
                             "N57"}) {
        QAction* entry = action(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_TRUE(entry->isEnabled()) << name;
    }
    // Folders only Windows has are greyed, with a hint that says why.
    for (const char* name : {"N56", "Intern1", "N49", "N74", "N75", "N41", "N46", "N55"}) {
        QAction* entry = action(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_FALSE(entry->isEnabled()) << name;
        EXPECT_EQ(entry->statusTip(), QString::fromUtf8("這個資料夾在這部電腦上沒有對應的位置。")) << name;
    }
    // The network neighbourhood is the program's own branch.
    action("N44")->trigger();
    EXPECT_EQ(m_form->FolderTreeView->currentItem(), m_form->netRoot());
    // Emptying the trash asks first; declining leaves the trash alone.
    int asked = 0;
    m_form->shell()->AskQuestion = [&](QWidget*, const QString&) { ++asked; return int(IdNo); };
    action("N32")->trigger();
    EXPECT_EQ(asked, 1);
}

TEST_F(ShellWiringTest, SearchStartsPalliskFromTheProgramFolderOrSaysItIsMissing)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    m_form->FamilyProgramFolder = folder.path();
    QStringList errors;
    m_form->ShowError = [&](const QString& text) { errors << text; };
    action("N28")->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(folder.path() + "/pallisk")) << errors[0].toStdString();

    // A stand-in program that leaves a mark: both the menu entry and the tool button start it.
    const std::string program = (folder.path() + "/pallisk").toStdString();
    const std::string mark = (folder.path() + "/started").toStdString();
    std::ofstream(program) << "#!/bin/sh\necho x >> '" << mark << "'\n";
    ::chmod(program.c_str(), 0755);
    action("N28")->trigger();
    EXPECT_TRUE(WaitFor([&] { return QFileInfo(QString::fromStdString(mark)).size() == 2; }));
    EXPECT_TRUE(WaitFor([&] { return m_form->shell()->JobCount == 0; }));
    m_form->ToolButton6->click();
    EXPECT_TRUE(WaitFor([&] { return QFileInfo(QString::fromStdString(mark)).size() == 4; }));
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(ShellWiringTest, CacheUpdateRunsTheUpdaterAsATaskAndLogsWhatFailed)
{
    QStringList errors;
    m_form->ShowError = [&](const QString& text) { errors << text; };
    QTemporaryDir empty;
    m_form->FamilyProgramFolder = empty.path();
    action("N12")->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(empty.path() + "/vessring")) << errors[0].toStdString();

    // A stored computer that no server answers to: the real updater runs and reports it.
    bool added = false;
    FindOrAddComputer(SetupInfo.CachePath, "\\\\NOSUCHPC", "WG", added);
    ASSERT_TRUE(added);
    m_form->FamilyProgramFolder = QFileInfo(QStringLiteral(VESSRING_TOOL)).absolutePath();
    m_form->ToolButton5->click();
    EXPECT_EQ(ThreadForm->TaskCount(), 1);
    action("N12")->trigger();  // a second click while it runs starts no second one
    EXPECT_EQ(ThreadForm->TaskCount(), 1);
    EXPECT_TRUE(WaitFor([&] { return ThreadForm->TaskCount() == 0; }, 20000));
    const QString log = ThreadForm->LogMemo->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral("更新快取:NOSUCHPC 失敗："))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("結束，1 台電腦"))) << log.toStdString();
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(ShellWiringTest, TheCollectorAndTheWizardStartFromTheProgramFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    m_form->FamilyProgramFolder = folder.path();
    QStringList errors;
    m_form->ShowError = [&](const QString& text) { errors << text; };
    m_form->ToolButton1->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(folder.path() + "/ordhune")) << errors[0].toStdString();

    // Each stand-in writes its own name: the entry and the buttons start the right one.
    for (const char* name : {"quellor", "ordhune"}) {
        const std::string program = (folder.path() + "/" + name).toStdString();
        std::ofstream(program) << "#!/bin/sh\necho " << name << " >> '" << (folder.path() + "/started").toStdString() << "'\n";
        ::chmod(program.c_str(), 0755);
    }
    const QString mark = folder.path() + "/started";
    auto started = [&] {
        QFile file(mark);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
    };
    action("ToolMenu")->trigger();
    EXPECT_TRUE(WaitFor([&] { return started().size() == 1; }));
    m_form->ToolButton10->click();
    EXPECT_TRUE(WaitFor([&] { return started().size() == 2; }));
    m_form->ToolButton1->click();
    EXPECT_TRUE(WaitFor([&] { return started().size() == 3; }));
    EXPECT_EQ(started(), (QStringList{"quellor", "quellor", "ordhune"}));
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(ShellWiringTest, ClosingStopsTheTaskWindowsAndHidesTheTaskList)
{
    CountingNetEnumForm task;
    task.taskId = ThreadForm->AddTask("SERVER", "網芳", &task, "");
    task.show();
    ThreadForm->show();
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(m_form->close());
    EXPECT_EQ(task.stops, 1);
    EXPECT_EQ(ThreadForm->TaskCount(), 0);
    EXPECT_FALSE(ThreadForm->isVisible());
    EXPECT_EQ(panel(3), QStringLiteral("0"));
}

TEST_F(ShellWiringTest, ClosingWithOnlyTheTaskListOpenAsksNothing)
{
    ThreadForm->show();
    bool asked = false;
    QTimer::singleShot(0, [&asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = true;
            box->button(QMessageBox::No)->click();
        }
    });
    EXPECT_TRUE(m_form->close());
    EXPECT_FALSE(asked);
    EXPECT_FALSE(ThreadForm->isVisible());
}

} // namespace

#include "ShellWiringTest.moc"
