#pragma once
/// The one progress printer of zefirelctl: every command that shows how far it has
/// got prints through it, on standard error.

#include <cstdio>
#include <string>

namespace zefirel::ctl {

/// On a terminal each step rewrites one line in place ("\rMapa 40%"); anywhere
/// else (a pipe, a log file) each step is a line of its own, so a log reads
/// "Mapa 10%", "Mapa 20%", ... instead of the steps glued together.
class CProgressLine {
public:
    /// Rewrites in place when the stream is a terminal.
    explicit CProgressLine(std::FILE* stream = stderr);
    CProgressLine(std::FILE* stream, bool terminal);

    /// Shows a step.
    void show(const std::string& text);
    /// Ends a line being rewritten, so what is printed next starts on a line of its
    /// own. Nothing to do when no step is showing.
    void end();

private:
    std::FILE* m_stream;
    bool m_terminal;
    size_t m_shownWidth = 0; ///< characters of the step on the line; 0 = none showing
};

} // namespace zefirel::ctl
