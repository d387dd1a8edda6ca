#include "ui/settings/WaitDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace zefirel {

CWaitDlg::CWaitDlg(const QString& text) : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("waitDlg"));
    setWindowTitle(QStringLiteral("Zefirel"));
    setModal(false);
    m_text = new QLabel(text, this);
    m_text->setObjectName(QStringLiteral("waitText"));
    m_text->setAlignment(Qt::AlignCenter);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(24, 18, 24, 18);
    lay->addWidget(m_text);
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

// The window has no buttons: it goes away only when its owner closes it.
void CWaitDlg::closeEvent(QCloseEvent* e) {
    if (e->spontaneous()) e->ignore();
    else QDialog::closeEvent(e);
}

void CWaitDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        e->ignore();
        return;
    }
    QDialog::keyPressEvent(e);
}

} // namespace zefirel
