// The serial-device survey over a device and sysfs tree laid out as Linux lays
// out a USB serial cable: stable name, driver, USB identity, and a cable that no
// driver has taken.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/PortSurvey.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

namespace fs = std::filesystem;

void put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

/// dev/ttyUSB0 and dev/ttyUSB8 from an FTDI cable and a CH340 cable without driver.
struct FakeSystem {
    FakeSystem() {
        const fs::path root = scratch.path();
        folders = {(root / "dev").string(), (root / "sys").string(), (root / "proc").string()};
        const fs::path usb = root / "sys/devices/pci0000:00/usb1";
        for (const char* tty : {"ttyUSB0", "ttyUSB8"}) {
            put(root / "dev" / tty, "");
            const fs::path device = usb / "1-1/1-1:1.0" / tty;
            fs::create_directories(device);
            fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
            fs::create_directory_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", device / "driver");
            fs::create_directories(root / "sys/class/tty" / tty);
            fs::create_directory_symlink(device, root / "sys/class/tty" / tty / "device");
        }
        fs::create_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", usb / "1-1/1-1:1.0/driver");
        put(usb / "1-1/idVendor", "0403");
        put(usb / "1-1/idProduct", "6001");
        put(usb / "1-1/manufacturer", "FTDI");
        put(usb / "1-1/product", "FT232R USB UART");
        fs::create_directories(root / "dev/serial/by-id");
        fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        // A CH340 cable whose interface no driver took, and a mouse.
        put(usb / "1-2/idVendor", "1a86");
        put(usb / "1-2/idProduct", "7523");
        put(usb / "1-2/product", "USB Serial");
        fs::create_directories(usb / "1-2/1-2:1.0");
        put(usb / "1-3/idVendor", "046d");
        fs::create_directories(usb / "1-3/1-3:1.0");
        fs::create_directories(root / "sys/bus/usb/devices");
        for (const char* d : {"1-1", "1-2", "1-3", "1-2:1.0"})
            fs::create_directory_symlink(usb / d, root / "sys/bus/usb/devices" / d);
        for (int n = 1; n <= 7; ++n)
            ::unsetenv(("ZEFIREL_COM" + std::to_string(n)).c_str());
    }
    CScratchFolder scratch;
    SurveyFolders folders;
};

} // namespace

TEST(PortSurvey, DescribesUsbCablesAndThePortNumbersTheyMapTo) {
    FakeSystem sys;
    const std::vector<PortCandidate> ports = surveyPorts(sys.folders);
    ASSERT_EQ(ports.size(), 8u); // ports 1..7 and ttyUSB8 beyond them
    const PortCandidate& first = ports[0];
    EXPECT_EQ(first.portNumber, 1u);
    EXPECT_EQ(first.path, sys.folders.dev + "/ttyUSB0");
    EXPECT_EQ(first.stableName, sys.folders.dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(first.driver, "ftdi_sio");
    EXPECT_EQ(first.usbVendorId + ":" + first.usbProductId, "0403:6001");
    EXPECT_EQ(first.usbName, "FTDI FT232R USB UART");
    // Port 2 has no device: the resolver's last choice, with nothing known about it.
    EXPECT_EQ(ports[1].path, sys.folders.dev + "/ttyS1");
    EXPECT_TRUE(ports[1].driver.empty());
    // ttyUSB8 would be port 9, which the program does not search on its own.
    EXPECT_EQ(ports[7].path, sys.folders.dev + "/ttyUSB8");
    EXPECT_EQ(ports[7].portNumber, 9u);
    EXPECT_FALSE(ports[7].searched);
    EXPECT_TRUE(ports[7].stableName.empty());

    // An override takes the port to another device and says so.
    ::setenv("ZEFIREL_COM1", (sys.folders.dev + "/ttyUSB8").c_str(), 1);
    const std::vector<PortCandidate> over = surveyPorts(sys.folders);
    ::unsetenv("ZEFIREL_COM1");
    EXPECT_EQ(over[0].overrideVar, "ZEFIREL_COM1");
    EXPECT_EQ(over[0].path, sys.folders.dev + "/ttyUSB8");
    ASSERT_EQ(over.size(), 8u); // ttyUSB0 is now beyond the searched ports
    EXPECT_EQ(over[7].path, sys.folders.dev + "/ttyUSB0");
}

TEST(PortSurvey, FindsACableNoDriverTook) {
    FakeSystem sys;
    const std::vector<DriverlessAdapter> found = driverlessAdapters(sys.folders);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].usbPath, "1-2");
    EXPECT_EQ(found[0].vendorId + ":" + found[0].productId, "1a86:7523");
    EXPECT_EQ(found[0].module, "ch341");
}

// A lock file is only a claim: a number no process can have (a garbled file, a
// number past pid_t) names no holder, and must never reach kill() as 0 or a
// negative number, which would ask about a process group or about every process
// (and so find "a holder" that is not there).
TEST(PortSurvey, LockFileNumbersPastAProcessNumberNameNoHolder) {
    CScratchFolder locks;
    SurveyFolders folders;
    folders.lockDirs = {locks.path()};
    const pid_t parent = ::getppid(); // alive for the whole test
    int32_t binary = static_cast<int32_t>(parent), negative = -5;
    const struct {
        std::string text;
        pid_t pid; // what the file names; 0 = nobody
    } cases[] = {
        {"      " + std::to_string(parent) + "\n", parent}, // the usual right-aligned text form
        {std::to_string(parent), parent},
        {std::string(reinterpret_cast<const char*>(&binary), 4), parent}, // the old binary form
        {"2147483648\n", 0},                                             // pid_t's maximum + 1
        {"4294967297\n", 0},                                             // would wrap to 1 (init)
        {"9999992233720368547758070\n", 0},                              // would saturate to -1
        {"-1\n", 0},
        {"0\n", 0},
        {std::string(reinterpret_cast<const char*>(&negative), 4), 0},
        {"12ab\n", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lockFilePid(c.text), c.pid) << c.text;
        std::ofstream(locks.path() + "/LCK..ttyUSB3", std::ios::binary | std::ios::trunc) << c.text;
        EXPECT_EQ(uucpLockHolder("/dev/ttyUSB3", folders).pid, c.pid) << c.text;
    }
}
