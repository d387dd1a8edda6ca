// zefirel-sim: a virtual LPG controller on a pseudo-terminal.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "SimController.h"
#include "SimOptions.h"
#include "SimServer.h"
#include "link/Conversions.h"
#include "support/FileUtil.h"
#include "support/Version.h"

using namespace zefirel;
using namespace zefirel::sim;

namespace {

CSimServer* g_server = nullptr;

void onStop(int) {
    if (g_server)
        g_server->stop();
}

void onToggleMute(int) {
    if (g_server)
        g_server->toggleMuted();
}

void installHandler(int sig, void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: poll() returns at once
    sigaction(sig, &sa, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    SimConfig cfg;
    std::string error;
    switch (parseSimOptions(std::vector<std::string>(argv + 1, argv + argc), cfg, error)) {
    case EOptions::Help:
        std::fputs(simHelpText().c_str(), stdout);
        return 0;
    case EOptions::Version:
        std::printf("zefirel-sim %s\n", ZEFIREL_VERSION);
        return 0;
    case EOptions::Invalid:
        std::fprintf(stderr, "zefirel-sim: %s (see --help)\n", error.c_str());
        return 2;
    case EOptions::Run:
        break;
    }
    if (!cfg.trueMapFile.empty()) {
        std::vector<uint8_t> bytes;
        if (!readFile(cfg.trueMapFile, bytes, CDriveScenario::MAP_CELLS + 1)) {
            std::fprintf(stderr, "zefirel-sim: cannot read %s\n", cfg.trueMapFile.c_str());
            return 2;
        }
        if (bytes.size() != CDriveScenario::MAP_CELLS ||
            std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b > 250; })) {
            std::fprintf(stderr, "zefirel-sim: %s is not a map: 400 bytes of 0 (-100 %%) to 250 (+150 %%)\n",
                         cfg.trueMapFile.c_str());
            return 2;
        }
        cfg.trueMap = bytes;
    }
    // The factory settings record is encoded in this controller's ticks.
    setTimerFrequency(cfg.timerFrequency);
    CSimController controller(cfg);

    if (!cfg.eepromFile.empty()) {
        std::vector<uint8_t> bytes;
        if (readFile(cfg.eepromFile, bytes, eeprom::SIZE)) {
            if (bytes.size() < eeprom::SIZE) {
                std::fprintf(stderr, "zefirel-sim: %s holds %zu bytes, an EEPROM image needs 512\n",
                             cfg.eepromFile.c_str(), bytes.size());
                return 2;
            }
            EepromImage image;
            std::copy_n(bytes.begin(), image.size(), image.begin());
            controller.setEeprom(image);
        }
    }

    CSimServer server(controller, cfg);
    if (!server.open(error)) {
        std::fprintf(stderr, "zefirel-sim: %s\n", error.c_str());
        return 1;
    }
    g_server = &server;
    installHandler(SIGINT, onStop);
    installHandler(SIGTERM, onStop);
    installHandler(SIGHUP, onStop);
    installHandler(SIGUSR1, onToggleMute);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", server.slavePath().c_str());
    std::fflush(stdout);
    server.run();
    g_server = nullptr;

    int rc = 0;
    if (!cfg.eepromFile.empty()) {
        const EepromImage image = controller.eeprom();
        if (!writeFileAtomic(cfg.eepromFile, image.data(), image.size())) {
            std::fprintf(stderr, "zefirel-sim: cannot save the EEPROM image to %s\n", cfg.eepromFile.c_str());
            rc = 1;
        }
    }
    return rc;
}
