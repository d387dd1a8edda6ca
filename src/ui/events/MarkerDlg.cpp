#include "ui/events/MarkerDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>


namespace zefirel {

CMarkerDlg::CMarkerDlg(uint32_t sampleNo, bool live, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("markerDlg"));
    setWindowTitle(QStringLiteral("Znacznik"));
    auto* lay = new QVBoxLayout(this);
    const QString where = live ? QStringLiteral("Znacznik przy najnowszej próbce nagrania (%1).")
                               : QStringLiteral("Znacznik przy próbce %1 (kursor na wykresie).");
    auto* place = new QLabel(where.arg(sampleNo), this);
    place->setObjectName(QStringLiteral("markerPlace"));
    lay->addWidget(place);
    auto* label = new QLabel(QStringLiteral("&Notatka (można zostawić pustą):"), this);
    lay->addWidget(label);
    m_note = new QLineEdit(this);
    m_note->setObjectName(QStringLiteral("markerNote"));
    m_note->setMaxLength(MARKER_NOTE_MAX);
    m_note->setMinimumWidth(m_note->fontMetrics().averageCharWidth() * 45);
    label->setBuddy(m_note);
    lay->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Dodaj znacznik"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Anuluj"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    lay->addWidget(buttons);
    m_note->setFocus();
}

QString CMarkerDlg::note() const {
    QString text = m_note->text();
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
    return text.trimmed();
}

} // namespace zefirel
