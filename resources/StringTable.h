#pragma once
#include <string>

// The program's numbered strings (UTF-8), compiled in from resources/strings.txt.
// Returns the empty string for a number the table does not hold.
std::string LoadStr(int number);
