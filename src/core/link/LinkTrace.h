#pragma once
/// A link trace: every frame sent and received, with time and direction, written
/// to a text file when asked (off by default). Lines look like
///   2026-12-07 10:15:02.123  TX  AA 55 06 04 09 00 00 00 00 00 00 13
/// A user can attach it to a bug report.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace zefirel {

class CLinkTrace {
public:
    CLinkTrace() = default;
    ~CLinkTrace();
    CLinkTrace(const CLinkTrace&) = delete;
    CLinkTrace& operator=(const CLinkTrace&) = delete;

    /// Opens (truncates) the trace file; returns false when it cannot be created.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }

    /// Records bytes going to the controller ("TX") or coming from it ("RX"), or a
    /// free note ("--"). Each line is flushed at once.
    void sent(const uint8_t* bytes, size_t count);
    void received(const uint8_t* bytes, size_t count);
    void note(const std::string& text);

private:
    void line(const char* dir, const uint8_t* bytes, size_t count, const std::string& text);
    std::FILE* m_file = nullptr;
    std::mutex m_mutex;
};

} // namespace zefirel
