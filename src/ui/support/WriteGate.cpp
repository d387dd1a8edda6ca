#include "ui/support/WriteGate.h"

#include <QTimer>
#include <QWidget>

#include "link/LPGDevice.h"

namespace zefirel {

bool writeAllowed(const CLPGDevice& device) { return device.isVersionOk() && !device.procedureRunning(); }

void gateWrites(QWidget* w, const CLPGDevice& device, std::function<bool()> extra) {
    auto apply = [w, &device, extra = std::move(extra)] { w->setEnabled(writeAllowed(device) && (!extra || extra())); };
    apply();
    auto* look = new QTimer(w);
    look->setInterval(WRITE_GATE_LOOK_MS);
    QObject::connect(look, &QTimer::timeout, w, apply);
    look->start();
}

} // namespace zefirel
