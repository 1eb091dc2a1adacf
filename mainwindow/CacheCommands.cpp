// The commands of the Cache menu.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "platform/ProgramFolder.h"
#include "store/TPortForm.h"

void TMainForm::N79Click()
{
    ShowPortForm(this, SetupInfo.CachePath.empty() ? ProgramFolder() + "Cache\\" : SetupInfo.CachePath);
}
