// Prepared statements of the history database.
#include "history/HistorySql.h"

namespace zefirel::history {

CStatement::CStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

CStatement::~CStatement() { sqlite3_finalize(m_stmt); }

CStatement& CStatement::bind(int i, int64_t v) {
    sqlite3_bind_int64(m_stmt, i, v);
    return *this;
}

CStatement& CStatement::bind(int i, const std::string& v) {
    sqlite3_bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

CStatement& CStatement::bind(int i, double v) {
    sqlite3_bind_double(m_stmt, i, v);
    return *this;
}

CStatement& CStatement::bindBlob(int i, const uint8_t* data, size_t size) {
    sqlite3_bind_blob(m_stmt, i, data, static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
}

CStatement& CStatement::bindNull(int i) {
    sqlite3_bind_null(m_stmt, i);
    return *this;
}

int CStatement::step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }

bool CStatement::run() {
    int rc = step();
    while (rc == SQLITE_ROW)
        rc = step();
    return rc == SQLITE_DONE;
}

int64_t CStatement::integer(int col) const { return sqlite3_column_int64(m_stmt, col); }

double CStatement::real(int col) const { return sqlite3_column_double(m_stmt, col); }

std::string CStatement::text(int col) const {
    const auto* p = sqlite3_column_text(m_stmt, col);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(m_stmt, col)))
             : std::string();
}

std::vector<uint8_t> CStatement::blob(int col) const {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, col));
    return p ? std::vector<uint8_t>(p, p + sqlite3_column_bytes(m_stmt, col)) : std::vector<uint8_t>();
}

bool CStatement::isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

} // namespace zefirel::history
