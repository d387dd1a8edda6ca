#include "CtlCommon.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "link/ConnectionDoctor.h"
#include "link/SerialPort.h"
#include "link/SettingsBlock.h"
#include "settings/CarFiles.h"
#include "settings/SettingsDiff.h"

namespace zefirel::ctl {

namespace {

std::vector<CtlCommand>& table() {
    static std::vector<CtlCommand> commands;
    return commands;
}

} // namespace

CJsonWriter& linesJson(CJsonWriter& w, const RecordingReadStats& lines) {
    w.key("lines").beginObject();
    w.key("read").value(static_cast<int64_t>(lines.linesRead)).key("used").value(static_cast<int64_t>(lines.linesUsed));
    w.key("skipped").value(static_cast<int64_t>(lines.linesSkipped)).key("firstBad");
    if (lines.firstBadLine != 0)
        w.value(static_cast<int64_t>(lines.firstBadLine));
    else
        w.value(std::nan(""));
    return w.endObject();
}

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

bool parseCarData(const std::string& text, CarData& out, std::string* why) {
    CarData car;
    size_t field = 0, start = 0;
    const auto refuse = [why](std::string message) {
        if (why)
            *why = std::move(message);
        return false;
    };
    for (;;) {
        const size_t semi = text.find(';', start);
        if (field >= 7)
            return refuse(MSG_CAR_DATA_MISSING);
        car.texts[field++] = text.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        if (semi == std::string::npos)
            break;
        start = semi + 1;
    }
    if (field != 7)
        return refuse(MSG_CAR_DATA_MISSING);
    if (!completeCarData(car))
        return refuse(carDataMissingMessage(missingCarText(car.texts)));
    out = car;
    return true;
}

bool completeCarData(const CarData& car) { return missingCarText(car.texts) == ECarText::Count; }

// --- host ------------------------------------------------------------------------

void CCtlHost::print(const std::string& text) {
    m_progress.end();
    m_messages.push_back(text);
    std::fprintf(stderr, "%s\n", plainLines(text).c_str());
}

EMsgResult CCtlHost::showMessage(const std::string& text, const std::string&, EMsgStyle style) {
    print(text);
    // Nothing asks a question on the command line; a question gets the safe answer.
    return style == EMsgStyle::Question ? EMsgResult::No : EMsgResult::Ok;
}

void CCtlHost::setProgress(int percent) {
    if (m_progressLabel.empty())
        return;
    if (percent == 0) {
        // The range operations report 0 when they end, whatever the outcome.
        m_progress.end();
        m_lastProgress = 0;
        return;
    }
    // Every tenth per cent is enough to show the operation is alive.
    if (percent / 10 != m_lastProgress / 10 || m_lastProgress < 0) {
        m_progress.show(m_progressLabel + " " + std::to_string(percent) + "%");
        m_lastProgress = percent;
    }
}

void CCtlHost::showWait(const std::string& text) {
    m_progress.end();
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool CCtlHost::askCarData(CSettingsBlock& block) {
    if (!m_haveCar)
        return false;
    for (int i = 0; i < 7; ++i)
        block.setCarText(static_cast<ECarText>(i), m_car.texts[i]);
    return true;
}

std::string formatNumber(double v) { return formatSettingNumber(v); }

std::string errorJson(const std::string& message, int exitCode) {
    return CJsonWriter().beginObject().key("error").value(message).key("exitCode").value(exitCode).endObject().text();
}

// --- context -----------------------------------------------------------------------

CCtlContext::CCtlContext(const CtlOptions& options) : m_options(options) {
    m_device = std::make_unique<CDeviceDoc>(&m_host, &m_prefs);
    m_device->setWriteJournal(&m_journal);
    m_journal.setNoticeHandler([this](const std::string& note) { m_host.print(note); });
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
        // A port another program holds is said as such, with the holder when it can
        // be seen; otherwise what connectAnyPort says itself.
        const std::string path = m_options.device.empty() ? resolvePortPath(m_options.port) : m_options.device;
        if (PortDiagnosis held; CConnectionDoctor().heldElsewhere(path, held)) {
            held.verdict = EPortVerdict::Busy;
            m_host.print(verdictTitle(held.verdict) + ": " + path + "\n" + verdictAdvice(held));
        } else {
            m_host.print("Nie można nawiązać komunikacji z urządzeniem LPG");
        }
        return EXIT_FAILED;
    }
    // A controller that failed the version check has already said why.
    return !requireVersionOk || m_device->isVersionOk() ? EXIT_OK : EXIT_FAILED;
}

void CCtlContext::out(const std::string& line) {
    m_wroteOutput = true;
    std::printf("%s\n", line.c_str());
}

void CCtlContext::json(const CJsonWriter& w) {
    m_wroteOutput = true;
    std::printf("%s\n", w.text().c_str());
}

int CCtlContext::usageError(const std::string& text) {
    m_host.print("zefirelctl: " + text);
    return EXIT_USAGE;
}

void CCtlContext::message(const std::string& text) { m_host.print(text); }

int CCtlContext::carDataNeeded(const std::string& why) {
    m_host.print(why + "\nzefirelctl: " + MSG_CAR_OPTION_HINT);
    return EXIT_USAGE;
}

int CCtlContext::finish(int rc) {
    if (m_options.json && rc != EXIT_OK && !m_wroteOutput) {
        const std::vector<std::string>& said = m_host.messages();
        std::string text = said.empty() ? std::string(MSG_COMMAND_FAILED) : plainLines(said.back());
        if (text.rfind("zefirelctl: ", 0) == 0)
            text.erase(0, 12);
        std::printf("%s\n", errorJson(text, rc).c_str());
    }
    std::fflush(stdout);
    return rc;
}

// --- command table -------------------------------------------------------------------

CCtlRegistration::CCtlRegistration(const CtlCommand& command) { table().push_back(command); }

std::vector<CtlCommand> ctlCommands() {
    std::vector<CtlCommand> sorted = table();
    std::sort(sorted.begin(), sorted.end(),
              [](const CtlCommand& a, const CtlCommand& b) { return std::string(a.name) < b.name; });
    return sorted;
}

} // namespace zefirel::ctl
