#include "support/LoopbackSmb.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    LoopbackSmb loopbackSmb;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
