#pragma once
/// Long work of the bench tools (a big recording read through) on a worker thread
/// under a progress window with "Anuluj": the window keeps painting, the progress
/// comes over queued calls, and the call returns when the work has ended.

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

namespace zefirel {

/// The work: reports percent 0..100 through progress (from its own thread) and
/// ends early when stop is set.
using BenchJob = std::function<void(const std::function<void(int)>& progress, const std::atomic<bool>& stop)>;

/// Runs job on a worker thread while a progress window with label shows; returns
/// false when the user pressed "Anuluj" (the job has ended either way). An error
/// object or other exception escaping the job is thrown again here.
bool runWithProgress(QWidget* parent, const QString& label, const BenchJob& job);

} // namespace zefirel
