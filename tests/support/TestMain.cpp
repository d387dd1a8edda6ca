// Test entry point shared by every test program.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

// The programs read their own overrides from the environment (ZEFIREL_COM<n> picks a port's
// device, ZEFIREL_STARTUP_TRACE a trace file). An installer's shell may well set them; the
// tests decide such things themselves, so whatever the caller exported is dropped first.
void clearProgramOverrides() {
    std::vector<std::string> names;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("ZEFIREL_", 0) == 0)
            names.push_back(entry.substr(0, entry.find('=')));
    }
    for (const std::string& name : names)
        ::unsetenv(name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // A peer that closes its end of a pseudo-terminal must not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
    clearProgramOverrides();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
