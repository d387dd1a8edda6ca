#pragma once
/// Configuration of the virtual controller: what it reports about itself, the car
/// it sits in, its byte timing and the faults it injects on request.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zefirel::sim {

/// Faults the simulator injects into the link (all off by default).
struct SimFaults {
    uint64_t muteAfter = 0;        ///< stop answering after this many requests (0 = never)
    int badChecksumCommand = -1;   ///< answer this command code with a wrong checksum (-1 = none)
    uint32_t dropEvery = 0;        ///< drop one byte out of every N bytes sent (0 = never)
    uint32_t swapSyncEvery = 0;    ///< send every Nth answer with its sync bytes swapped (0 = never)
    uint32_t badChecksumEvery = 0; ///< send every Nth answer with a wrong checksum (0 = never)
    uint32_t garbageMs = 0;        ///< send a few unasked bytes every N ms (0 = never)
    uint64_t closeAfter = 0;       ///< close the line after this many requests (0 = never)
};

/// Days from 1 April 2004 (day 0 of the programming date) to a calendar date.
int daysSinceEpoch2004(int year, unsigned month, unsigned day);

struct SimConfig {
    // --- what the controller reports ----------------------------------------
    std::string identity = "ZEFSIM-0000001"; ///< the controller's bytes (CP1250), at most 16
    uint16_t versionWord = 5;
    uint8_t injectors = 4;
    /// Feature mask; bit 0x0080 selects the extended diagnostic layout.
    uint32_t featureMask = 0x1057;
    uint32_t timerFrequency = 40000;
    uint16_t programmingDate = static_cast<uint16_t>(daysSinceEpoch2004(2026, 3, 16));
    std::array<uint8_t, 11> errors{}; ///< error report held at start

    // --- the car ------------------------------------------------------------
    double idleRpm = 800;
    double petrolIdleMs = 3.2;      ///< petrol computer's time at warm idle
    double trueCorrectionMs = 1.8;  ///< LPG time the car really needs above the petrol time
    double ambientC = 15;           ///< starting temperature of the engine and controller
    /// The petrol time the controller reads on injector 1..8 (ms), in place of the
    /// engine's: a signal read inverted (60 ms) or missing (0). Negative: the engine's.
    std::array<double, 8> injectorPetrolMs{-1, -1, -1, -1, -1, -1, -1, -1};
    /// Drive the map's test lap (warm engine) instead of idling; see CDriveScenario.
    bool drive = false;
    /// The hidden map of the drive (400 bytes, percent + 100); empty: drawn from the seed.
    std::vector<uint8_t> trueMap;
    std::string trueMapFile;        ///< where trueMap is read from at start
    /// On the drive: model seconds at the start with the reducer below the switch
    /// temperature (a cold start); 0: the car arrives warm.
    double warmUpSeconds = 60;
    /// On the drive: model seconds each step between operating points takes (engine
    /// speed and load change over it; a step down in load is an overrun cut-off);
    /// 0: the car jumps from point to point.
    double transitionSeconds = 0.5;
    /// On the drive: model seconds at each operating point (a shorter lap for tests).
    double dwellSeconds = 4;

    // --- link ---------------------------------------------------------------
    bool baudTiming = false;        ///< pace every byte at 14400 baud
    double replyLatencyMs = 1.0;    ///< controller reaction time (with baudTiming)
    uint64_t seed = 1;              ///< noise seed; the same seed gives the same data
    SimFaults faults;

    // --- files --------------------------------------------------------------
    std::string eepromFile;         ///< EEPROM image loaded at start and saved at exit
    std::string linkPath;           ///< symlink to the pty, removed at exit
    bool verbose = false;           ///< log each request on stderr
};

} // namespace zefirel::sim
