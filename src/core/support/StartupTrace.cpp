#include "support/StartupTrace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace zefirel {

namespace {

/// The trace file, opened on the first mark; -1 when none is asked for (or it
/// cannot be opened: the program runs on without a trace).
int TraceFile() {
    static int fd = -1;
    static std::once_flag opened;
    std::call_once(opened, [] {
        const char* path = std::getenv(STARTUP_TRACE_ENV);
        if (path && *path) fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    });
    return fd;
}

} // namespace

void startupMark(const char* phase) {
    const int fd = TraceFile();
    if (fd < 0) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[128];
    const int n = std::snprintf(line, sizeof line, "%s\t%lld\n", phase,
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    // One write per line with O_APPEND: lines from several threads never mix.
    if (n > 0 && static_cast<size_t>(n) < sizeof line) (void)!::write(fd, line, static_cast<size_t>(n));
}

} // namespace zefirel
