// The sidecar file of a recording, the live run journal, and a recording's events.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "diag/Companion.h"
#include "events/DiagEvents.h"
#include "support/Error.h"
#include "support/FileUtil.h"

namespace zefirel {

namespace {

constexpr const char* SIDECAR_MAGIC = "zefirel-zdarzenia";
/// A sidecar larger than this is not a sidecar.
constexpr size_t SIDECAR_MAX_BYTES = 64u << 20;

std::string escape(const std::string& s) {
    std::string out;
    for (const char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        f.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return f;
        start = tab + 1;
    }
}

bool number(const std::string& s, double& out) {
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size();
}

bool unsignedNumber(const std::string& s, uint64_t& out) {
    if (s.empty() || s[0] < '0' || s[0] > '9')
        return false;
    char* end = nullptr;
    out = std::strtoull(s.c_str(), &end, 10);
    return end == s.c_str() + s.size();
}

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

const char* commandKey(EModeCommand c) {
    return c == EModeCommand::Petrol ? "petrol" : c == EModeCommand::Lpg ? "lpg" : "auto";
}

/// One journal line; false when it is not one.
bool parseJournal(const std::vector<std::string>& f, JournalEntry& e) {
    uint64_t sample = 0;
    if (f.size() < 3 || !unsignedNumber(f[1], sample) || sample > UINT32_MAX)
        return false;
    e = JournalEntry{};
    e.sampleNo = static_cast<uint32_t>(sample);
    const std::string& t = f[0];
    if (t == "clock" || t == "lost") {
        e.type = t == "clock" ? JournalEntry::EType::Clock : JournalEntry::EType::Lost;
        return f.size() == 3 && number(f[2], e.ms);
    }
    if (t == "settings") {
        e.type = JournalEntry::EType::Settings;
        uint64_t mask = 0;
        return f.size() == 6 && number(f[2], e.settings.petrolSwitchPressure) &&
               number(f[3], e.settings.switchTemperature) && number(f[4], e.settings.minSupplyVoltage) &&
               unsignedNumber(f[5], mask) && (e.settings.featureMask = static_cast<uint32_t>(mask), true);
    }
    if (t == "command") {
        e.type = JournalEntry::EType::Command;
        if (f[2] == "petrol") e.command = EModeCommand::Petrol;
        else if (f[2] == "lpg") e.command = EModeCommand::Lpg;
        else if (f[2] == "auto") e.command = EModeCommand::Auto;
        else return false;
        return f.size() == 3;
    }
    if (t == "errors") {
        e.type = JournalEntry::EType::Errors;
        if (f.size() != 3 || f[2].size() != 22)
            return false;
        for (size_t i = 0; i < 11; ++i) {
            const std::string byte = f[2].substr(i * 2, 2);
            char* end = nullptr;
            e.errors[i] = static_cast<uint8_t>(std::strtoul(byte.c_str(), &end, 16));
            if (end != byte.c_str() + 2)
                return false;
        }
        return true;
    }
    return false;
}

std::string journalLine(const JournalEntry& e) {
    const std::string s = std::to_string(e.sampleNo);
    switch (e.type) {
    case JournalEntry::EType::Clock: return "clock\t" + s + "\t" + num(e.ms);
    case JournalEntry::EType::Lost: return "lost\t" + s + "\t" + num(e.ms);
    case JournalEntry::EType::Settings:
        return "settings\t" + s + "\t" + num(e.settings.petrolSwitchPressure) + "\t" +
               num(e.settings.switchTemperature) + "\t" + num(e.settings.minSupplyVoltage) + "\t" +
               std::to_string(e.settings.featureMask);
    case JournalEntry::EType::Command: return "command\t" + s + "\t" + commandKey(e.command);
    case JournalEntry::EType::Errors: {
        std::string hex;
        char b[3];
        for (const uint8_t v : e.errors) {
            std::snprintf(b, sizeof b, "%02x", v);
            hex += b;
        }
        return "errors\t" + s + "\t" + hex;
    }
    }
    return {};
}

} // namespace

static std::string sidecarText(const SidecarContent& c, const std::vector<DiagEvent>& events) {
    std::vector<std::string> lines;
    lines.push_back(std::string(SIDECAR_MAGIC) + " " + std::to_string(SIDECAR_VERSION));
    lines.push_back("start\t" + std::to_string(c.startUnix));
    for (const JournalEntry& e : c.journal)
        lines.push_back(journalLine(e));
    for (const DiagMarker& m : c.markers)
        lines.push_back("marker\t" + std::to_string(m.sampleNo) + "\t" + escape(m.note));
    for (const DiagEvent& e : events)
        lines.push_back("event\t" + std::to_string(e.sampleNo) + "\t" + eventKindKey(e.kind) + "\t" +
                        escape(e.sentence));
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    text += "end\t" + std::to_string(lines.size()) + "\n";
    return text;
}

ESidecar readSidecar(const std::string& path, SidecarContent& out) {
    out = SidecarContent{};
    std::vector<uint8_t> bytes;
    if (!readFile(path, bytes, SIDECAR_MAX_BYTES))
        return ESidecar::Missing;
    const std::string text(bytes.begin(), bytes.end());
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line.rfind(SIDECAR_MAGIC, 0) != 0)
        return ESidecar::Damaged;
    if (line != std::string(SIDECAR_MAGIC) + " " + std::to_string(SIDECAR_VERSION))
        return ESidecar::OtherVersion;
    SidecarContent c;
    uint64_t count = 1;
    bool ended = false;
    while (std::getline(in, line)) {
        if (ended || in.eof())
            return ESidecar::Damaged; // text after "end", or a last line without its break
        const std::vector<std::string> f = split(line);
        uint64_t v = 0;
        if (f[0] == "end") {
            if (f.size() != 2 || !unsignedNumber(f[1], v) || v != count)
                return ESidecar::Damaged;
            ended = true;
            continue;
        }
        ++count;
        if (f[0] == "start") {
            double t = 0;
            if (f.size() != 2 || !number(f[1], t))
                return ESidecar::Damaged;
            c.startUnix = static_cast<int64_t>(t);
        } else if (f[0] == "marker") {
            if (f.size() != 3 || !unsignedNumber(f[1], v) || v > UINT32_MAX)
                return ESidecar::Damaged;
            c.markers.push_back({static_cast<uint32_t>(v), 0, unescape(f[2])});
        } else if (f[0] == "event") {
            // Written for other tools; events are always found again.
        } else {
            JournalEntry e;
            if (!parseJournal(f, e))
                return ESidecar::Damaged;
            c.journal.push_back(e);
        }
    }
    if (!ended)
        return ESidecar::Damaged;
    out = std::move(c);
    return ESidecar::Ok;
}

bool writeSidecar(const std::string& path, const SidecarContent& content, const std::vector<DiagEvent>& events) {
    const std::string text = sidecarText(content, events);
    return writeFileAtomic(path, text.data(), text.size());
}

std::string sidecarNotice(ESidecar state, const std::string& recordingPath) {
    const std::string file = sidecarPath(recordingPath);
    switch (state) {
    case ESidecar::Damaged:
        return "Plik zdarzeń \"" + file + "\" jest uszkodzony; znaczniki nagrania nie zostały wczytane, "
               "zdarzenia wyznaczono ponownie z próbek.";
    case ESidecar::OtherVersion:
        return "Plik zdarzeń \"" + file + "\" pochodzi z innej wersji programu; znaczniki nagrania nie zostały "
               "wczytane, zdarzenia wyznaczono ponownie z próbek.";
    default:
        return {};
    }
}

// --- a recording's events -------------------------------------------------------

std::vector<JournalEntry> companionJournal(const std::string& recordingPath, EventSettings& initial) {
    std::vector<CSettingsBlock> history;
    readCompanion(companionPath(recordingPath), history);
    std::vector<JournalEntry> journal;
    initial = history.empty() ? EventSettings::fromBlock(CSettingsBlock{}) : EventSettings::fromBlock(history.front());
    for (size_t i = 1; i < history.size(); ++i) {
        JournalEntry e;
        e.type = JournalEntry::EType::Settings;
        e.sampleNo = static_cast<uint32_t>(history[i].recordingContext());
        e.settings = EventSettings::fromBlock(history[i]);
        journal.push_back(e);
    }
    return journal;
}

ESidecar recordingJournal(const std::string& recordingPath, SidecarContent& content) {
    const ESidecar state = readSidecar(sidecarPath(recordingPath), content);
    if (state == ESidecar::Ok)
        return state;
    content = SidecarContent{};
    EventSettings initial;
    std::vector<JournalEntry> later = companionJournal(recordingPath, initial);
    JournalEntry first;
    first.type = JournalEntry::EType::Settings;
    first.settings = initial;
    content.journal.push_back(first);
    content.journal.insert(content.journal.end(), later.begin(), later.end());
    return state;
}

namespace {

RecordingEvents eventsOf(const std::string& recordingPath, SidecarContent& content) {
    RecordingEvents r;
    r.sidecar = recordingJournal(recordingPath, content);
    CEventFinder finder;
    for (const JournalEntry& e : content.journal)
        finder.addJournal(e);
    CRecordingReader reader;
    if (!reader.open(recordingPath))
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_OPEN, __LINE__, __FILE__);
    CDiag d;
    while (reader.read(d))
        finder.add(d);
    r.lines = reader.stats();
    r.samples = finder.samples();
    r.events = finder.events();
    r.markers = content.markers;
    for (DiagMarker& m : r.markers)
        m.timeMs = finder.timeOf(m.sampleNo);
    return r;
}

} // namespace

RecordingEvents findRecordingEvents(const std::string& recordingPath) {
    SidecarContent content;
    return eventsOf(recordingPath, content);
}

bool addRecordingMarker(const std::string& recordingPath, uint32_t sampleNo, const std::string& note) {
    SidecarContent content;
    RecordingEvents r = eventsOf(recordingPath, content);
    content.markers.push_back({sampleNo, 0, note});
    return writeSidecar(sidecarPath(recordingPath), content, r.events);
}

// --- live journal ------------------------------------------------------------

namespace {
int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

CRunJournal::CRunJournal(std::string recordingPath, const EventSettings& settings)
    : m_path(std::move(recordingPath)), m_finder(settings), m_startNs(monotonicNs()) {
    CMutexGuard g(&m_lock);
    m_content.startUnix = static_cast<int64_t>(std::time(nullptr));
    JournalEntry e;
    e.type = JournalEntry::EType::Settings;
    e.settings = settings;
    m_content.journal.push_back(e);
    saveLocked();
}

double CRunJournal::elapsedMs() const { return double(monotonicNs() - m_startNs) / 1e6; }

void CRunJournal::appendLocked(JournalEntry e) {
    e.sampleNo = m_newest;
    m_content.journal.push_back(e);
    m_finder.addJournal(e);
}

bool CRunJournal::saveLocked() {
    return writeSidecar(sidecarPath(m_path), m_content, m_finder.events());
}

void CRunJournal::sampleRecorded(const CDiag& d) {
    CMutexGuard g(&m_lock);
    m_newest = d.sampleNo();
    m_finder.add(d);
    const double now = elapsedMs();
    if (now - m_lastClock < CLOCK_EVERY_MS)
        return;
    m_lastClock = now;
    JournalEntry e;
    e.type = JournalEntry::EType::Clock;
    e.ms = now;
    appendLocked(e);
    saveLocked();
}

void CRunJournal::noteCommand(EModeCommand command) {
    CMutexGuard g(&m_lock);
    JournalEntry e;
    e.type = JournalEntry::EType::Command;
    e.command = command;
    appendLocked(e);
    saveLocked();
}

void CRunJournal::noteErrors(const uint8_t* report11) {
    CMutexGuard g(&m_lock);
    JournalEntry e;
    e.type = JournalEntry::EType::Errors;
    std::copy(report11, report11 + 11, e.errors.begin());
    // Only a change is worth a line (no report before counts as all clear).
    std::array<uint8_t, 11> previous{};
    for (auto it = m_content.journal.rbegin(); it != m_content.journal.rend(); ++it)
        if (it->type == JournalEntry::EType::Errors) {
            previous = it->errors;
            break;
        }
    if (previous == e.errors)
        return;
    appendLocked(e);
    saveLocked();
}

void CRunJournal::noteLost(double ms) {
    CMutexGuard g(&m_lock);
    JournalEntry e;
    e.type = JournalEntry::EType::Lost;
    e.ms = ms;
    appendLocked(e);
    saveLocked();
}

void CRunJournal::noteSettings(const EventSettings& settings) {
    CMutexGuard g(&m_lock);
    JournalEntry e;
    e.type = JournalEntry::EType::Settings;
    e.settings = settings;
    appendLocked(e);
    saveLocked();
}

bool CRunJournal::addMarker(uint32_t sampleNo, const std::string& note) {
    CMutexGuard g(&m_lock);
    m_content.markers.push_back({sampleNo ? sampleNo : m_newest, 0, note});
    return saveLocked();
}

void CRunJournal::finish() {
    CMutexGuard g(&m_lock);
    JournalEntry e;
    e.type = JournalEntry::EType::Clock;
    e.ms = elapsedMs();
    appendLocked(e);
    saveLocked();
}

RecordingEvents CRunJournal::current() const {
    CMutexGuard g(&m_lock);
    RecordingEvents r;
    r.sidecar = ESidecar::Ok;
    r.events = m_finder.events();
    r.markers = m_content.markers;
    for (DiagMarker& m : r.markers)
        m.timeMs = m_finder.timeOf(m.sampleNo);
    r.samples = m_finder.samples();
    return r;
}

uint32_t CRunJournal::newestSample() const {
    CMutexGuard g(&m_lock);
    return m_newest;
}

} // namespace zefirel
