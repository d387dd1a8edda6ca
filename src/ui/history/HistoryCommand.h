#pragma once
/// "Historia samochodu..." in the menu "Ustawienia urządzenia": the car history
/// window on the document's history, opened at the car of the controller the
/// document knows.

class QWidget;

namespace zefirel {

class CDeviceDocUi;

/// Handles the car history command; false for any other command. doc may be null
/// (no document open: nothing to show).
bool onHistoryCommand(int id, CDeviceDocUi* doc, QWidget* parent);

} // namespace zefirel
