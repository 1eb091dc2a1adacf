#include <gtest/gtest.h>

#include "support/ScopedEnvironment.h"
#include "local/TempTree.h"
#include "local/TObjShell.h"
#include "platform/DesktopApps.h"
#include "local/WaitFor.h"

#include <sys/stat.h>

namespace {

// A private desktop: application folders and association lists under a temporary folder
// only, so the machine's own applications never take part.
class DesktopAppsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XDG_DATA_HOME", m_tree.path("home-data").c_str(), 1);
        // The MIME database is the machine's (linked in); the applications are only ours.
        m_tree.mkdir("mime-data");
        std::filesystem::create_directory_symlink("/usr/share/mime", m_tree.path("mime-data/mime"));
        setenv("XDG_DATA_DIRS", (m_tree.path("system-data") + ":" + m_tree.path("mime-data")).c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_tree.path("home-config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", m_tree.path("system-config").c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "TestDesk", 1);
        // Programs that record what they were asked to open, one line per argument; the
        // desktop's lookup only offers applications whose program exists.
        for (const char* name : {"viewer", "editor", "other", "nested", "picked"}) {
            m_tree.write(std::string("bin/") + name,
                         "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$0.args\"\n");
            ::chmod(m_tree.path(std::string("bin/") + name).c_str(), 0755);
        }
        const std::string bin = m_tree.path("bin/");
        m_tree.write("system-data/applications/viewer.desktop", "[Desktop Entry]\nType=Application\nName=Viewer\n"
                     "Name[zh_TW]=檢視器\nExec=" + bin + "viewer %F\nIcon=viewer-icon\n");
        m_tree.write("system-data/applications/editor.desktop",
                     "[Desktop Entry]\nType=Application\nName=Editor\nExec=" + bin + "editor --new %f\n"
                     "# a comment\n[Desktop Action extra]\nName=Extra\nExec=ignored\n");
        m_tree.write("system-data/applications/other.desktop",
                     "[Desktop Entry]\nType=Application\nName=Other\nExec=" + bin + "other %u\n");
        m_tree.write("system-data/applications/hidden.desktop",
                     "[Desktop Entry]\nType=Application\nName=Hidden\nHidden=true\nExec=" + bin + "viewer %f\n");
        m_tree.write("system-data/applications/missing-try.desktop", "[Desktop Entry]\nType=Application\nName=Gone\n"
                     "TryExec=/nonexistent/program\nExec=" + bin + "viewer %f\n");
        m_tree.write("system-data/applications/missing-exec.desktop",
                     "[Desktop Entry]\nType=Application\nName=NoProgram\nExec=/nonexistent/program %f\n");
        m_tree.write("system-data/applications/vendor/nested.desktop",
                     "[Desktop Entry]\nType=Application\nName=Nested\nExec=" + bin + "nested %U\n");
        m_tree.write("system-data/applications/mimeinfo.cache",
                     "[MIME Cache]\ntext/plain=viewer.desktop;other.desktop;hidden.desktop;missing-try.desktop;"
                     "missing-exec.desktop;\nimage/png=viewer.desktop;vendor-nested.desktop;\n");
        m_tree.write("home-config/mimeapps.list",
                     "[Default Applications]\ntext/plain=editor.desktop\n"
                     "[Removed Associations]\ntext/plain=other.desktop;\n");
        m_tree.write("home-config/testdesk-mimeapps.list", "[Default Applications]\nimage/png=vendor-nested.desktop\n");
    }

    static QStringList ids(const QList<DesktopApp>& apps)
    {
        QStringList list;
        for (const DesktopApp& app : apps)
            list << app.id;
        return list;
    }

    TempTree m_tree;
    ScopedEnvironment m_env{"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"};
};

} // namespace

TEST_F(DesktopAppsTest, ApplicationsForATypeDefaultFirstWithoutRemovedHiddenOrMissing)
{
    EXPECT_EQ(ids(DesktopApps::ApplicationsFor("text/plain")), (QStringList{"editor.desktop", "viewer.desktop"}));
    // A C source is a kind of plain text: the text applications serve it too.
    EXPECT_EQ(ids(DesktopApps::ApplicationsFor("text/x-csrc")), (QStringList{"editor.desktop", "viewer.desktop"}));
    // The desktop-specific list wins, and a file id maps to a subfolder.
    EXPECT_EQ(ids(DesktopApps::ApplicationsFor("image/png")), (QStringList{"vendor-nested.desktop", "viewer.desktop"}));
    EXPECT_TRUE(DesktopApps::ApplicationsFor("application/x-nothing-here").isEmpty());
    EXPECT_EQ(DesktopApps::DefaultFor("text/plain")->id, "editor.desktop");
    const auto viewer = DesktopApps::Load("viewer.desktop");
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->name, "檢視器");
    EXPECT_EQ(viewer->icon, "viewer-icon");
    EXPECT_FALSE(DesktopApps::Load("hidden.desktop"));
    EXPECT_FALSE(DesktopApps::Load("missing-try.desktop"));
    EXPECT_FALSE(DesktopApps::Load("missing-exec.desktop"));
}

TEST_F(DesktopAppsTest, LaunchHandsTheFilesAsTheExecLineAsks)
{
    const QString spaced = QString::fromStdString(m_tree.path("a b 文件.txt"));
    const QString second = QString::fromStdString(m_tree.path("c.txt"));
    // %F: one process with every file.
    ASSERT_TRUE(DesktopApps::Launch(*DesktopApps::Load("viewer.desktop"), {spaced, second}));
    ASSERT_TRUE(WaitFor([&] { return m_tree.read("bin/viewer.args").size() > 0; }));
    ASSERT_TRUE(WaitFor([&] { return QString::fromStdString(m_tree.read("bin/viewer.args")).count('\n') == 2; }));
    EXPECT_EQ(QString::fromStdString(m_tree.read("bin/viewer.args")), spaced + "\n" + second + "\n");
    // A fixed argument stays in front of the file.
    ASSERT_TRUE(DesktopApps::Launch(*DesktopApps::Load("editor.desktop"), {spaced}));
    ASSERT_TRUE(WaitFor([&] { return QString::fromStdString(m_tree.read("bin/editor.args")).count('\n') == 2; }));
    EXPECT_EQ(QString::fromStdString(m_tree.read("bin/editor.args")), "--new\n" + spaced + "\n");

    // A program picked by its path, whose folder holds a blank, gets the file as its argument.
    m_tree.write("my tools/pick", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
    ::chmod(m_tree.path("my tools/pick").c_str(), 0755);
    const auto picked = DesktopApps::FromProgram(QString::fromStdString(m_tree.path("my tools/pick")));
    ASSERT_TRUE(picked);
    ASSERT_TRUE(DesktopApps::Launch(*picked, {spaced}));
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("my tools/pick.args").empty(); }));
    EXPECT_EQ(QString::fromStdString(m_tree.read("my tools/pick.args")), spaced + "\n");
    m_tree.write("plain.txt", "not a program");
    EXPECT_FALSE(DesktopApps::FromProgram(QString::fromStdString(m_tree.path("plain.txt"))));
    EXPECT_FALSE(DesktopApps::FromProgram(QString::fromStdString(m_tree.path("bin"))));
}

TEST_F(DesktopAppsTest, ADefaultSetHereIsTheDesktopsDefault)
{
    QString error;
    ASSERT_TRUE(DesktopApps::SetDefaultFor(*DesktopApps::Load("viewer.desktop"), "text/plain", &error))
        << error.toStdString();
    EXPECT_EQ(DesktopApps::DefaultFor("text/plain")->id, "viewer.desktop");
    // Written where every program of the desktop reads it.
    const std::string list = m_tree.read("home-config/mimeapps.list");
    EXPECT_NE(list.find("text/plain=viewer.desktop"), std::string::npos) << list;
}

TEST_F(DesktopAppsTest, HasOpenCommandByExtensionAndByTheDesktopsDefaults)
{
    EXPECT_TRUE(TObjShell::HasOpenCommand("C:\\tools\\setup.EXE"));
    EXPECT_TRUE(TObjShell::HasOpenCommand("C:\\x\\link.lnk"));
    EXPECT_FALSE(TObjShell::HasOpenCommand("C:\\x\\README"));
    EXPECT_TRUE(TObjShell::HasOpenCommand("C:\\docs\\note.txt"));
    EXPECT_FALSE(TObjShell::HasOpenCommand("C:\\docs\\song.ogg"));
}
