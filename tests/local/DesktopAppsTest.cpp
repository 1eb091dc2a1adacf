#include <gtest/gtest.h>

#include "support/ScopedEnvironment.h"
#include "local/TempTree.h"
#include "local/TObjShell.h"
#include "platform/DesktopApps.h"

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
        m_tree.write("system-data/applications/viewer.desktop",
                     "[Desktop Entry]\nType=Application\nName=Viewer\nName[zh_TW]=檢視器\nExec=viewer %F\nIcon=viewer-icon\n");
        m_tree.write("system-data/applications/editor.desktop",
                     "[Desktop Entry]\nType=Application\nName=Editor\nExec=\"/opt/my editor/ed\" --new %f\n"
                     "# a comment\n[Desktop Action extra]\nExec=ignored\n");
        m_tree.write("system-data/applications/other.desktop",
                     "[Desktop Entry]\nType=Application\nName=Other\nExec=other %u\n");
        m_tree.write("system-data/applications/hidden.desktop",
                     "[Desktop Entry]\nType=Application\nName=Hidden\nHidden=true\nExec=hidden %f\n");
        m_tree.write("system-data/applications/missing-try.desktop",
                     "[Desktop Entry]\nType=Application\nName=Gone\nTryExec=/nonexistent/program\nExec=gone %f\n");
        m_tree.write("system-data/applications/vendor/nested.desktop",
                     "[Desktop Entry]\nType=Application\nName=Nested\nExec=nested %U\n");
        m_tree.write("system-data/applications/mimeinfo.cache",
                     "[MIME Cache]\ntext/plain=viewer.desktop;other.desktop;hidden.desktop;missing-try.desktop;\n"
                     "image/png=viewer.desktop;vendor-nested.desktop;\n");
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
    const auto viewer = DesktopApps::Load("viewer.desktop");
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->name, "檢視器");
    EXPECT_FALSE(DesktopApps::Load("hidden.desktop"));
    EXPECT_FALSE(DesktopApps::Load("missing-try.desktop"));
    EXPECT_EQ(DesktopApps::Load("editor.desktop")->exec, "\"/opt/my editor/ed\" --new %f");
}

TEST_F(DesktopAppsTest, ExecLinesExpandTheirFieldCodes)
{
    DesktopApp app;
    app.name = "App";
    app.icon = "app-icon";
    app.filePath = "/x/app.desktop";
    app.exec = "\"/opt/my editor/ed\" --new %f";
    EXPECT_EQ(DesktopApps::ExpandExec(app, {"/a b.txt", "/c.txt"}), (QStringList{"/opt/my editor/ed", "--new", "/a b.txt"}));
    EXPECT_EQ(DesktopApps::ExpandExec(app, {}), (QStringList{"/opt/my editor/ed", "--new"}));
    app.exec = "viewer %F %i --title=%c %k 100%% %d";
    EXPECT_EQ(DesktopApps::ExpandExec(app, {"/1", "/2"}),
              (QStringList{"viewer", "/1", "/2", "--icon", "app-icon", "--title=App", "/x/app.desktop", "100%"}));
    app.exec = "sh -c \"echo \\\"quoted\\\" \\$HOME\"";
    EXPECT_EQ(DesktopApps::ExpandExec(app, {}), (QStringList{"sh", "-c", "echo \"quoted\" $HOME"}));
    app.exec = "broken \"unterminated";
    EXPECT_TRUE(DesktopApps::ExpandExec(app, {"/f"}).isEmpty());
}

TEST_F(DesktopAppsTest, HasOpenCommandByExtensionAndByTheDesktopsDefaults)
{
    EXPECT_TRUE(TObjShell::HasOpenCommand("C:\\tools\\setup.EXE"));
    EXPECT_TRUE(TObjShell::HasOpenCommand("C:\\x\\link.lnk"));
    EXPECT_FALSE(TObjShell::HasOpenCommand("C:\\x\\README"));
    EXPECT_TRUE(TObjShell::HasOpenCommand("C:\\docs\\note.txt"));
    EXPECT_FALSE(TObjShell::HasOpenCommand("C:\\docs\\song.ogg"));
}
