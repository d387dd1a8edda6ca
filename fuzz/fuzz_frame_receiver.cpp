// The receive side of a transaction over a line whose every byte comes from the
// input: frame headers, lengths, checksums and payloads as a noisy or hostile
// controller may send them, through the command set's decoders (handshake, settings,
// errors, sequence, diagnostics, EEPROM, map, level sensor) and the pure frame check.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"
#include "link/LPGDevice.h"

using namespace zefirel;

namespace {

/// A line that answers reads from a byte string and swallows writes. When the
/// bytes run out, reads return short at once (a silent controller, minus the wait).
class CInputLine : public ISerialLine {
public:
    CInputLine(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t read(uint8_t* buffer, uint32_t count) override {
        const size_t n = std::min<size_t>(count, m_size - m_pos);
        std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return static_cast<uint32_t>(n);
    }
    void write(const uint8_t*, uint32_t) override {}
    void purgeIn() override {}
    void purgeOut() override {}
    uint32_t clearCommError() override { return 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class CFuzzDevice : public CLPGDevice {
public:
    using CLPGDevice::handshake;
    using CLPGDevice::readUnasked;

protected:
    void pauseMs(int) override {}
};

void describeSample(const CDiag& d, uint32_t mask) {
    std::string all = rpmText(d) + petrolTimeText(d) + lpgTimeText(d) + pressureText(d) + heaterTempText(d) +
                      lpgTempText(d) + internalTempText(d) + lambdaText(d) + supplyVoltageText(d, mask) +
                      workStateText(d);
    (void)all;
    (void)workStateColour(d);
    (void)supplyVoltageVisible(d, mask);
    std::string text;
    (void)CLPGDeviceErr::checkSample(d, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The pure frame check on the bytes of the line.
    ParsedFrame frame;
    size_t consumed = 0;
    if (checkFrame(data + 2, size - 2, frame, consumed) == EFrameCheck::Ok)
        fuzz::require(consumed <= size - 2 && frame.payload.size() + 6 == consumed,
                      "a checked frame lies in the bytes");

    const uint8_t op = data[0];
    const bool extended = data[1] & 1;
    CInputLine line(data + 2, size - 2);
    CFuzzDevice dev;
    dev.setLine(&line);
    dev.setResetTimeout(0);
    setTimerFrequency(40000);
    if (extended) {
        uint8_t features[FEATURE_RECORD_SIZE] = {};
        setU32(features, FEATURE_EXTENDED_DIAG);
        dev.storeFeatures(features);
    }

    switch (op % 12) {
    case 0: {
        PayloadBuffer buf{};
        uint8_t length = 6, type = MSG_TYPE_COMMAND;
        buf[0] = CMD_TEST;
        if (dev.transact(buf, length, type))
            fuzz::require(length <= MAX_PAYLOAD, "a payload fits its length byte");
        break;
    }
    case 1:
        if (dev.handshake()) {
            // The feature record sets the timer frequency every conversion uses.
            (void)tickLength();
            (void)rpmConstant();
            (void)dev.readSettings();
        }
        break;
    case 2:
        if (dev.readSettings()) {
            (void)checkSettings(dev.settings());
            uint8_t p[SETUP_RECORD_SIZE];
            encodeSettings(dev.settings(), p);
        }
        break;
    case 3: {
        uint8_t report[ERROR_REPORT_SIZE];
        if (dev.readErrors(report))
            (void)dev.describeReport(report);
        break;
    }
    case 4: {
        std::vector<SequenceItem> items;
        bool spread = false;
        if (dev.readSequence(items, spread))
            fuzz::require(items.size() == 8, "eight injectors in a sequence");
        break;
    }
    case 5:
    case 6: {
        CDiag d;
        for (int injector = 1; injector <= 8; ++injector)
            if (dev.requestDiag(injector, d))
                describeSample(d, dev.settings().featureMask());
        break;
    }
    case 7: {
        uint8_t image[EEPROM_SIZE];
        (void)dev.readEeprom(0, EEPROM_SIZE, image);
        break;
    }
    case 8:
        (void)dev.readMap();
        break;
    case 9: {
        uint32_t value = 0;
        uint8_t calibration[LEVEL_CALIBRATION_SIZE];
        (void)dev.readLevelValue(value);
        (void)dev.readLevelCalibration(calibration);
        break;
    }
    case 10: {
        uint8_t record[VERSION_RECORD_SIZE];
        (void)dev.readVersionRecord(record);
        (void)dev.readTimeCorrections();
        break;
    }
    default: {
        PayloadBuffer buf{};
        uint8_t length = 0, type = 0;
        while (dev.readUnasked(buf, length, type))
            fuzz::require(length <= MAX_PAYLOAD, "a payload fits its length byte");
        break;
    }
    }
    return 0;
}
