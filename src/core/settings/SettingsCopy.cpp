#include "settings/SettingsCopy.h"

#include <algorithm>
#include <cstring>

#include "support/FileUtil.h"

namespace zefirel {

namespace {

/// The version word a usable settings file carries.
constexpr uint16_t FILE_VERSION = 5;
/// The document keeps bytes 0..167 (version to reducer pressure) of its own record.
constexpr size_t OWN_HEAD = block::FEATURES;
constexpr size_t FEATURE_RECORD = 20;

} // namespace

void copySettingsExceptMap(const CSettingsBlock& from, CSettingsBlock& to) {
    std::copy(from.bytes().begin(), from.bytes().begin() + block::MAP, to.bytes().begin());
}

CSettingsBlock factorySettings() {
    CSettingsBlock blk;
    blk.bytes().fill(0);
    blk.initDefaults();
    return blk;
}

void applyStoredRecord(const CSettingsBlock& stored, CSettingsBlock& doc, bool carDataKnown) {
    const CSettingsBlock own = doc;
    copySettingsExceptMap(stored, doc);
    auto& out = doc.bytes();
    std::copy(own.bytes().begin(), own.bytes().begin() + OWN_HEAD, out.begin());
    std::copy(own.bytes().begin() + block::FEATURES, own.bytes().begin() + block::FEATURES + FEATURE_RECORD,
              out.begin() + block::FEATURES);
    if (carDataKnown)
        return;
    // The texts as stored (CP1250 bytes), field by field; the reducer pressure
    // between them and the feature record stays the document's.
    for (int t = 0; t < static_cast<int>(ECarText::Count); ++t) {
        const CarTextInfo info = carTextInfo(static_cast<ECarText>(t));
        std::copy(stored.bytes().begin() + info.offset, stored.bytes().begin() + info.offset + info.width,
                  out.begin() + info.offset);
    }
}

ESettingsFileResult loadCarSettingsFile(const std::string& path, CSettingsBlock& out) {
    out = factorySettings();
    CSettingsBlock file = out;
    if (!readFileExact(path, file.bytes().data(), block::SIZE))
        return ESettingsFileResult::Unreadable;
    out = file;
    return out.versionMark() == FILE_VERSION ? ESettingsFileResult::Ok : ESettingsFileResult::OtherVersion;
}

ESettingsFileResult applyCarSettingsFile(const std::string& path, CSettingsBlock& doc, bool carDataKnown) {
    CSettingsBlock file;
    const ESettingsFileResult result = loadCarSettingsFile(path, file);
    if (result == ESettingsFileResult::Ok)
        applyStoredRecord(file, doc, carDataKnown);
    return result;
}

std::string settingsFileMessage(ESettingsFileResult result) {
    switch (result) {
    case ESettingsFileResult::Ok: return {};
    case ESettingsFileResult::Unreadable: return MSG_SETTINGS_FILE_UNREADABLE;
    case ESettingsFileResult::OtherVersion: return MSG_SETTINGS_FILE_VERSION;
    }
    return {};
}

bool saveSettingsFile(const std::string& path, const CSettingsBlock& blk) {
    return writeFileAtomic(path, blk.bytes().data(), block::SIZE);
}

} // namespace zefirel
