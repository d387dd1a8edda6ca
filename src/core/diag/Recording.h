#pragma once
/// Diagnostic recordings (*.lpgd): one text line per sample, 18 unsigned decimal
/// columns separated by single tabs, CR LF at the end of each line. The writer
/// hands every line to the operating system as soon as it is formatted, so a crash
/// of the program loses at most the line being written. The reader parses a big
/// buffer by hand: 18 whitespace-separated signed 32-bit values per record, each
/// truncated to the width of its field; a value that reaches the end of the file
/// makes the record incomplete (so a last line without a line break is dropped),
/// and text that is not a number ends the reading like the end of the file.
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
    /// Reads the next record into d (colour and payload beyond the columns are left
    /// as they were). False at the end of the file, for an incomplete last record,
    /// and at anything that is not a number; every later call is false too.
    bool read(CDiag& d);
    void close();
    /// Bytes taken from the file so far.
    uint64_t bytesRead() const { return m_bytesRead; }
    /// Size of the read buffer: the file's size at open, at least 4 KiB and at most
    /// 1 MiB.
    size_t bufferSize() const { return m_buf.size(); }

private:
    enum class EValue { Ok, EndOfFile, NotANumber };
    EValue nextValue(int32_t& value);
    int peek();
    bool fill();

    int m_fd = -1;
    std::vector<char> m_buf;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
    bool m_failed = false;
    uint64_t m_bytesRead = 0;
};

/// Loads every record of a recording into out (colour recomputed from the
/// injector). Raises an IError with code 4 and MSG_RECORDING_OPEN when the file
/// cannot be opened.
void loadRecording(const std::string& path, std::vector<CDiag>& out);

} // namespace zefirel
