// zefirelctl doctor: the connection troubleshooter, port by port.

#include <cstdio>

#include "CtlCli.h"
#include "link/ConnectionDoctor.h"
#include "link/SerialPort.h"

namespace zefirel::ctl {

namespace {

const char* verdictCode(EPortVerdict v) {
    switch (v) {
    case EPortVerdict::Missing: return "missing";
    case EPortVerdict::NoPermission: return "no-permission";
    case EPortVerdict::Busy: return "busy";
    case EPortVerdict::InUseHere: return "in-use-here";
    case EPortVerdict::OpenFailed: return "open-failed";
    case EPortVerdict::Silent: return "silent";
    case EPortVerdict::NoValidFrame: return "no-valid-frame";
    case EPortVerdict::LineDropped: return "line-dropped";
    case EPortVerdict::NoVersion: return "no-version";
    case EPortVerdict::OtherVersion: return "other-version";
    case EPortVerdict::Ok: return "ok";
    }
    return "";
}

void writeJson(CCtlContext& ctx, const DoctorReport& report) {
    CJsonWriter w;
    w.beginObject().key("ports").beginArray();
    for (const PortDiagnosis& d : report.ports) {
        w.beginObject();
        w.key("port").value(d.port.portNumber);
        w.key("path").value(d.port.path);
        w.key("override").value(d.port.overrideVar);
        w.key("stableName").value(d.port.stableName);
        w.key("driver").value(d.port.driver);
        w.key("usb").value(d.port.usbVendorId.empty() ? std::string() : d.port.usbVendorId + ":" + d.port.usbProductId);
        w.key("verdict").value(verdictCode(d.verdict));
        w.key("title").value(verdictTitle(d.verdict));
        w.key("advice").value(verdictAdvice(d));
        w.key("holders").beginArray();
        for (const PortHolder& h : d.holders)
            w.beginObject().key("pid").value(static_cast<int>(h.pid)).key("name").value(h.name).endObject();
        w.endArray();
        if (d.verdict == EPortVerdict::Ok || d.verdict == EPortVerdict::OtherVersion) {
            w.key("version").value(d.version).key("identity").value(d.identity);
            w.key("injectors").value(d.injectors).key("features").value(d.featureMask);
        }
        w.endObject();
    }
    w.endArray().key("driverless").beginArray();
    for (const DriverlessAdapter& a : report.driverless)
        w.beginObject().key("usb").value(a.vendorId + ":" + a.productId).key("module").value(a.module).endObject();
    w.endArray().endObject();
    ctx.json(w);
}

int runDoctor(CCtlContext& ctx) {
    const CConnectionDoctor doctor;
    const DoctorProgress progress = [&](int, const std::string& what) {
        if (!ctx.jsonOutput())
            ctx.host().progress().show(what);
    };
    DoctorReport report;
    const CtlOptions& o = ctx.options();
    if (o.port != 0 || !o.device.empty()) {
        PortCandidate only;
        only.portNumber = o.port;
        only.searched = o.port >= 1 && o.port <= 7;
        only.path = o.port != 0 ? resolvePortPath(o.port) : o.device;
        describePort(only);
        report = doctor.run({only}, progress);
    } else {
        report = doctor.run(progress);
    }
    ctx.host().progress().end();
    if (ctx.jsonOutput())
        writeJson(ctx, report);
    else
        std::fputs(doctorReportText(report).c_str(), stdout);
    for (const PortDiagnosis& d : report.ports)
        if (d.verdict == EPortVerdict::Ok)
            return EXIT_OK;
    return EXIT_FAILED;
}

const CCtlRegistration reg{{"doctor", "doctor",
                            "what is wrong with the connection, port by port, and what to do (with --port N or "
                            "--device PATH: only that device)",
                            noArguments<runDoctor>}};

} // namespace

} // namespace zefirel::ctl
