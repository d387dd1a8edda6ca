#include "ui/settings/FuelSensorDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "link/LPGDevice.h"
#include "ui/support/DialogKit.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteGate.h"

namespace zefirel {

CFuelSensorDlg::CFuelSensorDlg(CLPGDevice& device, QWidget* parent) : QDialog(parent), m_device(device) {
    setObjectName(QStringLiteral("fuelSensorDlg"));
    setWindowTitle(QStringLiteral("Czujnik poziomu gazu"));
    auto* lay = new QVBoxLayout(this);

    auto* readingRow = new QHBoxLayout;
    readingRow->addWidget(new QLabel(QStringLiteral("Wskazanie"), this));
    m_reading = new QLineEdit(QStringLiteral("0"), this);
    m_reading->setObjectName(QStringLiteral("reading"));
    m_reading->setReadOnly(true);
    readingRow->addWidget(m_reading);
    readingRow->addWidget(new QLabel(QStringLiteral("w skali 0..255"), this));
    lay->addLayout(readingRow);

    // Level labels with their lamps on even rows, each threshold on the row between
    // the two levels it divides.
    auto* grid = new QGridLayout;
    const char* const levels[] = {"1/1", "3/4", "1/2", "1/4", "Rezerwa"};
    for (int i = 0; i < 5; ++i) {
        grid->addWidget(new QLabel(QString::fromUtf8(levels[i]), this), 2 * i, 0);
        if (i < 4) {
            auto* lamp = new QLabel(this);
            lamp->setObjectName(QStringLiteral("lamp%1").arg(i));
            lamp->setAutoFillBackground(true);
            lamp->setFixedSize(28, 14);
            paintField(lamp, LAMP_OFF);
            grid->addWidget(lamp, 2 * i, 1);
            m_lamps[static_cast<size_t>(i)] = lamp;
            auto* edit = new QSpinBox(this);
            edit->setObjectName(QStringLiteral("threshold%1").arg(i));
            edit->setRange(0, 255);
            grid->addWidget(edit, 2 * i + 1, 2);
            m_edits[static_cast<size_t>(i)] = edit;
        }
    }
    lay->addLayout(grid);

    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(new QLabel(QStringLiteral("Typ czujnika"), this));
    m_types = new QComboBox(this);
    m_types->setObjectName(QStringLiteral("sensorType"));
    typeRow->addWidget(m_types, 1);
    lay->addLayout(typeRow);

    m_note = makeNoteLine(this, "note");
    lay->addWidget(m_note);

    auto* buttons = new QHBoxLayout;
    QPushButton* read = namedButton(this, QStringLiteral("Wczytaj"), "read");
    QPushButton* write = namedButton(this, QStringLiteral("Wpisz"), "write");
    QPushButton* factory = namedButton(this, QStringLiteral("Ustawienia fabryczne"), "factory");
    QPushButton* ok = namedButton(this, QStringLiteral("OK"), "ok");
    QPushButton* cancel = namedButton(this, QStringLiteral("Anuluj"), "cancel");
    for (QPushButton* b : {read, write, factory, ok, cancel})
        buttons->addWidget(b);
    gateWrites(write, m_device);
    lay->addLayout(buttons);
    connect(read, &QPushButton::clicked, this, [this] {
        guarded(this, "CFuelSensorDlg::OnBtnRead()", [this] { onRead(); });
    });
    connect(write, &QPushButton::clicked, this, [this] {
        guarded(this, "CFuelSensorDlg::OnBtnWrite()", [this] { onWrite(); });
    });
    connect(factory, &QPushButton::clicked, this, &CFuelSensorDlg::onFactory);
    connect(ok, &QPushButton::clicked, this, &CFuelSensorDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CFuelSensorDlg::reject);

    m_timer = new QTimer(this);
    m_timer->setInterval(REFRESH_MS);
    connect(m_timer, &QTimer::timeout, this, &CFuelSensorDlg::onTimer);

    setThresholds(INITIAL_LEVEL_THRESHOLDS);
    // Opening: read (the type list is still empty, so nothing is selected by it),
    // then fill the list and select the type of the thresholds read.
    guarded(this, "CFuelSensorDlg::OnInitDialog()", [this] { onRead(); });
    fillTypes();
    selectMatchingType();
    connect(m_types, &QComboBox::currentIndexChanged, this, &CFuelSensorDlg::onTypeSelected);
    modalRefresh(false);
    m_timer->start();
}

bool CFuelSensorDlg::lowOhm() const { return (m_device.settings().featureMask() & FEATURE_LOW_OHM_LEVEL) != 0; }

LevelThresholds CFuelSensorDlg::thresholds() const {
    LevelThresholds t{};
    for (size_t i = 0; i < t.size(); ++i)
        t[i] = static_cast<uint8_t>(m_edits[i]->value());
    return t;
}

void CFuelSensorDlg::setThresholds(const LevelThresholds& t) {
    for (size_t i = 0; i < t.size(); ++i)
        m_edits[i]->setValue(t[i]);
}

QString CFuelSensorDlg::sensorType() const { return m_types->currentText(); }

bool CFuelSensorDlg::timerActive() const { return m_timer->isActive(); }

void CFuelSensorDlg::fillTypes() {
    const QSignalBlocker block(m_types);
    m_types->clear();
    for (const LevelSensorType& t : levelSensorTypes(lowOhm()))
        m_types->addItem(QString::fromStdString(t.name));
}

void CFuelSensorDlg::selectMatchingType() {
    if (m_types->count() == 0)
        return;
    const QSignalBlocker block(m_types);
    m_types->setCurrentIndex(static_cast<int>(matchLevelSensorType(thresholds(), lowOhm())));
}

void CFuelSensorDlg::showReading(uint32_t reading) { m_reading->setText(QString::number(reading)); }

void CFuelSensorDlg::onRead() {
    uint32_t reading = 0;
    if (!m_device.readLevelValue(reading)) {
        zefMessageBox(this, QString::fromUtf8(MSG_LEVEL_READ_VALUE), QString(APP_CAPTION), EMsgStyle::Error);
        return;
    }
    LevelThresholds t{};
    if (!m_device.readLevelCalibration(t.data())) {
        zefMessageBox(this, QString::fromUtf8(MSG_LEVEL_READ_THRESHOLDS), QString(APP_CAPTION), EMsgStyle::Error);
        return;
    }
    showReading(reading);
    setThresholds(t);
    selectMatchingType();
    showNote(m_note, QString());
}

bool CFuelSensorDlg::onWrite() {
    const LevelThresholds t = thresholds();
    if (!levelThresholdsInOrder(t)) {
        zefMessageBox(this, QString::fromUtf8(MSG_LEVEL_ORDER));
        return false;
    }
    if (!m_device.writeLevelCalibration(t.data())) {
        zefMessageBox(this, QString::fromUtf8(MSG_LEVEL_WRITE), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    m_written = t;
    showNote(m_note, QStringLiteral("Progi wpisano do sterownika."));
    emit notice(QStringLiteral("Wpisano progi czujnika poziomu gazu do sterownika"));
    return true;
}

void CFuelSensorDlg::onFactory() {
    if (zefMessageBox(this, QString::fromUtf8(MSG_LEVEL_FACTORY_QUESTION), QString(APP_CAPTION),
                      EMsgStyle::Question) != EMsgResult::Yes)
        return;
    setThresholds(factoryLevelThresholds(lowOhm()));
    const QSignalBlocker block(m_types);
    m_types->setCurrentIndex(0); // "Czujnik AEB1050" heads the list
    showNote(m_note, QStringLiteral("Wstawiono progi fabryczne. Nie zostały jeszcze wpisane do sterownika — "
                                    "naciśnij „Wpisz”."));
}

void CFuelSensorDlg::onTypeSelected(int index) {
    m_timer->stop();
    const auto types = levelSensorTypes(lowOhm());
    if (index >= 0 && static_cast<size_t>(index) < types.size() && types[static_cast<size_t>(index)].hasFactorySet)
        setThresholds(types[static_cast<size_t>(index)].thresholds);
    m_timer->start();
}

void CFuelSensorDlg::onTimer() {
    // On a worker: on a dead line the read retries for seconds, which here held the
    // window at every tick. A failed read shows nothing; the next tick tries again.
    m_poll.start([this]() -> CBackgroundPoll::Finish {
        uint32_t reading = 0;
        if (!m_device.readLevelValue(reading)) return {};
        return [this, reading] { showLevel(reading); };
    });
}

void CFuelSensorDlg::waitReading() { m_poll.wait(); }

void CFuelSensorDlg::showLevel(uint32_t reading) {
    showReading(reading);
    const ELevel level = levelFromReading(reading, thresholds());
    if (level == ELevel::Reserve)
        m_blinkOn = !m_blinkOn;
    else
        m_blinkOn = false;
    const auto colours = levelLampColours(level, m_blinkOn);
    for (size_t i = 0; i < m_lamps.size(); ++i)
        paintField(m_lamps[i], colours[i]);
}

void CFuelSensorDlg::closeAsking(int result) {
    if (m_closing)
        return;
    m_closing = true;
    m_timer->stop();
    // Right after "Wpisz" the controller holds what the fields show: nothing to ask.
    const bool justWritten = m_written && *m_written == thresholds();
    if (!justWritten &&
        zefMessageBox(this, QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?"), QString(APP_CAPTION),
                      EMsgStyle::Question) == EMsgResult::Yes)
        guarded(this, "CFuelSensorDlg::OnOK()", [this] { onWrite(); });
    // The dialog closes also when the write was refused or failed.
    QDialog::done(result);
    m_closing = false;
}

} // namespace zefirel
