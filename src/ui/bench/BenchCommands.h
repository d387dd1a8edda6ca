#pragma once
/// The installer's bench tools in the menus: "Diagnostyka połączenia...",
/// "Eksport do CSV...", "Sprawdzenie ustawień..." and "Raport serwisowy...".

class QWidget;

namespace zefirel {

class CDeviceDocUi;

/// Handles one of the bench tools' commands; false for any other command. doc may
/// be null (no document open).
bool onBenchCommand(int id, CDeviceDocUi* doc, QWidget* parent);

} // namespace zefirel
