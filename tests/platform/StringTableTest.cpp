#include <gtest/gtest.h>

#include "resources/StringTable.h"

TEST(StringTable, LoadsByNumberAndUnknownNumbersAreEmpty)
{
    EXPECT_EQ(LoadStr(100), "CHT");
    EXPECT_EQ(LoadStr(32002), "錯誤");
    EXPECT_EQ(LoadStr(1), "");
}
