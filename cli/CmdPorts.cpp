// zefirelctl ports: the serial devices the program would try, with their stable
// names, drivers and USB identities; nothing is opened.

#include <sys/stat.h>

#include <cstdio>

#include "CtlCli.h"
#include "link/PortSurvey.h"

namespace zefirel::ctl {

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string usbText(const PortCandidate& p) {
    if (p.usbVendorId.empty()) return std::string();
    std::string text = p.usbVendorId + ":" + p.usbProductId;
    if (!p.usbName.empty()) text += " " + p.usbName;
    return text;
}

int runPorts(CCtlContext& ctx) {
    const std::vector<PortCandidate> ports = surveyPorts();
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginArray();
        for (const PortCandidate& p : ports) {
            w.beginObject().key("port").value(p.portNumber).key("searched").value(p.searched);
            w.key("path").value(p.path).key("exists").value(exists(p.path)).key("override").value(p.overrideVar);
            w.key("stableName").value(p.stableName).key("driver").value(p.driver).key("usb").value(usbText(p));
            w.endObject();
        }
        ctx.json(w.endArray());
        return EXIT_OK;
    }
    for (const PortCandidate& p : ports) {
        std::string line = p.portNumber ? std::to_string(p.portNumber) : std::string("-");
        line += "  " + (p.path.empty() ? std::string("(no device)") : p.path);
        if (!exists(p.path)) line += "  (missing)";
        if (!p.overrideVar.empty()) line += "  [" + p.overrideVar + "]";
        if (!p.stableName.empty()) line += "  " + p.stableName;
        if (!p.driver.empty()) line += "  driver " + p.driver;
        if (const std::string usb = usbText(p); !usb.empty()) line += "  USB " + usb;
        ctx.out(line);
    }
    return EXIT_OK;
}

const CCtlRegistration reg{{"ports", "ports",
                            "the serial devices tried (ports 1..7 and every USB serial device), no probing",
                            noArguments<runPorts>}};

} // namespace

} // namespace zefirel::ctl
