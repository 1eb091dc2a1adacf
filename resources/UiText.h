#pragma once
#include <QString>

#include "resources/StringTable.h"

/// UiCaption for the windows: the Chinese caption as the code writes it, in the current
/// interface language.
inline QString UiText(const char* chinese)
{
    return QString::fromStdString(UiCaption(chinese));
}

/// The numbered string `number` of the string table, in the current interface language.
inline QString UiString(int number)
{
    return QString::fromStdString(LoadStr(number));
}
