#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "app/DesktopBus.h"
#include "app/StartOptions.h"
#include "store/NodePaths.h"
#include "support/PrivateSessionBus.h"
#include "support/SmbTestServer.h"

#include <QDBusMessage>
#include <QItemSelectionModel>
#include <QProcess>
#include <QUrl>

#include <filesystem>
#include <fstream>

namespace {

// The one main window on a private session bus: a second start of the real program hands
// its place over and ends, and the desktop's file-manager calls open folders and select items.
class DesktopBusTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        ASSERT_TRUE(m_bus.ok()) << "dbus-daemon did not start";
    }
    /// Opens the window (after the test made its folders) and serves it under `name`: the
    /// name a start with this test's settings looks for, or the desktop's own program name,
    /// which alone serves the file-manager interface.
    void serve(const std::string& name)
    {
        openForm();
        m_served = std::make_unique<DesktopBus>(m_bus.connect(QStringLiteral("served")), name);
        ASSERT_TRUE(m_served->Register());
        ServeDesktopBus(*m_served, m_form.get());
    }
    void TearDown() override
    {
        m_served.reset();
        BrowseFixture::TearDown();
    }

    /// Runs the real program as a second start with `arguments`; its exit code, -1 when it
    /// did not end (it opened a window of its own instead of handing over).
    int secondStart(const QStringList& arguments, const QString& folder = QString())
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        if (!folder.isEmpty())
            program.setWorkingDirectory(folder);
        program.start(QStringLiteral(TAMSEL_PROGRAM), arguments);
        // The running program answers the call from its event loop: keep it turning.
        const bool ended = waitUntil(
            [&] { return program.state() == QProcess::NotRunning || program.waitForFinished(10); }, 30000);
        if (!ended) {
            program.kill();
            program.waitForFinished();
            return -1;
        }
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }

    /// The captions of the list's selected rows.
    QStringList selectedCaptions() const
    {
        QStringList texts;
        for (const QModelIndex& row : m_form->fileListView()->selectionModel()->selectedRows())
            texts << m_form->fileListView()->model()->item(row.row()).Caption;
        return texts;
    }

    static QString uri(const std::string& native) { return QUrl::fromLocalFile(QString::fromStdString(native)).toString(); }

    PrivateSessionBus m_bus;
    std::unique_ptr<DesktopBus> m_served;
};

TEST_F(DesktopBusTest, ASecondStartHandsItsPlaceToTheRunningProgram)
{
    makeFolder("work/報告");
    makeFolder("other");
    std::ofstream(m_drive.path("work/報告/a.txt")) << "a";
    serve(DesktopBusName());

    // Only one program holds the name; a second one learns that it is not the first.
    DesktopBus second(m_bus.connect(QStringLiteral("second")), DesktopBusName());
    EXPECT_FALSE(second.Register());

    // A relative path is the start's own folder's, not the running program's.
    ASSERT_EQ(secondStart({QStringLiteral("報告")}, QString::fromStdString(m_drive.path("work"))), 0);
    const std::string folder = AddBackslash(WindowsPath(m_drive.path("work/報告")));
    ASSERT_TRUE(waitUntil([&] { return shownFolder() == folder; })) << shownFolder() << m_errors.join('\n').toStdString();
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("a.txt")}; }));

    // A file's link opens its folder with the file selected.
    ASSERT_EQ(secondStart({uri(m_drive.path("work/報告/a.txt"))}), 0);
    EXPECT_TRUE(waitUntil([this] { return selectedCaptions() == QStringList{QStringLiteral("a.txt")}; }))
        << selectedCaptions().join(',').toStdString();

    // An unknown option is the start's own usage error, and nothing reaches the window.
    EXPECT_EQ(secondStart({QStringLiteral("--bogus"), QString::fromStdString(m_drive.path("other"))}), 2);
    QApplication::processEvents();
    EXPECT_EQ(shownFolder(), folder);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(DesktopBusTest, ASearchResultOpensInTheRunningWindowWithItsEntrySelected)
{
    makeFolder("帳本");
    for (int i = 0; i < 60; ++i)
        std::ofstream(m_drive.path("帳本/第" + std::to_string(i) + "章.txt")) << i;
    std::ofstream(m_drive.path("帳本/總帳.xls")) << "x";
    // Nobody serves this test's name yet: a start would go on with its own window.
    EXPECT_FALSE(DesktopBus::HandOver(m_bus.connect(QStringLiteral("early")), DesktopBusName(), {"--help"}));
    serve(DesktopBusName());

    // As the search program asks for a result: the folder, and the entry to select in it.
    ASSERT_EQ(secondStart({QStringLiteral("--select"), QString::fromStdString(m_drive.path("帳本")),
                           QStringLiteral("--item"), QStringLiteral("第57章.txt")}),
              0);
    ASSERT_TRUE(waitUntil([this] { return selectedCaptions() == QStringList{QStringLiteral("第57章.txt")}; }))
        << selectedCaptions().join(',').toStdString() << m_errors.join('\n').toStdString();
    EXPECT_EQ(shownFolder(), AddBackslash(WindowsPath(m_drive.path("帳本"))));
    // Selected where the user sees it, even far down a long folder.
    QAbstractItemView* view = m_form->fileListView()->currentView();
    const QModelIndex index = view->selectionModel()->selectedRows().value(0);
    EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(index)));

    // An entry that is no name of the folder is the start's own usage error.
    EXPECT_EQ(secondStart({QStringLiteral("--select"), QString::fromStdString(m_drive.path("帳本")),
                           QStringLiteral("--item"), QStringLiteral("../總帳.xls")}),
              2);
    QApplication::processEvents();
    EXPECT_EQ(selectedCaptions(), QStringList{QStringLiteral("第57章.txt")});
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(DesktopBusTest, ShowItemsOpensTheFolderWithTheItemSelected)
{
    makeFolder("shown/子資料夾");
    for (const char* name : {"a.txt", "b 檔.txt", "c.txt"})
        std::ofstream(m_drive.path(std::string("shown/") + name)) << name;
    serve(DesktopBus::ServiceName);
    QDBusConnection caller = m_bus.connect(QStringLiteral("caller"));
    const auto call = [&](const char* method, const QStringList& uris) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QString::fromLatin1(DesktopBus::FileManagerName), QString::fromLatin1(DesktopBus::FileManagerPath),
            QString::fromLatin1(DesktopBus::FileManagerName), QString::fromLatin1(method));
        message << uris << QString();
        // Answered at once: the window does the work afterwards.
        const QDBusMessage reply = caller.call(message, QDBus::BlockWithGui, 10000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    };

    call("ShowItems", {uri(m_drive.path("shown/b 檔.txt"))});
    const std::string folder = AddBackslash(WindowsPath(m_drive.path("shown")));
    ASSERT_TRUE(waitUntil([&] { return selectedCaptions() == QStringList{QStringLiteral("b 檔.txt")}; }))
        << shownFolder() << " " << selectedCaptions().join(',').toStdString() << m_errors.join('\n').toStdString();
    EXPECT_EQ(shownFolder(), folder);

    // A folder as an item is selected in the folder above it; ShowFolders opens it.
    call("ShowItems", {uri(m_drive.path("shown/子資料夾"))});
    EXPECT_TRUE(waitUntil([&] { return selectedCaptions() == QStringList{QStringLiteral("子資料夾")}; }));
    call("ShowFolders", {uri(m_drive.path("shown/子資料夾"))});
    EXPECT_TRUE(waitUntil([&] { return shownFolder() == folder + "子資料夾\\"; })) << shownFolder();

    // What names no place of this machine or a share is left alone.
    call("ShowItems", {QStringLiteral("trash:///x"), QStringLiteral("http://example.invalid/")});
    QApplication::processEvents();
    EXPECT_EQ(shownFolder(), folder + "子資料夾\\");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A link to a share's folder, given to a second start, opens that folder over SMB in the
// running program.
using DesktopBusSmbTest = WithSmbServer<DesktopBusTest>;

TEST_F(DesktopBusSmbTest, AnSmbLinkOpensTheSharesFolder)
{
    const std::string root = s_server->folder("public") + "/連結/下層";
    std::filesystem::create_directories(root);
    std::ofstream(root + "/報告.txt") << "report";
    serve(DesktopBusName());

    ASSERT_EQ(secondStart({QStringLiteral("smb://127.0.0.1/%E5%85%AC%E9%96%8B/%E9%80%A3%E7%B5%90/下層")}), 0);
    ASSERT_TRUE(waitUntil([this] { return shownFolder() == "\\\\127.0.0.1\\公開\\連結\\下層\\"; }, 30000))
        << shownFolder() << m_errors.join('\n').toStdString();
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("報告.txt")}; }, 30000))
        << listCaptions().join(',').toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
