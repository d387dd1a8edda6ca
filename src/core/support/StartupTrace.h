#pragma once
/// Time stamps of the program's start-up phases, for measuring how long the way to a
/// connected controller takes. Only when the environment variable
/// ZEFIREL_STARTUP_TRACE names a file does anything happen: each mark appends one
/// line "phase<TAB>nanoseconds on CLOCK_MONOTONIC" to it. The monotonic clock is the
/// same for every process of the machine, so a program that started this one can
/// take the difference to the moment it started it.

namespace zefirel {

/// The environment variable naming the trace file.
inline constexpr const char* STARTUP_TRACE_ENV = "ZEFIREL_STARTUP_TRACE";

/// Appends a time stamp for this phase to the trace file (if one is asked for).
void startupMark(const char* phase);

} // namespace zefirel
