// What the main window does on a connected FTP site that cannot be taken back or that
// goes wrong half-way: deletes ask first and delete only what they asked about, a
// transfer goes on past a file that fails, a failed change of folder is logged as one,
// and closing the program asks about a hidden site window and stops it first.
#include <gtest/gtest.h>

#include "local/TThreadForm.h"
#include "network/FtpWindowFixture.h"

#include <QAction>
#include <QClipboard>
#include <QTextEdit>

namespace {

class FtpServerCommandsTest : public FtpWindowFixture {
protected:
    void trigger(const char* name)
    {
        QAction* entry = m_form->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(entry, nullptr) << name;
        entry->trigger();
    }
    void focusTree()
    {
        QApplication::setActiveWindow(m_form.get());
        m_form->FolderTreeView->setFocus();
        QApplication::processEvents();
    }
};

TEST_F(FtpServerCommandsTest, DeletesAskWithTheNameAndNeverEmptyAFolderUnasked)
{
    m_drive.writeFile("ftproot/docs/inner.txt", "inner");
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();

    // The Delete key on a folder of the list: the question says the contents go too.
    select({QStringLiteral("docs")});
    m_answer = IdNo;
    trigger("N3");
    ASSERT_FALSE(m_questionTexts.isEmpty());
    EXPECT_TRUE(m_questionTexts.last().contains(QStringLiteral("\"docs\"")));
    EXPECT_TRUE(m_questionTexts.last().contains(QStringLiteral("一起刪除")));
    EXPECT_TRUE(onServer("docs/inner.txt"));

    // The same folder from the tree: asked as well, and nothing goes on No.
    QTreeWidgetItem* docs = child(m_site, "docs");
    ASSERT_NE(docs, nullptr);
    m_form->FolderTreeView->setCurrentItem(docs);
    focusTree();
    const int asked = m_questionTexts.size();
    trigger("N3");
    EXPECT_EQ(m_questionTexts.size(), asked + 1);
    EXPECT_TRUE(onServer("docs/inner.txt"));
    m_answer = IdYes;
    trigger("DNDel");
    EXPECT_FALSE(onServer("docs"));
    EXPECT_EQ(child(m_site, "docs"), nullptr);

    // A file of the list that became a folder on the server meanwhile: the file's delete
    // fails and the folder stays with what it holds.
    ASSERT_TRUE(waitUntil([this] {
        return listCaptions().contains(QStringLiteral("b.txt")) && !listCaptions().contains(QStringLiteral("docs"));
    }));
    std::filesystem::remove(m_drive.path("ftproot/b.txt"));
    makeFolder("ftproot/b.txt");
    m_drive.writeFile("ftproot/b.txt/kept.txt", "kept");
    select({QStringLiteral("b.txt")});
    trigger("N3");
    EXPECT_TRUE(onServer("b.txt/kept.txt"));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("刪除檔案失敗"))) << window->logText().toStdString();
}

TEST_F(FtpServerCommandsTest, ADownloadGoesOnPastAFileThatFailsAndNamesItInRed)
{
    QGuiApplication::clipboard()->clear();
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    select({QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("中文.txt")});
    trigger("C2");
    // b.txt goes from the server after the listing: it is the middle one of the walk.
    std::filesystem::remove(m_drive.path("ftproot/b.txt"));
    m_form->FolderTreeView->setCurrentItem(driveD());
    QApplication::processEvents();
    trigger("P1");
    EXPECT_EQ(m_drive.readFile("中文.txt"), "text");
    EXPECT_EQ(m_drive.readFile("a.txt"), "text") << "the file after the failed one";
    EXPECT_FALSE(std::filesystem::exists(m_drive.path("b.txt")));
    // One box at the end names the file; the log has it in red.
    ASSERT_EQ(m_errors.size(), 1) << m_errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("b.txt")));
    const QString html = window->LogRichEdit->toHtml();
    const qsizetype at = html.indexOf(QStringLiteral("\\b.txt:"));
    ASSERT_GE(at, 0) << html.toStdString();
    EXPECT_GE(html.lastIndexOf(QStringLiteral("color:#ff0000"), at), html.lastIndexOf(QStringLiteral("color:#008080"), at));
}

TEST_F(FtpServerCommandsTest, AFolderGoneFromTheServerLogsAFailedChangeOfFolder)
{
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    QTreeWidgetItem* docs = child(m_site, "docs");
    ASSERT_NE(docs, nullptr);
    std::filesystem::remove_all(m_drive.path("ftproot/docs"));
    m_form->FolderTreeView->setCurrentItem(docs);
    docs->setExpanded(true);
    EXPECT_TRUE(window->logText().contains(QStringLiteral("變換目錄失敗"))) << window->logText().toStdString();
    EXPECT_FALSE(window->logText().contains(QStringLiteral("列出目錄失敗")));
}

TEST_F(FtpServerCommandsTest, ClosingAsksAboutAHiddenSiteWindowAndStopsItBeforeFreeing)
{
    TThreadForm tasks;
    ThreadForm = &tasks;
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    window->hide();
    ASSERT_EQ(tasks.TaskCount(), 1);

    m_answer = IdNo;
    EXPECT_FALSE(m_form->close());
    EXPECT_EQ(m_questions, QList<int>{33059});
    EXPECT_TRUE(window->connected());
    EXPECT_NE(GetNodeData(m_site), nullptr);

    m_answer = IdYes;
    EXPECT_TRUE(m_form->close());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_form->FTPEnumForm.isNull());
    EXPECT_EQ(tasks.TaskCount(), 0);
    ThreadForm = nullptr;
}

} // namespace
