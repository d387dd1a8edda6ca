#include "diag/Recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "diag/Companion.h"
#include "diag/DiagUnits.h"
#include "support/Error.h"
#include "support/FileUtil.h"

namespace zefirel {

namespace {

/// The reader's buffer: the file's size within these bounds, so a short file does
/// not cost a megabyte and a long one is still read in big pieces.
constexpr size_t READ_CHUNK_MAX = 1 << 20;
constexpr size_t READ_CHUNK_MIN = 4096;
/// Longest line kept for parsing; anything longer cannot be a record.
constexpr size_t LINE_KEPT_MAX = 2 * RECORDING_LINE_MAX;

char* appendUnsigned(char* p, uint32_t v) {
    char tmp[10];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        *p++ = tmp[--n];
    return p;
}

} // namespace

size_t formatRecordingLine(const CDiag& d, char* buf) {
    const uint32_t values[RECORDING_COLUMNS] = {
        d.sampleNo(),        d.injector(),         d.workState(),        d.injectorActivity(),
        d.rpmPeriod(),       d.subRpmPeriod(0),    d.petrolTime(0),      d.lpgExtraTime(0),
        d.subAuxTime(0),     d.auxTime(),          d.heaterTempCode(),   d.lpgTempCode(),
        d.internalTempCode(), d.supplyVoltageCode(), d.lambdaCode(),     d.pressureCode(),
        d.pressure2Code(),   d.pressure3Code()};
    char* p = buf;
    for (int i = 0; i < RECORDING_COLUMNS; ++i) {
        if (i > 0)
            *p++ = '\t';
        p = appendUnsigned(p, values[i]);
    }
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<size_t>(p - buf);
}

void storeRecordingValues(const int32_t* v, CDiag& d) {
    auto u8 = [](int32_t x) { return static_cast<uint8_t>(x); };
    auto u16 = [](int32_t x) { return static_cast<uint16_t>(x); };
    d.setSampleNo(static_cast<uint32_t>(v[0]));
    d.setInjector(u8(v[1]));
    d.setWorkState(u8(v[2]));
    d.setInjectorActivity(u8(v[3]));
    d.setRpmPeriod(u16(v[4]));
    d.setSubRpmPeriod(0, u16(v[5]));
    d.setPetrolTime(0, u16(v[6]));
    d.setLpgExtraTime(0, u16(v[7]));
    d.setSubAuxTime(0, u16(v[8]));
    d.setAuxTime(u16(v[9]));
    d.setHeaterTempCode(u8(v[10]));
    d.setLpgTempCode(u8(v[11]));
    d.setInternalTempCode(u8(v[12]));
    d.setSupplyVoltageCode(u8(v[13]));
    d.setLambdaCode(u8(v[14]));
    d.setPressureCode(u8(v[15]));
    d.setPressure2Code(u8(v[16]));
    d.setPressure3Code(u8(v[17]));
}

bool parseRecordingLine(const char* line, size_t length, int32_t* values) {
    // The widest value each column's field holds: sample number 32 bits, then the
    // 8- and 16-bit fields of the layout.
    static constexpr uint32_t WIDEST[RECORDING_COLUMNS] = {
        UINT32_MAX, 255, 255, 255, 65535, 65535, 65535, 65535, 65535, 65535, 255, 255, 255, 255, 255, 255, 255, 255};
    if (length > 0 && line[length - 1] == '\r')
        --length;
    const char* p = line;
    const char* const end = line + length;
    int n = 0;
    for (;;) {
        while (p != end && (*p == '\t' || *p == ' '))
            ++p;
        if (p == end)
            return n == RECORDING_COLUMNS;
        if (n == RECORDING_COLUMNS || *p < '0' || *p > '9')
            return false;
        uint64_t v = 0;
        while (p != end && *p >= '0' && *p <= '9') {
            v = v * 10 + static_cast<uint64_t>(*p - '0');
            if (v > WIDEST[n])
                return false;
            ++p;
        }
        if (p != end && *p != '\t' && *p != ' ')
            return false;
        values[n++] = static_cast<int32_t>(static_cast<uint32_t>(v));
    }
}

// --- writer -------------------------------------------------------------------

CRecordingWriter::~CRecordingWriter() { close(); }

bool CRecordingWriter::open(const std::string& path) {
    close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

bool CRecordingWriter::write(const CDiag& d) {
    if (m_fd < 0)
        return false;
    char line[RECORDING_LINE_MAX];
    // One write per line: what the program has handed over survives its crash.
    return writeFully(m_fd, line, formatRecordingLine(d, line));
}

void CRecordingWriter::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

// --- reader -------------------------------------------------------------------

CRecordingReader::~CRecordingReader() { close(); }

bool CRecordingReader::open(const std::string& path) {
    close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    struct stat st {};
    const uint64_t fileSize = ::fstat(m_fd, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    // One byte more than the file, so that the end of a file that does not grow is
    // seen by the first read; a file that grows meanwhile is read on in pieces.
    m_buf.resize(static_cast<size_t>(std::clamp<uint64_t>(fileSize + 1, READ_CHUNK_MIN, READ_CHUNK_MAX)));
    m_pos = m_end = 0;
    m_eof = m_failed = false;
    m_bytesRead = 0;
    m_stats = RecordingReadStats{};
    return true;
}

void CRecordingReader::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CRecordingReader::fill() {
    if (m_eof || m_fd < 0)
        return false;
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buf.data(), m_buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A read error ends the file like its end does.
            m_eof = true;
            return false;
        }
        m_pos = 0;
        m_end = static_cast<size_t>(n);
        m_bytesRead += static_cast<uint64_t>(n);
        return true;
    }
}

CRecordingReader::ELine CRecordingReader::nextLine() {
    m_line.clear();
    m_lineTooLong = false;
    for (;;) {
        if (m_pos == m_end && !fill())
            return m_line.empty() && !m_lineTooLong ? ELine::End : ELine::Unfinished;
        const char* from = m_buf.data() + m_pos;
        const size_t available = m_end - m_pos;
        const char* nl = static_cast<const char*>(std::memchr(from, '\n', available));
        const size_t take = nl ? static_cast<size_t>(nl - from) : available;
        // A line longer than any record is not kept whole: it is skipped anyway.
        if (m_line.size() + take <= LINE_KEPT_MAX)
            m_line.append(from, take);
        else
            m_lineTooLong = true;
        m_pos += take;
        if (nl) {
            ++m_pos;
            return ELine::Whole;
        }
    }
}

void CRecordingReader::skipLine() {
    ++m_stats.linesSkipped;
    if (m_stats.firstBadLine == 0)
        m_stats.firstBadLine = m_stats.linesRead;
}

bool CRecordingReader::read(CDiag& d) {
    if (m_fd < 0 || m_failed)
        return false;
    int32_t values[RECORDING_COLUMNS];
    for (;;) {
        const ELine kind = nextLine();
        if (kind == ELine::End) {
            m_failed = true;
            return false;
        }
        ++m_stats.linesRead;
        if (kind == ELine::Unfinished) {
            // The last line lacks its line break: the writer was cut off inside it.
            skipLine();
            m_failed = true;
            return false;
        }
        if (m_lineTooLong || !parseRecordingLine(m_line.data(), m_line.size(), values)) {
            skipLine();
            continue;
        }
        ++m_stats.linesUsed;
        storeRecordingValues(values, d);
        return true;
    }
}

void loadRecording(const std::string& path, std::vector<CDiag>& out, RecordingReadStats* stats) {
    CRecordingReader reader;
    if (!reader.open(path))
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_OPEN, __LINE__, __FILE__);
    CDiag d;
    while (true) {
        d.clear();
        if (!reader.read(d))
            break;
        d.setColour(injectorColour(d.injector()));
        out.push_back(d);
    }
    if (stats)
        *stats = reader.stats();
}

std::string recordingStatsText(const RecordingReadStats& s) {
    std::string text = "Wczytano wierszy: " + std::to_string(s.linesRead) + ", użyto: " + std::to_string(s.linesUsed) +
                       ", pominięto: " + std::to_string(s.linesSkipped);
    if (s.firstBadLine != 0)
        text += " (pierwszy błędny: wiersz " + std::to_string(s.firstBadLine) + ")";
    return text;
}

std::string recordingStatsTextEnglish(const RecordingReadStats& s) {
    std::string text = "lines read " + std::to_string(s.linesRead) + ", used " + std::to_string(s.linesUsed) +
                       ", skipped " + std::to_string(s.linesSkipped);
    if (s.firstBadLine != 0)
        text += " (first bad line: " + std::to_string(s.firstBadLine) + ")";
    return text;
}

std::string recordingRefusalText(const std::string& path, const RecordingReadStats& stats) {
    return std::string(MSG_RECORDING_NO_RECORDS) + ": " + path + "\n" + recordingStatsText(stats);
}

std::string recordingDamageText(const std::string& path, const RecordingReadStats& stats) {
    return "Pominięto uszkodzone wiersze pliku danych diagnostycznych: " + path + "\n" + recordingStatsText(stats);
}

bool outputIsRecording(const std::string& recording, const std::string& output) {
    return sameFile(recording, output) || sameFile(companionPath(recording), output);
}

void requireRecords(const std::string& path, const RecordingReadStats& stats) {
    if (stats.linesUsed == 0)
        raiseError(ERROR_FILE_OPEN, recordingRefusalText(path, stats), __LINE__, __FILE__);
}

} // namespace zefirel
