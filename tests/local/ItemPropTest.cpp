#include <gtest/gtest.h>

#include "local/ItemProp.h"
#include "local/TObjShell.h"
#include "local/TOpenWithForm.h"
#include "local/TPropertiesForm.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "support/DialogScript.h"
#include "support/ScopedEnvironment.h"
#include "support/TestDrives.h"

#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

#include <sys/stat.h>

namespace {

class ItemPropTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapTestDrives();
        setenv("XDG_DATA_HOME", m_tree.path("data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_tree.path("config").c_str(), 1);
        // The applications are only ours; the MIME database is the machine's.
        m_tree.mkdir("mime-data");
        std::filesystem::create_directory_symlink("/usr/share/mime", m_tree.path("mime-data/mime"));
        setenv("XDG_DATA_DIRS", (m_tree.path("apps") + ":" + m_tree.path("mime-data")).c_str(), 1);
        // The desktop offers only applications whose program exists.
        m_tree.write("bin/reader", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        chmod(m_tree.path("bin/reader").c_str(), 0755);
        m_tree.write("apps/applications/reader.desktop", "[Desktop Entry]\nType=Application\nName=Reader\n"
                     "Name[zh_TW]=閱讀器\nExec=" + m_tree.path("bin/reader") + " %f\n");
        m_tree.write("apps/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=reader.desktop;\n");
        m_tree.write("files/a.txt", "hello");
        m_tree.write("files/b.txt", "world!");
        m_tree.write("files/.hidden.txt", "h");
        m_tree.write("files/c.dat", "c");
        m_tree.write("files/folder/inner/x.bin", std::string(1000, 'x'));
        m_tree.write("files/folder/y.bin", std::string(24, 'y'));
        m_shell.Questions.confirmDelete = [](QWidget*, const std::vector<std::string>&, bool) { return true; };
        m_shell.Questions.showError = [this](QWidget*, const QString& text) { m_errors << text; };
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

    static QStringList captions(const QMenu* menu)
    {
        QStringList list;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                list << action->text();
        return list;
    }

    static QAction* find(const QMenu* menu, const char* caption)
    {
        for (QAction* action : menu->actions())
            if (action->text() == QString::fromUtf8(caption))
                return action;
        return nullptr;
    }

    ScopedEnvironment m_env{"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS"};
    TempTree m_tree;
    QWidget m_window;
    TObjShell m_shell{&m_window};
    QStringList m_errors;
};

} // namespace

TEST_F(ItemPropTest, WildcardsNameEveryMatchingEntryHiddenOnesIncluded)
{
    EXPECT_EQ(ItemProp::ResolvePaths(win("files") + "\\*.txt"),
              (std::vector<std::string>{win("files/.hidden.txt"), win("files/a.txt"), win("files/b.txt")}));
    EXPECT_EQ(ItemProp::ResolvePaths(win("files") + "\\?.dat"), (std::vector<std::string>{win("files/c.dat")}));
    EXPECT_EQ(ItemProp::ResolvePaths(win("files"), {"a.txt", "c.*"}),
              (std::vector<std::string>{win("files/a.txt"), win("files/c.dat")}));
    EXPECT_TRUE(ItemProp::ResolvePaths("\\\\SERVER\\SHARE\\*.txt").empty());
}

TEST_F(ItemPropTest, ContextMenuOffersOpenWithRenameDeleteAndProperties)
{
    bool rename = false;
    std::unique_ptr<QMenu> menu(ItemProp::CreateContextMenu(&m_window, {win("files/a.txt")}, &rename, &m_shell));
    EXPECT_EQ(captions(menu.get()),
              (QStringList{QString::fromUtf8("開啟(&O)"), QString::fromUtf8("開啟檔案方式(&H)…"), QString::fromUtf8("刪除(&D)"),
                           QString::fromUtf8("重新命名(&M)"), QString::fromUtf8("內容(&R)")}));
    QAction* openWith = find(menu.get(), "開啟檔案方式(&H)…");
    ASSERT_TRUE(openWith);

    // The chooser lists what the desktop offers for the type; the chosen one opens the file.
    QStringList offered;
    {
        DialogScript script;
        script.then<TOpenWithForm>([&](TOpenWithForm& chooser) {
            for (int k = 0; k < chooser.AppListBox->count(); k++)
                offered << chooser.AppListBox->item(k)->text();
            chooser.OkButton->click();
        });
        openWith->trigger();
    }
    EXPECT_EQ(offered, QStringList{QString::fromUtf8("閱讀器")});
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("bin/reader.args").empty(); }));
    EXPECT_EQ(m_tree.read("bin/reader.args"), m_tree.path("files/a.txt") + "\n");

    // Rename only reports the choice; the caller edits the name.
    find(menu.get(), "重新命名(&M)")->trigger();
    EXPECT_TRUE(rename);
    EXPECT_TRUE(m_tree.exists("files/a.txt"));

    find(menu.get(), "刪除(&D)")->trigger();
    EXPECT_EQ(m_shell.JobCount, 1);
    ASSERT_TRUE(WaitFor([&] { return m_shell.JobCount == 0; }));
    EXPECT_FALSE(m_tree.exists("files/a.txt"));
    EXPECT_TRUE(m_tree.exists("data/Trash/files/a.txt"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(ItemPropTest, AFileNoApplicationTakesOpensWithAProgramPickedByPath)
{
    // Nothing on this desktop opens .dat files: the chooser starts empty, as the message
    // "no application" sends the user here, and a program is picked by its path.
    m_tree.write("files/c.dat", std::string("\x01\x02\x00\xff", 4));
    m_tree.write("bin/dat viewer", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
    chmod(m_tree.path("bin/dat viewer").c_str(), 0755);
    int listed = -1;
    bool canBeDefault = true;
    QString refusal;
    {
        DialogScript script;
        script.then<TOpenWithForm>([&](TOpenWithForm& chooser) {
            listed = chooser.AppListBox->count();
            canBeDefault = chooser.DefaultCheckBox->isEnabled();
            EXPECT_FALSE(chooser.OkButton->isEnabled());
            // A file that is not a program is refused in words, and nothing is added.
            chooser.AskProgram = [&](QWidget*) { return QString::fromStdString(m_tree.path("files/c.dat")); };
            chooser.BrowseButton->click();  // the refusal is the script's next step
            EXPECT_EQ(chooser.AppListBox->count(), 0);
            chooser.AskProgram = [&](QWidget*) { return QString::fromStdString(m_tree.path("bin/dat viewer")); };
            chooser.BrowseButton->click();
            EXPECT_EQ(chooser.AppListBox->currentItem()->text(), QStringLiteral("dat viewer"));
            chooser.OkButton->click();
        });
        script.then<QMessageBox>([&](QMessageBox& box) {
            refusal = box.text();
            box.button(QMessageBox::Ok)->click();
        });
        EXPECT_TRUE(ItemProp::OpenWith(&m_window, win("files"), {"c.dat", "folder"}));
    }
    EXPECT_EQ(listed, 0);
    EXPECT_TRUE(canBeDefault) << "one type: its default may be set";
    EXPECT_TRUE(refusal.contains("c.dat")) << refusal.toStdString();
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("bin/dat viewer.args").empty(); }));
    // The folder of the selection is not handed to an application.
    EXPECT_EQ(m_tree.read("bin/dat viewer.args"), m_tree.path("files/c.dat") + "\n");
}

TEST_F(ItemPropTest, MixedSelectionsHaveNoOpenWithAndOneNameHasRename)
{
    std::unique_ptr<QMenu> mixed(
        ItemProp::CreateContextMenu(&m_window, {win("files/a.txt"), win("files/folder")}, nullptr, nullptr));
    EXPECT_EQ(find(mixed.get(), "開啟檔案方式(&H)…"), nullptr);
    EXPECT_EQ(find(mixed.get(), "重新命名(&M)"), nullptr);
    EXPECT_EQ(find(mixed.get(), "刪除(&D)"), nullptr);  // no shell object to delete with
    std::unique_ptr<QMenu> folder(ItemProp::CreateContextMenu(&m_window, {win("files/folder")}, nullptr, nullptr));
    EXPECT_NE(find(folder.get(), "瀏覽(&E)"), nullptr);
}

TEST_F(ItemPropTest, PropertiesShowSizeTypeAndLocationAndAddUpFolders)
{
    TPropertiesForm file(&m_window, {win("files/b.txt")});
    EXPECT_TRUE(file.FieldText(44033).endsWith(QString::fromUtf8("(6 位元組)")));
    EXPECT_EQ(file.FieldText(44032), QString::fromStdString(win("files") + "\\"));
    EXPECT_FALSE(file.FieldText(44031).isEmpty());
    EXPECT_FALSE(file.FieldText(44036).isEmpty());
    EXPECT_EQ(file.FieldText(44038).size(), 9);
    EXPECT_FALSE(file.Counting());

    TPropertiesForm folder(&m_window, {win("files/folder"), win("files/c.dat")});
    ASSERT_TRUE(WaitFor([&] { return !folder.Counting(); }));
    EXPECT_TRUE(folder.FieldText(44033).endsWith(QString::fromUtf8("(1,025 位元組)"))
                || folder.FieldText(44033).endsWith(QString::fromUtf8("(1025 位元組)")));
    EXPECT_EQ(folder.FieldText(44034), QString::fromUtf8("3 個檔案, 1 個資料夾"));
    EXPECT_EQ(folder.FieldText(44031), QString::fromUtf8("多種類型"));

    EXPECT_FALSE(TPropertiesForm::ShowFor(&m_window, {win("files/none"), "\\\\S\\SHARE\\x"}));
}

TEST_F(ItemPropTest, OpenAndExploreLaunchTheDesktopsApplications)
{
    // Applications of our own that record what they were asked to open.
    for (const char* name : {"browse", "read"}) {
        m_tree.write(std::string("bin/") + name,
                     std::string("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../") + name + ".txt\"\n");
        chmod(m_tree.path(std::string("bin/") + name).c_str(), 0755);
    }
    m_tree.write("apps/applications/browser.desktop",
                 "[Desktop Entry]\nType=Application\nName=Browser\nExec=" + m_tree.path("bin/browse") + " %U\n");
    m_tree.write("apps/applications/reader.desktop",
                 "[Desktop Entry]\nType=Application\nName=Reader\nExec=" + m_tree.path("bin/read") + " %f\n");
    m_tree.write("config/mimeapps.list", "[Default Applications]\ninode/directory=browser.desktop\n");
    m_tree.write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + m_tree.path("files/folder") + "\"\n");

    m_shell.ExplorePath(win("files/folder\\"));
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("browse.txt").empty(); }));
    // The desktop's launcher hands the folder by its path, without a closing slash.
    EXPECT_EQ(m_tree.read("browse.txt"), m_tree.path("files/folder") + "\n");

    std::filesystem::remove(m_tree.path("browse.txt"));
    m_shell.OpenSpecialFolder(16);
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("browse.txt").empty(); }));
    EXPECT_EQ(m_tree.read("browse.txt"), m_tree.path("files/folder") + "\n");

    EXPECT_TRUE(ItemProp::PerformDefaultAction(&m_window, win("files"), {"b.txt"}));
    ASSERT_TRUE(WaitFor([&] { return !m_tree.read("read.txt").empty(); }));
    EXPECT_EQ(m_tree.read("read.txt"), m_tree.path("files/b.txt") + "\n");
    m_tree.write("files/blob.bin", std::string("\0\1\2\3", 4));
    EXPECT_FALSE(ItemProp::PerformDefaultAction(&m_window, win("files/blob.bin")));  // no application for it
}
