// Opening a file never runs it unasked: a program or script (execute bit, whatever its name)
// runs only after a question naming it, and a launcher file starts its Exec line only when
// it is local, executable and confirmed; otherwise it is text. The questions come up in the
// program's own message box and are answered here.
#include "local/MessageBoxes.h"
#include "local/TObjShell.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "platform/DriveMap.h"
#include "platform/ShellServices.h"
#include "support/DialogScript.h"
#include "support/ScopedEnvironment.h"
#include "support/TestDrives.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

class OpenQuestion : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapTestDrives();
        // A desktop of the test's own: text opens in a viewer that records what it got.
        setenv("XDG_DATA_HOME", m_tree.path("home-data").c_str(), 1);
        m_tree.mkdir("mime-data");
        std::filesystem::create_directory_symlink("/usr/share/mime", m_tree.path("mime-data/mime"));
        setenv("XDG_DATA_DIRS", m_tree.path("mime-data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_tree.path("home-config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", m_tree.path("no-config").c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "TestDesk", 1);
        m_tree.write("bin/viewer", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.opened\"\n");
        ::chmod(m_tree.path("bin/viewer").c_str(), 0755);
        m_tree.write("home-data/applications/viewer.desktop",
                     "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + m_tree.path("bin/viewer") + " %f\n");
        m_tree.write("home-config/mimeapps.list",
                     "[Default Applications]\ntext/plain=viewer.desktop\n");
        m_shell.Questions.showError = [this](QWidget*, const QString& text) { m_errors << text; };
        m_shell.OnPathDone = [this](const std::string&, int result) { m_results << result; };
    }
    void TearDown() override { RefreshDriveMap(); }

    std::string win(const std::string& relative) const
    {
        std::string path = "C:" + m_tree.path(relative);
        for (char& ch : path)
            if (ch == '/')
                ch = '\\';
        return path;
    }
    // A script that leaves `mark` when it runs.
    void writeProgram(const std::string& name, const std::string& mark, mode_t mode)
    {
        m_tree.write(name, "#!/bin/sh\ntouch '" + m_tree.path(mark) + "'\n");
        ::chmod(m_tree.path(name).c_str(), mode);
    }
    void writeLauncher(const std::string& name, const std::string& mark, mode_t mode)
    {
        m_tree.write(name, "[Desktop Entry]\nType=Application\nName=Launcher\nExec=touch " + m_tree.path(mark) + "\n");
        ::chmod(m_tree.path(name).c_str(), mode);
    }
    // Waits for the end of open number `count` (from 1). A program it started has been
    // executed by then: it runs still, its command line naming `named`, or has left `mark`.
    bool startedBy(int count, const std::string& mark, const std::string& named)
    {
        EXPECT_TRUE(WaitFor([&] { return m_results.size() >= count; }));
        if (m_tree.exists(mark))
            return true;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream in(entry.path() / "cmdline", std::ios::binary);
            const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (line.find(named) != std::string::npos)
                return true;
        }
        return m_tree.exists(mark);
    }
    // Answers the one question that must come, keeping its text.
    void answerNextQuestion(DialogScript& script, QMessageBox::StandardButton button)
    {
        script.then<QMessageBox>([this, button](QMessageBox& box) {
            m_questions << box.text();
            box.button(button)->click();
        });
    }

    TempTree m_tree;
    ScopedEnvironment m_env{"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                            "XDG_CURRENT_DESKTOP"};
    QWidget m_window;
    TObjShell m_shell{&m_window};
    QStringList m_questions;
    QStringList m_errors;
    QList<int> m_results;
};

TEST_F(OpenQuestion, AnExecutableFileRunsOnlyWhenTheUserSaysSoByName)
{
    // No extension, no hint in the name: the execute bit and the content make it a program.
    writeProgram("report", "ran", 0755);
    {
        DialogScript script;
        answerNextQuestion(script, QMessageBox::No);
        m_shell.OpenPath(win("report"));
        ASSERT_TRUE(WaitFor([&] { return !m_questions.isEmpty(); }));
    }
    EXPECT_FALSE(startedBy(1, "ran", m_tree.path("report"))) << "it ran although the user said no";
    EXPECT_EQ(m_results, QList<int>{ShellServices::ShellDeclined});
    EXPECT_TRUE(m_errors.isEmpty()) << "a declined run is no error";
    EXPECT_TRUE(m_questions.value(0).contains(QString::fromStdString(m_tree.path("report"))))
        << m_questions.value(0).toStdString();

    // The list's double click goes through the open job (a share's file is fetched first).
    {
        DialogScript script;
        answerNextQuestion(script, QMessageBox::Yes);
        m_shell.OpenFile(win("report"));
        ASSERT_TRUE(WaitFor([&] { return m_tree.exists("ran"); }));
    }
    EXPECT_EQ(m_questions.size(), 2);
}

TEST_F(OpenQuestion, ALauncherRunsOnlyWhenLocalExecutableAndConfirmed)
{
    // Not executable: the launcher is shown as text, nothing asked, nothing started.
    writeLauncher("plain.desktop", "plain-ran", 0644);
    m_shell.OpenPath(win("plain.desktop"));
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("bin/viewer.opened").empty(); }));
    EXPECT_FALSE(startedBy(1, "plain-ran", m_tree.path("plain-ran")));
    EXPECT_EQ(m_results, QList<int>{ShellServices::ShellOk});
    EXPECT_EQ(m_tree.read("bin/viewer.opened"), m_tree.path("plain.desktop") + "\n");
    EXPECT_TRUE(m_questions.isEmpty());

    // Executable and on this disk: asked by name, declined, then confirmed.
    writeLauncher("mine.desktop", "mine-ran", 0755);
    {
        DialogScript script;
        answerNextQuestion(script, QMessageBox::No);
        m_shell.OpenPath(win("mine.desktop"));
        ASSERT_TRUE(WaitFor([&] { return m_questions.size() == 1; }));
    }
    EXPECT_FALSE(startedBy(2, "mine-ran", m_tree.path("mine-ran")));
    EXPECT_EQ(m_results.value(1), ShellServices::ShellDeclined);
    EXPECT_TRUE(m_questions.value(0).contains("mine.desktop"));
    {
        DialogScript script;
        answerNextQuestion(script, QMessageBox::Yes);
        m_shell.OpenPath(win("mine.desktop"));
        ASSERT_TRUE(WaitFor([&] { return m_tree.exists("mine-ran"); }));
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST(LauncherTrust, OnlyExecutableRegularFilesOnALocalDiskAreTrusted)
{
    TempTree tree;
    tree.write("a.desktop", "[Desktop Entry]\n");
    ::chmod(tree.path("a.desktop").c_str(), 0644);
    EXPECT_FALSE(ShellServices::IsTrustedLauncher(tree.path("a.desktop")));
    ::chmod(tree.path("a.desktop").c_str(), 0744);
    EXPECT_TRUE(ShellServices::IsTrustedLauncher(tree.path("a.desktop")));
    EXPECT_FALSE(ShellServices::IsTrustedLauncher(tree.root()));
    EXPECT_FALSE(ShellServices::IsTrustedLauncher(tree.path("missing.desktop")));
}

} // namespace
