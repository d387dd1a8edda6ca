#pragma once
/// Diagnostic recordings (*.lpgd): one text line per sample, 18 unsigned decimal
/// columns separated by single tabs, CR LF at the end of each line. The writer
/// hands every line to the operating system as soon as it is formatted, so a crash
/// of the program loses at most the line being written. The reader takes the file
/// line by line: a line is a record when it holds exactly 18 unsigned decimal
/// values separated by tabs or spaces (a CR before the line break allowed), each
/// within the width of its field. Any other line (cut short, with extra fields,
/// text, a blank line, a last line without its line break) is skipped and counted,
/// never joined with the next one, so one damaged line costs one sample and nothing
/// after it shifts. Every reader reports the counts (RecordingReadStats).
///
/// Columns: sampleNo, injector, workState, injectorActivity, rpmPeriod, then
/// sub-record 0's subRpmPeriod, petrolTime, lpgExtraTime, subAuxTime, then auxTime,
/// heater, LPG and internal temperature codes, supply voltage, lambda and the three
/// pressure codes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diag/Diag.h"

namespace zefirel {

inline constexpr int RECORDING_COLUMNS = 18;
/// Longest line: 18 values of at most 10 digits, 17 tabs, CR LF.
inline constexpr size_t RECORDING_LINE_MAX = 18 * 10 + 17 + 2;
inline constexpr const char* RECORDING_EXTENSION = "lpgd";
inline constexpr const char* RECORDING_FILTER = "Pliki diagnostyczne(*.lpgd)";
inline constexpr const char* RECORDING_PATTERN = "*.lpgd";
/// Raised (IError code 4) when a recording cannot be created or opened.
inline constexpr const char* MSG_RECORDING_CREATE = "Nie można otworzyć pliku do zapisu danych diagnostycznych";
inline constexpr const char* MSG_RECORDING_OPEN = "Nie można otworzyć pliku do odczytu danych diagnostycznych";

/// What a reader made of a recording's lines.
struct RecordingReadStats {
    uint64_t linesRead = 0;    ///< lines taken from the file (a last line without a break counts)
    uint64_t linesUsed = 0;    ///< lines that were whole records
    uint64_t linesSkipped = 0; ///< lines that were not
    uint64_t firstBadLine = 0; ///< number (from 1) of the first skipped line; 0 when none
};

/// Raised (IError code 4, with the counts) when a recording holds no whole record.
inline constexpr const char* MSG_RECORDING_NO_RECORDS = "Plik nie zawiera żadnego poprawnego zapisu danych diagnostycznych";
/// "Wczytano wierszy: 120, użyto: 118, pominięto: 2 (pierwszy błędny: wiersz 7)".
std::string recordingStatsText(const RecordingReadStats& stats);
/// The same in English for the command line's English reports.
std::string recordingStatsTextEnglish(const RecordingReadStats& stats);
/// MSG_RECORDING_NO_RECORDS, the path and the counts, for a refused recording.
std::string recordingRefusalText(const std::string& path, const RecordingReadStats& stats);
/// The notice of a recording read with skipped lines: the path and the counts.
std::string recordingDamageText(const std::string& path, const RecordingReadStats& stats);
/// Refusal of an output that would overwrite the recording it is made from.
inline constexpr const char* MSG_OUTPUT_IS_RECORDING =
    "Plik wynikowy jest tym samym plikiem co czytane nagranie (lub jego plik -config); wybierz inną nazwę";
/// True when writing output would overwrite the recording or its "-config"
/// companion (the same file, also under another name or through a link).
bool outputIsRecording(const std::string& recording, const std::string& output);
/// Raises the refusal (IError code 4) when stats hold no record.
void requireRecords(const std::string& path, const RecordingReadStats& stats);

/// Formats the sample's line, CR LF included, into buf (RECORDING_LINE_MAX bytes);
/// returns its length.
size_t formatRecordingLine(const CDiag& d, char* buf);
/// Stores the 18 values of a record into d through the layout-aware setters.
void storeRecordingValues(const int32_t* values, CDiag& d);

/// Writes a recording line by line.
class CRecordingWriter {
public:
    CRecordingWriter() = default;
    ~CRecordingWriter();
    CRecordingWriter(const CRecordingWriter&) = delete;
    CRecordingWriter& operator=(const CRecordingWriter&) = delete;

    /// Creates or truncates the file; false when it cannot.
    bool open(const std::string& path);
    bool isOpen() const { return m_fd >= 0; }
    /// Writes one line; false when the file refused it (disk full, no file).
    bool write(const CDiag& d);
    void close();

private:
    int m_fd = -1;
};

/// Parses one line (without its line break; a trailing CR is allowed) into the 18
/// values of a record; false when the line is not a whole record.
bool parseRecordingLine(const char* line, size_t length, int32_t* values);

/// Reads a recording record by record.
class CRecordingReader {
public:
    CRecordingReader() = default;
    ~CRecordingReader();
    CRecordingReader(const CRecordingReader&) = delete;
    CRecordingReader& operator=(const CRecordingReader&) = delete;

    /// Opens the file; false when it cannot.
    bool open(const std::string& path);
    bool isOpen() const { return m_fd >= 0; }
    /// Reads the next whole record into d (colour and payload beyond the columns are
    /// left as they were), skipping and counting lines that are not records. False
    /// at the end of the file (or a read error); every later call is false too.
    bool read(CDiag& d);
    /// The counts of the lines read so far.
    const RecordingReadStats& stats() const { return m_stats; }
    void close();
    /// Bytes taken from the file so far.
    uint64_t bytesRead() const { return m_bytesRead; }
    /// Size of the read buffer: the file's size at open, at least 4 KiB and at most
    /// 1 MiB.
    size_t bufferSize() const { return m_buf.size(); }

private:
    enum class ELine { Whole, Unfinished, End };
    ELine nextLine();
    bool fill();
    void skipLine();

    int m_fd = -1;
    std::vector<char> m_buf;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
    bool m_failed = false;
    uint64_t m_bytesRead = 0;
    /// The line being read; longer than a record can be, it is cut and marked.
    std::string m_line;
    bool m_lineTooLong = false;
    RecordingReadStats m_stats;
};

/// Loads every record of a recording into out (colour recomputed from the
/// injector) and, when stats is given, the counts of its lines. Raises an IError
/// with code 4 and MSG_RECORDING_OPEN when the file cannot be opened.
void loadRecording(const std::string& path, std::vector<CDiag>& out, RecordingReadStats* stats = nullptr);

} // namespace zefirel
