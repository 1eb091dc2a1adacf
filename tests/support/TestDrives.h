#pragma once
#include "platform/DriveMap.h"

#include <string>

// A drive map for tests: C: is "/", and D: is `dFolder` when one is given, both of drive
// type `type`; the drives, for a window's drive list. Undo it with RefreshDriveMap().
inline std::vector<DriveInfo> MapTestDrives(const std::string& dFolder = "", int type = DriveUnknown)
{
    std::vector<DriveInfo> drives(1);
    drives[0].letter = 'C';
    drives[0].mountPoint = "/";
    if (!dFolder.empty()) {
        drives.emplace_back();
        drives[1].letter = 'D';
        drives[1].mountPoint = dFolder;
    }
    for (DriveInfo& drive : drives)
        drive.type = type;
    SetDriveMapForTest(drives);
    return drives;
}
