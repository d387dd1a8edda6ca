#pragma once
/// Command-line options of zefirel-sim.

#include <string>
#include <vector>

#include "SimConfig.h"

namespace zefirel::sim {

/// Result of reading the command line.
enum class EOptions { Run, Help, Version, Invalid };

/// Reads the options (without the program name) into cfg. On Invalid, error says why.
EOptions parseSimOptions(const std::vector<std::string>& args, SimConfig& cfg, std::string& error);
/// The --help text, made from the options' declarations.
std::string simHelpText();

} // namespace zefirel::sim
