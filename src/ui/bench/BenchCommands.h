#pragma once
/// The installer's bench tools in the menus: "Diagnostyka połączenia...",
/// "Eksport do CSV...", "Sprawdzenie ustawień...", "Raport serwisowy..." and
/// "Porównaj nagrania...".

class QWidget;

namespace zefirel {

class CDeviceDocUi;

/// Handles one of the bench tools' commands; false for any other command. doc may
/// be null (no document open).
bool onBenchCommand(int id, CDeviceDocUi* doc, QWidget* parent);

/// Whether "Eksport do CSV..." adds the event column: the checkbox of its save
/// dialog starts from it and leaves the installer's choice in it.
bool& csvEventColumnChoice();

} // namespace zefirel
