#include "link/ConnectionDoctor.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "link/Conversions.h"
#include "link/FeatureTexts.h"
#include "link/LPGDevice.h"
#include "link/Protocol.h"
#include "settings/VersionRecord.h"

namespace zefirel {

namespace {

/// Bytes of a handshake kept to look for frames in (a few frames' worth).
constexpr size_t PROBE_KEEP = 4096;

/// Stands between the device and its port during a probe: counts what came back,
/// notes every valid frame and whether the line vanished.
class CProbeLine : public ISerialLine {
public:
    explicit CProbeLine(CSerialPort& port) : m_port(port) {}

    uint32_t read(uint8_t* buffer, uint32_t count) override {
        try {
            const uint32_t got = m_port.read(buffer, count);
            take(buffer, got);
            // Latched: closing the port after a failed handshake forgets the hang-up.
            m_vanished = m_vanished || m_port.hungUp();
            return got;
        } catch (...) {
            m_vanished = true;
            throw;
        }
    }
    void write(const uint8_t* buffer, uint32_t count) override {
        try {
            m_port.write(buffer, count);
        } catch (...) {
            m_vanished = true;
            throw;
        }
    }
    void purgeIn() override { m_port.purgeIn(); }
    void drainIn(uint32_t quietMs) override { m_port.drainIn(quietMs); }
    void purgeOut() override { m_port.purgeOut(); }
    uint32_t clearCommError() override { return m_port.clearCommError(); }

    uint64_t bytes() const { return m_bytes; }
    bool sawFrame() const { return !m_types.empty(); }
    bool sawType(uint8_t type) const { return m_types.count(type) != 0; }
    bool vanished() const { return m_vanished; }

private:
    void take(const uint8_t* data, uint32_t count) {
        m_bytes += count;
        m_rx.insert(m_rx.end(), data, data + count);
        while (!m_rx.empty()) {
            ParsedFrame f;
            size_t consumed = 0;
            const EFrameCheck check = checkFrame(m_rx.data(), m_rx.size(), f, consumed);
            if (check == EFrameCheck::NeedMore)
                break;
            if (check == EFrameCheck::Ok) {
                m_types.insert(f.type);
                m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(consumed));
            } else {
                m_rx.erase(m_rx.begin());
            }
        }
        if (m_rx.size() > PROBE_KEEP)
            m_rx.erase(m_rx.begin(), m_rx.end() - static_cast<std::ptrdiff_t>(PROBE_KEEP));
    }

    CSerialPort& m_port;
    std::vector<uint8_t> m_rx;
    std::set<uint8_t> m_types;
    uint64_t m_bytes = 0;
    bool m_vanished = false;
};

/// The device's group name, and whether the user belongs to it only on paper (not
/// in this login session).
void permissionFacts(const std::string& path, PortDiagnosis& d) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return;
    if (const group* g = ::getgrgid(st.st_gid))
        d.group = g->gr_name;
    const passwd* pw = ::getpwuid(::getuid());
    if (!pw)
        return;
    int count = 64;
    std::vector<gid_t> listed(static_cast<size_t>(count));
    if (::getgrouplist(pw->pw_name, pw->pw_gid, listed.data(), &count) < 0)
        return;
    listed.resize(static_cast<size_t>(count));
    const bool listedMember = std::find(listed.begin(), listed.end(), st.st_gid) != listed.end();
    std::vector<gid_t> session(static_cast<size_t>(std::max(0, ::getgroups(0, nullptr))));
    const int n = ::getgroups(static_cast<int>(session.size()), session.data());
    session.resize(static_cast<size_t>(std::max(0, n)));
    const bool sessionMember =
        ::getegid() == st.st_gid || std::find(session.begin(), session.end(), st.st_gid) != session.end();
    d.memberButNotLoggedIn = listedMember && !sessionMember;
}

/// Opens the device as the program does (exclusive, locked) and lets go at once.
/// Returns 0 or the errno that stopped it (EWOULDBLOCK: locked by someone).
int tryOpen(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        err = errno;
    ::close(fd);
    return err;
}

std::string portLabel(const PortCandidate& p) {
    std::string s;
    if (p.portNumber != 0)
        s = "Port " + std::to_string(p.portNumber) + ": ";
    s += p.path;
    return s;
}

} // namespace

bool CConnectionDoctor::heldElsewhere(const std::string& path, PortDiagnosis& d) const {
    // A terminal program that marks its port with a lock file only.
    if (const PortHolder h = uucpLockHolder(path, m_folders); h.pid != 0) {
        d.holders.push_back(h);
        return true;
    }
    // A real port that another program has open without any lock is not opened
    // either. A pseudo-terminal is always held by the simulator that serves it, so
    // there an open descriptor says nothing.
    if (!isPseudoTerminal(path)) {
        d.holders = portHolders(path, m_folders);
        if (!d.holders.empty())
            return true;
    }
    d.openError = tryOpen(path);
    if (d.openError == EBUSY || d.openError == EWOULDBLOCK) {
        // Held by a process whose descriptors this user cannot see, or (a
        // pseudo-terminal) by the program that locked it, not by its simulator.
        d.holders = isPseudoTerminal(path) ? portLockHolders(path, m_folders) : portHolders(path, m_folders);
        return true;
    }
    return false;
}

PortDiagnosis CConnectionDoctor::diagnose(const PortCandidate& port) const {
    PortDiagnosis d;
    d.port = port;
    struct stat st {};
    if (::stat(port.path.c_str(), &st) != 0) {
        d.openError = errno;
        d.verdict = EPortVerdict::Missing;
        return d;
    }
    // Who holds the device is looked at before it is touched: opening a serial port
    // already raises its DTR and RTS lines, and root is let past a holder's
    // exclusive mode, so an open would disturb the holder's conversation.
    if (heldByThisProcess(port.path, m_folders)) {
        d.verdict = EPortVerdict::InUseHere;
        d.ownLineAnswers = m_ownLine && m_ownLine(port.path);
        return d;
    }
    if (heldElsewhere(port.path, d)) {
        d.verdict = EPortVerdict::Busy;
        return d;
    }
    const int err = d.openError;
    if (err == EACCES || err == EPERM) {
        d.verdict = EPortVerdict::NoPermission;
        permissionFacts(port.path, d);
        return d;
    }
    if (err == ENXIO || err == ENODEV || err == ENOENT) {
        d.verdict = EPortVerdict::Missing; // a device node without the hardware behind it
        return d;
    }
    if (err != 0) {
        d.verdict = EPortVerdict::OpenFailed;
        return d;
    }

    // A device object of its own that keeps what it reads to itself: the timer
    // constants and sample layout of a controller being polled stay as they are.
    CNullHost host;
    CLPGDevice dev(&host);
    dev.setPublishesTimerConstants(false);
    CProbeLine line(dev.port());
    dev.setLine(&line);
    const bool answered = dev.connectPath(port.path);
    d.bytesReceived = line.bytes();
    if (!answered) {
        if (line.sawFrame() && line.vanished())
            d.verdict = EPortVerdict::LineDropped;
        else if (line.bytes() > 0)
            d.verdict = EPortVerdict::NoValidFrame;
        else
            d.verdict = line.vanished() ? EPortVerdict::LineDropped : EPortVerdict::Silent;
        return d;
    }
    if (!line.sawType(MSG_TYPE_VERSION)) {
        d.verdict = line.vanished() ? EPortVerdict::LineDropped : EPortVerdict::NoVersion;
        dev.disconnect();
        return d;
    }
    const CSettingsBlock& s = dev.settings();
    d.version = s.versionMark();
    d.injectors = s.injectorCount();
    d.identity = s.identity();
    d.featureMask = s.featureMask();
    d.timerFrequency = s.timerFrequency();
    if (dev.isVersionOk()) {
        d.verdict = EPortVerdict::Ok;
        uint8_t record[VERSION_RECORD_SIZE] = {};
        if (dev.readVersion(record))
            d.programmingDate = formatProgrammingDate(getU16(record));
    } else {
        d.verdict = EPortVerdict::OtherVersion;
    }
    dev.disconnect();
    return d;
}

DoctorReport CConnectionDoctor::run(const DoctorProgress& progress, const std::atomic<bool>* stop) const {
    if (progress)
        progress(0, "Wyszukiwanie portów szeregowych...");
    return run(surveyPorts(m_folders), progress, stop);
}

DoctorReport CConnectionDoctor::run(const std::vector<PortCandidate>& ports, const DoctorProgress& progress,
                                    const std::atomic<bool>* stop) const {
    DoctorReport r;
    r.driverless = driverlessAdapters(m_folders);
    for (size_t i = 0; i < ports.size(); ++i) {
        if (stop && stop->load()) {
            r.stopped = true;
            break;
        }
        if (progress)
            progress(static_cast<int>(i * 100 / ports.size()), "Sprawdzanie: " + portLabel(ports[i]));
        r.ports.push_back(diagnose(ports[i]));
    }
    if (progress && !r.stopped)
        progress(100, "Gotowe");
    return r;
}

std::string verdictTitle(EPortVerdict v) {
    switch (v) {
    case EPortVerdict::Missing: return "Brak urządzenia";
    case EPortVerdict::NoPermission: return "Brak uprawnień";
    case EPortVerdict::Busy: return "Port zajęty przez inny program";
    case EPortVerdict::InUseHere: return "Port używany przez ten program";
    case EPortVerdict::OpenFailed: return "Nie można otworzyć portu";
    case EPortVerdict::Silent: return "Brak odpowiedzi";
    case EPortVerdict::NoValidFrame: return "Odbierane dane nie są odpowiedzią sterownika";
    case EPortVerdict::LineDropped: return "Połączenie przerwane";
    case EPortVerdict::NoVersion: return "Sterownik nie podaje wersji";
    case EPortVerdict::OtherVersion: return "Sterownik innej wersji";
    case EPortVerdict::Ok: return "OK";
    }
    return {};
}

std::string verdictAdvice(const PortDiagnosis& d) {
    switch (d.verdict) {
    case EPortVerdict::Missing:
        if (!d.port.overrideVar.empty())
            return "Zmienna " + d.port.overrideVar + " wskazuje urządzenie, którego nie ma. Popraw ją albo usuń.";
        return "Takiego urządzenia nie ma. Jeśli przewód jest na USB: podłącz go i sprawdź ponownie; "
               "jeśli nadal go nie ma, system nie ma sterownika do tego przewodu.";
    case EPortVerdict::NoPermission: {
        const std::string group = d.group.empty() ? "dialout" : d.group;
        if (d.memberButNotLoggedIn)
            return "Należysz już do grupy " + group +
                   ", ale ta sesja powstała wcześniej. Wyloguj się i zaloguj ponownie (albo uruchom komputer "
                   "ponownie).";
        return "Użytkownik nie może otworzyć portu. Dodaj go do grupy " + group + " poleceniem\n"
               "    sudo usermod -aG " + group + " $USER\n"
               "a potem wyloguj się i zaloguj ponownie.";
    }
    case EPortVerdict::Busy: {
        if (d.holders.empty())
            return "Port jest otwarty przez inny program (nie udało się ustalić który). Zamknij programy "
                   "terminalowe i inne programy diagnostyczne.";
        std::string s = "Port jest otwarty przez: ";
        for (size_t i = 0; i < d.holders.size(); ++i) {
            const PortHolder& h = d.holders[i];
            s += (i ? ", " : "") + h.name + " (PID " + std::to_string(h.pid) + ")";
        }
        return s + ". Zamknij ten program i sprawdź ponownie.";
    }
    case EPortVerdict::InUseHere:
        if (d.ownLineAnswers)
            return "Ten program jest już połączony przez ten port.";
        return "Ten program ma ten port otwarty, ale sterownik na nim teraz nie odpowiada; program sam ponawia "
               "połączenie. Sprawdź przewód, zasilanie sterownika i zapłon.";
    case EPortVerdict::OpenFailed:
        return std::string("System odmówił otwarcia portu: ") + std::strerror(d.openError) + ".";
    case EPortVerdict::Silent:
        return "Port się otwiera, ale przy 14400 bodów nic nie odpowiada. Sprawdź, czy przewód jest podłączony "
               "do sterownika, czy sterownik ma zasilanie i czy zapłon jest włączony.";
    case EPortVerdict::NoValidFrame:
        return "Z portu przychodzą dane (" + std::to_string(d.bytesReceived) +
               " B), ale nie ma wśród nich poprawnej odpowiedzi. To inne urządzenie albo inna prędkość "
               "transmisji; sprawdź, czy to właściwy port i właściwy przewód.";
    case EPortVerdict::LineDropped:
        return "Urządzenie zniknęło w trakcie rozmowy. Sprawdź wtyk USB i przewód (luźny styk), "
               "a potem sprawdź ponownie.";
    case EPortVerdict::NoVersion:
        return "Sterownik odpowiada, ale nie podaje wersji. Wyłącz i włącz zapłon, potem sprawdź ponownie.";
    case EPortVerdict::OtherVersion:
        return "To sterownik w wersji " + std::to_string(d.version) + " (" + d.identity +
               "). Ten program obsługuje wersję " + std::to_string(SUPPORTED_VERSION) +
               "; uruchom oprogramowanie odpowiednie do tej wersji.";
    case EPortVerdict::Ok:
        return "Sterownik odpowiada poprawnie.";
    }
    return {};
}

std::string doctorReportText(const DoctorReport& report) {
    std::string s = "Diagnostyka połączenia\n\n";
    int ok = 0;
    std::string inUse;
    bool inUseAnswers = false;
    for (const PortDiagnosis& d : report.ports) {
        if (d.verdict == EPortVerdict::InUseHere && inUse.empty()) {
            inUse = portLabel(d.port);
            inUseAnswers = d.ownLineAnswers;
        }
        const PortCandidate& p = d.port;
        s += portLabel(p) + " — " + verdictTitle(d.verdict) + "\n";
        if (!p.overrideVar.empty())
            s += "  wskazany przez zmienną " + p.overrideVar + "\n";
        if (p.portNumber != 0 && !p.searched)
            s += "  poza portami 1..7, których program szuka sam; użyj --port " + std::to_string(p.portNumber) +
                 " albo ZEFIREL_COM" + std::to_string(p.portNumber) + "\n";
        if (!p.stableName.empty())
            s += "  nazwa stała: " + p.stableName + "\n";
        if (!p.driver.empty())
            s += "  sterownik systemu: " + p.driver + "\n";
        if (!p.usbVendorId.empty())
            s += "  USB " + p.usbVendorId + ":" + p.usbProductId + (p.usbName.empty() ? "" : " " + p.usbName) + "\n";
        if (d.verdict == EPortVerdict::Ok) {
            ++ok;
            s += "  wersja " + std::to_string(d.version) + ", identyfikator " + d.identity + ", wtryskiwaczy " +
                 std::to_string(d.injectors);
            if (!d.programmingDate.empty())
                s += ", data programowania " + d.programmingDate;
            s += "\n";
            char mask[16];
            std::snprintf(mask, sizeof mask, "0x%04X", d.featureMask);
            s += std::string("  możliwości: ") + mask + "\n";
            for (const std::string& f : featureDescriptions(d.featureMask))
                s += "    " + f + "\n";
        }
        // The missing ports 1..7 with nothing to say need no advice line each.
        if (!(d.verdict == EPortVerdict::Missing && p.overrideVar.empty() && p.usbVendorId.empty()))
            s += "  " + verdictAdvice(d) + "\n";
        s += "\n";
    }
    for (const DriverlessAdapter& a : report.driverless)
        s += "Przewód USB " + a.vendorId + ":" + a.productId + (a.name.empty() ? "" : " (" + a.name + ")") +
             " jest podłączony, ale żaden sterownik systemu go nie obsługuje. Załaduj moduł: sudo modprobe " +
             a.module + "\n\n";
    if (report.stopped)
        s += "Sprawdzanie przerwane.\n";
    else if (ok == 0 && !inUse.empty() && inUseAnswers)
        s += "Ten program jest połączony ze sterownikiem (" + inUse + "); innych sterowników nie znaleziono.\n";
    else if (ok == 0 && !inUse.empty())
        s += "Ten program ma otwarty port (" + inUse +
             "), ale sterownik na nim nie odpowiada; innych sterowników nie znaleziono.\n";
    else if (ok == 0)
        s += "Nie znaleziono sterownika LPG na żadnym porcie.\n";
    else
        s += "Znaleziono sterowników LPG: " + std::to_string(ok) + ".\n";
    return s;
}

} // namespace zefirel
