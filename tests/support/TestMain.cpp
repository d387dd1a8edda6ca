// Test entry point shared by every test program.
#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
    // A peer that closes its end of a pseudo-terminal must not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
