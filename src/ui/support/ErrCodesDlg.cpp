#include "ui/support/ErrCodesDlg.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/support/MsgHelper.h"

namespace zefirel {

CErrCodesDlg::CErrCodesDlg(const QString& text, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("errCodesDlg"));
    setWindowTitle(QStringLiteral("Kody błędów urządzenia"));
    auto* lay = new QVBoxLayout(this);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("errorText"));
    m_text->setReadOnly(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The controller's texts end lines with "\r\n"; show them as plain line breaks.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_text->setPlainText(shown);
    lay->addWidget(m_text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    lay->addWidget(buttons);
    resize(460, 260);
}

QString CErrCodesDlg::text() const { return m_text->toPlainText(); }

// The caller slowed the display refresh before opening the dialog; restore it.
void CErrCodesDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    modalRefresh(false);
}

} // namespace zefirel
