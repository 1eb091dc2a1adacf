// The drop effect table, the drag threshold and the checks that keep drops from doing
// harm, without a window.
#include <gtest/gtest.h>

#include "mainwindow/DropEffect.h"
#include "store/TNodeData.h"

#include <string>
#include <vector>

namespace {

constexpr uint32_t kNoKeys = 0;
constexpr uint32_t kShift = DragKeyShift;
constexpr uint32_t kCtrl = DragKeyControl;

struct EffectCase {
    const char* what;
    uint8_t rootKind;
    uint16_t attributes;
    char sourceKind;
    uint32_t keys;
    DropChoice expected;
};

const EffectCase kEffectCases[] = {
    // Real files onto local and network folders: move within a volume, copy onto a drive.
    {"file onto local folder", LocalRoot, Folder, 'D', kNoKeys, {DropShellOperation, DropEffectMove}},
    {"file onto local folder, Ctrl", LocalRoot, Folder, 'D', kCtrl, {DropShellOperation, DropEffectCopy}},
    {"file onto local folder, Shift", LocalRoot, Folder, 'D', kShift, {DropShellOperation, DropEffectCopy}},
    {"file onto drive", LocalRoot, Drive | Folder, 'C', kNoKeys, {DropShellOperation, DropEffectCopy}},
    {"file onto drive, Shift", LocalRoot, Drive | Folder, 'C', kShift, {DropShellOperation, DropEffectCopy}},
    {"share path onto network folder", NetRoot, Share | Folder, '\\', kNoKeys, {DropShellOperation, DropEffectMove}},
    {"file onto expanded-network folder", ExpandedRoot, Folder, 'D', kNoKeys, {DropShellOperation, DropEffectMove}},
    {"file onto expanded-network folder, Ctrl", ExpandedRoot, Folder, 'D', kCtrl, {DropShellOperation, DropEffectCopy}},
    // FTP items onto a local folder are downloaded, never moved.
    {"FTP file onto local folder", LocalRoot, Folder, '1', kNoKeys, {DropFtpDownload, DropEffectCopy}},
    {"FTP folder onto network folder", NetRoot, Folder, '2', kShift, {DropFtpDownload, DropEffectCopy}},
    // Uploads copy: the local files stay.
    {"file onto FTP folder", FtpRoot, Computer | Folder, 'D', kNoKeys, {DropFtpUpload, DropEffectCopy}},
    {"file onto FTP folder, Ctrl", FtpRoot, Folder, 'D', kCtrl, {DropFtpUpload, DropEffectCopy}},
    // Records between folders of their own branch.
    {"bookmark onto bookmark folder", BookmarkRoot, Domain, '5', kNoKeys, {DropBookmarkRecords, DropEffectMove}},
    {"bookmark onto bookmark folder, Ctrl", BookmarkRoot, Domain, '5', kCtrl, {DropBookmarkRecords, DropEffectCopy}},
    {"computer onto expanded folder", ExpandedRoot, Domain | Container, '4', kNoKeys, {DropExpandedRecords, DropEffectMove}},
    {"computer onto expanded folder, Shift", ExpandedRoot, Domain, '4', kShift, {DropExpandedRecords, DropEffectCopy}},
    {"site onto FTP folder", FtpRoot, Domain, '3', kNoKeys, {DropFtpRecords, DropEffectMove}},
    {"site onto FTP folder, Ctrl", FtpRoot, Domain, '3', kCtrl, {DropFtpRecords, DropEffectCopy}},
    // Nothing else is offered.
    {"file onto FTP domain", FtpRoot, Domain, 'D', kNoKeys, {}},
    {"bookmark onto local folder", LocalRoot, Folder, '5', kNoKeys, {}},
    {"bookmark onto expanded folder", ExpandedRoot, Domain, '5', kNoKeys, {}},
    {"computer onto bookmark folder", BookmarkRoot, Domain, '4', kNoKeys, {}},
    {"site onto bookmark folder", BookmarkRoot, Domain, '3', kNoKeys, {}},
    {"file onto bookmark folder", BookmarkRoot, Domain, 'D', kNoKeys, {}},
    {"FTP file onto FTP folder", FtpRoot, Folder, '1', kNoKeys, {}},
    {"FTP file onto expanded folder", ExpandedRoot, Folder, '2', kNoKeys, {}},
    {"file onto network computer", NetRoot, Computer, 'D', kNoKeys, {}},
    {"file onto network domain", NetRoot, Domain, 'D', kNoKeys, {}},
    {"file onto top root", TopRoot, Sys | Domain | Container, 'D', kNoKeys, {}},
    {"nothing onto local folder", LocalRoot, Folder, '\0', kNoKeys, {}},
    {"unknown kind onto local folder", LocalRoot, Folder, '9', kNoKeys, {}},
};

TEST(DropEffectTest, TheTableGivesEachTargetAndSourceItsActionAndEffect)
{
    for (const EffectCase& test : kEffectCases) {
        const DropChoice choice = ChooseDropEffect(test.rootKind, test.attributes, test.sourceKind, test.keys);
        EXPECT_EQ(choice.action, test.expected.action) << test.what;
        EXPECT_EQ(choice.effect, test.expected.effect) << test.what;
    }
}

TEST(DropEffectTest, TheLinkEffectIsNeverOffered)
{
    const uint8_t roots[] = {TopRoot, BookmarkRoot, LocalRoot, NetRoot, ExpandedRoot, FtpRoot};
    const char kinds[] = {'1', '2', '3', '4', '5', 'C', '\\', '\0'};
    for (uint8_t root : roots)
        for (uint16_t attributes = 0; attributes <= NodeAttributeMask; attributes += 2)
            for (char kind : kinds)
                for (uint32_t keys : {kNoKeys, kShift, kCtrl, kShift | kCtrl})
                    ASSERT_EQ(ChooseDropEffect(root, attributes, kind, keys).effect & DropEffectLink, 0u);
}

TEST(DropEffectTest, ADragStartsAtTenPixelsInEitherDirection)
{
    EXPECT_FALSE(DragDistanceReached(9, 0));
    EXPECT_FALSE(DragDistanceReached(0, -9));
    EXPECT_FALSE(DragDistanceReached(9, 9));
    EXPECT_TRUE(DragDistanceReached(10, 0));
    EXPECT_TRUE(DragDistanceReached(0, -10));
    EXPECT_TRUE(DragDistanceReached(-3, 12));
}

TEST(DropEffectTest, TheSourceKindIsTheFirstCharacterOfTheFirstEntry)
{
    EXPECT_EQ(DragSourceKind({}), '\0');
    EXPECT_EQ(DragSourceKind({""}), '\0');
    EXPECT_EQ(DragSourceKind({"5D:\\cache\\Bookmark\\A", "D:\\x"}), '5');
    EXPECT_EQ(DragSourceKind({"\\\\SERVER\\SHARE\\a.txt"}), '\\');
    EXPECT_TRUE(IsRealSourceKind('C'));
    EXPECT_TRUE(IsRealSourceKind('\\'));
    EXPECT_FALSE(IsRealSourceKind('1'));
    EXPECT_FALSE(IsRealSourceKind('5'));
}

TEST(DropEffectTest, FileDropsOntoTheirOwnFolderOrIntoThemselvesAreRefused)
{
    // Already there: dropping back onto the shown folder would only fail.
    EXPECT_TRUE(IsPointlessFileDrop({"D:\\work\\a.txt", "D:\\work\\b"}, "D:\\work\\"));
    EXPECT_TRUE(IsPointlessFileDrop({"D:\\a.txt"}, "D:\\"));
    // A folder into itself or below itself.
    EXPECT_TRUE(IsPointlessFileDrop({"D:\\work\\sub"}, "D:\\work\\sub\\"));
    EXPECT_TRUE(IsPointlessFileDrop({"D:\\work\\sub"}, "D:\\work\\sub\\deeper\\"));
    EXPECT_TRUE(IsPointlessFileDrop({"\\\\PC\\SHARE\\dir"}, "\\\\PC\\SHARE\\dir\\inner\\"));
    EXPECT_TRUE(IsPointlessFileDrop({}, "D:\\work\\"));
    // Somewhere else, or a folder whose name merely begins like the source.
    EXPECT_FALSE(IsPointlessFileDrop({"D:\\work\\a.txt"}, "D:\\other\\"));
    EXPECT_FALSE(IsPointlessFileDrop({"D:\\work\\sub"}, "D:\\work\\sub2\\"));
    EXPECT_FALSE(IsPointlessFileDrop({"D:\\work\\a.txt", "D:\\else\\b.txt"}, "D:\\work\\"));
    EXPECT_FALSE(IsPointlessFileDrop({"D:\\work\\sub\\a.txt"}, "D:\\work\\"));
    EXPECT_FALSE(IsPointlessFileDrop({"D:\\a.txt"}, "\\\\PC\\SHARE\\"));
}

TEST(DropEffectTest, RecordsGoOnlyToAFolderTheyAreNotInAndNotBelow)
{
    const std::string cache = "D:\\Cache\\Bookmark\\";
    EXPECT_TRUE(IsRecordDropAllowed({cache + "A\\X"}, cache + "B\\"));
    EXPECT_TRUE(IsRecordDropAllowed({cache + "A"}, cache + "AB\\"));
    EXPECT_TRUE(IsRecordDropAllowed({cache + "A\\X"}, cache));
    // Where the record lives already: a new record would replace the old one.
    EXPECT_FALSE(IsRecordDropAllowed({cache + "A\\X"}, cache + "A\\"));
    // Into itself or one of its own folders.
    EXPECT_FALSE(IsRecordDropAllowed({cache + "A"}, cache + "A\\"));
    EXPECT_FALSE(IsRecordDropAllowed({cache + "A"}, cache + "A\\Sub\\"));
    EXPECT_FALSE(IsRecordDropAllowed({cache + "B\\X", cache + "A"}, cache + "A\\Sub\\"));
    EXPECT_FALSE(IsRecordDropAllowed({}, cache + "B\\"));
}

} // namespace
