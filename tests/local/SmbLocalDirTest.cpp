#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "local/WaitFor.h"
#include "support/SmbTestServer.h"
#include "ui/TListView.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <filesystem>
#include <fstream>

namespace {

// The local lister on a folder of a share: the same items, details and totals as on a disk.
class SmbLocalDir : public SmbServerTest {
protected:
    bool list(const std::string& folder)
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        view.setViewStyle(TListView::Details);
        runState = 0;
        auto* worker = new TObjLocalDir(&view, &images, QString::fromStdString(folder));
        worker->OnStatus = [this](TObjLocalDir* w) {
            runState = w->RunState;
            if (w->RunState == 5) {
                completed = w->Completed;
                files = w->FileTotal;
                folders = w->FolderTotal;
                errorText = w->ErrorText;
            }
        };
        worker->OnItemImage = [this](int item, int image) { view.model()->setImageIndex(item, image); };
        QPointer<TObjLocalDir> alive(worker);
        worker->StartListing();
        // Its end: every call it makes to the window thread, its release, has been made.
        return WaitFor([this] { return runState == 5; }, 20000) && WaitFor([&] { return alive.isNull(); }, 20000);
    }
    TListView view;
    TImageLists images;
    int runState = 0;
    bool completed = false;
    int files = -1, folders = -1;
    QString errorText;
};

TEST_F(SmbLocalDir, ListsAShareFolderWithDetails)
{
    const std::string root = s_server->folder("public") + "/清單";
    std::filesystem::create_directories(root + "/子");
    std::ofstream(root + "/報告.txt") << std::string(1536, 'x');
    ASSERT_TRUE(list("\\\\127.0.0.1\\公開\\清單\\"));
    EXPECT_TRUE(completed) << errorText.toStdString();
    EXPECT_EQ(files, 1);
    EXPECT_EQ(folders, 1);
    ASSERT_EQ(view.model()->rowCount(), 2);
    EXPECT_EQ(view.model()->item(0).Caption, QString("子")); // folders first
    EXPECT_EQ(view.model()->item(1).Caption, QString("報告.txt"));
    EXPECT_EQ(view.model()->item(1).SubItems.value(2), QString("1.50KB"));
}

TEST_F(SmbLocalDir, ARefusedShareEndsWithItsText)
{
    ASSERT_TRUE(list("\\\\127.0.0.1\\私人\\"));
    EXPECT_FALSE(completed);
    EXPECT_FALSE(errorText.isEmpty());
    EXPECT_EQ(view.model()->rowCount(), 0);
}

} // namespace
