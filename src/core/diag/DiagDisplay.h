#pragma once
/// IDiagDisplay: a view that shows diagnostics (the live panel, the display view).
/// The document resets, starts and stops every registered display when a
/// diagnostic run begins or ends.
///
/// The document may call these from the polling thread (when polling ends on its
/// own); a windowed implementation marshals the call to its GUI thread.

#include <cstdint>

namespace zefirel {

/// Number of a diagnostic run (polling or replay) of a document: every start gives
/// a new one. Work queued for a run is dropped when another run has begun since.
using RunId = uint64_t;

class IDiagDisplay {
public:
    virtual ~IDiagDisplay() = default;
    /// Back to the initial state (readouts, chart) for a new run.
    virtual void reset() = 0;
    /// Starts the display's refresh timer.
    virtual void start() = 0;
    /// Stops the display's refresh timer at the end of the given run. A display that
    /// carries the call over to another thread drops it there when a newer run has
    /// begun by then: a late stop of an old run must not freeze the new one.
    virtual void stop(RunId run) = 0;
    /// Refresh period while diagnostics are on: 5000 ms around modal dialogs (slow
    /// refresh), 500 ms otherwise (normal refresh). Displays without a period ignore it.
    virtual void setRefreshPeriod(int /*periodMs*/) {}
};

} // namespace zefirel
