#pragma once
/// A diagnostic recording exported for a spreadsheet: one row per sample under a
/// header of Polish column names with their units, values in engineering units
/// (1/min, ms, °C, V, kPa). Semicolons and a decimal comma by default, which is
/// what a Polish spreadsheet opens directly; both are options. The text is UTF-8
/// with a byte-order mark so that spreadsheets read "°C" and Polish letters right,
/// and lines end with CR LF.
///
/// The export streams: one record is read, converted and written at a time, so a
/// recording of millions of lines never sits in memory. The output is written
/// whole or not at all (a temporary file renamed at the end); a failed or
/// cancelled export leaves an existing file of that name as it was.
///
/// Units come from the process-wide timer constants (link/Conversions.h) and the
/// supply voltage from the feature mask given.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "diag/Diag.h"
#include "diag/Recording.h"

namespace zefirel {

/// Name of the optional last column.
inline constexpr const char* CSV_EVENT_COLUMN = "Zdarzenie";

struct CsvFormat {
    char separator = ';';
    char decimal = ',';
    uint32_t featureMask = 0; ///< for the supply-voltage conversion
    /// Adds one last column, "Zdarzenie", with the events and markers of each
    /// sample (kind and sentence, "Znacznik: note"; several joined by " | ", the
    /// field in double quotes; empty for other samples). Off by default: the
    /// columns stay exactly as other tools read them.
    bool events = false;
};

/// Whether the separator and decimal mark can be told apart from each other and
/// from the numbers (no digit, sign, quote or line break; not equal). False with
/// the reason in why.
bool validCsvFormat(const CsvFormat& format, std::string& why);

/// The header line (without the line break).
std::string csvHeader(const CsvFormat& format);
/// One sample's row (without the line break).
std::string csvRow(const CDiag& d, const CsvFormat& format);

enum class ECsvExport { Ok, InputFailed, OutputFailed, Cancelled };

struct CsvExportResult {
    ECsvExport status = ECsvExport::Ok;
    uint64_t rows = 0;
    RecordingReadStats lines; ///< the counts of the recording's lines
    std::string message; ///< for the installer, empty on success
};

/// "1 wiersz", "2 wiersze", "5 wierszy": a row count as a Polish phrase.
std::string rowsText(uint64_t rows);

/// Progress of an export, 0..100 percent of the recording read.
using CsvProgress = std::function<void(int percent)>;

/// Exports the recording at input to output, skipping lines that are not records.
/// Refused (InputFailed, nothing written) when the recording holds no record, and
/// (OutputFailed, nothing written) when output is the recording or its companion.
/// A set stop flag cancels it.
CsvExportResult exportRecordingCsv(const std::string& input, const std::string& output, const CsvFormat& format,
                                   const CsvProgress& progress = {}, const std::atomic<bool>* stop = nullptr);

} // namespace zefirel
