// A search result opened while Tamsel runs: the second start hands the place to the running
// window, which shows the folder with the entry selected, and ends without a window.
#include "FormFixture.h"

#include "app/StartRequests.h"
#include "../local/WaitFor.h"
#include "platform/DriveMap.h"
#include "platform/TextCodec.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "ui/TListModel.h"
#include "ui/TListView.h"

#include <QProcess>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

namespace {

class StartRequestsTest : public FormFixture {
protected:
    QString selectedCaption() const
    {
        const QModelIndexList rows = form->fileListView()->selectionModel()->selectedRows();
        return rows.size() == 1 ? form->fileListView()->model()->item(rows[0].row()).Caption : QString();
    }
};

TEST_F(StartRequestsTest, ASecondStartShowsItsPlaceInTheRunningWindowWithTheEntrySelected)
{
    TempFolder folder;
    std::filesystem::create_directories(folder.path("帳本"));
    for (int i = 0; i < 60; ++i)
        std::ofstream(folder.path("帳本/第" + std::to_string(i) + "章.txt")) << i;
    std::ofstream(folder.path("帳本/總帳.xls")) << "x";
    const std::string shown = WindowsPath(folder.path("帳本"));
    ASSERT_FALSE(shown.empty());

    StartRequests requests([this](const StartOptions& asked) {
        form->ShowRequested(asked.SelectPath, asked.Cached, asked.Computer, asked.Item);
    });
    ASSERT_TRUE(requests.listen()) << requests.errorText().toStdString();

    QProcess second;
    bool ended = false;
    QObject::connect(&second, &QProcess::finished, [&ended] { ended = true; });
    second.start(QStringLiteral(TAMSEL_PROGRAM),
                 {QStringLiteral("--select"), QString::fromStdString(folder.path("帳本")), QStringLiteral("--item"),
                  QStringLiteral("第57章.txt")});
    // The running window answers on this thread: its events run while the second start waits.
    const bool finished = WaitFor([&ended] { return ended; }, 60000);
    if (!finished) {
        second.kill();
        second.waitForFinished();
    }
    ASSERT_TRUE(finished) << "the second start opened a window of its own";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    ASSERT_TRUE(WaitFor([this] { return selectedCaption() == QStringLiteral("第57章.txt"); }, 20000))
        << selectedCaption().toStdString();
    const QTreeWidgetItem* current = form->FolderTreeView->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(UpperAscii(AddBackslash(GetNodeData(current)->RemoteName)), UpperAscii(AddBackslash(shown)));
    // Selected where the user sees it, even far down a long folder.
    QAbstractItemView* view = form->fileListView()->currentView();
    const QModelIndex index = view->selectionModel()->selectedRows().value(0);
    EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(index)));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(StartRequestsTest, OnlyAWellFormedPlaceIsTakenAndNobodyListeningMeansNoHandOver)
{
    StartOptions options;
    options.SelectPath = "D:\\帳本";
    options.Item = "總帳.xls";
    options.Cached = true;
    options.Computer = "會計";
    StartOptions back;
    ASSERT_TRUE(StartRequests::decode(StartRequests::encode(options), back));
    EXPECT_EQ(back.SelectPath, options.SelectPath);
    EXPECT_EQ(back.Item, options.Item);
    EXPECT_TRUE(back.Cached);
    EXPECT_EQ(back.Computer, options.Computer);
    for (const char* line : {"", "garbage", "[1]", R"({"select":""})", R"({"select":"D:\\","item":".."})",
                             R"({"select":"D:\\","item":"a/b"})", R"({"item":"a.txt"})"})
        EXPECT_FALSE(StartRequests::decode(QByteArray(line), back)) << line;

    // No Tamsel listens for this program folder: the start goes on with its own window.
    EXPECT_FALSE(StartRequests::handOver(options, 500));
}

} // namespace
