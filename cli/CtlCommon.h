#pragma once
/// Shared parts of zefirelctl: exit codes, global options, the host that prints the
/// core's messages on standard error, the connection step, a small JSON writer and
/// the command table.
///
/// Adding a command: create cli/CmdSomething.cpp (the build picks it up) with
///
///   namespace zefirel::ctl {
///   namespace {
///   CtlRunner declareSomething(CLI::App& cmd) {
///       auto file = std::make_shared<std::string>();
///       cmd.add_option("FILE", *file, "what the file is")->required();
///       return [file](CCtlContext& ctx) {
///           if (int rc = ctx.connect(); rc != EXIT_OK) return rc;  // handshake, version check
///           ... call the core with *file, print with ctx.out() / ctx.json() ...
///           return ok ? EXIT_OK : EXIT_FAILED;
///       };
///   }
///   const CCtlRegistration reg{{"something", "something FILE", "what it does", declareSomething}};
///   } // namespace
///   } // namespace zefirel::ctl
///
/// Nothing else needs editing: the command line (CtlCommandLine) makes each command
/// a CLI11 subcommand, so it gets --help, and a word or option it did not declare
/// is a usage error before anything runs. Global options (--json, --device, …) are
/// declared once and may stand anywhere on the line.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CtlProgress.h"
#include "diag/DeviceDoc.h"
#include "history/HistoryJournal.h"
#include "link/Host.h"
#include "link/LinkTrace.h"
#include "settings/CarInfo.h"
#include "support/Preferences.h"

namespace CLI {
class App;
}

namespace zefirel::ctl {

/// Exit codes of every command.
inline constexpr int EXIT_OK = 0;      ///< done
inline constexpr int EXIT_FAILED = 1;  ///< the controller operation failed (or no controller)
inline constexpr int EXIT_USAGE = 2;   ///< bad usage or invalid input; nothing was sent

/// The message of the car data check (the car information dialog's text).
inline constexpr const char* MSG_CAR_DATA_MISSING = MSG_CAR_DATA_REQUIRED;
/// The line under a refusal for want of car data: where on the command line they go.
inline constexpr const char* MSG_CAR_OPTION_HINT =
    "podaj je opcją --car \"marka;model;pojemność;moc;rok;wtryskiwacze;wydajność\"";
/// The error of a --json run that failed without a message of its own.
inline constexpr const char* MSG_COMMAND_FAILED = "Polecenie nie powiodło się";

/// Options that apply to every command.
struct CtlOptions {
    uint32_t port = 0;       ///< --port N (0 = not given)
    std::string device;      ///< --device PATH
    bool json = false;       ///< --json
    std::string trace;       ///< --trace FILE
    std::string car;         ///< --car "make;model;capacity;power;year;injectors;flow"
    bool haveCar = false;
};

/// The seven car texts of --car, in the settings block's order.
struct CarData {
    CarTexts texts;
};
/// Splits "make;model;capacity;power;year;injectors;flow". False unless there are
/// exactly seven fields and make, model, capacity, power and injectors are given;
/// `why` then gets the refusal (naming the missing text when one is).
bool parseCarData(const std::string& text, CarData& out, std::string* why = nullptr);
/// Whether make, model, capacity, power and injectors are given: the rule of the car
/// information dialog (missingCarText).
bool completeCarData(const CarData& car);

/// The host of the command line: messages and the wait text on standard error,
/// progress as "<label> N%" through the one progress printer, car data from --car.
class CCtlHost : public ILPGHost {
public:
    EMsgResult showMessage(const std::string& text, const std::string& caption, EMsgStyle style) override;
    void setProgress(int percent) override;
    void showWait(const std::string& text) override;
    bool askCarData(CSettingsBlock& block) override;

    /// Prints a message on standard error (after ending a progress line) and keeps it.
    void print(const std::string& text);
    /// The progress printer every command shares.
    CProgressLine& progress() { return m_progress; }

    void setCarData(const CarData& car) { m_car = car; m_haveCar = true; }
    /// Label printed before progress figures ("EEPROM", "Mapa"); empty = no progress.
    void setProgressLabel(const std::string& label) { m_progressLabel = label; m_lastProgress = -1; }
    /// Every message text shown so far (tests and --json output use it).
    const std::vector<std::string>& messages() const { return m_messages; }

private:
    CarData m_car;
    bool m_haveCar = false;
    std::string m_progressLabel;
    int m_lastProgress = -1;
    std::vector<std::string> m_messages;
    CProgressLine m_progress;
};

/// Builds one JSON value (objects, arrays, strings, numbers, booleans) in the order
/// of the calls and writes it compactly; a JSON library does the encoding.
class CJsonWriter {
public:
    CJsonWriter();
    ~CJsonWriter();
    CJsonWriter(const CJsonWriter&) = delete;
    CJsonWriter& operator=(const CJsonWriter&) = delete;

    CJsonWriter& beginObject();
    CJsonWriter& endObject();
    CJsonWriter& beginArray();
    CJsonWriter& endArray();
    /// An array of byte values.
    CJsonWriter& array(const uint8_t* bytes, size_t count);
    /// The key of the next value inside an object.
    CJsonWriter& key(const std::string& k);
    CJsonWriter& value(const std::string& s);
    CJsonWriter& value(const char* s) { return value(std::string(s)); }
    /// Whole numbers are written without a fraction; NaN and infinities as null.
    CJsonWriter& value(double d);
    CJsonWriter& value(int64_t i);
    CJsonWriter& value(int i) { return value(static_cast<int64_t>(i)); }
    CJsonWriter& value(uint32_t i) { return value(static_cast<int64_t>(i)); }
    CJsonWriter& value(bool b);
    /// The value written so far, compact, on one line. Bytes that are not UTF-8
    /// (a controller's text) come out as U+FFFD.
    std::string text() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// The counts of a recording's lines as the key "lines": {"read", "used",
/// "skipped", "firstBad" (null when none)}.
CJsonWriter& linesJson(CJsonWriter& w, const RecordingReadStats& lines);

/// The core's texts for a terminal: CR LF as LF, without trailing line breaks.
std::string plainLines(const std::string& text);

/// The error object a --json run prints on standard output when it ends without a
/// result: {"error": message, "exitCode": code} on one line.
std::string errorJson(const std::string& message, int exitCode);

/// A number as short as it can be written without losing its value.
std::string formatNumber(double v);

/// Everything a command works with.
class CCtlContext {
public:
    explicit CCtlContext(const CtlOptions& options);
    ~CCtlContext();

    const CtlOptions& options() const { return m_options; }
    CCtlHost& host() { return m_host; }
    /// Connects as the program does (--device: that path; --port N: port N through
    /// the port resolver; neither: the last port, then 1..7) and checks the version.
    /// EXIT_OK, or EXIT_FAILED after printing why.
    int connect(bool requireVersionOk = true);
    CDeviceDoc& device() { return *m_device; }
    /// The car history every write of this run goes into (its problems are
    /// printed once, like the other messages).
    CHistoryJournal& journal() { return m_journal; }
    bool jsonOutput() const { return m_options.json; }
    /// Prints a line (text output) on standard output.
    void out(const std::string& line);
    /// Prints a finished JSON value on standard output.
    void json(const CJsonWriter& w);
    /// Prints "zefirelctl: <text>" on standard error and returns EXIT_USAGE.
    int usageError(const std::string& text);
    /// Prints a message of the program on standard error (like the host).
    void message(const std::string& text);
    /// Prints why a write cannot go ahead without the car data and names --car;
    /// returns EXIT_USAGE.
    int carDataNeeded(const std::string& why);
    /// What the program ends with: rc itself. A --json run that failed without
    /// printing its result prints the error object (errorJson) with the last
    /// message on standard output, so the output is always one JSON value.
    int finish(int rc);

private:
    CtlOptions m_options;
    CCtlHost m_host;
    CIniPreferences m_prefs;
    CLinkTrace m_trace;
    CHistoryJournal m_journal{EWriteSource::CommandLine};
    std::unique_ptr<CDeviceDoc> m_device;
    bool m_wroteOutput = false;
};

/// What runs a command once its command line has been parsed.
using CtlRunner = std::function<int(CCtlContext& ctx)>;

/// One command of the table.
struct CtlCommand {
    const char* name;     ///< first word on the command line
    const char* usage;    ///< e.g. "eeprom read|write FILE", the line of the top-level --help
    const char* summary;  ///< one line for --help
    /// Declares the command's words, options and sub-words on its CLI11 subcommand;
    /// the runner it returns reads the parsed values.
    CtlRunner (*declare)(CLI::App& command);
};

/// Adds a command to the table (declare one at file scope per command).
class CCtlRegistration {
public:
    explicit CCtlRegistration(const CtlCommand& command);
};

/// Every registered command, sorted by name.
std::vector<CtlCommand> ctlCommands();

} // namespace zefirel::ctl
