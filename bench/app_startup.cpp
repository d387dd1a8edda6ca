// Start-up time of the windowed program: from starting `zefirel` to "Połączony" in
// its status bar, against the virtual controller (served here on a pseudo-terminal,
// without byte timing), split into the program's phases. The program writes a time
// stamp per phase when ZEFIREL_STARTUP_TRACE names a file; this bench starts it with
// that variable, offscreen and with private settings folders, waits for the mark of
// the connection, ends it and repeats.
//
// Usage: bench_app_startup [runs (5)] [path of zefirel]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SimController.h"
#include "SimServer.h"
#include "support/StartupTrace.h"

namespace fs = std::filesystem;
using namespace zefirel;

namespace {

long long MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

/// The phases in the order the program passes them, and what each one covers.
const std::vector<std::pair<std::string, std::string>> PHASES = {
    {"main", "process start, libraries loaded, main() entered"},
    {"frame", "Qt application and the main frame"},
    {"port-search", "document, wait window, port search begins"},
    {"port-open", "serial port opened"},
    {"handshake", "handshake (link test, version, features) done"},
    {"connected", "\"Połączony\" in the status bar"},
    {"window", "main window shown"},
};

/// Phase → first time stamp in the trace file.
std::map<std::string, long long> ReadTrace(const std::string& path) {
    std::map<std::string, long long> marks;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string phase;
        long long ns = 0;
        if (fields >> phase >> ns) marks.emplace(phase, ns);
    }
    return marks;
}

/// Starts the program with these extra environment entries; returns its pid.
pid_t Spawn(const std::string& program, const std::vector<std::string>& extra) {
    std::vector<std::string> env = extra;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(extra.begin(), extra.end(), [&](const std::string& x) { return x.rfind(name, 0) == 0; }))
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(127);
    }
    return pid;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string program =
        argc > 2 ? argv[2] : (fs::canonical("/proc/self/exe").parent_path().parent_path() / "src/ui/zefirel").string();
    if (!fs::exists(program)) {
        std::fprintf(stderr, "no program at %s (give its path as the second argument)\n", program.c_str());
        return 1;
    }

    sim::SimConfig cfg;
    sim::CSimController controller(cfg);
    sim::CSimServer server(controller, cfg);
    std::string error;
    if (!server.open(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    server.start();

    const fs::path home = fs::temp_directory_path() / ("zefirel-bench-startup-" + std::to_string(::getpid()));
    std::map<std::string, std::vector<double>> since;  // phase → ms since the start, per run
    int failed = 0;
    for (int run = 0; run < runs; ++run) {
        // Fresh folders every run: no remembered port, no settings from the run before.
        fs::remove_all(home);
        for (const char* sub : {"config", "data", "run"}) fs::create_directories(home / sub);
        fs::permissions(home / "run", fs::perms::owner_all, fs::perm_options::replace);
        const std::string trace = (home / "trace.txt").string();
        const long long start = MonotonicNs();
        const pid_t pid = Spawn(program, {"QT_QPA_PLATFORM=offscreen", "ZEFIREL_COM1=" + server.slavePath(),
                                          std::string(STARTUP_TRACE_ENV) + "=" + trace,
                                          "XDG_CONFIG_HOME=" + (home / "config").string(),
                                          "XDG_DATA_HOME=" + (home / "data").string(),
                                          "XDG_RUNTIME_DIR=" + (home / "run").string()});
        std::map<std::string, long long> marks;
        // The window is shown right after the connection: wait for both (20 s at most).
        while (MonotonicNs() - start < 20000000000LL) {
            marks = ReadTrace(trace);
            if (marks.count("connected") && marks.count("window")) break;
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) break;  // it ended on its own
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        if (!marks.count("connected")) {
            ++failed;
            std::printf("run %d: no connection within 20 s\n", run + 1);
            continue;
        }
        for (const auto& [phase, ns] : marks) since[phase].push_back((ns - start) / 1e6);
    }
    server.stop();
    fs::remove_all(home);

    std::printf("start-up of zefirel against the simulator (no byte timing), %d runs%s:\n", runs,
                failed ? " (some failed)" : "");
    std::printf("  %-12s %9s %9s %9s   %s\n", "phase", "best ms", "median", "step", "what it covers");
    double previous = 0;
    for (const auto& [phase, what] : PHASES) {
        const auto it = since.find(phase);
        if (it == since.end()) continue;
        const double best = *std::min_element(it->second.begin(), it->second.end());
        const double median = Median(it->second);
        std::printf("  %-12s %9.1f %9.1f %9.1f   %s\n", phase.c_str(), best, median, median - previous,
                    what.c_str());
        previous = median;
    }
    if (since.count("connected"))
        std::printf("start to \"Połączony\": best %.1f ms, median %.1f ms (target < 1000 ms)\n",
                    *std::min_element(since["connected"].begin(), since["connected"].end()),
                    Median(since["connected"]));
    return failed == runs ? 1 : 0;
}
