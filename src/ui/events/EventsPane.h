#pragma once
/// CEventsPane: the list "Zdarzenia" beside the diagnostic chart: the events found in
/// the recording shown and the installer's markers, one row each with the time, the
/// kind and the sentence that says what it means. A double-click (or Enter) on a row
/// asks for the chart to move to that sample.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QLabel;
class QTableWidget;

namespace zefirel {

/// One row of the list, and the mark it puts on the charts.
struct EventRow {
    uint32_t sampleNo = 0;
    double seconds = 0;   ///< time since the recording's start
    QString kind;         ///< the kind's name ("Powrót na benzynę", "Znacznik", ...)
    QString label;        ///< the short text by the chart's line
    QString sentence;     ///< what it means and what to check (the note of a marker)
    uint32_t colour = 0;  ///< 0x00BBGGRR, one per kind
    bool marker = false;  ///< the installer's marker (else a found event)
};

/// "12:05,4" for a time in seconds (minutes, seconds and tenths; hours when needed).
QString formatEventTime(double seconds);

class CEventsPane : public QWidget {
    Q_OBJECT
public:
    explicit CEventsPane(QWidget* parent = nullptr);

    /// Shows these rows (in their order); the row selected before stays selected when
    /// it is still there.
    void setRows(const std::vector<EventRow>& rows);
    const std::vector<EventRow>& rows() const { return m_rows; }
    QTableWidget* table() const { return m_table; }
    /// A line under the list (a sidecar that could not be read, ...); empty hides it.
    void setNotice(const QString& text);
    /// Chooses row i as a double-click does.
    void activateRow(int i);

signals:
    /// The installer asked to see this sample on the chart.
    void sampleChosen(double sampleNo);

private:
    std::vector<EventRow> m_rows;
    QTableWidget* m_table;
    QLabel* m_notice;
};

} // namespace zefirel
