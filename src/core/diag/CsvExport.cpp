#include "diag/CsvExport.h"

#include <sys/stat.h>

#include <charconv>
#include <map>
#include <cstring>

#include "diag/DiagUnits.h"
#include "diag/Recording.h"
#include "events/DiagEvents.h"
#include "link/Conversions.h"
#include "support/FileUtil.h"

namespace zefirel {

namespace {

constexpr char BOM[] = "\xEF\xBB\xBF";
constexpr size_t FLUSH_AT = 64 * 1024;

/// Column names with units, in the order of csvRow.
constexpr const char* COLUMNS[] = {
    "Nr próbki",
    "Wtryskiwacz",
    "Paliwo",
    "Stan pracy",
    "Aktywne wtryskiwacze",
    "Obroty silnika [obr/min]",
    "Obroty pomiaru [obr/min]",
    "Czas wtrysku benzyny [ms]",
    "Czas wtrysku LPG [ms]",
    "Czas dodatkowy pomiaru [ms]",
    "Czas dodatkowy [ms]",
    "Temperatura reduktora [°C]",
    "Temperatura LPG [°C]",
    "Temperatura sterownika [°C]",
    "Napięcie zasilania [V]",
    "Sonda lambda [V]",
    "Ciśnienie różnicowe [kPa]",
    "Ciśnienie 2 [kPa]",
    "Ciśnienie 3 [kPa]",
};

/// A number with a fixed count of decimals and the given decimal mark, whatever
/// the process locale says.
void putNumber(std::string& out, double v, int decimals, char decimal) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    for (char* p = buf; p != r.ptr; ++p)
        out += *p == '.' ? decimal : *p;
}

void putInteger(std::string& out, uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

} // namespace

bool validCsvFormat(const CsvFormat& f, std::string& why) {
    for (const char c : {f.separator, f.decimal}) {
        if (c == '\0' || (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '"' || c == '\r' || c == '\n') {
            why = std::string("nie można użyć znaku '") + c + "' jako separatora";
            return false;
        }
    }
    if (f.separator == f.decimal) {
        why = "separator kolumn i znak dziesiętny muszą się różnić";
        return false;
    }
    return true;
}

std::string csvHeader(const CsvFormat& format) {
    std::string s;
    for (const char* c : COLUMNS) {
        if (!s.empty())
            s += format.separator;
        s += c;
    }
    if (format.events) {
        s += format.separator;
        s += CSV_EVENT_COLUMN;
    }
    return s;
}

std::string csvRow(const CDiag& d, const CsvFormat& f) {
    std::string s;
    s.reserve(160);
    const uint64_t whole[] = {d.sampleNo(), d.injector()};
    for (const uint64_t v : whole) {
        putInteger(s, v);
        s += f.separator;
    }
    s += workStateText(d);
    for (const uint64_t v : {uint64_t{d.workState()}, uint64_t{d.injectorActivity()}}) {
        s += f.separator;
        putInteger(s, v);
    }
    struct Value {
        double v;
        int decimals;
    };
    const Value values[] = {
        {engineSpeed(d), 1},
        {engineSpeed(d.subRpmPeriod(0)), 1},
        {petrolMs(d), 3},
        {lpgMs(d), 3},
        {d.subAuxTime(0) * tickLength(), 3},
        {auxMs(d), 3},
        {heaterTemperature(d), 0},
        {lpgTemperature(d), 0},
        {internalTemperature(d), 0},
        {supplyVolts(d, f.featureMask), 2},
        {lambdaVolts(d), 3},
        {differentialPressure(d), 2},
        {pressure2(d), 2},
        {pressure3(d), 2},
    };
    for (const Value& v : values) {
        s += f.separator;
        putNumber(s, v.v, v.decimals, f.decimal);
    }
    return s;
}

std::string rowsText(uint64_t n) {
    const uint64_t tens = n % 100, ones = n % 10;
    const char* word = n == 1                                          ? "wiersz"
                       : (ones >= 2 && ones <= 4 && !(tens >= 12 && tens <= 14)) ? "wiersze"
                                                                               : "wierszy";
    return std::to_string(n) + " " + word;
}

namespace {

/// A text field quoted for a spreadsheet: in double quotes, quotes doubled.
std::string quoted(const std::string& text) {
    std::string s = "\"";
    for (const char c : text) {
        if (c == '"')
            s += '"';
        s += c == '\r' || c == '\n' ? ' ' : c;
    }
    return s + "\"";
}

/// The event column's text of every sample that has an event or a marker.
std::map<uint32_t, std::string> sampleNotes(const std::string& input) {
    std::map<uint32_t, std::string> plain;
    const RecordingEvents found = findRecordingEvents(input);
    const auto add = [&](uint32_t sample, const std::string& text) {
        std::string& t = plain[sample];
        t += t.empty() ? text : " | " + text;
    };
    for (const DiagEvent& e : found.events)
        add(e.sampleNo, std::string(eventKindName(e.kind)) + ": " + e.sentence);
    for (const DiagMarker& m : found.markers)
        add(m.sampleNo, m.note.empty() ? std::string("Znacznik") : "Znacznik: " + m.note);
    for (auto& [sample, text] : plain)
        text = quoted(text);
    return plain;
}

} // namespace

CsvExportResult exportRecordingCsv(const std::string& input, const std::string& output, const CsvFormat& format,
                                   const CsvProgress& progress, const std::atomic<bool>* stop) {
    CsvExportResult r;
    CRecordingReader reader;
    if (!reader.open(input)) {
        r.status = ECsvExport::InputFailed;
        r.message = std::string(MSG_RECORDING_OPEN) + ": " + input;
        return r;
    }
    if (outputIsRecording(input, output)) {
        r.status = ECsvExport::OutputFailed;
        r.message = std::string(MSG_OUTPUT_IS_RECORDING) + ": " + output;
        return r;
    }
    struct stat st {};
    const uint64_t total = ::stat(input.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    CAtomicFile out;
    const auto failed = [&] {
        r.status = ECsvExport::OutputFailed;
        r.message = "Nie można zapisać pliku CSV: " + output + " (" + std::strerror(errno) + ")";
        return r;
    };
    if (!out.open(output))
        return failed();
    // The events are found first, in a pass of their own: rows then only look them up.
    std::map<uint32_t, std::string> notes;
    if (format.events)
        notes = sampleNotes(input);
    std::string buf = std::string(BOM) + csvHeader(format) + "\r\n";
    int shown = -1;
    CDiag d;
    while (reader.read(d)) {
        buf += csvRow(d, format);
        if (format.events) {
            buf += format.separator;
            if (const auto it = notes.find(d.sampleNo()); it != notes.end())
                buf += it->second;
        }
        buf += "\r\n";
        ++r.rows;
        if (buf.size() < FLUSH_AT)
            continue;
        if (!out.write(buf.data(), buf.size()))
            return failed();
        buf.clear();
        if (stop && stop->load()) {
            r.status = ECsvExport::Cancelled;
            r.message = "Eksport przerwany; plik nie został zapisany.";
            return r;
        }
        const int percent = total ? static_cast<int>(reader.bytesRead() * 100 / total) : 0;
        if (progress && percent != shown)
            progress(shown = percent);
    }
    r.lines = reader.stats();
    if (r.rows == 0) {
        // Nothing of the file is a recording: no file is written from it.
        r.status = ECsvExport::InputFailed;
        r.message = recordingRefusalText(input, r.lines);
        return r;
    }
    if (!out.write(buf.data(), buf.size()) || !out.commit())
        return failed();
    if (progress)
        progress(100);
    return r;
}

} // namespace zefirel
