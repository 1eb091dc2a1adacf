#include <gtest/gtest.h>

#include "local/TObjDisk.h"
#include "local/TempTree.h"

#include <sys/statvfs.h>

namespace {

DriveInfo drive(char letter, const std::string& mountPoint, int type, const std::string& label, uint32_t serial)
{
    DriveInfo d;
    d.letter = letter;
    d.mountPoint = mountPoint;
    d.type = type;
    d.label = label;
    d.serial = serial;
    return d;
}

} // namespace

TEST(TObjDisk, FillsTheSlotsFromTheDriveMap)
{
    TempTree t;
    std::vector<DriveInfo> drives = {
        drive('A', t.root(), DriveRemovable, "FLOPPY", 77),
        drive('C', "/", DriveFixed, "SYSTEM", 0x1234abcd),
        drive('D', t.root(), DriveFixed, "DATA", 5),
        drive('E', t.root(), DriveFixed, "", 6),
        drive('F', "/nonexistent-mount-point", DriveCdrom, "DISC", 7),
        drive('R', t.root(), DriveRamdisk, "", 8),
        drive('S', t.root(), DriveRemote, "", 9),
    };
    TObjDisk disk([&] { return drives; });
    EXPECT_EQ(disk.DriveCount, 7);
    EXPECT_FALSE(disk.Present[1]);
    EXPECT_FALSE(disk.Present[25]);

    // A removable drive is not read at the full refresh.
    EXPECT_TRUE(disk.Present[0]);
    EXPECT_EQ(disk.VolumeLabel[0], "(A:)");
    EXPECT_EQ(disk.VolumeId[0], 0u);
    EXPECT_EQ(disk.TotalKB[0], 0u);
    EXPECT_EQ(disk.TypeName[0], "我的電腦 - 軟碟");

    EXPECT_EQ(disk.Root[2], "C:\\");
    EXPECT_EQ(disk.VolumeLabel[2], "SYSTEM(C:)");
    EXPECT_EQ(disk.VolumeId[2], 0x1234abcdu);
    EXPECT_EQ(disk.DriveType[3], DriveFixed);
    EXPECT_EQ(disk.VolumeLabel[3], "DATA(D:)");
    EXPECT_EQ(disk.VolumeLabel[4], "(E:)");
    EXPECT_EQ(disk.TypeName[3], "我的電腦 - 硬碟");
    EXPECT_EQ(disk.TypeName[5], "我的電腦 - 光碟");
    EXPECT_EQ(disk.TypeName[17], "我的電腦 - 記憶體磁碟");
    EXPECT_EQ(disk.TypeName[18], "我的電腦 - 遠端磁碟");
    EXPECT_EQ(TObjDisk::DriveTypeName(0), "我的電腦 - 未知型態");
    EXPECT_EQ(TObjDisk::DriveTypeName(1), "我的電腦 - 未知型態");

    // Space as statvfs reports it, in KB; a failing query gives 0.
    struct statvfs st;
    ASSERT_EQ(statvfs(t.root().c_str(), &st), 0);
    EXPECT_EQ(disk.TotalKB[3], uint32_t((unsigned long long)st.f_blocks * st.f_frsize / 1024));
    EXPECT_GT(disk.TotalKB[3], 0u);
    EXPECT_LE(disk.FreeKB[3], disk.TotalKB[3]);
    EXPECT_EQ(disk.TotalKB[5], 0u);
    EXPECT_EQ(disk.FreeKB[5], 0u);
}

TEST(TObjDisk, RefreshDriveReadsTheMediumAndNoticesAChange)
{
    TempTree t;
    std::vector<DriveInfo> drives = {drive('A', t.root(), DriveRemovable, "DISK1", 100),
                                     drive('F', t.root(), DriveCdrom, "CD_ONE", 200)};
    TObjDisk disk([&] { return drives; });
    EXPECT_EQ(disk.VolumeLabel[0], "(A:)");

    EXPECT_TRUE(disk.RefreshDrive("a:\\some\\folder\\"));
    EXPECT_EQ(disk.VolumeLabel[0], "DISK1(A:)");
    EXPECT_EQ(disk.VolumeId[0], 100u);
    EXPECT_GT(disk.TotalKB[0], 0u);

    const uint32_t before = disk.VolumeId[5];
    EXPECT_TRUE(disk.RefreshDrive("F:\\"));
    EXPECT_EQ(disk.VolumeId[5], before);  // same disc: nothing changes
    drives[1].label = "CD_TWO";
    drives[1].serial = 201;
    EXPECT_TRUE(disk.RefreshDrive("F:\\"));
    EXPECT_NE(disk.VolumeId[5], before);
    EXPECT_EQ(disk.VolumeLabel[5], "CD_TWO(F:)");

    // A letter that names nothing now is no longer present.
    drives.pop_back();
    EXPECT_FALSE(disk.RefreshDrive("F:\\"));
    EXPECT_FALSE(disk.Present[5]);
    EXPECT_FALSE(disk.RefreshDrive(""));
}

TEST(TObjDisk, FullRefreshKeepsValuesOfGoneLettersAndOfRemovables)
{
    TempTree t;
    std::vector<DriveInfo> drives = {drive('A', t.root(), DriveRemovable, "M", 9),
                                     drive('D', t.root(), DriveFixed, "DATA", 5)};
    TObjDisk disk([&] { return drives; });
    ASSERT_TRUE(disk.RefreshDrive("A:"));
    drives.pop_back();
    disk.RefreshDrives();
    EXPECT_EQ(disk.DriveCount, 1);
    EXPECT_FALSE(disk.Present[3]);
    EXPECT_EQ(disk.VolumeLabel[3], "DATA(D:)");  // kept, only no longer present
    EXPECT_EQ(disk.VolumeLabel[0], "(A:)");
    EXPECT_EQ(disk.VolumeId[0], 9u);             // the medium's id stays as last read
}

TEST(TObjDisk, VolumeTextOfAnUnknownRootIsTheBareLetter)
{
    TObjDisk disk([] { return std::vector<DriveInfo>{}; });
    uint32_t id = 99;
    EXPECT_EQ(disk.VolumeText("Q:\\", id), "(Q:)");
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(disk.DriveCount, 0);
}

TEST(TObjDisk, OverAFakeMountTable)
{
    const std::string table =
        "/dev/vda1 / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "/dev/vdb1 /data xfs rw 0 0\n"
        "//server/share /mnt/share cifs rw 0 0\n"
        "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
        "tmpfs /scratch tmpfs rw 0 0\n";
    const std::vector<DriveInfo> mapped = AssignDriveLetters(ParseMountTable(table));
    std::vector<DriveInfo> labelled = mapped;
    for (DriveInfo& d : labelled)
        if (d.letter == 'D')
            d.label = "DATA";
    TObjDisk disk([&] { return labelled; });
    EXPECT_EQ(disk.DriveCount, int(mapped.size()));
    EXPECT_FALSE(disk.Present[0]);
    EXPECT_FALSE(disk.Present[1]);
    EXPECT_EQ(disk.DriveType[2], DriveFixed);
    EXPECT_EQ(disk.Root[2], "C:\\");
    EXPECT_EQ(disk.VolumeLabel[3], "DATA(D:)");
    EXPECT_EQ(disk.DriveType[3], DriveFixed);
    EXPECT_EQ(disk.DriveType[4], DriveRemote);
    EXPECT_EQ(disk.TypeName[4], "我的電腦 - 遠端磁碟");
    EXPECT_EQ(disk.DriveType[5], DriveCdrom);
    EXPECT_EQ(disk.DriveType[6], DriveRamdisk);
}

TEST(TObjDisk, OnThisMachineCIsTheRootVolume)
{
    TObjDisk disk;
    ASSERT_TRUE(disk.Present[2]);
    EXPECT_EQ(disk.Root[2], "C:\\");
    EXPECT_GT(disk.TotalKB[2], 0u);
    EXPECT_NE(disk.VolumeLabel[2].find("(C:)"), std::string::npos);
    EXPECT_GE(disk.DriveCount, 1);
}
