// A file of a share or an FTP site opened from the main window is a copy in the scratch
// folder: a save of the copy asks whether it goes back to the server and puts it there,
// warns first when the server's file changed since the copy was made, and a second file of
// the same name never lands on the first copy.
#include <gtest/gtest.h>

#include "local/TOpenedCopies.h"
#include "mainwindow/BrowseFixture.h"
#include "mainwindow/FtpDragData.h"
#include "network/FtpWindowFixture.h"
#include "support/SmbTestServer.h"
#include "ui/TStatusBar.h"

#include <QAction>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An application's save: a new file renamed over the old one, as editors write.
void saveAs(const std::string& path, const std::string& text)
{
    const std::string part = path + ".part";
    std::ofstream(part, std::ios::binary) << text;
    fs::rename(part, path);
}

// Records the questions about opened copies and answers them from a script.
struct CopyQuestions {
    void attach(TOpenedCopies* copies)
    {
        copies->AskQuestion = [this](const QString& text) {
            asked << text;
            if (answers.empty())
                return false;
            const bool answer = answers.front();
            answers.pop_front();
            return answer;
        };
    }
    QStringList asked;
    std::deque<bool> answers;
};

// The main window with a share on loopback; text files open in a viewer of the test's own
// desktop, which records the path it was given.
class ShareCopyTest : public WithSmbServer<BrowseFixture> {
protected:
    void SetUp() override
    {
        WithSmbServer::SetUp();
        if (HasFatalFailure())
            return;
        setenv("XDG_DATA_HOME", m_drive.path("data").c_str(), 1);
        makeFolder("mime-data");
        fs::create_directory_symlink("/usr/share/mime", m_drive.path("mime-data/mime"));
        setenv("XDG_DATA_DIRS", m_drive.path("mime-data").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", m_drive.path("no-config").c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "TestDesk", 1);
        makeFolder("bin");
        makeFolder("data/applications");
        m_drive.writeFile("bin/viewer", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.opened\"\n");
        ::chmod(m_drive.path("bin/viewer").c_str(), 0755);
        m_drive.writeFile("data/applications/viewer.desktop",
                          "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + m_drive.path("bin/viewer") + " %f\n");
        m_drive.writeFile("xdg/mimeapps.list", "[Default Applications]\ntext/plain=viewer.desktop\n");
    }

    /// Opens the list item `name` of the shown folder; the copy's path, once the window
    /// watches it.
    std::string open(const QString& name, int copiesBefore)
    {
        TListModel* model = m_form->fileListView()->model();
        QItemSelectionModel* selection = m_form->fileListView()->selectionModel();
        selection->clearSelection();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->item(row).Caption == name)
                selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_form->findChild<QAction*>(QStringLiteral("N19"))->trigger();
        const auto opened = [this] {
            std::istringstream lines(readAll(m_drive.path("bin/viewer.opened")));
            std::vector<std::string> paths;
            for (std::string line; std::getline(lines, line);)
                paths.push_back(line);
            return paths;
        };
        if (!waitUntil([&] { return opened().size() == size_t(copiesBefore + 1)
                                    && m_form->openedCopies()->Count() == copiesBefore + 1; }, 20000))
            return {};
        return opened().back();
    }

    ScopedEnvironment m_desktop{"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"};
    CopyQuestions m_copyQuestions;
};

TEST_F(ShareCopyTest, ASavedCopyGoesBackToTheShareWhenTheUserSaysSo)
{
    const std::string folder = s_server->folder("public") + "/複本";
    fs::create_directories(folder + "/另");
    std::ofstream(folder + "/報告.txt") << "old";
    std::ofstream(folder + "/另/報告.txt") << "other";
    openForm();
    m_copyQuestions.attach(m_form->openedCopies());
    go("\\\\127.0.0.1\\公開\\複本");
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 2; })) << m_errors.join('\n').toStdString();

    const std::string copy = open(QStringLiteral("報告.txt"), 0);
    ASSERT_FALSE(copy.empty()) << m_shellErrors.join('\n').toStdString();
    EXPECT_EQ(readAll(copy), "old");
    // The copy lies in the scratch folder, and the status bar says what it is.
    EXPECT_EQ(copy.rfind(NativePath(SetupInfo.TempPath), 0), 0u) << copy;
    EXPECT_EQ(m_form->StatusBar->panelText(1),
              QStringLiteral("已開啟複本：\\\\127.0.0.1\\公開\\複本\\報告.txt，儲存後會詢問是否上傳"));

    // The application saves: asked, naming the file and where it goes; No keeps the server's.
    saveAs(copy, "first edit");
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 1; }));
    EXPECT_EQ(m_copyQuestions.asked[0], QStringLiteral("開啟的複本「報告.txt」已儲存。\r\n"
                                                       "是否上傳回伺服器，取代 \\\\127.0.0.1\\公開\\複本\\報告.txt？"));
    EXPECT_EQ(readAll(folder + "/報告.txt"), "old");

    // Saved again, Yes: the share's file is the copy now, no overwrite question on the way.
    m_copyQuestions.answers = {true};
    {
        std::ofstream(copy, std::ios::binary | std::ios::app) << " and more";
    }
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 2; }));
    EXPECT_TRUE(waitUntil([&] { return readAll(folder + "/報告.txt") == "first edit and more"; }))
        << readAll(folder + "/報告.txt");
    EXPECT_EQ(m_overwriteQuestions, 0);
    EXPECT_TRUE(m_shellErrors.isEmpty()) << m_shellErrors.join('\n').toStdString();

    // Someone changes the share's file meanwhile: the upload warns first; No leaves theirs.
    std::ofstream(folder + "/報告.txt", std::ios::trunc) << "a colleague's version";
    m_copyQuestions.answers = {true, false};
    saveAs(copy, "second edit");
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 4; }));
    EXPECT_TRUE(m_copyQuestions.asked[3].startsWith(
        QStringLiteral("伺服器上的 \\\\127.0.0.1\\公開\\複本\\報告.txt 在開啟複本之後已被變更（現在 21 位元組")))
        << m_copyQuestions.asked[3].toStdString();
    EXPECT_EQ(readAll(folder + "/報告.txt"), "a colleague's version");
    // Yes to both replaces it after all.
    m_copyQuestions.answers = {true, true};
    saveAs(copy, "third edit");
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 6; }));
    EXPECT_TRUE(waitUntil([&] { return readAll(folder + "/報告.txt") == "third edit"; }));

    // A file of the same name from another folder gets a copy of its own: the first stays.
    go("\\\\127.0.0.1\\公開\\複本\\另");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("報告.txt")}; }));
    const std::string second = open(QStringLiteral("報告.txt"), 1);
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second, copy);
    EXPECT_EQ(readAll(second), "other");
    EXPECT_EQ(readAll(copy), "third edit");
    EXPECT_TRUE(m_copyQuestions.asked.size() == 6) << "opening asked nothing";
}

// The same through an FTP site's window, against pyftpdlib on loopback.
class FtpCopyTest : public FtpWindowFixture {
protected:
    std::string open(const QString& name)
    {
        const size_t before = m_opened.size();
        select({name});
        m_form->findChild<QAction*>(QStringLiteral("FTPOpen"))->trigger();
        if (m_opened.size() != before + 1)
            return {};
        return m_opened.back();
    }
    std::string server(const char* name) const { return readAll(m_drive.path(std::string("ftproot/") + name)); }

    std::vector<std::string> m_opened;
    CopyQuestions m_copyQuestions;
};

TEST_F(FtpCopyTest, ASavedCopyGoesBackToTheSiteAndAChangedSiteFileIsWarnedAbout)
{
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join(QLatin1Char('\n')).toStdString();
    window->OpenLocalFile = [this](const std::string& path) {
        m_opened.push_back(path);
        return 42;
    };
    m_copyQuestions.attach(m_form->openedCopies());

    const std::string copy = open(QStringLiteral("a.txt"));
    ASSERT_FALSE(copy.empty()) << m_errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readAll(copy), "text");
    EXPECT_EQ(m_form->openedCopies()->Count(), 1);
    const QString where = QStringLiteral("ftp://127.0.0.1:%1/a.txt").arg(m_server.port());
    EXPECT_EQ(m_form->StatusBar->panelText(1), QStringLiteral("已開啟複本：%1，儲存後會詢問是否上傳").arg(where));

    m_copyQuestions.answers = {true};
    saveAs(copy, "edited on the desktop");
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 1; }));
    EXPECT_TRUE(m_copyQuestions.asked[0].contains(where)) << m_copyQuestions.asked[0].toStdString();
    EXPECT_TRUE(waitUntil([this] { return server("a.txt") == "edited on the desktop"; })) << server("a.txt");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();

    // Changed on the site meanwhile: warned, and No keeps the site's file.
    std::ofstream(m_drive.path("ftproot/a.txt"), std::ios::trunc) << "changed on the site";
    m_copyQuestions.answers = {true, false};
    saveAs(copy, "edited again");
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 3; }));
    EXPECT_TRUE(m_copyQuestions.asked[2].contains(QStringLiteral("在開啟複本之後已被變更")))
        << m_copyQuestions.asked[2].toStdString();
    EXPECT_EQ(server("a.txt"), "changed on the site");

    // Opened again: a second copy, the first keeps its edits.
    const std::string second = open(QStringLiteral("a.txt"));
    ASSERT_FALSE(second.empty()) << (m_errors + m_informationTexts).join(QLatin1Char('\n')).toStdString()
                                 << listCaptions().join(' ').toStdString();
    EXPECT_NE(second, copy);
    EXPECT_EQ(readAll(second), "changed on the site");
    EXPECT_EQ(readAll(copy), "edited again");
    EXPECT_EQ(m_form->openedCopies()->Count(), 2);

    // The site window closed: a save is still asked about, and the user hears why it
    // cannot go back; nothing reaches the site.
    window->AskQuestion = [](const QString&) { return true; };
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(m_form->FTPEnumForm.isNull());
    m_errors.clear();
    m_copyQuestions.answers = {true};
    saveAs(second, "edited offline");
    ASSERT_TRUE(waitUntil([this] { return m_copyQuestions.asked.size() == 4; }));
    EXPECT_TRUE(m_copyQuestions.asked[3].contains(where));
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors[0], QStringLiteral("站台已中斷連線，請先連線再上傳。"));
    EXPECT_EQ(server("a.txt"), "changed on the site");
}

// Clearing the scratch folder at start: an opened copy's folder goes a day after its
// copy was last saved, not a day after the folder was made.
TEST(OpenedCopyFolders, GoADayAfterTheLastSaveOfTheirCopy)
{
    TempFolder temp;
    const auto daysAgo = [](int days) { return fs::file_time_type::clock::now() - std::chrono::hours(24 * days); };
    for (const char* name : {"open-old", "open-saved", "open-new"}) {
        fs::create_directories(temp.path(name));
        temp.writeFile(std::string(name) + "/報告.txt", "copy");
    }
    fs::last_write_time(temp.path("open-old/報告.txt"), daysAgo(3));
    fs::last_write_time(temp.path("open-old"), daysAgo(3));
    fs::last_write_time(temp.path("open-saved"), daysAgo(3));  // made long ago, saved now
    fs::last_write_time(temp.path("open-new/報告.txt"), daysAgo(3));  // the server's old date
    RemoveOldTempItems(WindowsPath(temp.path()) + "\\", std::chrono::hours(1), std::chrono::hours(24));
    EXPECT_FALSE(fs::exists(temp.path("open-old")));
    EXPECT_TRUE(fs::exists(temp.path("open-saved/報告.txt")));
    EXPECT_TRUE(fs::exists(temp.path("open-new/報告.txt")));
}

} // namespace
