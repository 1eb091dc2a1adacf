#include "local/TImageLists.h"

#include <gtest/gtest.h>

#include <QMimeDatabase>

TEST(TImageLists, FixedImagesHeadBothListsAndTreeHasEveryNumber)
{
    TImageLists lists;
    EXPECT_EQ(lists.SImageList.count(), TImageLists::kFixedImages);
    EXPECT_EQ(lists.LImageList.count(), TImageLists::kFixedImages);
    EXPECT_EQ(lists.TreeImageList.count(), TImageLists::kTreeImages);
    EXPECT_EQ(lists.SImageList.pixmap(0).width(), 16);
    EXPECT_EQ(lists.LImageList.pixmap(0).width(), 32);
    for (int i = 0; i < TImageLists::kTreeImages; ++i)
        EXPECT_FALSE(lists.TreeImageList.pixmap(i).isNull()) << "tree image " << i;
    for (int i = 0; i < TImageLists::kFixedImages; ++i)
        EXPECT_FALSE(lists.SImageList.pixmap(i).isNull()) << "list image " << i;
}

TEST(TImageLists, ResetDropsKeysAndEveryImageAfterTheFixedOnes)
{
    TImageLists lists;
    lists.IconKeys << QStringLiteral(".TXT") << QStringLiteral("/tmp/a.ico");
    lists.SImageList.add(TImageLists::fixedIcon(1));
    lists.SImageList.add(TImageLists::fixedIcon(1));
    lists.LImageList.add(TImageLists::fixedIcon(1));
    EXPECT_EQ(lists.findKey(QStringLiteral(".txt")), 0);
    EXPECT_EQ(lists.findKey(QStringLiteral("/TMP/A.ICO")), 1);
    EXPECT_EQ(lists.findKey(QStringLiteral(".DOC")), -1);
    lists.resetListImages();
    EXPECT_TRUE(lists.IconKeys.isEmpty());
    EXPECT_EQ(lists.SImageList.count(), TImageLists::kFixedImages);
    EXPECT_EQ(lists.LImageList.count(), TImageLists::kFixedImages);
}

TEST(TImageLists, FileTypeIconsComeFromTheMimeDatabaseAndTheme)
{
    QMimeDatabase mime;
    EXPECT_FALSE(TImageLists::mimeIcon(mime.mimeTypeForName(QStringLiteral("text/plain"))).isNull());
    EXPECT_TRUE(TImageLists::mimeIcon(QMimeType()).isNull());
    EXPECT_TRUE(TImageLists::namedIcon(QStringLiteral("/no/such/icon.png")).isNull());
    EXPECT_TRUE(TImageLists::namedIcon(QString()).isNull());
}
