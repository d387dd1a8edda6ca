#pragma once
/// What the commands' declarations share: CLI11 itself and the checks several
/// commands put on their values.

#include <CLI/CLI.hpp>

#include "CtlCommon.h"

namespace zefirel::ctl {

/// Refuses an empty value ("--trace ''").
const CLI::Validator& nonEmpty();

/// A limit of a range as a person writes it ("10000000", not "1e+07").
std::string formatBound(double limit);

/// A range check whose help text is left to the option's own description. Unlike
/// CLI::Range it refuses "nan", which compares false both ways.
template <typename T>
CLI::Validator within(T min, T max) {
    return CLI::Validator(
        [min, max](std::string& text) {
            T value{};
            if (CLI::detail::lexical_cast(text, value) && value >= min && value <= max)
                return std::string();
            return "potrzebna liczba od " + formatBound(static_cast<double>(min)) + " do " +
                   formatBound(static_cast<double>(max)) + ", podano " + text;
        },
        "");
}

/// Lets through only a whole number written in decimal digits, and drops its
/// leading zeros: CLI11 reads "010" as octal 8 and "0x10" as 16, where a port,
/// an injector count or a version word typed with a leading zero means ten.
/// Give it with transform() so it runs before a range check.
const CLI::Validator& decimal();

/// The declaration of a command that takes no words and no options of its own.
template <int (*run)(CCtlContext&)>
CtlRunner noArguments(CLI::App&) {
    return run;
}

/// Declares "--timer-frequency F" (1000 .. 10000000 Hz) on a command that reads a
/// recording without a controller; frequency starts as DEFAULT_TIMER_FREQUENCY.
void addTimerFrequency(CLI::App& command, double& frequency);

} // namespace zefirel::ctl
