#include "TestRegistry.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    KeepTestsFromTheMachinesRegistry();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
