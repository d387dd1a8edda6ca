#include "diag/Recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "diag/DiagUnits.h"
#include "support/Error.h"
#include "support/FileUtil.h"

namespace zefirel {

namespace {

/// The reader's buffer: the file's size within these bounds, so a short file does
/// not cost a megabyte and a long one is still read in big pieces.
constexpr size_t READ_CHUNK_MAX = 1 << 20;
constexpr size_t READ_CHUNK_MIN = 4096;

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

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

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

inline int CRecordingReader::peek() {
    if (m_pos == m_end && !fill())
        return -1;
    return static_cast<unsigned char>(m_buf[m_pos]);
}

// The rules of a formatted signed 32-bit read: leading white space skipped, an
// optional sign, decimal digits; no digit or a value out of range is a failure.
CRecordingReader::EValue CRecordingReader::nextValue(int32_t& value) {
    int c = peek();
    while (c >= 0 && isSpace(c)) {
        ++m_pos;
        c = peek();
    }
    if (c < 0)
        return EValue::EndOfFile;
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        ++m_pos;
        c = peek();
    }
    if (c < '0' || c > '9')
        return c < 0 ? EValue::EndOfFile : EValue::NotANumber;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t v = 0;
    bool overflow = false;
    while (c >= '0' && c <= '9') {
        v = v * 10 + (c - '0');
        if (v > limit) {
            overflow = true;
            v = limit;
        }
        ++m_pos;
        c = peek();
    }
    if (overflow)
        return EValue::NotANumber;
    value = static_cast<int32_t>(negative ? -v : v);
    // A value that ends at the end of the file leaves the record incomplete.
    return c < 0 ? EValue::EndOfFile : EValue::Ok;
}

bool CRecordingReader::read(CDiag& d) {
    if (m_fd < 0 || m_failed)
        return false;
    int32_t values[RECORDING_COLUMNS];
    for (int i = 0; i < RECORDING_COLUMNS; ++i) {
        if (nextValue(values[i]) != EValue::Ok) {
            m_failed = true;
            return false;
        }
    }
    storeRecordingValues(values, d);
    return true;
}

void loadRecording(const std::string& path, std::vector<CDiag>& out) {
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
}

} // namespace zefirel
