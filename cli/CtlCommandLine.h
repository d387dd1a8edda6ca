#pragma once
/// The command line of zefirelctl, read by CLI11: the global options declared once,
/// one subcommand per registered command (each with its own --help), --version and
/// --commands.

#include <memory>
#include <string>

#include "CtlCommon.h"

namespace zefirel::ctl {

class CCtlCommandLine {
public:
    CCtlCommandLine();
    ~CCtlCommandLine();
    CCtlCommandLine(const CCtlCommandLine&) = delete;
    CCtlCommandLine& operator=(const CCtlCommandLine&) = delete;

    /// Reads the command line. True when a command is to run; otherwise the program
    /// ends with exitCode: EXIT_OK after printing help, the version or the command
    /// table, EXIT_USAGE after printing what is wrong with the line.
    bool parse(int argc, char** argv, int& exitCode);
    /// The global options read by parse().
    const CtlOptions& options() const;
    /// Runs the command the line named.
    int run(CCtlContext& ctx) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zefirel::ctl
