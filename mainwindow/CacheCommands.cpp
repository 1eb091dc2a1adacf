// The commands of the Cache menu.
#include "mainwindow/TMainForm.h"

#include "store/TPortForm.h"

void TMainForm::N79Click()
{
    ShowPortForm(this);
}
