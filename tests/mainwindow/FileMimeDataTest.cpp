#include <gtest/gtest.h>

#include "mainwindow/FileMimeData.h"

#include <QMimeData>
#include <QUrl>

namespace {

TEST(FileMimeDataTest, RealPathsBecomeUrlsTheDesktopReadsAndComeBackUnchanged)
{
    const std::vector<std::string> paths = {
        "C:\\tmp\\a b\\檔案 #1%.txt",
        "\\\\ALPHA\\公開資料\\報告 #2%\\",
        "\\\\127.0.0.1\\share\\x.bin",
    };
    const auto data = FileMime::MakeFileData(paths, false);
    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), 3);
    EXPECT_EQ(urls[0], QUrl::fromLocalFile(QString::fromUtf8("/tmp/a b/檔案 #1%.txt")));
    EXPECT_EQ(urls[1].scheme(), "smb");
    EXPECT_EQ(urls[1].path(), QString::fromUtf8("/公開資料/報告 #2%"));
    EXPECT_TRUE(data->data(FileMime::GnomeCopiedFilesType).startsWith("copy\nfile:///tmp/a%20b/"));
    EXPECT_FALSE(data->hasFormat(FileMime::KdeCutType));

    // Another program's drop carries only the URLs.
    QMimeData foreign;
    foreign.setUrls(urls + QList<QUrl>{QUrl("https://example.invalid/x"), QUrl("smb://host")});
    const FileMime::Entries back = FileMime::EntriesOf(foreign);
    EXPECT_FALSE(back.fromThisProcess);
    EXPECT_EQ(back.entries, (std::vector<std::string>{paths[0], "\\\\ALPHA\\公開資料\\報告 #2%", paths[2]}));
}

TEST(FileMimeDataTest, ProgramOnlyEntriesTravelPrivatelyWithTheirProcess)
{
    const std::vector<std::string> entries = {"1/pub/中文 file.txt", "2/pub/dir", "5C:\\Cache\\Bookmark\\x"};
    const auto data = FileMime::MakeFileData(entries, false);
    EXPECT_TRUE(data->urls().isEmpty()) << "no desktop program may see FTP or record entries as files";
    const FileMime::Entries back = FileMime::EntriesOf(*data);
    EXPECT_TRUE(back.fromThisProcess);
    EXPECT_EQ(back.entries, entries);

    QMimeData other;
    QByteArray bytes = data->data(FileMime::EntriesType);
    bytes.replace(0, bytes.indexOf('\0'), "1");  // pid 1 is never a desktop program
    other.setData(FileMime::EntriesType, bytes);
    EXPECT_FALSE(FileMime::EntriesOf(other).fromThisProcess);
    EXPECT_EQ(FileMime::EntriesOf(other).entries, entries);
}

// Another program's drag data: an entry whose name spells "." or "..", however escaped,
// would create nothing inside the drop's destination, and is left out.
TEST(FileMimeDataTest, DroppedNamesThatLeaveTheirFolderAreLeftOut)
{
    const std::string esc = "\xC2\xA4";
    QMimeData foreign;
    foreign.setUrls({QUrl("file:///tmp/ok.txt"), QUrl("file:///tmp/a/.."), QUrl("file:///tmp/a/."),
                     QUrl::fromLocalFile(QString::fromUtf8("/tmp/" + esc + "2E" + esc + "2E"))});
    EXPECT_EQ(FileMime::EntriesOf(foreign).entries, (std::vector<std::string>{"C:\\tmp\\ok.txt", "C:\\tmp\\" + esc + "C2" + esc + "A42E" + esc + "C2" + esc + "A42E"}));
    const auto ours = FileMime::MakeFileData({"1/pub/..", "1/pub/" + esc + "~..", "2/pub/dir/", "1/pub/x" + esc + "00"}, false);
    EXPECT_EQ(FileMime::EntriesOf(*ours).entries, (std::vector<std::string>{"2/pub/dir/"}));
}

TEST(FileMimeDataTest, CutIsMarkedForBothDesktopsAndReadFromEither)
{
    const auto data = FileMime::MakeFileData({"C:\\tmp\\x"}, true);
    EXPECT_TRUE(data->data(FileMime::GnomeCopiedFilesType).startsWith("cut\n"));
    EXPECT_EQ(data->data(FileMime::KdeCutType), "1");
    EXPECT_TRUE(FileMime::EntriesOf(*data).cut);

    QMimeData kde;
    kde.setUrls({QUrl::fromLocalFile("/tmp/x")});
    kde.setData(FileMime::KdeCutType, "1");
    EXPECT_TRUE(FileMime::EntriesOf(kde).cut);
    kde.setData(FileMime::KdeCutType, "0");
    EXPECT_FALSE(FileMime::EntriesOf(kde).cut);
}

TEST(FileMimeDataTest, PathsWithNoPlaceGiveNoUrl)
{
    EXPECT_FALSE(FileMime::UrlOfPath("\\\\SERVER").isValid());
    EXPECT_FALSE(FileMime::UrlOfPath("\\\\SERVER\\").isValid());
    EXPECT_FALSE(FileMime::UrlOfPath("1/pub/x").isValid());
    EXPECT_EQ(FileMime::PathOfUrl(QUrl("smb://host/share/a%5Cb")), "") << "a backslash inside a name has no UNC path";
    EXPECT_EQ(FileMime::PathOfUrl(QUrl("ftp://host/x")), "");
}

}  // namespace
