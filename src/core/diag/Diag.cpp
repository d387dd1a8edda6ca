#include "diag/Diag.h"

#include <atomic>

namespace zefirel {

namespace {
// One layout for every sample of the process: it follows the controller connected
// (or last connected) and is read by every thread that looks at a sample.
std::atomic<bool> g_extendedLayout{false};
} // namespace

void CDiag::setExtendedLayout(bool extended) { g_extendedLayout.store(extended, std::memory_order_relaxed); }

bool CDiag::extendedLayout() { return g_extendedLayout.load(std::memory_order_relaxed); }

} // namespace zefirel
