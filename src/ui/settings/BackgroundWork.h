#pragma once
/// Long controller transfers off the GUI thread: the work runs on a worker thread
/// while the GUI thread keeps painting, running its timers and carrying out the
/// calls queued to it (the status bar's progress). User input waits until the work
/// has ended, so no second command can start beside it.

#include <functional>

namespace zefirel {

/// Runs work on a worker thread and returns when it has ended. An exception that
/// escapes the work (an error object of the port) is thrown again here, on the
/// calling thread, so the caller's catch pattern shows it.
void runInBackground(const std::function<void()>& work);

} // namespace zefirel
