#include "support/Error.h"

namespace zefirel {

IError::IError(uint32_t code, const std::string& detail, int line, const char* file)
    : IError(code, detail, nullptr, line, file) {}

IError::IError(uint32_t code, const std::string& detail, IError* inner, int line, const char* file)
    : m_code(code), m_detail(detail), m_inner(inner), m_line(line), m_file(file ? file : "") {
    // A virtual call in a constructor reaches this class's own override, which is
    // what the base needs: its texts take codes 0..4.
    IError::setMsgs();
}

IError::~IError() { delete m_inner; }

void IError::setMsgs() {
    m_msgs.push_back("Nieznany błąd.");
    m_msgs.push_back("Błąd wewnętrzny programu.");
    m_msgs.push_back("Brak pamięci.");
    m_msgs.push_back("Niepoprawny argument.");
    m_msgs.push_back("Nie można otworzyć pliku.");
}

const char* IError::name() const { return "IError"; }

std::string IError::message() const {
    return m_code < m_msgs.size() ? m_msgs[m_code] : std::string();
}

std::string IError::format() const {
    std::string out = message();
    if (out.empty())
        out = std::string(name()) + ", kod " + std::to_string(m_code);
    if (!m_detail.empty())
        out += "\n" + m_detail;
    if (m_inner)
        out += "\n" + m_inner->format();
    return out;
}

void raiseError(uint32_t code, const std::string& detail, int line, const char* file) {
    throw new IError(code, detail, line, file);
}

std::string errorReportText(const std::string& headline, const std::string& where, const IError& e) {
    return headline + "\nSzczegóły: " + where + "\n" + e.format();
}

} // namespace zefirel
