#include "ui/events/EventsPane.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

#include "ui/chart/ChartTypes.h"

namespace zefirel {

QString formatEventTime(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    const long long tenths = std::llround(seconds * 10);
    const long long h = tenths / 36000, m = tenths / 600 % 60, s = tenths / 10 % 60, t = tenths % 10;
    const QString rest = QStringLiteral("%1,%2").arg(s, 2, 10, QLatin1Char('0')).arg(t);
    if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(rest);
    return QStringLiteral("%1:%2").arg(m).arg(rest);
}

CEventsPane::CEventsPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("eventsPane"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(2, 2, 2, 2);
    lay->setSpacing(2);
    auto* title = new QLabel(QStringLiteral("Zdarzenia"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    lay->addWidget(title);
    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("eventsTable"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Czas"), QStringLiteral("Próbka"), QStringLiteral("Rodzaj"), QStringLiteral("Opis")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    lay->addWidget(m_table, 1);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("eventsNotice"));
    m_notice->setWordWrap(true);
    m_notice->hide();
    lay->addWidget(m_notice);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { activateRow(row); });
    connect(m_table, &QTableWidget::cellActivated, this, [this](int row, int) { activateRow(row); });
}

void CEventsPane::activateRow(int i) {
    if (i < 0 || i >= static_cast<int>(m_rows.size())) return;
    m_table->selectRow(i);
    emit sampleChosen(m_rows[static_cast<size_t>(i)].sampleNo);
}

void CEventsPane::setNotice(const QString& text) {
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void CEventsPane::setRows(const std::vector<EventRow>& rows) {
    // Rows are rebuilt only when they changed: a live run asks every refresh.
    auto same = [](const EventRow& a, const EventRow& b) {
        return a.sampleNo == b.sampleNo && a.kind == b.kind && a.sentence == b.sentence && a.colour == b.colour;
    };
    if (rows.size() == m_rows.size() && std::equal(rows.begin(), rows.end(), m_rows.begin(), same)) return;
    const int selected = m_table->currentRow();
    const uint32_t selectedNo = selected >= 0 && selected < int(m_rows.size()) ? m_rows[size_t(selected)].sampleNo : 0;
    m_rows = rows;
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(static_cast<int>(rows.size()));
    int reselect = -1;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const EventRow& r = rows[size_t(i)];
        const QString texts[] = {formatEventTime(r.seconds), QString::number(r.sampleNo), r.kind, r.sentence};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            if (c == 3) item->setToolTip(r.sentence);
            m_table->setItem(i, c, item);
        }
        m_table->item(i, 2)->setForeground(ToQColor(r.colour).darker(140));
        m_table->item(i, 1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (selected >= 0 && r.sampleNo == selectedNo && reselect < 0) reselect = i;
    }
    m_table->resizeColumnsToContents();
    if (reselect >= 0) m_table->selectRow(reselect);
    m_table->setUpdatesEnabled(true);
}

} // namespace zefirel
