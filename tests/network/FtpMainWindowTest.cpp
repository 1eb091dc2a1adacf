// FTP sites through the main window against pyftpdlib on loopback: new folder and delete
// from the tree and the list menus, the refreshed list after them, disconnecting, and the
// site's own options.
#include <gtest/gtest.h>

#include "network/FtpWindowFixture.h"
#include "network/TFtpOptionsForm.h"
#include "network/TFtpPropertiesForm.h"
#include "store/NodeFile.h"
#include "resources/StringTable.h"

#include <QAction>
#include <QClipboard>
#include <QMimeData>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>

#include <array>
#include <fstream>

namespace {

class FtpMainWindowTest : public FtpWindowFixture {
protected:
    void trigger(const char* name)
    {
        QAction* entry = m_form->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(entry, nullptr) << name;
        ASSERT_TRUE(entry->isEnabled()) << name;
        entry->trigger();
    }
    /// Opens the site options from the tree's menu, chooses with `choose` and confirms.
    void chooseOptions(const std::function<void(TFtpOptionsForm&)>& choose)
    {
        m_form->FolderTreeView->setCurrentItem(m_site);
        emit m_form->FolderTreeViewPopupMenu->aboutToShow();
        QTimer::singleShot(0, [&choose] {
            auto* form = qobject_cast<TFtpOptionsForm*>(QApplication::activeModalWidget());
            if (!form)
                return;
            choose(*form);
            form->accept();
        });
        trigger("FtpSiteOptions");
    }
};

TEST_F(FtpMainWindowTest, NewFolderAndDeleteFromTheMenusActOnTheServerAndShowTheResult)
{
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();

    // The FTP list's entry and the File menu's: "New", then a name not taken yet.
    trigger("FTPNewDir");
    EXPECT_TRUE(std::filesystem::is_directory(m_drive.path("ftproot/New")));
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("New")); })) << listCaptions().join(' ').toStdString();
    EXPECT_NE(child(m_site, "New"), nullptr);
    trigger("N1");
    EXPECT_TRUE(std::filesystem::is_directory(m_drive.path("ftproot/New (2)")));
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("New (2)")); }));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("建立資料夾:\\New (2)")));

    // The tree's delete on a folder of the site deletes it on the server and shows the site.
    m_form->FolderTreeView->setCurrentItem(child(m_site, "New"));
    m_answer = IdYes;
    trigger("DNDel");
    EXPECT_FALSE(onServer("New"));
    EXPECT_EQ(child(m_site, "New"), nullptr);
    EXPECT_EQ(m_form->FolderTreeView->currentItem(), m_site);
    EXPECT_TRUE(waitUntil([this] {
        return listCaptions().contains(QStringLiteral("a.txt")) && !listCaptions().contains(QStringLiteral("New"));
    })) << listCaptions().join(' ').toStdString();

    // One item and several alike go only after the local delete's permanent question.
    select({QStringLiteral("a.txt")});
    m_answer = IdNo;
    trigger("N3");
    EXPECT_TRUE(onServer("a.txt"));
    EXPECT_EQ(m_questionTexts.last(), QStringLiteral("確定要永久刪除 \"a.txt\" 嗎?\r\n伺服器上的刪除無法復原。"));
    m_answer = IdYes;
    trigger("N3");
    EXPECT_FALSE(onServer("a.txt"));
    EXPECT_TRUE(waitUntil([this] { return !listCaptions().contains(QStringLiteral("a.txt")) && !listCaptions().isEmpty(); }));
    select({QStringLiteral("b.txt"), QStringLiteral("中文.txt")});
    m_answer = IdNo;
    trigger("FTPDelete");
    EXPECT_TRUE(m_questionTexts.last().startsWith(QStringLiteral("確定要永久刪除這 2 個項目嗎?")));
    EXPECT_TRUE(onServer("b.txt") && onServer("中文.txt"));
    m_answer = IdYes;
    select({QStringLiteral("b.txt"), QStringLiteral("中文.txt")});
    trigger("FTPDelete");
    EXPECT_FALSE(onServer("b.txt") || onServer("中文.txt"));
    EXPECT_TRUE(waitUntil([this] { return !listCaptions().contains(QStringLiteral("b.txt")); }));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();

    // The site node itself is not deleted while its window is connected; "斷線" closes it.
    m_form->FolderTreeView->setCurrentItem(m_site);
    trigger("DNDel");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("正被其它行程使用中")));
    m_errors.clear();
    trigger("N81");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_form->FTPEnumForm.isNull());
    EXPECT_EQ(m_site->childCount(), 1);
    EXPECT_TRUE(m_questionTexts.last().contains(QStringLiteral("確定要離線?")));

    // Disconnected, it is a stored node: deleting it asks and removes its block too.
    trigger("DNDel");
    EXPECT_EQ(m_questionTexts.last(), QStringLiteral("您確定要刪除此節點?"));
    EXPECT_EQ(child(m_form->bookmarkRoot(), "SITE"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(NativePath(SetupInfo.CachePath + "SITE.ATT")));
}

TEST_F(FtpMainWindowTest, ClipboardDownloadsSiteItemsAndUploadsLocalFiles)
{
    QGuiApplication::clipboard()->clear();
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    m_drive.writeFile("ftproot/docs/inner.txt", "inner");
    select({QStringLiteral("a.txt"), QStringLiteral("docs")});
    EXPECT_FALSE(m_form->findChild<QAction*>(QStringLiteral("T3"))->isEnabled()) << "a site's items are only copied";
    trigger("C2");
    // Only this process can fetch them: nothing the desktop would try to open.
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasUrls());

    // Into the drive's root, which the tree has loaded already.
    m_form->FolderTreeView->setCurrentItem(driveD());
    QApplication::processEvents();
    trigger("P1");
    EXPECT_EQ(m_drive.readFile("a.txt"), "text");
    EXPECT_EQ(m_drive.readFile("docs/inner.txt"), "inner");

    // A local file pasted into the site's folder is uploaded and listed.
    m_drive.writeFile("up.txt", "up");
    ASSERT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("up.txt")); }));
    select({QStringLiteral("up.txt")});
    trigger("C2");
    m_form->FolderTreeView->setCurrentItem(m_site);
    ASSERT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); }));
    trigger("P1");
    EXPECT_EQ(m_drive.readFile("ftproot/up.txt"), "up");
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("up.txt")); }));

    // A cut would need the upload to take the file away: refused, and the entry says why.
    m_form->FolderTreeView->setCurrentItem(driveD());
    ASSERT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("up.txt")); }));
    select({QStringLiteral("up.txt")});
    trigger("T3");
    m_form->FolderTreeView->setCurrentItem(m_site);
    ASSERT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); }));
    QApplication::processEvents();
    QAction* paste = m_form->findChild<QAction*>(QStringLiteral("P1"));
    EXPECT_FALSE(paste->isEnabled());
    EXPECT_EQ(paste->statusTip(), QString::fromStdString(LoadStr(44313)));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();
    QGuiApplication::clipboard()->clear();
}

TEST_F(FtpMainWindowTest, SiteOptionsAreKeptBesideTheBlockAndUsedAtTheNextConnection)
{
    m_form->FolderTreeView->setCurrentItem(m_site);
    emit m_form->FolderTreeViewPopupMenu->aboutToShow();
    EXPECT_TRUE(m_form->findChild<QAction*>(QStringLiteral("FtpSiteOptions"))->isVisible());
    m_form->FolderTreeView->setCurrentItem(driveD());
    emit m_form->FolderTreeViewPopupMenu->aboutToShow();
    EXPECT_FALSE(m_form->findChild<QAction*>(QStringLiteral("FtpSiteOptions"))->isVisible());

    chooseOptions([](TFtpOptionsForm& form) {
        form.EncodingComboBox->setCurrentIndex(form.EncodingComboBox->findText(QStringLiteral("CP950 (Big5)")));
        form.PassiveRadioButton->setChecked(true);
    });
    const std::string base = NativePath(SetupInfo.CachePath + "SITE");
    std::ifstream in(base + ".OPT");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "encoding=cp950\npassive=1\n");
    EXPECT_EQ(std::filesystem::file_size(base + ".ATT"), FtpSiteBlockSize);

    // Read as CP950, the server's UTF-8 name is not the name on the server.
    ASSERT_NE(connectSite(), nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(listCaptions().contains(QStringLiteral("中文.txt")));
    m_answer = IdYes;
    trigger("N81");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    chooseOptions([](TFtpOptionsForm& form) {
        EXPECT_TRUE(form.PassiveRadioButton->isChecked());
        form.EncodingComboBox->setCurrentIndex(form.EncodingComboBox->findText(QStringLiteral("自動偵測")));
        form.ActiveRadioButton->setChecked(true);
    });
    ASSERT_NE(connectSite(), nullptr);
    EXPECT_TRUE(listCaptions().contains(QStringLiteral("中文.txt"))) << listCaptions().join(' ').toStdString();
    EXPECT_EQ(ReadFtpSiteOptions(base).encoding, FtpEncoding::Auto);
    EXPECT_FALSE(ReadFtpSiteOptions(base).passive);
}

// Answers the boxes and the password prompt that the site window opens while it connects:
// Yes (or `yes`) to the question, and `user`/`password` typed into the prompt, confirmed
// with "記住密碼" ticked, or the prompt cancelled when `cancel`.
class ModalAnswers {
public:
    ModalAnswers()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
    }
    bool yes = true;
    bool cancel = false;
    QString user = QStringLiteral("user"), password = QStringLiteral("secret");
    QStringList questions;
    int prompts = 0;
    QString promptLocation;
    bool locationEditable = true;

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            questions << box->text();
            box->done(yes ? QMessageBox::Yes : QMessageBox::No);
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(modal);
        auto* userEdit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("UserNameEdit")) : nullptr;
        auto* passwordEdit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("PasswordEdit")) : nullptr;
        if (!userEdit || !passwordEdit)
            return;
        ++prompts;
        if (auto* location = dialog->findChild<QLineEdit*>(QStringLiteral("ComputerEdit"))) {
            promptLocation = location->text();
            locationEditable = location->isEnabled();
        }
        if (cancel) {
            dialog->reject();
            return;
        }
        userEdit->setText(user);
        passwordEdit->setText(password);
        if (auto* remember = dialog->findChild<QCheckBox*>())
            remember->setChecked(true);
        // Its "確定", as the user confirms it.
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("確定"))
                button->click();
    }
    QTimer m_timer;
};

TEST_F(FtpMainWindowTest, StoredTypedAndWrongCredentialsThroughTheWindow)
{
    auto storedPassword = [this] {
        std::array<unsigned char, FtpSiteBlockSize> bytes{};
        ReadNodeAttachment(*GetNodeData(m_site), bytes.data(), bytes.size());
        return DecodeFtpSiteBlock(bytes.data()).Password;
    };
    auto storePassword = [this](const std::string& password) {
        std::array<unsigned char, FtpSiteBlockSize> bytes{};
        ReadNodeAttachment(*GetNodeData(m_site), bytes.data(), bytes.size());
        FtpSiteBlock block = DecodeFtpSiteBlock(bytes.data());
        block.Password = password;
        EncodeFtpSiteBlock(block, bytes.data());
        WriteNodeAttachment(*GetNodeData(m_site), bytes.data(), bytes.size());
    };
    auto disconnect = [this] {
        trigger("N81");
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    {
        // The stored password works: nothing is asked.
        ModalAnswers answers;
        ASSERT_NE(connectSite(), nullptr);
        EXPECT_EQ(answers.prompts, 0);
        m_answer = IdYes;
        disconnect();
    }
    {
        // A wrong one: the question, then the prompt; the typed password is kept.
        storePassword("wrong");
        ModalAnswers answers;
        ASSERT_NE(connectSite(), nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(answers.questions.size(), 1);
        EXPECT_EQ(answers.questions[0], QStringLiteral("使用者名稱或密碼錯誤,重新輸入?"));
        EXPECT_EQ(answers.prompts, 1);
        // The prompt names the site's host, which cannot be changed there.
        EXPECT_EQ(answers.promptLocation, QStringLiteral("127.0.0.1"));
        EXPECT_FALSE(answers.locationEditable);
        EXPECT_TRUE(listCaptions().contains(QStringLiteral("a.txt")));
        EXPECT_EQ(storedPassword(), "secret");
        disconnect();
    }
    {
        // None stored: the prompt at once, not the question about a wrong password.
        storePassword("");
        ModalAnswers answers;
        ASSERT_NE(connectSite(), nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(answers.questions.isEmpty()) << answers.questions.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(answers.prompts, 1);
        EXPECT_EQ(storedPassword(), "secret");
        disconnect();
    }
    {
        // A wrong one typed again, then the prompt given up: no connection, the error box,
        // the site collapsed. "記住密碼" keeps what was typed, as it was asked to.
        storePassword("wrong");
        ModalAnswers answers;
        answers.password = QStringLiteral("still wrong");
        QTimer::singleShot(300, [&answers] { answers.cancel = true; });
        m_form->FolderTreeView->setCurrentItem(m_site);
        m_site->setExpanded(true);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_GE(answers.prompts, 2);
        EXPECT_TRUE(m_form->FTPEnumForm.isNull());
        EXPECT_EQ(GetNodeData(m_site)->SiteWindow, nullptr);
        ASSERT_FALSE(m_errors.isEmpty());
        // The box names the site it is about.
        EXPECT_TRUE(m_errors.last().startsWith(QStringLiteral("SITE (127.0.0.1)\r\n530"))) << m_errors.last().toStdString();
        EXPECT_EQ(storedPassword(), "still wrong");
    }
}

TEST_F(FtpMainWindowTest, ExploreListsTheChosenFolderInTheSiteWindowAndShowsIt)
{
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    makeFolder("ftproot/docs/inner");
    m_drive.writeFile("ftproot/docs/readme.txt", "doc");
    window->hide();

    // The selected folder item: its node is shown, listed anew by the site window, which
    // comes up again.
    select({QStringLiteral("docs")});
    trigger("FTPExplore");
    QTreeWidgetItem* docs = child(m_site, "docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(m_form->FolderTreeView->currentItem(), docs);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("readme.txt")); }))
        << listCaptions().join(' ').toStdString();
    EXPECT_NE(child(docs, "inner"), nullptr);

    // No selection: the shown folder, listed again, so that a change on the server shows.
    m_drive.writeFile("ftproot/docs/later.txt", "new");
    window->hide();
    select({});
    trigger("FTPExplore");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("later.txt")); }));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(FtpMainWindowTest, PropertiesShowWhatTheListingSaidOfTheSelectedItems)
{
    ASSERT_NE(connectSite(), nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    QAction* properties = m_form->findChild<QAction*>(QStringLiteral("FTPProperties"));
    auto openFor = [&](const QStringList& names) -> TFtpPropertiesForm* {
        select(names);
        emit m_form->FTPListPopupMenu->aboutToShow();
        if (!properties->isEnabled())
            return nullptr;
        properties->trigger();
        const auto forms = m_form->findChildren<TFtpPropertiesForm*>();
        return forms.isEmpty() ? nullptr : forms.last();
    };
    auto str = [](int number) { return QString::fromStdString(LoadStr(number)); };

    EXPECT_EQ(openFor({}), nullptr) << "nothing selected, nothing to show";

    TFtpPropertiesForm* form = openFor({QStringLiteral("中文.txt")});
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->NameText(), QStringLiteral("中文.txt"));
    EXPECT_TRUE(form->windowTitle().contains(QStringLiteral("中文.txt")));
    EXPECT_EQ(form->FieldText(44090), QStringLiteral("SITE (127.0.0.1)")) << "site caption and host";
    EXPECT_EQ(form->FieldText(44032), QStringLiteral("\\"));
    EXPECT_TRUE(form->FieldText(44033).contains(QStringLiteral("(4 位元組)"))) << form->FieldText(44033).toStdString();
    EXPECT_FALSE(form->FieldText(44031).isEmpty());
    EXPECT_NE(form->FieldText(44031), str(44044));
    // The server's MLSD gives a perm fact and a date; this one names no owner.
    EXPECT_FALSE(form->FieldText(44038).isEmpty());
    EXPECT_NE(form->FieldText(44038), str(44092));
    EXPECT_EQ(form->FieldText(44039), str(44092));
    EXPECT_EQ(form->FieldText(44036).size(), 19) << form->FieldText(44036).toStdString();
    form->close();

    form = openFor({QStringLiteral("docs")});
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->FieldText(44031), str(44044));
    EXPECT_EQ(form->FieldText(44033), str(44092)) << "a listing gives no size of a folder";
    form->close();

    // Several: their count and total size, no one item's date or owner.
    form = openFor({QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->NameText(), str(44047).arg(2));
    EXPECT_TRUE(form->FieldText(44033).contains(QStringLiteral("(8 位元組)"))) << form->FieldText(44033).toStdString();
    EXPECT_TRUE(form->FieldText(44036).isEmpty());
    form->close();
}

TEST_F(FtpMainWindowTest, ExpandMenuOpensTheLoadedFtpNodesDownToTheSitesOrTheirFolders)
{
    ASSERT_NE(connectSite(), nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    QTreeWidgetItem* docs = child(m_site, "docs");
    ASSERT_NE(docs, nullptr);
    // A loaded bookmark folder that holds no FTP node stays as it is.
    auto* other = new QTreeWidgetItem(m_form->bookmarkRoot());
    auto* data = new TNodeData;
    data->Caption = "OTHER";
    data->RootKind = BookmarkRoot;
    data->NodeAttributes = Domain | Container;
    data->State = Idle | Expanded;
    ShowNodeData(data, other);
    AddPlaceholderChild(other);

    m_form->FolderTreeView->collapseAll();
    trigger("FTP1");
    EXPECT_TRUE(m_form->bookmarkRoot()->isExpanded()) << "the site is in sight";
    EXPECT_FALSE(m_site->isExpanded());
    EXPECT_FALSE(other->isExpanded());

    m_form->FolderTreeView->collapseAll();
    trigger("FTP2");
    EXPECT_TRUE(m_form->bookmarkRoot()->isExpanded());
    EXPECT_TRUE(m_site->isExpanded());
    EXPECT_FALSE(docs->isExpanded()) << "a folder not listed yet is not read on the way";
    EXPECT_FALSE(other->isExpanded());
    EXPECT_EQ(m_form->FTPEnumForm->logText().count(QStringLiteral("列出目錄成功")), 1);
}

// The site window stays on top of the program's windows, but never over a dialog that waits
// for the user: the password manager opened from the menu came up behind it.
TEST_F(FtpMainWindowTest, TheSiteWindowGivesWayToAModalDialogOfTheMainWindow)
{
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    window->show();
    QApplication::processEvents();
    ASSERT_TRUE(window->staysOnTop());
    bool opened = false, onTopMeanwhile = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        opened = true;
        onTopMeanwhile = window->staysOnTop();
        dialog->reject();
    });
    trigger("N24");
    EXPECT_TRUE(opened);
    EXPECT_FALSE(onTopMeanwhile);
    EXPECT_TRUE(window->staysOnTop());
}

} // namespace

namespace {

TEST_F(FtpMainWindowTest, AnFtpAddressOpensItsSiteOrANewOneAfterAQuestion)
{
    ModalAnswers answers;
    const std::string server = "127.0.0.1:" + std::to_string(m_server.port());

    // The site stored for this host, port and user: connected and shown at the folder.
    go("ftp://user@" + server + "/docs");
    ASSERT_FALSE(m_form->FTPEnumForm.isNull()) << m_errors.join(QLatin1Char('\n')).toStdString();
    QTreeWidgetItem* shown = m_form->FolderTreeView->currentItem();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(0), QStringLiteral("docs"));
    EXPECT_EQ(shown->parent(), m_site);
    EXPECT_TRUE(m_questionTexts.isEmpty()) << m_questionTexts.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(answers.prompts, 0);
    // A folder the site does not have is said to be missing.
    go("ftp://" + server + "/nothere");
    ASSERT_FALSE(m_errors.isEmpty());
    EXPECT_TRUE(m_errors.last().contains(QStringLiteral("nothere"))) << m_errors.last().toStdString();
    m_form->FolderTreeView->setCurrentItem(m_site);
    trigger("N81");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(m_form->FTPEnumForm.isNull());

    // No site for this user: asked first, and No leaves the bookmarks as they were.
    const int children = m_form->bookmarkRoot()->childCount();
    m_answer = IdNo;
    go("ftp://other@" + server + "/");
    ASSERT_EQ(m_questionTexts.size(), 1);
    EXPECT_TRUE(m_questionTexts[0].contains(QString::fromStdString("ftp://other@" + server)))
        << m_questionTexts[0].toStdString();
    EXPECT_EQ(m_form->bookmarkRoot()->childCount(), children);
    EXPECT_TRUE(m_form->FTPEnumForm.isNull());

    // Yes: a stored site among the bookmarks at once; its empty password brings the prompt.
    m_answer = IdYes;
    go("ftp://other@" + server + "/docs/");
    EXPECT_EQ(m_form->bookmarkRoot()->childCount(), children + 1);
    EXPECT_EQ(answers.prompts, 1);
    ASSERT_FALSE(m_form->FTPEnumForm.isNull());
    shown = m_form->FolderTreeView->currentItem();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(0), QStringLiteral("docs"));
    ASSERT_NE(shown->parent(), nullptr);
    const TNodeData* site = GetNodeData(shown->parent());
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->Caption, "other@" + server);
    EXPECT_EQ(site->RootKind, FtpRoot);
    TNodeList stored;
    LoadNodeFile(SetupInfo.CachePath + "Bookmark\\", stored, false);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->Caption, "other@" + server);
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    ReadNodeAttachment(*stored[0], bytes.data(), bytes.size());
    const FtpSiteBlock block = DecodeFtpSiteBlock(bytes.data());
    EXPECT_EQ(block.Host, "127.0.0.1");
    EXPECT_EQ(block.Port, m_server.port());

    // Something that is no FTP address is said so.
    m_errors.clear();
    go("ftp://");
    EXPECT_EQ(m_errors.size(), 1);
}

} // namespace
