#pragma once
#include "platform/DriveMap.h"

#include <string>

// A drive map for tests: C: is "/", and D: is `dFolder` when one is given. Undo it with
// RefreshDriveMap().
inline void MapTestDrives(const std::string& dFolder = "")
{
    std::vector<DriveInfo> drives(1);
    drives[0].letter = 'C';
    drives[0].mountPoint = "/";
    if (!dFolder.empty()) {
        drives.emplace_back();
        drives[1].letter = 'D';
        drives[1].mountPoint = dFolder;
    }
    SetDriveMapForTest(drives);
}
