#include "TestRegistry.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    KeepTestsFromTheMachinesRegistry();
    // Must precede the application object: test programs also run without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
