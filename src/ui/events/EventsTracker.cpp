#include "ui/events/EventsTracker.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

#include "diag/DeviceDoc.h"
#include "ui/chart/Chart.h"
#include "ui/diag/DisplayView.h"
#include "ui/events/MarkerDlg.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

/// Longest label by a chart line (characters); the list shows the whole text.
constexpr int MARK_LABEL_MAX = 24;

QString Shortened(const QString& text) {
    return text.size() <= MARK_LABEL_MAX ? text : text.left(MARK_LABEL_MAX - 1) + QStringLiteral("…");
}

} // namespace

std::vector<EventRow> eventRows(const RecordingEvents& found) {
    std::vector<EventRow> rows;
    rows.reserve(found.events.size() + found.markers.size());
    for (const DiagEvent& e : found.events) {
        EventRow r;
        r.sampleNo = e.sampleNo;
        r.seconds = e.timeMs / 1000.0;
        r.kind = QString::fromUtf8(eventKindName(e.kind));
        r.label = r.kind;
        r.sentence = QString::fromStdString(e.sentence);
        r.colour = eventKindColour(e.kind);
        rows.push_back(std::move(r));
    }
    for (const DiagMarker& m : found.markers) {
        EventRow r;
        r.sampleNo = m.sampleNo;
        r.seconds = m.timeMs / 1000.0;
        r.kind = QStringLiteral("Znacznik");
        r.sentence = QString::fromStdString(m.note);
        r.label = r.sentence.isEmpty() ? r.kind : Shortened(r.sentence);
        r.colour = MARKER_COLOUR;
        r.marker = true;
        rows.push_back(std::move(r));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const EventRow& a, const EventRow& b) {
        return a.sampleNo != b.sampleNo ? a.sampleNo < b.sampleNo : (!a.marker && b.marker);
    });
    return rows;
}

std::vector<ChartMark> eventMarks(const std::vector<EventRow>& rows) {
    std::vector<ChartMark> marks;
    marks.reserve(rows.size());
    for (const EventRow& r : rows) marks.push_back({double(r.sampleNo), r.colour, r.label, r.kind});
    return marks;
}

CEventsTracker::CEventsTracker(CDeviceDoc& doc, CDisplayView* view, CEventsPane* pane, QObject* parent)
    : QObject(parent), m_doc(doc), m_view(view), m_pane(pane) {
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("eventsTimer"));
    connect(m_timer, &QTimer::timeout, this, &CEventsTracker::refresh);
    m_timer->start(EVENTS_REFRESH_MS);
    connect(m_pane, &CEventsPane::sampleChosen, this, [this](double sample) {
        m_view->centreOn(sample);
        m_view->setCursorSample(sample);
    });
}

void CEventsTracker::refresh() {
    RecordingEvents found;
    guarded(m_pane, "CEventsTracker::refresh()", [&] { found = m_doc.currentEvents(); });
    std::vector<EventRow> rows = eventRows(found);
    const bool changed = rows.size() != m_pane->rows().size() ||
                         !std::equal(rows.begin(), rows.end(), m_pane->rows().begin(), [](const EventRow& a, const EventRow& b) {
                             return a.sampleNo == b.sampleNo && a.kind == b.kind && a.sentence == b.sentence;
                         });
    const QString notice = QString::fromStdString(sidecarNotice(found.sidecar, m_doc.recordingPath()));
    if (notice != m_notice) {
        m_notice = notice;
        m_pane->setNotice(notice);
    }
    if (!changed) return;
    m_view->chart().SetMarks(eventMarks(rows));
    m_view->update();
    m_pane->setRows(rows);
}

bool CEventsTracker::markerPlace(uint32_t& sampleNo, bool& live) const {
    if (m_doc.recordingPath().empty() || m_doc.diagData().count() == 0) return false;
    live = m_doc.diagnosticsOn();
    if (live) {
        sampleNo = 0;
        CDiag last;
        if (m_doc.diagData().getLast(last)) sampleNo = last.sampleNo();
        return true;
    }
    sampleNo = static_cast<uint32_t>(std::max(0.0, std::round(m_view->cursorSample())));
    return true;
}

bool CEventsTracker::addMarker(const QString& note) {
    uint32_t sample = 0;
    bool live = false;
    if (!markerPlace(sample, live)) return false;
    // While recording the document puts it at the newest sample when it is saved.
    const bool saved = m_doc.addMarker(live ? 0 : sample, note.toStdString());
    refresh();
    return saved;
}

void CEventsTracker::addMarkerWithDialog(QWidget* parent) {
    uint32_t sample = 0;
    bool live = false;
    if (!markerPlace(sample, live)) {
        zefMessageBox(parent, QStringLiteral("Znacznik można dodać podczas nagrywania albo w odtworzonym nagraniu."),
                      QString(APP_CAPTION), EMsgStyle::Info);
        return;
    }
    m_doc.slowRefresh();
    CMarkerDlg dlg(sample, live, parent);
    const bool ok = dlg.exec() == QDialog::Accepted;
    m_doc.normalRefresh();
    if (ok && !addMarker(dlg.note()))
        zefMessageBox(parent,
                      QStringLiteral("Nie można zapisać znacznika w pliku zdarzeń obok nagrania. Znacznik jest widoczny "
                                     "tylko do końca tego przebiegu."),
                      QString(APP_CAPTION), EMsgStyle::Error);
}

} // namespace zefirel
