// The controller's 26-byte settings record and the 1240-byte block it lands in:
// decode into a block made of input bytes (values may be NaN, infinite or huge,
// as in a damaged settings file), check, encode, and decode again.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"

using namespace zefirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CSettingsBlock blk;
    uint8_t payload[SETUP_RECORD_SIZE] = {};
    std::memcpy(payload, data, std::min(size, sizeof payload));
    if (size > sizeof payload) {
        const size_t n = std::min(size - sizeof payload, blk.bytes().size());
        std::memcpy(blk.bytes().data(), data + sizeof payload, n);
    }
    setTimerFrequency(40000);

    // Whatever the block holds, checking and encoding it must be safe.
    (void)checkSettings(blk);
    (void)checkSettingsWithRanges(blk);
    uint8_t encoded[SETUP_RECORD_SIZE] = {};
    encodeSettings(blk, encoded);
    (void)blk.optionFlags();
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        (void)blk.timeCorrection(i);

    // A received record gives finite values; encoding them gives a record that
    // decodes to the same values again.
    CSettingsBlock rx;
    uint8_t features[20] = {};
    setU32(features, blk.featureMask() & FEATURE_VOLTAGE_ON_LPG_ONLY);
    rx.setFeatures(features);
    blk = rx;
    decodeSettings(blk, payload);
    for (size_t i = 0; i < static_cast<size_t>(ESetting::Count); ++i)
        fuzz::require(std::isfinite(blk.value(static_cast<ESetting>(i))), "decoded values are finite");
    (void)checkSettings(blk);
    encodeSettings(blk, encoded);
    CSettingsBlock again = blk;
    decodeSettings(again, encoded);
    uint8_t twice[SETUP_RECORD_SIZE] = {};
    encodeSettings(again, twice);
    fuzz::require(std::memcmp(encoded, twice, sizeof encoded) == 0, "encode(decode(encode)) is stable");
    return 0;
}
