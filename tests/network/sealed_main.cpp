// Entry point of the sealed-network tests: refuses to run anywhere but inside
// sealed_run.py, because these tests open real connections.
#include <gtest/gtest.h>

#include <stdio.h>

#include "collect/network/sockets.h"
#include "sealed_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (sealed::CurrentScenario().empty()) {
        fprintf(stderr, "run inside tests/network/sealed_run.py (DIAGNOVA_SEALED_SCENARIO is not set)\n");
        return 2;
    }
    StartSockets();
    return testing_support::RunSelectedTests();
}
