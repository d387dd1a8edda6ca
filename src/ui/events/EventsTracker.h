#pragma once
/// CEventsTracker: keeps the list "Zdarzenia" and the chart's event and marker
/// lines up to date with the document: the run being recorded, a replay and the
/// recording it leaves loaded. Twice a second it asks the document for the current
/// events (only the samples new since the last time are looked at) and passes a
/// change on. It also drops the installer's markers: at the newest sample while
/// recording, at the chart's cursor otherwise.

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

#include "events/DiagEvents.h"
#include "ui/chart/ChartMarks.h"
#include "ui/events/EventsPane.h"

class QTimer;
class QWidget;

namespace zefirel {

class CDeviceDoc;
class CDisplayView;

/// How often the tracker asks the document for its events (ms).
inline constexpr int EVENTS_REFRESH_MS = 500;

/// The rows of the list: events and markers by sample number (a marker after the
/// events of its sample).
std::vector<EventRow> eventRows(const RecordingEvents& found);
/// The marks of the charts for those rows.
std::vector<ChartMark> eventMarks(const std::vector<EventRow>& rows);

class CEventsTracker : public QObject {
    Q_OBJECT
public:
    CEventsTracker(CDeviceDoc& doc, CDisplayView* view, CEventsPane* pane, QObject* parent = nullptr);

    /// Asks the document for its events now and shows a change.
    void refresh();
    /// Where a marker would go now; false when there is no recording to mark.
    /// live says whether it is the newest sample of a recording being made.
    bool markerPlace(uint32_t& sampleNo, bool& live) const;
    /// The marker key: the note dialog, then the marker through the document. A
    /// marker that could not be saved is said so in a message.
    void addMarkerWithDialog(QWidget* parent);
    /// Adds a marker without asking (the dialog's OK); false when the sidecar could
    /// not be written or there is nothing to mark.
    bool addMarker(const QString& note);

private:
    CDeviceDoc& m_doc;
    CDisplayView* m_view;
    CEventsPane* m_pane;
    QTimer* m_timer;
    QString m_notice;
};

} // namespace zefirel
