#include "ui/app/LPGBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QTimer>

#include <algorithm>

#include "support/StartupTrace.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {
QLabel* makeField(QWidget* parent, const QString& name, int minWidth) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(minWidth);
    l->setAutoFillBackground(true);
    return l;
}

} // namespace

/// The notice field: a text longer than the field ends in "…" (whole in the
/// tooltip), so a cut notice never reads as a complete one.
class CNoticeLabel : public QLabel {
public:
    explicit CNoticeLabel(QWidget* parent) : QLabel(parent) {}
    void setNotice(const QString& text) {
        m_full = text;
        setToolTip(text);
        fit();
    }
    const QString& notice() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QLabel::resizeEvent(e);
        fit();
    }

private:
    void fit() { setText(fontMetrics().elidedText(m_full, Qt::ElideRight, std::max(0, contentsRect().width()))); }
    QString m_full;
};

CLPGBar::CLPGBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("lpgBar"));
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(2, 1, 2, 1);
    lay->setSpacing(4);
    m_info = makeField(this, QStringLiteral("info"), 220);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_info->setAutoFillBackground(false);
    lay->addWidget(m_info, 3);
    m_notice = new CNoticeLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::PlainText);
    // A long notice is cut at the field's edge (whole in its tooltip) instead of
    // widening the bar over the access level and the connection state beside it.
    m_notice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_notice->setMinimumWidth(0);
    lay->addWidget(m_notice, 4);
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] {
        m_notice->setNotice(QString());
    });
    m_level = makeField(this, QStringLiteral("level"), 90);
    m_level->hide();
    lay->addWidget(m_level);
    m_connection = makeField(this, QStringLiteral("connection"), 120);
    lay->addWidget(m_connection);
    m_error = makeField(this, QStringLiteral("error"), 50);
    lay->addWidget(m_error);
    lay->addWidget(new QLabel(QStringLiteral("Praca wtryskiwaczy"), this));
    for (int i = 0; i < 8; ++i) {
        QLabel* f = makeField(this, QStringLiteral("injector%1").arg(i + 1), 20);
        f->setText(QString::number(i + 1));
        paintField(f, COLOUR_GREY);
        m_inj[static_cast<size_t>(i)] = f;
        m_countdown[static_cast<size_t>(i)] = INJECTOR_QUIET_TICKS;
        lay->addWidget(f);
    }
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(140);
    lay->addWidget(m_progress, 1);
    showConnection(false);
    showError(false);
}

uint32_t CLPGBar::fieldColour(const QLabel* field) { return fieldBackground(field); }

void CLPGBar::setInfo(const QString& text) {
    m_info->setText(text);
    m_info->repaint();
}

QString CLPGBar::info() const { return m_info->text(); }

void CLPGBar::clearInjectors() {
    for (size_t i = 0; i < m_inj.size(); ++i) {
        paintField(m_inj[i], COLOUR_GREY);
        m_countdown[i] = INJECTOR_QUIET_TICKS;
    }
}

void CLPGBar::showNotice(const QString& text, int ms) {
    m_notice->setNotice(text);
    m_noticeTimer->start(ms);
}

QString CLPGBar::notice() const { return m_notice->notice(); }

void CLPGBar::showLevel(const QString& level) {
    m_level->setText(level);
    // The whole text always: the level is never cut short by a long notice.
    m_level->setMinimumWidth(std::max(90, m_level->sizeHint().width()));
    m_level->setVisible(!level.isEmpty());
}

QString CLPGBar::level() const { return m_level->text(); }

void CLPGBar::showConnection(bool connected) {
    m_connection->setText(connected ? QStringLiteral("Połączony") : QStringLiteral("Brak połączenia"));
    paintField(m_connection, connected ? COLOUR_GREEN : COLOUR_RED);
    m_connection->repaint();
    if (connected) startupMark("connected");
    // A notice of success ("Zapisano ustawienia w sterowniku") must not stand beside
    // a lost connection as if the controller still held what it says.
    if (!connected) {
        m_noticeTimer->stop();
        m_notice->setNotice(QString());
    }
}

void CLPGBar::showError(bool on) {
    m_error->setText(on ? QStringLiteral("Błąd") : QString());
    paintField(m_error, on ? COLOUR_RED : COLOUR_GREY);
    m_error->repaint();
}

void CLPGBar::setInjectors(uint8_t activity, uint8_t pairs, bool extendedLayout) {
    const uint32_t active = extendedLayout ? COLOUR_YELLOW : COLOUR_GREEN;
    for (size_t i = 0; i < 8; ++i) {
        if (activity & (1u << i)) {
            paintField(m_inj[i], active);
        } else if (--m_countdown[i] <= 0) {
            m_countdown[i] = INJECTOR_QUIET_TICKS;
            paintField(m_inj[i], COLOUR_GREY);
        }
    }
    // An injector pair that runs on LPG shows green instead of yellow.
    for (size_t k = 0; k < 4; ++k) {
        if (!(pairs & (1u << k))) continue;
        for (size_t i : {2 * k, 2 * k + 1})
            if (fieldColour(m_inj[i]) == COLOUR_YELLOW) paintField(m_inj[i], COLOUR_GREEN);
    }
    for (QLabel* f : m_inj) f->repaint();
}

void CLPGBar::setProgress(int percent) {
    m_progress->setValue(std::clamp(percent, 0, 100));
    m_progress->repaint();
}

} // namespace zefirel
