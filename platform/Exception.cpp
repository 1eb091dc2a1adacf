#include "platform/Exception.h"

#include "resources/StringTable.h"

void RaiseStr(int number)
{
    throw Exception(LoadStr(number));
}
