// zefirelctl: the controller link from the command line.

#include <cstdio>

#include "CtlCommandLine.h"
#include "support/Error.h"

using namespace zefirel::ctl;

int main(int argc, char** argv) {
    CCtlCommandLine line;
    if (int rc = EXIT_OK; !line.parse(argc, argv, rc))
        return rc;
    const CtlOptions& options = line.options();
    CCtlContext ctx(options);
    if (options.haveCar) {
        CarData car;
        if (std::string why; !parseCarData(options.car, car, &why)) {
            ctx.message(why);
            return ctx.finish(EXIT_USAGE);
        }
        ctx.host().setCarData(car);
    }
    int rc = EXIT_FAILED;
    try {
        rc = line.run(ctx);
    } catch (zefirel::IError* e) {
        // A port or file failure ends the command with its text, not the program.
        const auto owned = zefirel::adoptError(e);
        ctx.message(owned->format());
    }
    return ctx.finish(rc);
}
