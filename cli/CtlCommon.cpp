#include "CtlCommon.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

#include "link/SettingsBlock.h"
#include "settings/SettingsDiff.h"

namespace zefirel::ctl {

namespace {

std::vector<CtlCommand>& table() {
    static std::vector<CtlCommand> commands;
    return commands;
}

} // namespace

std::string plainLines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// --- car data ------------------------------------------------------------------

bool parseCarData(const std::string& text, CarData& out) {
    CarData car;
    size_t field = 0, start = 0;
    for (;;) {
        const size_t semi = text.find(';', start);
        if (field >= 7)
            return false;
        car.texts[field++] = text.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        if (semi == std::string::npos)
            break;
        start = semi + 1;
    }
    if (field != 7 || !completeCarData(car))
        return false;
    out = car;
    return true;
}

bool completeCarData(const CarData& car) {
    for (int required : {0, 1, 2, 3, 5})
        if (car.texts[required].empty())
            return false;
    return true;
}

// --- host ------------------------------------------------------------------------

EMsgResult CCtlHost::showMessage(const std::string& text, const std::string&, EMsgStyle style) {
    m_messages.push_back(text);
    std::fprintf(stderr, "%s\n", plainLines(text).c_str());
    // Nothing asks a question on the command line; a question gets the safe answer.
    return style == EMsgStyle::Question ? EMsgResult::No : EMsgResult::Ok;
}

void CCtlHost::setProgress(int percent) {
    if (m_progressLabel.empty())
        return;
    if (percent == 0) {
        // The range operations report 0 when they end, whatever the outcome.
        if (m_lastProgress > 0)
            std::fprintf(stderr, "\n");
        m_lastProgress = 0;
        return;
    }
    // Every tenth per cent is enough to show the operation is alive.
    if (percent / 10 != m_lastProgress / 10 || m_lastProgress < 0) {
        std::fprintf(stderr, "\r%s %d%%", m_progressLabel.c_str(), percent);
        std::fflush(stderr);
        m_lastProgress = percent;
    }
}

void CCtlHost::showWait(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

bool CCtlHost::askCarData(CSettingsBlock& block) {
    if (!m_haveCar)
        return false;
    for (int i = 0; i < 7; ++i)
        block.setCarText(static_cast<ECarText>(i), m_car.texts[i]);
    return true;
}

std::string formatNumber(double v) { return formatSettingNumber(v); }

bool takeOption(std::vector<std::string>& args, const std::string& name, std::string& value, bool& found) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name)
            continue;
        if (i + 1 >= args.size())
            return false;
        value = args[i + 1];
        found = true;
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return true;
}

// --- context -----------------------------------------------------------------------

CCtlContext::CCtlContext(const CtlOptions& options) : m_options(options) {
    m_device = std::make_unique<CDeviceDoc>(&m_host, &m_prefs);
}

CCtlContext::~CCtlContext() {
    if (m_device)
        m_device->closeDocument();
}

int CCtlContext::connect(bool requireVersionOk) {
    if (!m_options.trace.empty()) {
        if (!m_trace.isOpen() && !m_trace.open(m_options.trace)) {
            message("zefirelctl: cannot create the trace file " + m_options.trace);
            return EXIT_FAILED;
        }
        m_device->setTrace(&m_trace);
    }
    bool ok;
    if (!m_options.device.empty())
        ok = m_device->connectPath(m_options.device);
    else if (m_options.port != 0)
        ok = m_device->connect(m_options.port);
    else
        return m_device->connectAnyPort() && (!requireVersionOk || m_device->isVersionOk()) ? EXIT_OK
                                                                                           : EXIT_FAILED;
    if (!ok) {
        // connectAnyPort says this itself; a single port or path says it here.
        m_host.showMessage("Nie można nawiązać komunikacji z urządzeniem LPG", APP_CAPTION, EMsgStyle::Plain);
        return EXIT_FAILED;
    }
    // A controller that failed the version check has already said why.
    return !requireVersionOk || m_device->isVersionOk() ? EXIT_OK : EXIT_FAILED;
}

int CCtlContext::begin(bool argumentsOk, const std::string& usage, bool requireVersionOk) {
    return argumentsOk ? connect(requireVersionOk) : usageError(usage);
}

void CCtlContext::out(const std::string& line) { std::printf("%s\n", line.c_str()); }

void CCtlContext::json(const CJsonWriter& w) { std::printf("%s\n", w.text().c_str()); }

int CCtlContext::usageError(const std::string& text) {
    std::fprintf(stderr, "zefirelctl: %s\n", text.c_str());
    return EXIT_USAGE;
}

void CCtlContext::message(const std::string& text) { std::fprintf(stderr, "%s\n", plainLines(text).c_str()); }

// --- command table -------------------------------------------------------------------

CCtlRegistration::CCtlRegistration(const CtlCommand& command) { table().push_back(command); }

std::vector<CtlCommand> ctlCommands() {
    std::vector<CtlCommand> sorted = table();
    std::sort(sorted.begin(), sorted.end(),
              [](const CtlCommand& a, const CtlCommand& b) { return std::string(a.name) < b.name; });
    return sorted;
}

int parseGlobalOptions(const std::vector<std::string>& argv, CtlOptions& options, std::vector<std::string>& rest,
                       bool& help, std::string& error) {
    help = false;
    bool endOfOptions = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        std::string word = argv[i], value;
        if (endOfOptions || word.rfind("--", 0) != 0) {
            rest.push_back(word);
            continue;
        }
        if (word == "--") {
            endOfOptions = true;
            continue;
        }
        bool haveValue = false;
        if (const size_t eq = word.find('='); eq != std::string::npos) {
            value = word.substr(eq + 1);
            word = word.substr(0, eq);
            haveValue = true;
        }
        if (word == "--help" || word == "--json") {
            if (haveValue) {
                error = word + " takes no value";
                return EXIT_USAGE;
            }
            (word == "--help" ? help : options.json) = true;
            continue;
        }
        if (word != "--port" && word != "--device" && word != "--trace" && word != "--car") {
            rest.push_back(argv[i]); // the command's own option
            continue;
        }
        if (!haveValue) {
            if (i + 1 >= argv.size()) {
                error = word + " needs a value";
                return EXIT_USAGE;
            }
            value = argv[++i];
        }
        if (word == "--port") {
            errno = 0;
            char* end = nullptr;
            const unsigned long n = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || value[0] == '-' || *end != '\0' || errno != 0 || n < 1 || n > 255) {
                error = "--port needs a port number from 1 to 255";
                return EXIT_USAGE;
            }
            options.port = static_cast<uint32_t>(n);
        } else if (word == "--device") {
            options.device = value;
        } else if (word == "--trace") {
            options.trace = value;
        } else {
            options.car = value;
            options.haveCar = true;
        }
        if (value.empty()) {
            error = word + " needs a value";
            return EXIT_USAGE;
        }
    }
    if (options.port != 0 && !options.device.empty()) {
        error = "give either --port or --device, not both";
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

std::string ctlHelpText() {
    std::string text =
        "usage: zefirelctl [--port N | --device PATH] [--json] [--trace FILE] [--car DATA] COMMAND ...\n"
        "\n"
        "Talks to an LPG controller (firmware 5) with the same core as the windowed program.\n"
        "  --port N       serial port N through the port resolver (ZEFIREL_COM<N>, then\n"
        "                 /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>, /dev/ttyS<N-1>)\n"
        "  --device PATH  a serial device path: a stable /dev/serial/by-id/... name,\n"
        "                 /dev/ttyUSB0, or the one zefirel-sim prints\n"
        "                 without either: the last used port, then ports 1 to 7\n"
        "  --json         machine-readable output on standard output\n"
        "  --trace FILE   write every frame exchanged to FILE\n"
        "  --car DATA     \"make;model;capacity;power;year;injectors;flow\", needed to write settings\n"
        "  --help         this text\n"
        "  --version      the program's version\n"
        "  --commands     each command with its usage, one per line (for shell completion)\n"
        "\n"
        "Commands:\n";
    for (const CtlCommand& c : ctlCommands()) {
        std::string line = "  ";
        line += c.usage;
        if (line.size() < 40)
            line.resize(40, ' ');
        else
            line += "\n" + std::string(40, ' ');
        text += line + c.summary + "\n";
    }
    text +=
        "\n"
        "Messages of the controller link go to standard error. Exit status: 0 done,\n"
        "1 the controller operation failed (or no controller answered), 2 bad usage or\n"
        "invalid input (nothing was sent).\n";
    return text;
}

} // namespace zefirel::ctl
