#include "CtlCommandLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <regex>
#include <utility>
#include <vector>

#include "CtlCli.h"
#include "link/Conversions.h"
#include "support/Version.h"

namespace zefirel::ctl {

namespace {

/// Shown under every command's --help: the global options are not repeated there.
/// What a line without a command gets (after the help text).
constexpr const char* MSG_NO_COMMAND = "brak polecenia";

constexpr const char* COMMAND_FOOTER =
    "Global options (--port N | --device PATH, --json, --trace FILE, --car DATA) may stand\n"
    "anywhere on the line; see zefirelctl --help. Exit status: 0 done, 1 the controller\n"
    "operation failed, 2 bad usage or invalid input (nothing was sent).";

/// The long option names a command declares itself (not --help).
std::string optionNames(const CLI::App& command) {
    std::string names;
    for (const CLI::Option* option : command.get_options()) {
        if (option == command.get_help_ptr())
            continue;
        for (const std::string& name : option->get_lnames())
            names += (names.empty() ? "--" : " --") + name;
    }
    return names;
}

/// A command's sub-words, without the hidden ones (an empty group), which only
/// the shell completion asks for.
std::vector<const CLI::App*> shownWords(const CLI::App& command) {
    std::vector<const CLI::App*> words;
    for (const CLI::App* sub : command.get_subcommands({}))
        if (!sub->get_group().empty())
            words.push_back(sub);
    return words;
}

/// The names of a command's sub-words ("read write").
std::string subcommandNames(const CLI::App& command) {
    std::string names;
    for (const CLI::App* sub : shownWords(command))
        names += (names.empty() ? "" : " ") + sub->get_name();
    return names;
}

/// CLI11's messages in Polish, like every other message of the program. A message
/// no rule knows is left as it is.
std::string polishParseError(std::string text) {
    // CLI11 lists the extra words last first; they are named in the line's order.
    if (const std::string head = "The following arguments were not expected: "; text.rfind(head, 0) == 0) {
        std::vector<std::string> words;
        for (size_t at = head.size(), space; at < text.size(); at = space + 1) {
            space = std::min(text.find(' ', at), text.size());
            words.insert(words.begin(), text.substr(at, space - at));
        }
        text = head;
        for (const std::string& word : words)
            text += (&word == &words.front() ? "" : " ") + word;
    }
    static const std::pair<std::regex, const char*> rules[] = {
        {std::regex("^The following argument was not expected: (.*)$"), "zbędne lub nieznane słowo: $1"},
        {std::regex("^The following arguments were not expected: (.*)$"), "zbędne lub nieznane słowa: $1"},
        {std::regex("^(.+): \\d+ required +(\\S*) *missing$"), "$1: brak wartości $2"},
        {std::regex("^A subcommand is required$"), "brak polecenia"},
        {std::regex("^Requires at least \\d+ subcommands$"), "brak słowa polecenia"},
        {std::regex("^(-\\S*) is required$"), "brak wymaganej opcji $1"},
        {std::regex("^(.+) is required$"), "brak wymaganego słowa $1"},
        {std::regex("^(.+) excludes (.+)$"), "$1 i $2 wykluczają się: podaj tylko jedno z nich"},
        {std::regex("^(.+) requires (.+)$"), "$1 wymaga $2"},
        {std::regex("^-*(.+) was given a disallowed flag override$"), "--$1 nie przyjmuje wartości (wystarczy sama opcja)"},
        {std::regex("^(.+): too many inputs for a flag$"), "$1 nie przyjmuje wartości (wystarczy sama opcja)"},
        {std::regex("^Could not convert: (.+) = (.*)$"), "$1: nieprawidłowa wartość $2"},
        {std::regex("^The value (.+) is not an allowed value for (.+)$"), "$2: niedozwolona wartość $1"},
        {std::regex("^(.+): Should be true/false or a number$"), "$1: potrzebne true, false albo liczba"},
        {std::regex("^(.+): At least (\\d+) required but received (\\d+)$"),
         "$1: potrzeba co najmniej $2 wartości, podano $3"},
        {std::regex("^(.+): At Most (\\d+) required but received (\\d+)$"), "$1: najwyżej $2 wartości, podano $3"},
        {std::regex("^Expected exactly (\\d+) arguments to (.+), got (\\d+)$"),
         "$2: potrzeba dokładnie $1 wartości, podano $3"},
        {std::regex("^Expected at least (\\d+) arguments to (.+), got (\\d+)$"),
         "$2: potrzeba co najmniej $1 wartości, podano $3"},
        {std::regex("^(.+): Value (.+) not in range .*$"), "$1: wartość $2 poza dozwolonym zakresem"},
        {std::regex("^(.+): Value (.+) could not be converted$"), "$1: $2 nie jest liczbą"},
        {std::regex("^(.+) was not readable \\(missing\\?\\)$"), "nie można odczytać pliku $1"},
    };
    for (const auto& [pattern, polish] : rules)
        if (std::regex_match(text, pattern)) {
            std::string out = std::regex_replace(text, pattern, polish);
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            return out;
        }
    return text;
}

/// Whether the line asks for JSON output (before a "--" that ends the options).
bool asksForJson(int argc, char** argv) {
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
        if (std::string(argv[i]) == "--json")
            return true;
    return false;
}

/// The deepest subcommand the parser entered.
const CLI::App& entered(const CLI::App& app) {
    const std::vector<CLI::App*> subs = app.get_subcommands();
    return subs.empty() ? app : entered(*subs.front());
}

/// The chain of subcommands the parser entered ("zefirelctl settings import").
std::string enteredPath(const CLI::App& app) {
    const std::vector<CLI::App*> subs = app.get_subcommands();
    return subs.empty() ? app.get_name() : app.get_name() + " " + enteredPath(*subs.front());
}

} // namespace

struct CCtlCommandLine::Impl {
    CLI::App app{"", "zefirelctl"};
    CtlOptions options;
    bool commandTable = false;
    std::vector<std::pair<const CLI::App*, CtlRunner>> runners;

    Impl() {
        // The global options, wherever they stand: a command passes what it does not
        // know to the level above it. Declared in the order --help lists them.
        app.fallthrough();
        app.require_subcommand(0, 1);
        CLI::Option* port = app.add_option("--port", options.port,
                                           "serial port N through the port resolver (ZEFIREL_COM<N>, then\n"
                                           "/dev/ttyUSB<N-1>, /dev/ttyACM<N-1>, /dev/ttyS<N-1>)")
                                ->type_name("N")
                                ->transform(decimal())
                                ->check(within(1u, 255u));
        app.add_option("--device", options.device,
                       "a serial device path: a stable /dev/serial/by-id/... name,\n"
                       "/dev/ttyUSB0, or the one zefirel-sim prints; without\n"
                       "either, the last used port, then ports 1 to 7")
            ->type_name("PATH")
            ->check(nonEmpty())
            ->excludes(port);
        app.add_flag("--json", options.json, "machine-readable output on standard output")->disable_flag_override();
        app.add_option("--trace", options.trace, "write every frame exchanged to FILE")
            ->type_name("FILE")
            ->check(nonEmpty());
        app.add_option("--car", options.car,
                       "\"make;model;capacity;power;year;injectors;flow\", needed to write settings")
            ->type_name("DATA")
            ->check(nonEmpty());
        app.set_help_flag("-h,--help", "this text; after a command, that command's words and options");
        app.set_version_flag("--version", std::string("zefirelctl ") + ZEFIREL_VERSION, "the program's version");
        app.add_flag("--commands", commandTable,
                     "each command with its usage, sub-words and options, tab-separated\n(for shell completion)")
            ->disable_flag_override();
        for (const CtlCommand& command : ctlCommands()) {
            CLI::App* sub = app.add_subcommand(command.name, command.summary);
            runners.emplace_back(sub, command.declare(*sub));
            finishHelp(*sub);
        }
    }

    /// The top-level --help text: global options, the commands, exit status.
    std::string helpText() const;

    /// The footer under every command's and sub-word's --help (after the command's
    /// own, when it has one); a positional word
    /// shows its name without CLI11's type ("FILE", not "FILE TEXT").
    static void finishHelp(CLI::App& command) {
        const std::string own = command.get_footer();
        command.footer(own.empty() ? std::string(COMMAND_FOOTER) : own + "\n\n" + COMMAND_FOOTER);
        for (CLI::Option* option : command.get_options())
            if (option->get_positional())
                option->type_name("");
        for (CLI::App* sub : command.get_subcommands({}))
            finishHelp(*sub);
    }

    /// "name<TAB>usage<TAB>sub-words<TAB>options" per command, then
    /// "name sub-word<TAB><TAB><TAB>options" per sub-word: what Tab completion offers.
    void printCommandTable() const {
        for (const CtlCommand& command : ctlCommands()) {
            const CLI::App& sub = *app.get_subcommand(command.name);
            std::printf("%s\t%s\t%s\t%s\n", command.name, command.usage, subcommandNames(sub).c_str(),
                        optionNames(sub).c_str());
            for (const CLI::App* word : shownWords(sub))
                std::printf("%s %s\t\t\t%s\n", command.name, word->get_name().c_str(), optionNames(*word).c_str());
        }
    }

    /// A parse error on standard error, in Polish, naming what is missing where the
    /// program can, then where to read more. Returns what is wrong (for --json).
    std::string printError(const CLI::ParseError& e) const {
        std::string text = polishParseError(e.what());
        const CLI::App& at = entered(app);
        if (dynamic_cast<const CLI::ExtrasError*>(&e) && &at == &app && !app.remaining().empty())
            text = "nieznane polecenie " + app.remaining().front();
        else if (dynamic_cast<const CLI::RequiredError*>(&e) && &at != &app && at.get_require_subcommand_min() > 0 &&
                 at.get_subcommands().empty())
            text = at.get_name() + " wymaga jednego ze słów: " + subcommandNames(at);
        // Under a command, its usage line follows, as the command itself would say it.
        std::string usage = " ";
        for (const CtlCommand& command : ctlCommands())
            if (&at != &app && app.get_subcommands().front()->get_name() == command.name)
                usage = std::string("\nużycie: ") + command.usage + " ";
        std::fprintf(stderr, "zefirelctl: %s%s(zob. %s --help)\n", text.c_str(), usage.c_str(),
                     enteredPath(app).c_str());
        return text;
    }
};

CCtlCommandLine::CCtlCommandLine() : m_impl(std::make_unique<Impl>()) {}

CCtlCommandLine::~CCtlCommandLine() = default;

bool CCtlCommandLine::parse(int argc, char** argv, int& exitCode) {
    CLI::App& app = m_impl->app;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // The top level has its own text (help2man makes the manual page of it);
        // a command's help is CLI11's, made from its declarations.
        const std::string text = app.get_subcommands().empty() ? m_impl->helpText() : app.help();
        std::fputs(text.c_str(), stdout);
        exitCode = EXIT_OK;
        return false;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        exitCode = EXIT_OK;
        return false;
    } catch (const CLI::ParseError& e) {
        const std::string text = m_impl->printError(e);
        if (asksForJson(argc, argv))
            std::printf("%s\n", errorJson(text, EXIT_USAGE).c_str());
        exitCode = EXIT_USAGE;
        return false;
    }
    if (m_impl->commandTable) {
        m_impl->printCommandTable();
        exitCode = EXIT_OK;
        return false;
    }
    if (app.get_subcommands().empty()) {
        std::fputs(m_impl->helpText().c_str(), stderr);
        if (m_impl->options.json)
            std::printf("%s\n", errorJson(MSG_NO_COMMAND, EXIT_USAGE).c_str());
        exitCode = EXIT_USAGE;
        return false;
    }
    m_impl->options.haveCar = app.count("--car") > 0;
    return true;
}

const CtlOptions& CCtlCommandLine::options() const { return m_impl->options; }

int CCtlCommandLine::run(CCtlContext& ctx) const {
    const CLI::App* chosen = m_impl->app.get_subcommands().front();
    for (const auto& [command, runner] : m_impl->runners)
        if (command == chosen)
            return runner(ctx);
    return EXIT_USAGE;
}

const CLI::Validator& nonEmpty() {
    static const CLI::Validator check(
        [](std::string& value) { return value.empty() ? std::string("potrzebna wartość") : std::string(); }, "");
    return check;
}

std::string formatBound(double limit) {
    return limit == std::trunc(limit) && std::fabs(limit) < 1e15 ? std::to_string(static_cast<long long>(limit))
                                                                  : formatNumber(limit);
}

const CLI::Validator& decimal() {
    static const CLI::Validator check(
        [](std::string& value) {
            if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
                return std::string("potrzebna liczba całkowita zapisana cyframi dziesiętnymi");
            value.erase(0, std::min(value.find_first_not_of('0'), value.size() - 1));
            return std::string();
        },
        "");
    return check;
}

void addTimerFrequency(CLI::App& command, double& frequency) {
    frequency = DEFAULT_TIMER_FREQUENCY;
    command
        .add_option("--timer-frequency", frequency,
                    "the controller's timer frequency the recording's ticks are read in (default 40000)")
        ->type_name("F")
        ->check(within(1000.0, 10000000.0));
}

std::string CCtlCommandLine::Impl::helpText() const {
    std::string text =
        "Usage: zefirelctl [--port N | --device PATH] [--json] [--trace FILE] [--car DATA] COMMAND ...\n"
        "\n"
        "Talks to an LPG controller (firmware 5) with the same core as the windowed program.\n";
    // The global options from their declarations, laid out for help2man.
    constexpr size_t column = 17;
    for (const CLI::Option* option : app.get_options()) {
        std::string line = "  --" + option->get_lnames().front();
        if (const std::string type = option->get_type_name(); !type.empty())
            line += " " + type;
        line.resize(std::max(line.size() + 2, column), ' ');
        for (const char c : option->get_description())
            line += c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, c);
        text += line + "\n";
    }
    text += "\nCommands:\n";
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
        "Global options may stand anywhere on the line. Messages of the controller link\n"
        "go to standard error. Exit status: 0 done, 1 the controller operation failed (or\n"
        "no controller answered), 2 bad usage or invalid input (nothing was sent).\n";
    return text;
}

} // namespace zefirel::ctl
