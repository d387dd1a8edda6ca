#include "ui/bench/ConnDoctorDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "diag/DeviceDoc.h"
#include "support/Error.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

CConnDoctorDlg::CConnDoctorDlg(QWidget* parent, Runner runner) : QDialog(parent), m_runner(std::move(runner)) {
    setObjectName(QStringLiteral("connDoctorDlg"));
    setWindowTitle(QStringLiteral("Diagnostyka połączenia"));
    if (!m_runner)
        m_runner = [](const DoctorProgress& p, const std::atomic<bool>* stop) {
            CConnectionDoctor doctor;
            // The port this program holds counts as a connection only while its
            // controller answers: a pulled cable leaves the port open but silent.
            doctor.setOwnLineCheck([](const std::string&) {
                CDeviceDoc* doc = CDeviceDoc::current();
                try {
                    return doc && doc->isVersionOk() && !doc->isConnectionLost() && doc->answersLinkTest();
                } catch (IError* e) {
                    adoptError(e);
                    return false;
                }
            });
            return doctor.run(p, stop);
        };
    auto* lay = new QVBoxLayout(this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("doctorStatus"));
    lay->addWidget(m_status);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("doctorProgress"));
    m_progress->setRange(0, 100);
    lay->addWidget(m_progress);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("doctorText"));
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lay->addWidget(m_text, 1);
    auto* row = new QHBoxLayout;
    m_rerun = namedButton(this, QStringLiteral("Sprawdź ponownie"), "doctorRerun");
    m_copy = namedButton(this, QStringLiteral("Kopiuj"), "doctorCopy");
    QPushButton* close = namedButton(this, QStringLiteral("Zamknij"), "doctorClose");
    row->addWidget(m_rerun);
    row->addWidget(m_copy);
    row->addStretch(1);
    row->addWidget(close);
    lay->addLayout(row);
    connect(m_rerun, &QPushButton::clicked, this, &CConnDoctorDlg::start);
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_text->toPlainText()); m_status->setText(QStringLiteral("Skopiowano do schowka.")); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    resize(640, 480);
}

CConnDoctorDlg::~CConnDoctorDlg() {
    m_stop = true;
    if (m_worker.joinable())
        m_worker.join();
}

void CConnDoctorDlg::start() {
    if (running())
        return;
    finishWorker();
    m_stop = false;
    m_finished = false;
    m_rerun->setEnabled(false);
    m_copy->setEnabled(false);
    m_progress->setValue(0);
    m_text->clear();
    m_status->setText(QStringLiteral("Sprawdzanie portów..."));
    m_worker = std::thread([this] {
        QString text;
        try {
            const DoctorProgress progress = [this](int percent, const std::string& what) {
                QMetaObject::invokeMethod(
                    this, [this, percent, w = QString::fromStdString(what)] { onProgress(percent, w); },
                    Qt::QueuedConnection);
            };
            text = QString::fromStdString(doctorReportText(m_runner(progress, &m_stop)));
        } catch (IError* e) {
            text = QString::fromStdString(adoptError(e)->format());
        } catch (...) {
            text = QStringLiteral("Sprawdzanie nie powiodło się.");
        }
        QMetaObject::invokeMethod(this, [this, text] { onFinished(text); }, Qt::QueuedConnection);
    });
}

QString CConnDoctorDlg::reportText() const { return m_text->toPlainText(); }

void CConnDoctorDlg::onProgress(int percent, const QString& what) {
    m_progress->setValue(percent);
    m_status->setText(what);
}

void CConnDoctorDlg::onFinished(const QString& text) {
    m_finished = true;
    finishWorker();
    m_text->setPlainText(text);
    m_progress->setValue(100);
    m_status->setText(QStringLiteral("Gotowe. „Kopiuj” wstawia wynik do schowka, np. do wiadomości dla serwisu."));
    m_rerun->setEnabled(true);
    m_copy->setEnabled(true);
    if (m_waitLoop)
        m_waitLoop->quit();
}

void CConnDoctorDlg::finishWorker() {
    if (m_worker.joinable() && m_finished)
        m_worker.join();
}

void CConnDoctorDlg::done(int result) {
    if (running()) {
        // Stop at the next port; the one being looked at ends within seconds.
        m_stop = true;
        m_status->setText(QStringLiteral("Kończenie sprawdzania..."));
        setEnabled(false);
        QEventLoop loop;
        m_waitLoop = &loop;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_waitLoop = nullptr;
        setEnabled(true);
    }
    QDialog::done(result);
}

} // namespace zefirel
