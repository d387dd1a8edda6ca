// Connecting to the controller: opening the port, the handshake with its version
// check, trying the ports in turn, and disconnecting.
#include <memory>

#include "diag/Diag.h"
#include "link/Conversions.h"
#include "link/LPGDevice.h"
#include "support/StartupTrace.h"

namespace zefirel {

namespace {

constexpr int TEST_ATTEMPTS = 3;
constexpr int COMMAND_ATTEMPTS = 10;
constexpr uint32_t FIRST_PORT = 1;
constexpr uint32_t LAST_PORT = 7;

constexpr const char* MSG_VERSION_READ_FAILED = "Nie powiodło się odczytanie wersji urządzenia!";
constexpr const char* MSG_UNKNOWN_FEATURES =
    "Wersja oprogramowania PC może nie obsługiwać wszystkich\n możliwości sterownika LPG\n";
constexpr const char* MSG_NO_DEVICE = "Nie można nawiązać komunikacji z urządzeniem LPG";
// What to check, under the message: the usual reasons a controller does not answer.
constexpr const char* MSG_NO_DEVICE_HINT =
    "\n\nSprawdź: czy przewód jest podłączony do sterownika i do komputera, czy zapłon jest włączony, "
    "czy wybrano właściwy port oraz czy użytkownik należy do grupy dialout (po dodaniu trzeba się "
    "ponownie zalogować).";

void setLineParameters(CSerialPort& port, uint32_t baudRate) {
    SerialLineState state;
    state.baudRate = baudRate; // 8 data bits, no parity, one stop bit, DTR/RTS off
    port.setState(state);
    port.setTimeout(SerialTimeouts{}); // 500 ms + 1 ms per byte
}

} // namespace

std::string versionMismatchText(unsigned controllerVersion) {
    return "Wersja sterownika LPG nie zgadza się z wersją oprogramowania PC!\n"
           "Szczegóły:\n"
           "   --wersja sterownika LPG - " + std::to_string(controllerVersion) + "\n" +
           "   --wersja oprogramowania PC - " + std::to_string(SUPPORTED_VERSION) + "\n" +
           "Uruchom odpowiednią wersję oprogramowania PC.\n";
}

bool CLPGDevice::openAndHandshake(uint32_t portNumber, const std::string& path, uint32_t baudRate) {
    // The port is closed and opened again while no write holds the controller: a
    // reconnect waits for a settings, map, curve or EEPROM write to end.
    const COwnerGuard owner(*this, true);
    if (!owner.held())
        return false;
    // A port that cannot be opened leaves no stale "connected" state behind.
    m_connected.store(false, std::memory_order_relaxed);
    try {
        {
            // No exchange of another thread may use the port while it is swapped.
            CMutexGuard exchange(&m_txLock);
            m_port.close();
            if (portNumber != 0)
                m_port.open(portNumber);
            else
                m_port.openPath(path);
            setLineParameters(m_port, baudRate);
        }
        startupMark("port-open");
        if (handshake()) {
            startupMark("handshake");
            return true;
        }
    } catch (IError* e) {
        delete e;
    }
    // Nothing answered: release the port for whatever else may use it.
    CMutexGuard exchange(&m_txLock);
    m_port.close();
    return false;
}

bool CLPGDevice::connect(uint32_t portNumber, uint32_t baudRate) {
    if (portNumber == 0 || !openAndHandshake(portNumber, {}, baudRate))
        return false;
    writeLastSerialPort(portNumber);
    return true;
}

bool CLPGDevice::connectPath(const std::string& path, uint32_t baudRate) {
    return openAndHandshake(0, path, baudRate);
}

bool CLPGDevice::connectFirstPort(const std::atomic<bool>* stop) {
    const uint32_t last = readLastSerialPort();
    bool ok = last != 0 && connect(last, BAUD_RATE);
    for (uint32_t port = FIRST_PORT; !ok && port <= LAST_PORT && !(stop && stop->load()); ++port)
        ok = connect(port, BAUD_RATE);
    return ok;
}

bool CLPGDevice::connectAnyPort() {
    if (!connectFirstPort()) {
        host().showMessage(std::string(MSG_NO_DEVICE) + MSG_NO_DEVICE_HINT, APP_CAPTION, EMsgStyle::Plain);
        return false;
    }
    host().showConnection(isVersionOk());
    return true;
}

void CLPGDevice::disconnect() {
    CMutexGuard exchange(&m_txLock);
    m_port.close();
    m_connectionLost.store(false, std::memory_order_relaxed);
}

bool CLPGDevice::answersLinkTest() {
    PayloadBuffer buf{};
    uint8_t length = 0;
    return commandAttempts(CMD_TEST, TEST_ATTEMPTS, MSG_TYPE_COMMAND, buf, length);
}

bool CLPGDevice::handshake() {
    m_connected.store(false, std::memory_order_relaxed);
    forgetControllerRecord();
    PayloadBuffer buf{};
    uint8_t length = 0;

    // 1. Is anything there? An answer must be an acknowledgement.
    if (!commandAttempts(CMD_TEST, TEST_ATTEMPTS, MSG_TYPE_COMMAND, buf, length))
        return false;

    // 2. The version record. The link is up even when it does not come.
    if (!commandAttempts(CMD_VERSION, COMMAND_ATTEMPTS, MSG_TYPE_VERSION, buf, length)) {
        host().showMessage(MSG_VERSION_READ_FAILED, APP_CAPTION, EMsgStyle::Error);
        host().removeDeviceMenus();
        return true;
    }
    const uint16_t version = getU16(&buf[2]);
    storeVersionRecord(buf.data());

    // 3. The feature record; without one the previous record stays.
    uint8_t features[FEATURE_RECORD_SIZE];
    if (readFeatures(features))
        storeFeatures(features);
    else if (m_publishesConstants)
        CDiag::setExtendedLayout(extendedDiag());

    // 4. The version check.
    if (version != SUPPORTED_VERSION) {
        host().showMessage(versionMismatchText(version), APP_CAPTION, EMsgStyle::Error);
        host().removeDeviceMenus();
        return true;
    }
    if ((featureMask() & ~FEATURE_KNOWN_MASK) != 0)
        host().showMessage(MSG_UNKNOWN_FEATURES, APP_CAPTION, EMsgStyle::Info);
    m_connectionNumber.fetch_add(1);
    m_connected.store(true, std::memory_order_relaxed);
    return true;
}

} // namespace zefirel
