#include "ui/support/PasswdDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zefirel {

AccessLevels passwordLevels(const QString& password) {
    AccessLevels l;
    if (password == QStringLiteral("ZielonyOgrodek")) {
        l.administrator = true;
        l.service = true;
    } else if (password == QStringLiteral("KotLeci")) {
        l.service = true;
    }
    return l;
}

CPasswdDlg::CPasswdDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("passwdDlg"));
    setWindowTitle(QStringLiteral("Odblokowanie"));
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(new QLabel(QStringLiteral("Do wykonania tej akcji potrzebne jest hasło:"), this));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("password"));
    m_edit->setEchoMode(QLineEdit::Password);
    lay->addWidget(m_edit);
    // Shown after a wrong password; the dialog stays open for another try.
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("hint"));
    m_hint->setStyleSheet(QStringLiteral("color: #b00000"));
    m_hint->hide();
    lay->addWidget(m_hint);
    connect(m_edit, &QLineEdit::textEdited, m_hint, &QLabel::hide);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    lay->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &CPasswdDlg::onOk);
}

void CPasswdDlg::onOk() {
    const AccessLevels l = passwordLevels(m_edit->text());
    if (!l.service) { // wrong password: stay open for another try
        m_hint->setText(QStringLiteral("Nieprawidłowe hasło. Sprawdź wielkość liter i spróbuj ponownie."));
        m_hint->show();
        m_edit->selectAll();
        m_edit->setFocus();
        return;
    }
    m_levels = l;
    accept();
}

} // namespace zefirel
