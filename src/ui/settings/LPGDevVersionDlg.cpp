#include "ui/settings/LPGDevVersionDlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "link/LPGDevice.h"
#include "settings/VersionRecord.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteGate.h"

namespace zefirel {

CLPGDevVersionDlg::CLPGDevVersionDlg(CLPGDevice& device, QWidget* parent) : QDialog(parent), m_device(device) {
    setObjectName(QStringLiteral("versionDlg"));
    setWindowTitle(QStringLiteral("Wersja urządzenia"));
    auto* lay = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_date = new QLineEdit(this);
    m_date->setObjectName(QStringLiteral("programmingDate"));
    m_date->setMaxLength(static_cast<int>(PROGRAMMING_DATE_TEXT_LENGTH));
    m_date->setPlaceholderText(QStringLiteral("dd/mm/rrrr"));
    m_version = new QSpinBox(this);
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setRange(0, 0xFFFF);
    m_injectors = new QSpinBox(this);
    m_injectors->setObjectName(QStringLiteral("injectors"));
    m_injectors->setRange(0, 0xFF);
    m_identity = new QLineEdit(this);
    m_identity->setObjectName(QStringLiteral("identity"));
    m_identity->setMaxLength(static_cast<int>(IDENTITY_MAX_BYTES));
    form->addRow(QStringLiteral("Data zaprogramowania"), m_date);
    form->addRow(QStringLiteral("Wersja"), m_version);
    form->addRow(QStringLiteral("Ilość wtryskiwaczy"), m_injectors);
    form->addRow(QStringLiteral("ID"), m_identity);
    lay->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* read = new QPushButton(QStringLiteral("Wczytaj"), this);
    read->setObjectName(QStringLiteral("read"));
    read->setDefault(true);
    auto* write = new QPushButton(QStringLiteral("Wpisz"), this);
    write->setObjectName(QStringLiteral("write"));
    write->setAutoDefault(false);
    gateWrites(write, m_device);
    buttons->addWidget(read);
    buttons->addWidget(write);
    lay->addLayout(buttons);
    connect(read, &QPushButton::clicked, this, [this] {
        guarded(this, "CLPGDevVersionDlg::OnBtnRead()", [this] { onRead(); });
    });
    connect(write, &QPushButton::clicked, this, [this] {
        guarded(this, "CLPGDevVersionDlg::OnBtnWrite()", [this] { onWrite(); });
    });

    m_injectors->setValue(4);
    m_version->setValue(0);
    m_date->setText(qstr(todayDateText()));
    guarded(this, "CLPGDevVersionDlg::OnInitialUpdate()", [this] { onRead(); });
    modalRefresh(false);
}

bool CLPGDevVersionDlg::onRead() {
    uint8_t record[VERSION_RECORD_SIZE] = {};
    if (!underWaitCursor([&] { return m_device.readVersionRecord(record); })) {
        zefMessageBox(this, QString::fromUtf8(MSG_VERSION_READ_FAILED), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    const VersionFields f = decodeVersionRecord(record);
    m_date->setText(qstr(formatProgrammingDate(f.programmingDate)));
    m_version->setValue(f.version);
    m_injectors->setValue(f.injectors);
    m_identity->setText(qstr(f.identity));
    return true;
}

bool CLPGDevVersionDlg::onWrite() {
    uint16_t days = 0;
    switch (parseProgrammingDate(m_date->text().toStdString(), days)) {
    case EDateText::WrongLength: return false;
    case EDateText::Invalid:
        // A ten-character text that is no date would be sent as a wrong day count.
        zefMessageBox(this, QString::fromUtf8(MSG_VERSION_DATE_INVALID), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    case EDateText::Ok: break;
    }
    const std::string identity = m_identity->text().toStdString();
    if (!identityFits(identity)) {
        zefMessageBox(this, QString::fromUtf8(MSG_VERSION_IDENTITY_TOO_LONG), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    const bool ok = underWaitCursor([&] {
        return m_device.writeVersion(days, static_cast<uint16_t>(m_version->value()),
                                     static_cast<uint8_t>(m_injectors->value()), identity);
    });
    if (!ok)
        zefMessageBox(this, QString::fromUtf8(MSG_VERSION_WRITE_FAILED), QString(APP_CAPTION), EMsgStyle::Error);
    else
        emit notice(QStringLiteral("Wpisano wersję urządzenia do sterownika"));
    return ok;
}

} // namespace zefirel
