// zefirelctl: the controller link from the command line.

#include <cstdio>
#include <string>
#include <vector>

#include "CtlCommon.h"
#include "support/Error.h"
#include "support/Version.h"

using namespace zefirel::ctl;

int main(int argc, char** argv) {
    // Asked alone, these answer without touching any port.
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("zefirelctl %s\n", zefirel::ZEFIREL_VERSION);
        return EXIT_OK;
    }
    if (argc == 2 && std::string(argv[1]) == "--commands") {
        for (const CtlCommand& command : ctlCommands()) std::printf("%s\t%s\n", command.name, command.usage);
        return EXIT_OK;
    }
    CtlOptions options;
    std::vector<std::string> words;
    bool help = false;
    std::string error;
    if (parseGlobalOptions(std::vector<std::string>(argv + 1, argv + argc), options, words, help, error) != EXIT_OK) {
        std::fprintf(stderr, "zefirelctl: %s (see --help)\n", error.c_str());
        return EXIT_USAGE;
    }
    if (help || words.empty()) {
        std::fputs(ctlHelpText().c_str(), help ? stdout : stderr);
        return help ? EXIT_OK : EXIT_USAGE;
    }
    for (const CtlCommand& command : ctlCommands()) {
        if (words[0] != command.name)
            continue;
        CCtlContext ctx(options);
        if (options.haveCar) {
            CarData car;
            if (!parseCarData(options.car, car)) {
                ctx.message(MSG_CAR_DATA_MISSING);
                return EXIT_USAGE;
            }
            ctx.host().setCarData(car);
        }
        const std::vector<std::string> args(words.begin() + 1, words.end());
        int rc = EXIT_FAILED;
        try {
            rc = command.run(ctx, args);
        } catch (zefirel::IError* e) {
            // A port or file failure ends the command with its text, not the program.
            const auto owned = zefirel::adoptError(e);
            ctx.message(owned->format());
        }
        std::fflush(stdout);
        return rc;
    }
    std::fprintf(stderr, "zefirelctl: unknown command %s (see --help)\n", words[0].c_str());
    return EXIT_USAGE;
}
