#include "platform/DriveMap.h"

#include <gtest/gtest.h>

namespace {

const char* const FakeMounts =
    "rootfs / rootfs rw 0 0\n"
    "/dev/vda1 / ext4 rw,relatime 0 0\n"
    "proc /proc proc rw 0 0\n"
    "sysfs /sys sysfs rw 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "tmpfs /run/user/1000 tmpfs rw 0 0\n"
    "tmpfs /dev/shm tmpfs rw 0 0\n"
    "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
    "binfmt_misc /srv/binfmt binfmt_misc rw 0 0\n"
    "/dev/sdb1 /data ext4 rw 0 0\n"
    "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
    "//server/share /mnt/share cifs rw 0 0\n"
    "server:/export /mnt/nfs nfs4 rw 0 0\n"
    "tmpfs /tmp tmpfs rw 0 0\n"
    "/dev/sdc1 /run/media/user/USB\\040STICK vfat rw 0 0\n"
    "/dev/loop3 /snap/core/123 squashfs ro 0 0\n"
    "/dev/vda1 /etc/hosts ext4 rw 0 0\n"
    "/dev/sdd1 /data ext4 rw 0 0\n"
    "overlay / overlay rw 0 0\n"
    "malformed-line\n";

std::vector<DriveInfo> FakeDrives()
{
    return AssignDriveLetters(ParseMountTable(FakeMounts));
}

TEST(DriveMap, ParsesEscapesAndSkipsShortLines)
{
    const std::vector<MountEntry> mounts = ParseMountTable("a /x\\040y\\134z ext4 rw 0 0\nbad\n");
    ASSERT_EQ(mounts.size(), 1u);
    EXPECT_EQ(mounts[0].mountPoint, "/x y\\z");
    EXPECT_EQ(mounts[0].fsType, "ext4");
}

TEST(DriveMap, LettersFollowTheMountTableSkippingPseudoFileSystems)
{
    const std::vector<DriveInfo> drives = FakeDrives();
    struct Expected { char letter; const char* mountPoint; int type; const char* device; };
    const Expected expected[] = {
        {'C', "/", DriveFixed, "overlay"},
        {'D', "/data", DriveFixed, "/dev/sdd1"},  // mounted over: the newest mount shows
        {'E', "/media/cdrom", DriveCdrom, "/dev/sr0"},
        {'F', "/mnt/share", DriveRemote, "//server/share"},
        {'G', "/mnt/nfs", DriveRemote, "server:/export"},
        {'H', "/tmp", DriveRamdisk, "tmpfs"},
        {'I', "/run/media/user/USB STICK", DriveRemovable, "/dev/sdc1"},
    };
    ASSERT_EQ(drives.size(), std::size(expected));
    for (size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].letter, expected[i].letter) << i;
        EXPECT_EQ(drives[i].mountPoint, expected[i].mountPoint) << i;
        EXPECT_EQ(drives[i].type, expected[i].type) << i;
        EXPECT_EQ(drives[i].device, expected[i].device) << i;
    }
}

TEST(DriveMap, MountInformationHidesBindMountsOfWhatIsShown)
{
    const char* info =
        "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
        "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "40 26 8:17 /@data /data rw,relatime shared:5 master:2 - btrfs /dev/sdb1 rw\n"
        "41 26 8:17 /@home /home rw,relatime - btrfs /dev/sdb1 rw\n"   // another subvolume: kept
        "42 26 254:0 /srv/www /var/www rw - ext4 /dev/vda rw\n"        // inside C:
        "43 26 8:17 /@data/photos /photos rw - btrfs /dev/sdb1 rw\n"   // inside D:
        "44 26 0:50 / /media/my\\040disk rw - vfat /dev/sdc1 rw\n"
        "bad line\n";
    const std::vector<MountEntry> mounts = ParseMountInfo(info);
    ASSERT_EQ(mounts.size(), 7u);
    EXPECT_EQ(mounts[2].deviceId, "8:17");
    EXPECT_EQ(mounts[2].root, "/@data");
    EXPECT_EQ(mounts[2].fsType, "btrfs");
    EXPECT_EQ(mounts[2].device, "/dev/sdb1");
    EXPECT_EQ(mounts[6].mountPoint, "/media/my disk");
    const std::vector<DriveInfo> drives = AssignDriveLetters(mounts);
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].device, "/dev/vda");
    EXPECT_EQ(drives[1].mountPoint, "/data");
    EXPECT_EQ(drives[2].mountPoint, "/home");
    EXPECT_EQ(drives[3].mountPoint, "/media/my disk");
    EXPECT_EQ(drives[3].letter, 'F');
    EXPECT_EQ(drives[3].type, DriveRemovable);
}

TEST(DriveMap, LettersStopAtZ)
{
    std::string table = "/dev/a / ext4 rw 0 0\n";
    for (int i = 0; i < 30; ++i)
        table += "/dev/x" + std::to_string(i) + " /vol" + std::to_string(i) + " ext4 rw 0 0\n";
    const std::vector<DriveInfo> drives = AssignDriveLetters(ParseMountTable(table));
    ASSERT_EQ(drives.size(), 24u);  // C..Z
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().mountPoint, "/vol22");
}

TEST(DriveMap, PathsTranslateBothWays)
{
    SetDriveMapForTest(FakeDrives());
    EXPECT_EQ(NativePath("C:\\dir\\file"), "/dir/file");
    EXPECT_EQ(NativePath("c:\\Dir\\"), "/Dir/");
    EXPECT_EQ(NativePath("C:\\"), "/");
    EXPECT_EQ(NativePath("D:\\photos\\"), "/data/photos/");
    EXPECT_EQ(NativePath("D:"), "/data/");
    EXPECT_EQ(NativePath("d:\\功能\\a.txt"), "/data/功能/a.txt");
    EXPECT_EQ(NativePath("\\\\?\\D:\\x"), "/data/x");
    EXPECT_EQ(NativePath("C:/a/b"), "/a/b");
    EXPECT_EQ(NativePath("I:\\x"), "/run/media/user/USB STICK/x");
    EXPECT_EQ(NativePath("\\\\SERVER\\SHARE\\x"), "");
    EXPECT_EQ(NativePath("Q:\\x"), "");
    EXPECT_EQ(NativePath("A:\\"), "");
    EXPECT_EQ(NativePath("relative\\x"), "");
    EXPECT_EQ(NativePath(std::string("C:\\a\0b", 6)), "");

    EXPECT_EQ(WindowsPath("/data/photos"), "D:\\photos");
    EXPECT_EQ(WindowsPath("/data/photos/"), "D:\\photos\\");
    EXPECT_EQ(WindowsPath("/data"), "D:\\");
    EXPECT_EQ(WindowsPath("/database"), "C:\\database");
    EXPECT_EQ(WindowsPath("/"), "C:\\");
    EXPECT_EQ(WindowsPath("/home/User/功能"), "C:\\home\\User\\功能");
    EXPECT_EQ(WindowsPath("/run/media/user/USB STICK/x"), "I:\\x");
    EXPECT_EQ(WindowsPath("/a\\b"), "C:\\a\xC2\xA4" "5Cb");  // a backslash in a name is escaped
    EXPECT_EQ(WindowsPath("rel/x"), "");

    ASSERT_TRUE(DriveByLetter('h').has_value());
    EXPECT_EQ(DriveByLetter('h')->mountPoint, "/tmp");
    EXPECT_FALSE(DriveByLetter('Y').has_value());
    RefreshDriveMap();
}

TEST(DriveMap, SerialsFromUuids)
{
    EXPECT_EQ(SerialFromUuid("ABCD-1234"), 0xABCD1234u);
    EXPECT_EQ(SerialFromUuid("5A2B3C4D6E7F8091"), 0x6E7F8091u);
    EXPECT_EQ(SerialFromUuid("11111111-2222-3333-4444-000000000000"), 0x11111111u ^ 0x22223333u ^ 0x44440000u);
    EXPECT_EQ(SerialFromUuid(""), 0u);
}

TEST(DriveMap, ThisMachineHasDriveC)
{
    RefreshDriveMap();
    const std::vector<DriveInfo>& drives = CurrentDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_NE(drives[0].serial, 0u);  // from the UUID or, failing that, statvfs
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    ASSERT_TRUE(DriveSpace("C:\\", &freeBytes, &totalBytes));
    EXPECT_GT(totalBytes, 0u);
    EXPECT_LE(freeBytes, totalBytes);
    EXPECT_FALSE(DriveSpace("B:\\", &freeBytes, &totalBytes));
    ASSERT_TRUE(ReadDrive('c').has_value());
    EXPECT_EQ(ReadDrive('c')->serial, drives[0].serial);
    for (const DriveInfo& d : drives)
        EXPECT_TRUE(d.mountPoint.rfind("/proc", 0) != 0 && d.mountPoint.rfind("/sys", 0) != 0) << d.mountPoint;
}

}  // namespace
