#pragma once
#include <QString>

#include "resources/StringTable.h"

/// UiCaption for the windows: the Chinese caption as the code writes it, in the current
/// interface language.
inline QString UiText(const char* chinese)
{
    return QString::fromStdString(UiCaption(chinese));
}
