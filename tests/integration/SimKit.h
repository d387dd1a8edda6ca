#pragma once
/// Shared pieces of the tests that run the virtual controller: the controller
/// served on a pseudo-terminal in this process, and a runner for the programs
/// (zefirelctl, zefirel-sim) as child processes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "SimController.h"
#include "SimServer.h"

namespace zefirel::test {

using Bytes = std::vector<uint8_t>;

/// A virtual controller served on a pseudo-terminal for the lifetime of the object.
struct CSimOnPty {
    explicit CSimOnPty(const sim::SimConfig& c = {}) : cfg(c), ctl(cfg), server(ctl, cfg) {
        std::string error;
        opened = server.open(error);
        EXPECT_TRUE(opened) << error;
        server.start();
    }
    ~CSimOnPty() { server.stop(); }

    sim::SimConfig cfg;
    sim::CSimController ctl;
    sim::CSimServer server;
    bool opened = false;
};

inline const std::string CTL = std::string(ZEFIREL_BIN_DIR) + "/cli/zefirelctl";
inline const std::string SIM = std::string(ZEFIREL_BIN_DIR) + "/sim/zefirel-sim";

struct RunResult {
    int rc = -1;
    std::string out, err;
    double seconds = 0;
};

/// Checks that every line of a --json run's standard output parses as JSON (each
/// command prints one value per line), whatever the test itself looks at.
void expectJsonLines(const std::string& out, const std::string& where);

/// Starts a program with extra environment entries (they win over this process's
/// own); its standard input reads nothing, its output goes to outFd and errFd.
/// Returns its pid.
inline pid_t spawn(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& env, int outFd, int errFd) {
    // Everything the child needs is built before fork: this process has threads.
    std::vector<std::string> environment = env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (std::none_of(env.begin(), env.end(), [&](const std::string& x) { return x.rfind(name + "=", 0) == 0; }))
            environment.push_back(entry);
    }
    std::vector<char*> envp, argv{const_cast<char*>(program.c_str())};
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // No terminal input: a program that asks reads the end of input.
        if (const int nul = ::open("/dev/null", O_RDONLY); nul >= 0)
            ::dup2(nul, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

/// Runs a program with extra environment entries, collects its output, kills it
/// after 20 s.
inline RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::vector<std::string>& env = {}) {
    RunResult r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(program, args, env, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, 20000) <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (pollfd& p : fds)
        if (p.fd >= 0)
            ::close(p.fd);
    if (program == CTL && std::find(args.begin(), args.end(), "--json") != args.end())
        expectJsonLines(r.out, args.back());
    return r;
}

inline Bytes readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

} // namespace zefirel::test
