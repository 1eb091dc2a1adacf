#include <gtest/gtest.h>

#include <sys/stat.h>

#include "BrowseFixture.h"
#include "local/TPropertiesForm.h"
#include "resources/UiText.h"
#include "support/PrivateMounts.h"
#include "support/SmbTestServer.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTimer>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// Entered before main(), while the program has one thread.
const PrivateMounts::Enter enterPrivateMounts;

// The main window's shell commands where they used to do nothing or the wrong thing: on
// the folders of a share (reached through the address box), with a desktop that has no
// file manager, and with programs that cannot start. Desktop applications come only from
// the test's own folders.
class ShellCommandsTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        // The system's type database stays; its applications do not.
        makeFolder("no-system-apps");
        std::filesystem::create_directory_symlink("/usr/share/mime", m_drive.path("no-system-apps/mime"));
        setenv("XDG_DATA_DIRS", m_drive.path("no-system-apps").c_str(), 1);
        setenv("XDG_DATA_HOME", m_drive.path("home/.local/share").c_str(), 1);
    }

    void trigger(const char* name) { m_form->findChild<QAction*>(QString::fromLatin1(name))->trigger(); }

    void selectOnly(const QString& caption)
    {
        QApplication::setActiveWindow(m_form.get());
        m_form->fileListView()->currentView()->setFocus();
        TListModel* model = m_form->fileListView()->model();
        const int row = model->findCaption(caption);
        ASSERT_GE(row, 0) << caption.toStdString();
        m_form->fileListView()->selectionModel()->select(model->index(row, 0),
                                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    static TPropertiesForm* propertiesWindow(const QString& title)
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TPropertiesForm*>(window); form && form->isVisible()
                                                                     && form->windowTitle().contains(title))
                return form;
        return nullptr;
    }

    static void writeExecutable(const std::string& path, const std::string& text)
    {
        std::ofstream(path) << text;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }

    ScopedEnvironment m_desktop{"XDG_DATA_DIRS", "XDG_DATA_HOME", "PATH"};
};

using ShellCommandsOnSharesTest = WithSmbServer<ShellCommandsTest>;

// Properties, the system menu and the explorer on a share's folder and file: each shows
// the share's entry, none says "找不到" for a folder that is there.
TEST_F(ShellCommandsOnSharesTest, PropertiesSystemMenuAndExplorerWorkOnShareFolders)
{
    const std::string root = s_server->folder("public") + "/殼";
    std::filesystem::create_directories(root + "/子");
    std::ofstream(root + "/子/內.txt") << "inner";
    std::ofstream(root + "/甲.txt") << "hello";
    openForm();
    go("\\\\127.0.0.1\\公開\\殼");
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 2; })) << m_errors.join('\n').toStdString();
    QTreeWidgetItem* folder = m_form->FolderTreeView->currentItem();

    // The tree's 內容 on the share folder counts what it holds through the share.
    m_form->FolderTreeView->setFocus();
    trigger("N39");
    TPropertiesForm* properties = propertiesWindow(QStringLiteral("殼"));
    ASSERT_NE(properties, nullptr) << "no properties window";
    EXPECT_EQ(properties->FieldText(44032), QStringLiteral("\\\\127.0.0.1\\公開\\"));
    EXPECT_TRUE(waitUntil([&] { return properties->FieldText(44034) == UiString(44045).arg(2).arg(1); }))
        << properties->FieldText(44034).toStdString();
    properties->close();

    // The list's 內容 on a file of the share.
    selectOnly(QStringLiteral("甲.txt"));
    trigger("NetProperties");
    properties = propertiesWindow(QStringLiteral("甲.txt"));
    ASSERT_NE(properties, nullptr);
    EXPECT_TRUE(properties->FieldText(44033).contains(QStringLiteral("5"))) << properties->FieldText(44033).toStdString();
    properties->close();

    // The tree's 系統選單 on the folder: a folder's menu, with browse and properties.
    QStringList entries;
    QTimer::singleShot(0, [&entries] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* entry : menu->actions())
            if (!entry->isSeparator())
                entries << entry->text();
        menu->close();
    });
    trigger("N92");
    EXPECT_TRUE(entries.contains(UiString(44066))) << entries.join(',').toStdString();
    EXPECT_TRUE(entries.contains(UiString(44064)));
    EXPECT_FALSE(entries.contains(UiString(44061))) << "a folder is no file to open with a program";

    // The list's 開啟檔案總管 on a folder of the share: no file manager here, so the
    // window shows the folder itself.
    selectOnly(QStringLiteral("子"));
    trigger("NetExplore");
    EXPECT_TRUE(waitUntil([this] { return shownFolder() == "\\\\127.0.0.1\\公開\\殼\\子\\"; }))
        << shownFolder() << m_shellErrors.join('\n').toStdString();
    EXPECT_TRUE(m_shellErrors.isEmpty()) << m_shellErrors.join('\n').toStdString();
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("內.txt")}; }));
    EXPECT_EQ(m_form->FolderTreeView->currentItem()->parent(), folder);
}

// A share's folder reached through the address box has no watcher: the View menu's
// 重新整理 (F2) and F5 read it again and show what the server has now.
TEST_F(ShellCommandsOnSharesTest, EveryRefreshReadsAShareFolderAgain)
{
    const std::string root = s_server->folder("public") + "/重讀";
    std::filesystem::create_directories(root + "/舊");
    openForm();
    go("\\\\127.0.0.1\\公開\\重讀");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("舊")}; }));

    std::filesystem::create_directories(root + "/新");
    trigger("N93");
    EXPECT_TRUE(waitUntil([this] { return listCaptions().size() == 2; })) << listCaptions().join(',').toStdString();

    std::filesystem::create_directories(root + "/更新");
    QApplication::setActiveWindow(m_form.get());
    m_form->fileListView()->currentView()->setFocus();
    trigger("Refresh");
    EXPECT_TRUE(waitUntil([this] { return listCaptions().size() == 3; })) << listCaptions().join(',').toStdString();
}

// A change of case only is a rename on a share, whose server ignores case.
TEST_F(ShellCommandsOnSharesTest, ACaseOnlyRenameOnAShareRenames)
{
    const std::string root = s_server->folder("public") + "/大小寫";
    std::filesystem::create_directories(root);
    std::ofstream(root + "/readme.txt") << "text";
    openForm();
    go("\\\\127.0.0.1\\公開\\大小寫");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("readme.txt")}; }));
    selectOnly(QStringLiteral("readme.txt"));
    m_form->M1Click();
    TListModel* model = m_form->fileListView()->model();
    model->setData(model->index(model->findCaption(QStringLiteral("readme.txt")), 0), QStringLiteral("README.txt"));
    EXPECT_TRUE(m_shellErrors.isEmpty()) << m_shellErrors.join('\n').toStdString();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"README.txt"});
}

// "設定螢幕顯示器" runs the desktop's display settings where it has some, and is greyed
// with a hint where it has none.
TEST_F(ShellCommandsTest, DisplaySettingsOpenTheDesktopsOwnOrAreGreyed)
{
    makeFolder("bin");
    makeFolder("empty-bin");
    setenv("PATH", m_drive.path("empty-bin").c_str(), 1);
    openForm();
    QAction* entry = m_form->findChild<QAction*>(QStringLiteral("N37"));
    EXPECT_FALSE(entry->isEnabled());
    EXPECT_FALSE(entry->statusTip().isEmpty());
    m_form.reset();

    const std::string said = m_drive.path("said");
    writeExecutable(m_drive.path("bin/gnome-control-center"), "#!/bin/sh\necho \"$@\" > '" + said + "'\n");
    setenv("PATH", m_drive.path("bin").c_str(), 1);
    openForm();
    entry = m_form->findChild<QAction*>(QStringLiteral("N37"));
    ASSERT_TRUE(entry->isEnabled());
    entry->trigger();
    EXPECT_TRUE(waitUntil([&] {
        return !m_shellErrors.isEmpty() || (std::filesystem::exists(said) && std::filesystem::file_size(said) > 0);
    })) << "nothing ran";
    EXPECT_TRUE(m_shellErrors.isEmpty()) << m_shellErrors.join('\n').toStdString();
    EXPECT_EQ(m_drive.readFile("said"), "display\n");
}

// A file whose application cannot start says which program is missing, not nothing.
TEST_F(ShellCommandsTest, AnApplicationThatCannotStartSaysWhy)
{
    // The desktop's default for the type names a program that is not there: the desktop does
    // not offer it, and the user is told that no application opens the file.
    makeFolder("home/.local/share/applications");
    m_drive.writeFile("home/.local/share/applications/broken-viewer.desktop",
                      "[Desktop Entry]\nType=Application\nName=壞掉的檢視器\nExec=/nonexistent/viewer %f\n"
                      "MimeType=text/plain;\n");
    m_drive.writeFile("xdg/mimeapps.list", "[Default Applications]\ntext/plain=broken-viewer.desktop\n");
    makeFolder("開啟");
    m_drive.writeFile("開啟/說明.txt", "text");
    openForm();
    m_form->FolderTreeView->setCurrentItem(driveD());
    go("D:\\開啟");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("說明.txt")}; }));
    selectOnly(QStringLiteral("說明.txt"));
    m_form->OpenItem();
    ASSERT_TRUE(waitUntil([this] { return !m_shellErrors.isEmpty() || !m_errors.isEmpty(); })) << "nothing was said";
    const QString said = (m_shellErrors + m_errors).join('\n');
    EXPECT_TRUE(said.contains(QStringLiteral("說明.txt"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("應用程式"))) << said.toStdString();
}

// A volume where no trash can be made (its top folder holds a file where the trash folder
// would go, and the home trash lies on another volume): the delete asks whether to delete
// for good instead of failing, and does so on Yes. A volume of its own needs a mount.
TEST_F(ShellCommandsTest, ADeleteWhereNoTrashCanBeMadeOffersToDeleteForGood)
{
    if (!PrivateMounts::available())
        GTEST_SKIP() << PrivateMounts::reason();
    makeFolder("無回收筒");
    const std::string volume = m_drive.path("無回收筒");
    ASSERT_EQ(mount("tmpfs", volume.c_str(), "tmpfs", 0, "size=1m"), 0) << strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{volume};
    m_drive.writeFile("無回收筒/.Trash-" + std::to_string(getuid()), "not a folder");
    m_drive.writeFile("無回收筒/草稿.txt", "draft");
    openForm();
    QList<bool> asked;
    bool answer = false;
    m_form->shell()->Questions.confirmDelete = [&](QWidget*, const std::vector<std::string>&, bool toTrash) {
        asked << toTrash;
        return toTrash || answer;
    };
    go("D:\\無回收筒");
    ASSERT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("草稿.txt")); }));

    // Declined: the file stays.
    selectOnly(QStringLiteral("草稿.txt"));
    trigger("N3");
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 2; })) << m_shellErrors.join('\n').toStdString();
    EXPECT_EQ(asked, (QList<bool>{true, false}));
    EXPECT_TRUE(std::filesystem::exists(volume + "/草稿.txt"));

    answer = true;
    asked.clear();
    selectOnly(QStringLiteral("草稿.txt"));
    trigger("N3");
    EXPECT_TRUE(waitUntil([&] { return !std::filesystem::exists(volume + "/草稿.txt"); }))
        << m_shellErrors.join('\n').toStdString();
    EXPECT_EQ(asked, (QList<bool>{true, false}));
}

// An address that leads nowhere says so, in every form the address box takes.
TEST_F(ShellCommandsTest, ANonexistentAddressSaysSo)
{
    makeFolder("在");
    openForm();
    const std::string drive = driveD()->text(0).toStdString();
    for (const std::string& typed : std::vector<std::string>{std::string("D:\\沒有這個"), "D:\\在\\沒有這個\\更深", "local:\\" + drive + "\\沒有這個",
                                     m_drive.path("沒有這個"), "file://" + m_drive.path("沒有這個"),
                                     std::string("bookmark:\\沒有這個")}) {
        m_errors.clear();
        m_informations.clear();
        go(typed);
        EXPECT_EQ(m_errors.size(), 1) << typed;
        EXPECT_TRUE(m_errors.join(' ').contains(QStringLiteral("沒有這個"))) << typed << m_errors.join(' ').toStdString();
        go("D:\\");
    }
}

} // namespace
