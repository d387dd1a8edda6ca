#include "CtlProgress.h"

#include <unistd.h>

namespace zefirel::ctl {

namespace {

/// Characters a terminal shows for UTF-8 text ("Wpisywanie 40%" with Polish letters).
size_t shownWidth(const std::string& text) {
    size_t width = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++width;
    return width;
}

} // namespace

CProgressLine::CProgressLine(std::FILE* stream) : CProgressLine(stream, ::isatty(::fileno(stream)) == 1) {}

CProgressLine::CProgressLine(std::FILE* stream, bool terminal) : m_stream(stream), m_terminal(terminal) {}

void CProgressLine::show(const std::string& text) {
    if (!m_terminal) {
        std::fprintf(m_stream, "%s\n", text.c_str());
        std::fflush(m_stream);
        return;
    }
    // Spaces cover what a longer step before left on the line.
    const size_t width = shownWidth(text);
    const std::string cover(m_shownWidth > width ? m_shownWidth - width : 0, ' ');
    std::fprintf(m_stream, "\r%s%s", text.c_str(), cover.c_str());
    if (!cover.empty())
        std::fprintf(m_stream, "\r%s", text.c_str());
    std::fflush(m_stream);
    m_shownWidth = width == 0 ? 1 : width;
}

void CProgressLine::end() {
    if (m_shownWidth == 0)
        return;
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
    m_shownWidth = 0;
}

} // namespace zefirel::ctl
