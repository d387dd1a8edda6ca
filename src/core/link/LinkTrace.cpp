#include "link/LinkTrace.h"

#include <chrono>
#include <ctime>

namespace zefirel {

CLinkTrace::~CLinkTrace() { close(); }

bool CLinkTrace::open(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file)
        std::fclose(m_file);
    m_file = std::fopen(path.c_str(), "w");
    return m_file != nullptr;
}

void CLinkTrace::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

void CLinkTrace::sent(const uint8_t* bytes, size_t count) { line("TX", bytes, count, {}); }

void CLinkTrace::received(const uint8_t* bytes, size_t count) { line("RX", bytes, count, {}); }

void CLinkTrace::note(const std::string& text) { line("--", nullptr, 0, text); }

void CLinkTrace::line(const char* dir, const uint8_t* bytes, size_t count, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file)
        return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local {};
    localtime_r(&secs, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(m_file, "%s.%03d  %s ", stamp, static_cast<int>(ms), dir);
    for (size_t i = 0; i < count; ++i)
        std::fprintf(m_file, " %02X", bytes[i]);
    if (!text.empty())
        std::fprintf(m_file, " %s", text.c_str());
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

} // namespace zefirel
