#include "ui/support/WaitDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zefirel {

CWaitDlg::CWaitDlg(const QString& text, bool cancellable)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("waitDlg"));
    setWindowTitle(QStringLiteral("Zefirel"));
    setModal(false);
    m_text = new QLabel(text, this);
    m_text->setObjectName(QStringLiteral("waitText"));
    m_text->setAlignment(Qt::AlignCenter);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(24, 18, 24, 18);
    lay->addWidget(m_text);
    if (cancellable) {
        setWindowModality(Qt::ApplicationModal);
        m_cancel = new QPushButton(QStringLiteral("Anuluj"), this);
        m_cancel->setObjectName(QStringLiteral("waitCancel"));
        m_cancel->setAutoDefault(false);
        connect(m_cancel, &QPushButton::clicked, this, [this] {
            m_cancelled = true;
            m_cancel->setEnabled(false); // the operation ends at its next check
        });
        lay->addWidget(m_cancel, 0, Qt::AlignHCenter);
    }
    setMinimumWidth(320);
}

void CWaitDlg::showCentred() {
    adjustSize();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
    QApplication::processEvents();
}

QString CWaitDlg::text() const { return m_text->text(); }

// The window goes away only when its owner closes it; cancelling only tells the
// owner to stop.
void CWaitDlg::closeEvent(QCloseEvent* e) {
    if (e->spontaneous()) e->ignore();
    else QDialog::closeEvent(e);
}

void CWaitDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        if (m_cancel && m_cancel->isEnabled()) m_cancel->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

} // namespace zefirel
