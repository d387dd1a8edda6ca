#pragma once
/// CMapLearnWindow: "Nauka mapy", the road test that learns the injection map
/// while the car is driven. A window of its own (not the map pane): it is kept
/// open on the passenger seat's laptop beside the live panel and the charts, and
/// it needs the room of a whole 1280 × 800 screen for the coverage grid and three
/// maps side by side.
///
/// "Rozpocznij naukę" reads the controller's map (kept for "Cofnij") and feeds
/// every sample the live polling stores into the learner; "Zatrzymaj naukę" stops
/// feeding and keeps the table. The window shows the coverage grid (sample counts
/// and a colour per operating point), the share of driven cells done, the samples
/// the guard rails refused by reason, and the proposed map beside the controller's
/// with the difference. Learning never writes by itself: "Wpisz" writes the
/// proposal through the controller's one write path after the list of changes,
/// and starts the checking pass; "Cofnij" writes back the map that was in the
/// controller before the test. A lost line keeps the table; learning goes on with
/// the first samples after the reconnect.

#include <QWidget>

#include "map/MapLearnSession.h"

class QLabel;
class QPushButton;
class QTimer;

namespace zefirel {

class CCoverageGrid;
class CDeviceDoc;
class CMapCompare;

/// How often the window takes the new samples and redraws.
inline constexpr int LEARN_REFRESH_MS = 500;

class CMapLearnWindow : public QWidget {
    Q_OBJECT
public:
    explicit CMapLearnWindow(CDeviceDoc& doc, QWidget* parent = nullptr);

    /// "Rozpocznij naukę" / "Zatrzymaj naukę".
    void onStartStop();
    /// "Wpisz": the proposed map through the write path, the change list first.
    void onWrite();
    /// "Cofnij": the map from before the test, the same way.
    void onUndo();
    /// Takes the samples stored since the last look and shows the state.
    void refresh();

    CMapLearnSession& session() { return m_session; }
    CCoverageGrid* coverage() const { return m_grid; }
    CMapCompare* compare() const { return m_compare; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* writeButton() const { return m_write; }
    QPushButton* undoButton() const { return m_undo; }
    QString statusText() const;
    QString doneText() const;
    QString ignoredText() const;

signals:
    /// A line for the status bar about a finished write.
    void notice(const QString& text);

private:
    /// The question before a write: the map cells that change, then the settings.
    bool confirmWrite(const std::vector<SettingChange>& changes, const MapBytes& bytes, const QString& question);
    /// Runs a request through the write path (the question asked on this thread);
    /// true when the map reached the controller.
    bool commit(SettingsWriteRequest request, SettingsWriteResult& result);
    /// The map the controller holds as far as the session knows.
    MapBytes controllerMap() const;
    void showState();
    void updateButtons();

    CDeviceDoc& m_doc;
    CMapLearnSession m_session;
    QPushButton* m_start;
    QPushButton* m_write;
    QPushButton* m_undo;
    QLabel* m_status;
    QLabel* m_pass;
    QLabel* m_done;
    QLabel* m_ignored;
    CCoverageGrid* m_grid;
    CMapCompare* m_compare;
    QTimer* m_timer;
    bool m_busy = false;       ///< a controller transfer of the window is under way
    bool m_lineSeen = true;    ///< the line was up at the last look
};

} // namespace zefirel
