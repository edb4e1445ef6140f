// Entry point of the unit tests (and of the menu test program).
#include <gtest/gtest.h>

#include "test_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return testing_support::RunSelectedTests();
}
