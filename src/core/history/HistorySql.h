#pragma once
/// Small helpers around SQLite's C statements for the history database: a
/// prepared statement that finalises itself, binds by position and reads columns.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zefirel::history {

class CStatement {
public:
    CStatement(sqlite3* db, const char* sql);
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool valid() const { return m_stmt != nullptr; }
    CStatement& bind(int i, int64_t v);
    CStatement& bind(int i, const std::string& v);
    CStatement& bind(int i, double v);
    CStatement& bindBlob(int i, const uint8_t* data, size_t size);
    CStatement& bindNull(int i);
    /// One step: SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    /// Steps to the end; true when it reached SQLITE_DONE.
    bool run();

    int64_t integer(int col) const;
    double real(int col) const;
    std::string text(int col) const;
    std::vector<uint8_t> blob(int col) const;
    bool isNull(int col) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
};

/// Runs statements without results; the SQLite result code.
int exec(sqlite3* db, const char* sql);

} // namespace zefirel::history
