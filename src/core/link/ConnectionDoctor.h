#pragma once
/// The connection troubleshooter: goes through every candidate serial device (the
/// ports 1..7 as the program resolves them, and every USB serial device present),
/// tries each the way the program connects (14400 baud, the handshake with its
/// version check) and says plainly, per device, what is wrong and what to do:
/// missing, no permission, held by another program (which), silent, bytes without
/// a valid frame, a controller of another version, or OK with what it reported.
/// It also names USB serial adapters that no driver has taken.
///
/// The run takes a few seconds per port and calls back with its progress; a set
/// stop flag ends it before the next port. It never shows anything itself.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/PortSurvey.h"

namespace zefirel {

/// What one device turned out to be.
enum class EPortVerdict {
    Missing,        ///< no such device
    NoPermission,   ///< the user may not open it
    Busy,           ///< another program holds it
    InUseHere,      ///< this program itself holds it (a connected document)
    OpenFailed,     ///< it exists but cannot be opened for another reason
    Silent,         ///< opened, but nothing came back at 14400 baud
    NoValidFrame,   ///< bytes came back, but never a valid frame
    LineDropped,    ///< a controller answered, then the line went away
    NoVersion,      ///< a controller answers but does not give its version record
    OtherVersion,   ///< a controller of another firmware version
    Ok              ///< a controller of version 5
};

/// The result for one device.
struct PortDiagnosis {
    PortCandidate port;
    EPortVerdict verdict = EPortVerdict::Missing;
    int openError = 0;                ///< errno of a failed open
    std::vector<PortHolder> holders;  ///< for Busy
    std::string group;                ///< the device's group (for NoPermission)
    bool memberButNotLoggedIn = false;///< the user is in that group, but not in this session
    uint64_t bytesReceived = 0;       ///< during the handshake
    unsigned version = 0;             ///< the version word (OtherVersion, Ok)
    unsigned injectors = 0;
    std::string identity;
    std::string programmingDate;      ///< "dd/mm/yyyy"
    uint32_t featureMask = 0;
    uint32_t timerFrequency = 0;
    bool ownLineAnswers = false;      ///< InUseHere: this program's controller answers on it now
};

/// The whole run.
struct DoctorReport {
    std::vector<PortDiagnosis> ports;
    std::vector<DriverlessAdapter> driverless;
    bool stopped = false;  ///< the stop flag ended it early
};

/// Progress of a run: percent 0..100 and what is being looked at.
using DoctorProgress = std::function<void(int percent, const std::string& what)>;

class CConnectionDoctor {
public:
    explicit CConnectionDoctor(SurveyFolders folders = {}) : m_folders(std::move(folders)) {}

    /// Tells whether this program's own connection through the device (the given
    /// path) answers now. Without it a port this program holds is never reported as
    /// a working connection: holding a port is not talking to a controller.
    void setOwnLineCheck(std::function<bool(const std::string& path)> check) { m_ownLine = std::move(check); }

    /// Looks at one device.
    PortDiagnosis diagnose(const PortCandidate& port) const;
    /// Whether another program holds the device: a UUCP lock file, a lock, an open
    /// descriptor of a real port, or an exclusive open that refuses a trial open.
    /// Fills d's holders (lock holders first; empty when they cannot be seen) and,
    /// when the trial open was made, its openError. No handshake is tried.
    bool heldElsewhere(const std::string& path, PortDiagnosis& d) const;
    /// Surveys the candidates and looks at each in turn.
    DoctorReport run(const DoctorProgress& progress = {}, const std::atomic<bool>* stop = nullptr) const;
    /// The same over a given list of candidates.
    DoctorReport run(const std::vector<PortCandidate>& ports, const DoctorProgress& progress = {},
                     const std::atomic<bool>* stop = nullptr) const;

private:
    SurveyFolders m_folders;
    std::function<bool(const std::string&)> m_ownLine;
};

/// One line naming the verdict ("Brak urządzenia", "Brak uprawnień", ...).
std::string verdictTitle(EPortVerdict v);
/// What is wrong and what to do, in full sentences.
std::string verdictAdvice(const PortDiagnosis& d);
/// The whole report as text, for the window and for a support message.
std::string doctorReportText(const DoctorReport& report);

} // namespace zefirel
