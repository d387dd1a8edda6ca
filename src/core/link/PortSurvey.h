#pragma once
/// What the system knows about its serial devices, gathered for the connection
/// troubleshooter: the candidate devices (the ports 1..7 as the port resolver maps
/// them, and every USB serial device present), their stable names, drivers and USB
/// identities from sysfs, the processes that hold a device open or locked (from
/// /proc), and USB serial adapters that no driver has taken.
///
/// The folders are parameters so that a test can point them at a tree of its own.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zefirel {

/// Folders the survey reads (the real system's by default).
struct SurveyFolders {
    std::string dev = "/dev";
    std::string sys = "/sys";
    std::string proc = "/proc";
    /// Where terminal programs leave UUCP lock files ("LCK..ttyUSB0" holding a pid).
    std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};
};

/// One device the program may talk to the controller through.
struct PortCandidate {
    /// The port number 1..7 the program tries that resolves to this device; for a
    /// device outside 1..7 the number it would have (ttyUSB9 → 10); 0 when none.
    uint32_t portNumber = 0;
    /// Whether the program tries this number on its own (1..7).
    bool searched = false;
    std::string path;           ///< the device path the resolver gives
    std::string overrideVar;    ///< "ZEFIREL_COM<n>" when that variable chose the path
    std::string stableName;     ///< /dev/serial/by-id/... pointing at it, if any
    std::string driver;         ///< kernel driver of the tty (ftdi_sio, cdc_acm, ...)
    std::string usbVendorId;    ///< "0403" etc., empty when not a USB device
    std::string usbProductId;
    std::string usbName;        ///< manufacturer and product strings
};

/// A process that holds a device.
struct PortHolder {
    pid_t pid = 0;
    std::string name;     ///< /proc/<pid>/comm
    std::string command;  ///< the command line, words joined by spaces
};

/// A USB serial adapter plugged in with no driver bound to it.
struct DriverlessAdapter {
    std::string usbPath;  ///< the sysfs name, e.g. "1-1.2"
    std::string vendorId, productId, name;
    std::string module;   ///< the usual driver module for its chip ("ftdi_sio", ...)
};

/// The candidates: ports 1..7 as resolved (whether their device exists or not),
/// then every /dev/ttyUSB* and /dev/ttyACM* not among them, each with its sysfs
/// details.
std::vector<PortCandidate> surveyPorts(const SurveyFolders& folders = {});
/// Fills stableName, driver and the USB details of a candidate from sysfs.
void describePort(PortCandidate& candidate, const SurveyFolders& folders = {});
/// Processes other than the caller's own that have the device open or hold a lock
/// on it (lock holders first). Processes whose descriptors cannot be read (another
/// user's, without privileges) are not found.
std::vector<PortHolder> portHolders(const std::string& path, const SurveyFolders& folders = {});
/// Processes other than the caller's own that hold a lock on the device (the way
/// this program and most terminal programs keep a port to themselves).
std::vector<PortHolder> portLockHolders(const std::string& path, const SurveyFolders& folders = {});
/// A live process that claims the device with a UUCP lock file (minicom, picocom and
/// the like do so instead of locking the device itself); pid 0 when none.
PortHolder uucpLockHolder(const std::string& path, const SurveyFolders& folders = {});
/// The process number a UUCP lock file names: the text form (digits, right-aligned
/// in spaces, a line end) or the old 4-byte binary form. 0 for anything else, and
/// for a number no process can have (beyond pid_t, or not above 0).
pid_t lockFilePid(const std::string& text);
/// Whether the device is a pseudo-terminal (a simulator's end, /dev/pts/N).
bool isPseudoTerminal(const std::string& path);
/// Whether the calling process itself holds the device's lock (/proc/locks), as a
/// connected port of this program does.
bool heldByThisProcess(const std::string& path, const SurveyFolders& folders = {});
/// USB devices of the usual serial-adapter chips with an interface no driver took.
std::vector<DriverlessAdapter> driverlessAdapters(const SurveyFolders& folders = {});

} // namespace zefirel
