#pragma once
/// CMapView: the injection map pane of the device frame. The grid (CMapGrid) and
/// five buttons: "Utwórz mapę..." computes the map from a recording, "Wczytaj"
/// reads it from the controller, "Wpisz" writes it with verification and the
/// map-in-use flag, "Kasuj" clears it (the controller is not touched), "Pokaż
/// wykres..." opens the map chart over a recording. "Wczytaj" and "Wpisz" are
/// enabled only while the controller is connected.
///
/// The controller transfers and the loading of a recording run on a worker thread
/// while the window keeps painting (user input waits); a write keeps a modal wait
/// window open, so the live panel does not re-read the settings the write is about
/// to change.

#include <QWidget>
#include <string>

#include "map/MapCompute.h"

class QPushButton;

namespace zefirel {

class CDeviceDoc;
class CMapGrid;

/// Asked by "Wczytaj" before the controller's map replaces a grid that holds
/// something else (computed, cleared or typed and not written).
inline constexpr const char* MSG_MAP_REPLACE_QUESTION =
    "Mapa w tabeli nie została wpisana do sterownika.\n"
    "Wczytać mapę ze sterownika i zastąpić nią mapę z tabeli?";

/// Wait texts of the pane.
inline constexpr const char* WAIT_MAP_READ = "Wczytywanie ustawień z urządzenia...";
inline constexpr const char* WAIT_MAP_WRITE = "Wpisywanie mapy wtrysków do urządzenia...";

class CMapView : public QWidget {
    Q_OBJECT
public:
    explicit CMapView(CDeviceDoc& doc, QWidget* parent = nullptr);

    /// Opening: the buttons follow the connection; with a controller the map is read
    /// under the wait window "Wczytywanie ustawień z urządzenia...".
    void initialUpdate();
    /// "Wczytaj" follows the connection (and no setup procedure running); "Wpisz"
    /// also needs a grid that is whole: read from this connection's controller,
    /// computed, or cleared. A shown pane reads a controller new to it at once.
    void updateConnection();

    void OnBtnRead();
    /// The button "Wczytaj": asks first when the grid holds what the controller does
    /// not (computed, cleared or typed and not written); No keeps the grid.
    void onReadClicked();
    void OnBtnWrite();
    void OnBtnClear();
    void OnBtnCreate();
    void OnBtnChart();

    /// Shows a computed map (the grid is the pane's copy; the document's map
    /// changes only by a write) and marks what each cell rests on.
    void showComputed(const MapResult& result);

    CMapGrid* grid() const { return m_grid; }
    QPushButton* createButton() const { return m_create; }
    QPushButton* readButton() const { return m_read; }
    QPushButton* writeButton() const { return m_write; }
    QPushButton* clearButton() const { return m_clear; }
    QPushButton* chartButton() const { return m_chart; }

signals:
    /// A line for the status bar about a finished write.
    void notice(const QString& text);

private:
    /// The file dialog over the data folder, titled with what the recording is for; empty on Cancel.
    std::string chooseRecording(const QString& title);
    /// The map read shown in the grid; false (with the message) when it failed.
    bool readAndShow();

    CDeviceDoc& m_doc;
    CMapGrid* m_grid;
    QPushButton* m_create;
    QPushButton* m_read;
    QPushButton* m_write;
    QPushButton* m_clear;
    QPushButton* m_chart;
    /// Whether the grid holds anything the controller's map read or written last does not.
    bool gridDiffersFromController() const;

    uint64_t m_readOn = 0;    ///< the connection whose controller map the grid shows (0: none)
    MapBytes m_controllerBytes = emptyMap(); ///< the map read from or written to the controller last
    bool m_gridOwned = false; ///< computed or cleared: every cell is the installer's
    bool m_reading = false;
};

} // namespace zefirel
