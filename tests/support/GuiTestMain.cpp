#include "support/LoopbackSmb.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv)
{
    // Test discovery and CI run without a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    LoopbackSmb loopbackSmb;
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
