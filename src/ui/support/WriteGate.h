#pragma once
/// The one rule for every button that writes to the controller (the panel's
/// "Wpisz" and spin arrows, "Wpisz do urządzenia" of the settings dialog and of the
/// map and curve panes, "Wpisz" of the level and version dialogs): it is offered
/// only while a controller is connected and no setup procedure holds it.

#include <functional>

class QWidget;

namespace zefirel {

class CLPGDevice;

/// How often a gated button looks at the connection again.
inline constexpr int WRITE_GATE_LOOK_MS = 250;

/// Whether a write may be offered now.
bool writeAllowed(const CLPGDevice& device);

/// Keeps w enabled exactly while writeAllowed(device) and, when given, extra()
/// hold: now and again every WRITE_GATE_LOOK_MS for as long as w lives, so a
/// connection lost while a dialog is open takes its write button with it.
void gateWrites(QWidget* w, const CLPGDevice& device, std::function<bool()> extra = {});

} // namespace zefirel
