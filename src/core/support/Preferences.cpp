#include "support/Preferences.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zefirel {

// ----- IPreferences ---------------------------------------------------------

uint32_t IPreferences::lastSerialPort() {
    const std::string text = value(PREF_APP_V5, PREF_LAST_RS);
    if (text.empty() || text.size() > 9)
        return 0;
    uint32_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    return n;
}

void IPreferences::setLastSerialPort(uint32_t port) { setValue(PREF_APP_V5, PREF_LAST_RS, std::to_string(port)); }

// ----- CMemoryPreferences ---------------------------------------------------

std::string CMemoryPreferences::value(const std::string& app, const std::string& key) {
    const auto it = m_data.find(app + "/" + key);
    return it == m_data.end() ? std::string() : it->second;
}

void CMemoryPreferences::setValue(const std::string& app, const std::string& key, const std::string& value) {
    m_data[app + "/" + key] = value;
}

// ----- CIniPreferences: the ini layout QSettings reads and writes -----------

namespace {

constexpr const char* GENERAL = "General";

bool plainKeyChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

/// "Last RS nr" → "Last%20RS%20nr"; "/" separates groups.
std::string escapeKey(const std::string& key) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : key) {
        if (plainKeyChar(c) || c >= 0x80) {
            out += static_cast<char>(c);
        } else if (c == '/') {
            out += '\\';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string unescapeKey(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size()) {
            const int hi = hexDigit(raw[i + 1]);
            const int lo = hexDigit(raw[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += raw[i] == '\\' ? '/' : raw[i];
    }
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

/// A text value as QSettings writes it: backslash escapes, quotes when the text
/// holds a separator or starts or ends with a blank (a TAB too, so that no reader
/// that trims blanks after expanding escapes can lose it), a doubled leading '@'.
std::string escapeValue(const std::string& value) {
    std::string body;
    bool quote = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
    for (unsigned char c : value) {
        switch (c) {
        case ';': case ',': case '=': quote = true; body += static_cast<char>(c); break;
        case '\\': body += "\\\\"; break;
        case '"': body += "\\\""; break;
        case '\n': body += "\\n"; break;
        case '\r': body += "\\r"; break;
        case '\t': body += "\\t"; break;
        case '\0': body += "\\0"; break;
        default: body += static_cast<char>(c); break;
        }
    }
    if (!value.empty() && value.front() == '@')
        body.insert(body.begin(), '@');
    return quote ? "\"" + body + "\"" : body;
}

std::string unescapeValue(const std::string& raw) {
    std::string out;
    bool inQuotes = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (c == '\\' && i + 1 < raw.size()) {
            const char e = raw[++i];
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case '0': out += '\0'; break;
            default: out += e; break;
            }
            continue;
        }
        out += c;
    }
    // Blanks around the value were dropped from the raw text before it came here
    // (as QSettings does); a blank written as an escape ("\t") is part of the value.
    if (out.size() >= 2 && out[0] == '@' && out[1] == '@')
        out.erase(0, 1);
    return out;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

/// One ini file as sections of raw "key=value" lines, in file order.
struct IniFile {
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;

    static IniFile load(const std::string& path) {
        IniFile ini;
        std::ifstream in(path, std::ios::binary);
        std::string line;
        std::string section = GENERAL;
        while (std::getline(in, line)) {
            line = trim(line);
            if (line.empty() || line[0] == ';' || line[0] == '#')
                continue;
            if (line.front() == '[' && line.back() == ']') {
                section = unescapeKey(line.substr(1, line.size() - 2));
                ini.entries(section);
                continue;
            }
            const size_t eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            ini.entries(section).emplace_back(unescapeKey(trim(line.substr(0, eq))),
                                              unescapeValue(trim(line.substr(eq + 1))));
        }
        return ini;
    }

    std::vector<std::pair<std::string, std::string>>& entries(const std::string& section) {
        for (auto& s : sections)
            if (s.first == section)
                return s.second;
        sections.emplace_back(section, std::vector<std::pair<std::string, std::string>>{});
        return sections.back().second;
    }

    std::string text() const {
        std::ostringstream out;
        bool first = true;
        for (const auto& [name, lines] : sections) {
            if (!first)
                out << "\n";
            first = false;
            out << "[" << (name == GENERAL ? name : escapeKey(name)) << "]\n";
            for (const auto& [key, value] : lines)
                out << escapeKey(key) << "=" << escapeValue(value) << "\n";
        }
        return out.str();
    }
};

bool makeFolders(const std::string& dir) {
    std::string path;
    std::stringstream parts(dir);
    std::string part;
    if (!dir.empty() && dir[0] == '/')
        path = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty())
            continue;
        path += part + "/";
        if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

/// Writes text to path whole or not at all: a temporary file beside it, renamed over it.
bool writeWhole(const std::string& path, const std::string& text) {
    std::string tmpl = path + ".XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const bool ok = done == text.size() && ::fsync(fd) == 0 && ::fchmod(fd, 0644) == 0;
    if (::close(fd) != 0 || !ok || ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return false;
    }
    return true;
}

std::string defaultFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/Zefirel";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config/Zefirel";
}

} // namespace

CIniPreferences::CIniPreferences(std::string dir) : m_dir(dir.empty() ? defaultFolder() : std::move(dir)) {}

std::string CIniPreferences::value(const std::string& app, const std::string& key) {
    IniFile ini = IniFile::load(m_dir + "/" + app + ".conf");
    for (const auto& [k, v] : ini.entries(GENERAL))
        if (k == key)
            return v;
    return {};
}

void CIniPreferences::setValue(const std::string& app, const std::string& key, const std::string& value) {
    if (!makeFolders(m_dir))
        return;
    const std::string path = m_dir + "/" + app + ".conf";
    IniFile ini = IniFile::load(path);
    auto& general = ini.entries(GENERAL);
    bool found = false;
    for (auto& [k, v] : general)
        if (k == key) {
            v = value;
            found = true;
        }
    if (!found)
        general.emplace_back(key, value);
    writeWhole(path, ini.text());
}

} // namespace zefirel
