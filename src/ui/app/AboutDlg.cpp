#include "ui/app/AboutDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "link/FeatureTexts.h"
#include "link/LPGDevice.h"
#include "support/Error.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {
constexpr const char* MSG_VERSION_READ_FAILED = "Nie można odczytać wersji urządzenia!";
} // namespace

QStringList featureTexts(uint32_t featureMask) {
    QStringList out;
    for (const std::string& t : featureDescriptions(featureMask)) out << qstr(t);
    return out;
}

CAboutDlg::CAboutDlg(CLPGDevice* device, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(QStringLiteral("O programie Zefirel"));
    auto* lay = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    head->addWidget(icon);
    head->addWidget(new QLabel(QStringLiteral("Zefirel Wersja 5.2"), this), 1);
    lay->addLayout(head);
    auto* ver = new QHBoxLayout;
    ver->addWidget(new QLabel(QStringLiteral("Wersja sterownika:"), this));
    m_version = new QLineEdit(this);
    m_version->setObjectName(QStringLiteral("controllerVersion"));
    m_version->setReadOnly(true);
    ver->addWidget(m_version, 1);
    lay->addLayout(ver);
    lay->addWidget(new QLabel(QStringLiteral("Szczegóły sterownika:"), this));
    m_details = new QListWidget(this);
    m_details->setObjectName(QStringLiteral("controllerDetails"));
    lay->addWidget(m_details);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    lay->addWidget(buttons);
    resize(480, 320);
    fill(device);
}

void CAboutDlg::fill(CLPGDevice* device) {
    if (device) modalRefresh(false);
    if (!device || !device->isVersionOk()) {
        m_version->setText(QStringLiteral("Brak połączenia"));
        m_details->addItem(QStringLiteral("Brak połączenia"));
        return;
    }
    // A line that vanished since the last poll raises a port error here: the box
    // shows it and still opens, as it does after a failed read.
    try {
        readController(*device);
    } catch (IError* e) {
        showCaughtError(this, QString::fromUtf8(MSG_VERSION_READ_FAILED), "CAboutDlg::OnInitDialog()", e);
    } catch (...) {
        showCatchAll(this, "CAboutDlg::OnInitDialog()");
    }
}

void CAboutDlg::readController(CLPGDevice& device) {
    uint8_t version[VERSION_RECORD_SIZE] = {};
    if (!device.readVersion(version)) {
        zefMessageBox(this, QString::fromUtf8(MSG_VERSION_READ_FAILED), QStringLiteral("Zefirel"), EMsgStyle::Error);
        return;
    }
    // The feature record is replaced only by a successful read: wiping it first would
    // leave the sample layout and the voltage conversion wrong after a failed read.
    uint8_t features[FEATURE_RECORD_SIZE] = {};
    if (device.readFeatures(features)) device.storeFeatures(features);
    // The firmware version word follows the programming date (host order).
    const unsigned versionNo = static_cast<unsigned>(version[2] | (version[3] << 8));
    m_version->setText(QString::asprintf("%d", versionNo));
    m_details->addItems(featureTexts(device.settings().featureMask()));
}

QString CAboutDlg::versionText() const { return m_version->text(); }

QStringList CAboutDlg::details() const {
    QStringList out;
    for (int i = 0; i < m_details->count(); ++i) out << m_details->item(i)->text();
    return out;
}

} // namespace zefirel
