#include "link/PortSurvey.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "link/SerialPort.h"

namespace zefirel {

namespace {

constexpr uint32_t FIRST_SEARCHED = 1;
constexpr uint32_t LAST_SEARCHED = 7;

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string realPath(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

std::string firstLine(const std::string& path) {
    std::ifstream f(path);
    std::string line;
    std::getline(f, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::string linkTargetName(const std::string& link) {
    const std::string target = realPath(link);
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

/// The device's identity for matching /proc entries: the real path, device and inode.
struct DeviceKey {
    std::string real;
    dev_t dev = 0;
    ino_t ino = 0;
    bool valid = false;
};

DeviceKey deviceKey(const std::string& path) {
    DeviceKey k;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return k;
    k.real = realPath(path);
    k.dev = st.st_dev;
    k.ino = st.st_ino;
    k.valid = true;
    return k;
}

/// Whether a /proc/<pid>/fd entry refers to the device.
bool fdRefersTo(const std::string& fdPath, const DeviceKey& key) {
    struct stat st {};
    if (::stat(fdPath.c_str(), &st) == 0)
        return st.st_dev == key.dev && st.st_ino == key.ino;
    return !key.real.empty() && realPath(fdPath) == key.real;
}

PortHolder holderOf(pid_t pid, const std::string& proc) {
    PortHolder h;
    h.pid = pid;
    const std::string base = proc + "/" + std::to_string(pid);
    h.name = firstLine(base + "/comm");
    std::ifstream f(base + "/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(f)), {});
    while (!raw.empty() && raw.back() == '\0')
        raw.pop_back();
    std::replace(raw.begin(), raw.end(), '\0', ' ');
    h.command = raw;
    return h;
}

/// Pids holding a flock or POSIX lock on the device's inode, from /proc/locks
/// ("1: FLOCK  ADVISORY  WRITE 1234 00:05:3 0 EOF").
std::vector<pid_t> lockHolders(const DeviceKey& key, const std::string& proc) {
    std::vector<pid_t> pids;
    std::ifstream f(proc + "/locks");
    std::string line;
    while (std::getline(f, line)) {
        std::istringstream in(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(in >> number >> kind))
            continue;
        if (kind == "->") // a waiter: "1: -> FLOCK ..."
            continue;
        if (!(in >> mode >> access >> pid >> where))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (inode == key.ino && makedev(major, minor) == key.dev && pid > 0)
            pids.push_back(static_cast<pid_t>(pid));
    }
    return pids;
}

bool processHolds(pid_t pid, const DeviceKey& key, const std::string& proc) {
    const std::string fdFolder = proc + "/" + std::to_string(pid) + "/fd";
    for (const std::string& fd : folderEntries(fdFolder))
        if (fdRefersTo(fdFolder + "/" + fd, key))
            return true;
    return false;
}

struct ChipModule {
    const char* vendor;
    const char* module;
};
/// The usual USB-to-serial chips of workshop cables and the drivers that take them.
constexpr ChipModule CHIP_MODULES[] = {
    {"0403", "ftdi_sio"}, {"067b", "pl2303"}, {"1a86", "ch341"}, {"10c4", "cp210x"}, {"04d8", "cdc_acm"},
};

} // namespace

void describePort(PortCandidate& c, const SurveyFolders& folders) {
    const std::string real = realPath(c.path);
    if (real.empty())
        return;
    const std::string byId = folders.dev + "/serial/by-id";
    for (const std::string& name : folderEntries(byId))
        if (realPath(byId + "/" + name) == real) {
            c.stableName = byId + "/" + name;
            break;
        }
    const std::string ttyName = real.substr(real.rfind('/') + 1);
    const std::string sysDevice = folders.sys + "/class/tty/" + ttyName + "/device";
    c.driver = linkTargetName(sysDevice + "/driver");
    // Up from the tty's device to the USB device that carries idVendor.
    std::string dir = realPath(sysDevice);
    for (int depth = 0; !dir.empty() && depth < 6; ++depth) {
        if (exists(dir + "/idVendor")) {
            c.usbVendorId = firstLine(dir + "/idVendor");
            c.usbProductId = firstLine(dir + "/idProduct");
            const std::string maker = firstLine(dir + "/manufacturer"), product = firstLine(dir + "/product");
            c.usbName = maker.empty() ? product : product.empty() ? maker : maker + " " + product;
            break;
        }
        const size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0)
            break;
        dir.resize(slash);
    }
}

std::vector<PortCandidate> surveyPorts(const SurveyFolders& folders) {
    std::vector<PortCandidate> out;
    for (uint32_t n = FIRST_SEARCHED; n <= LAST_SEARCHED; ++n) {
        PortCandidate c;
        c.portNumber = n;
        c.searched = true;
        c.path = resolvePortPath(n, folders.dev);
        const std::string var = "ZEFIREL_COM" + std::to_string(n);
        if (const char* over = std::getenv(var.c_str()); over && *over)
            c.overrideVar = var;
        describePort(c, folders);
        out.push_back(c);
    }
    // USB serial devices the ports 1..7 do not reach (a second adapter, ttyUSB7 and up).
    for (const std::string& name : folderEntries(folders.dev)) {
        for (const char* prefix : {"ttyUSB", "ttyACM"}) {
            const std::string p = prefix;
            if (name.rfind(p, 0) != 0 || name.size() == p.size())
                continue;
            const std::string path = folders.dev + "/" + name;
            const std::string real = realPath(path);
            if (std::any_of(out.begin(), out.end(), [&](const PortCandidate& c) { return realPath(c.path) == real; }))
                continue;
            PortCandidate c;
            c.path = path;
            char* end = nullptr;
            const unsigned long index = std::strtoul(name.c_str() + p.size(), &end, 10);
            if (end && *end == '\0')
                c.portNumber = static_cast<uint32_t>(index + 1);
            describePort(c, folders);
            out.push_back(c);
        }
    }
    return out;
}

std::vector<PortHolder> portHolders(const std::string& path, const SurveyFolders& folders) {
    std::vector<PortHolder> out;
    const DeviceKey key = deviceKey(path);
    if (!key.valid)
        return out;
    const pid_t self = ::getpid();
    std::vector<pid_t> pids = lockHolders(key, folders.proc);
    for (const std::string& entry : folderEntries(folders.proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry.c_str(), &end, 10);
        if (pid <= 0 || !end || *end != '\0')
            continue;
        if (std::find(pids.begin(), pids.end(), pid) == pids.end() &&
            processHolds(static_cast<pid_t>(pid), key, folders.proc))
            pids.push_back(static_cast<pid_t>(pid));
    }
    for (pid_t pid : pids)
        if (pid != self)
            out.push_back(holderOf(pid, folders.proc));
    return out;
}

std::vector<PortHolder> portLockHolders(const std::string& path, const SurveyFolders& folders) {
    std::vector<PortHolder> out;
    const DeviceKey key = deviceKey(path);
    if (!key.valid)
        return out;
    for (pid_t pid : lockHolders(key, folders.proc))
        if (pid != ::getpid())
            out.push_back(holderOf(pid, folders.proc));
    return out;
}

pid_t lockFilePid(const std::string& text) {
    // The text form: the number, right-aligned in spaces, then a line end.
    size_t i = text.find_first_not_of(' ');
    long long value = 0;
    bool digits = false, tooLarge = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        digits = true;
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<pid_t>::max()) {
            tooLarge = true; // beyond any process number: garbage, not a holder
            value = 0;
        }
    }
    const bool clean = digits && (i >= text.size() || text.find_first_not_of(" \t\r\n", i) == std::string::npos);
    if (clean)
        return tooLarge ? 0 : static_cast<pid_t>(value);
    // The old binary form: a 4-byte number in the machine's order.
    if (text.size() == sizeof(int32_t)) {
        int32_t binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        return binary > 0 ? static_cast<pid_t>(binary) : 0;
    }
    return 0;
}

PortHolder uucpLockHolder(const std::string& path, const SurveyFolders& folders) {
    const std::string name = path.substr(path.rfind('/') + 1);
    for (const std::string& dir : folders.lockDirs) {
        std::ifstream f(dir + "/LCK.." + name, std::ios::binary);
        if (!f)
            continue;
        const std::string text((std::istreambuf_iterator<char>(f)), {});
        const pid_t pid = lockFilePid(text);
        // Only a single process is ever asked about: kill() with 0 or a negative
        // number would ask about a process group or every process.
        if (pid > 0 && pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM))
            return holderOf(pid, folders.proc);
    }
    return {};
}

bool isPseudoTerminal(const std::string& path) { return realPath(path).rfind("/dev/pts/", 0) == 0; }

bool heldByThisProcess(const std::string& path, const SurveyFolders& folders) {
    // The lock, not an open descriptor: a simulator in this process keeps its end
    // of a terminal open without using it as a port.
    const DeviceKey key = deviceKey(path);
    if (!key.valid)
        return false;
    const std::vector<pid_t> pids = lockHolders(key, folders.proc);
    return std::find(pids.begin(), pids.end(), ::getpid()) != pids.end();
}

std::vector<DriverlessAdapter> driverlessAdapters(const SurveyFolders& folders) {
    std::vector<DriverlessAdapter> out;
    const std::string usb = folders.sys + "/bus/usb/devices";
    for (const std::string& name : folderEntries(usb)) {
        if (name.find(':') != std::string::npos)
            continue; // an interface, looked at from its device
        const std::string dir = usb + "/" + name;
        const std::string vendor = firstLine(dir + "/idVendor");
        const auto chip = std::find_if(std::begin(CHIP_MODULES), std::end(CHIP_MODULES),
                                       [&](const ChipModule& m) { return vendor == m.vendor; });
        if (chip == std::end(CHIP_MODULES))
            continue;
        bool anyInterface = false, anyDriverless = false;
        for (const std::string& sub : folderEntries(dir)) {
            if (sub.rfind(name + ":", 0) != 0)
                continue;
            anyInterface = true;
            if (!exists(dir + "/" + sub + "/driver"))
                anyDriverless = true;
        }
        if (!anyInterface || !anyDriverless)
            continue;
        DriverlessAdapter a;
        a.usbPath = name;
        a.vendorId = vendor;
        a.productId = firstLine(dir + "/idProduct");
        const std::string maker = firstLine(dir + "/manufacturer"), product = firstLine(dir + "/product");
        a.name = maker.empty() ? product : product.empty() ? maker : maker + " " + product;
        a.module = chip->module;
        out.push_back(a);
    }
    return out;
}

} // namespace zefirel
