#pragma once
/// IDiagDisplay: a view that shows diagnostics (the live panel, the display view).
/// The document resets, starts and stops every registered display when a
/// diagnostic run begins or ends.
///
/// The document may call these from the polling thread (when polling ends on its
/// own); a windowed implementation marshals the call to its GUI thread.

namespace zefirel {

class IDiagDisplay {
public:
    virtual ~IDiagDisplay() = default;
    /// Back to the initial state (readouts, chart) for a new run.
    virtual void reset() = 0;
    /// Starts the display's refresh timer.
    virtual void start() = 0;
    /// Stops the display's refresh timer.
    virtual void stop() = 0;
    /// Refresh period while diagnostics are on: 5000 ms around modal dialogs (slow
    /// refresh), 500 ms otherwise (normal refresh). Displays without a period ignore it.
    virtual void setRefreshPeriod(int /*periodMs*/) {}
};

} // namespace zefirel
