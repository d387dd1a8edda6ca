#include "ui/map/MapView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "diag/DeviceDoc.h"
#include "diag/Recording.h"
#include "map/InjMap.h"
#include "map/MapWrite.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/map/InjMapDlg.h"
#include "ui/map/MapGrid.h"
#include "ui/support/BackgroundWork.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WaitDlg.h"
#include "ui/support/WriteGate.h"
#include "ui/support/WriteResultBox.h"

namespace zefirel {

namespace {

/// Runs a button's work; an error object shows where + a line break + its text,
/// anything else where + "catch(...)".
template <class F>
void catching(QWidget* parent, const char* where, F&& f) {
    try {
        f();
    } catch (IError* e) {
        const auto owned = adoptError(e);
        zefMessageBox(parent, QString::fromUtf8(where) + QLatin1Char('\n') + (owned ? qstr(owned->format()) : QString()));
    } catch (...) {
        showCatchAll(parent, where);
    }
}

void showFailure(QWidget* parent, const char* text) {
    zefMessageBox(parent, QString::fromUtf8(text), QString(APP_CAPTION), EMsgStyle::Error);
}

} // namespace

CMapView::CMapView(CDeviceDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("mapView"));
    m_grid = new CMapGrid(this);
    m_create = namedButton(this, QStringLiteral("Utwórz mapę..."), "mapCreateButton");
    m_read = namedButton(this, QStringLiteral("Wczytaj"), "mapReadButton");
    m_write = namedButton(this, QStringLiteral("Wpisz"), "mapWriteButton");
    m_clear = namedButton(this, QStringLiteral("Kasuj"), "mapClearButton");
    m_chart = namedButton(this, QStringLiteral("Pokaż wykres..."), "mapChartButton");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_create, m_read, m_write, m_clear, m_chart})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_grid, 1);
    lay->addLayout(buttons);

    connect(m_create, &QPushButton::clicked, this, &CMapView::OnBtnCreate);
    connect(m_read, &QPushButton::clicked, this, &CMapView::onReadClicked);
    connect(m_write, &QPushButton::clicked, this, &CMapView::OnBtnWrite);
    connect(m_clear, &QPushButton::clicked, this, &CMapView::OnBtnClear);
    connect(m_chart, &QPushButton::clicked, this, &CMapView::OnBtnChart);
    updateConnection();
}

void CMapView::updateConnection() {
    const bool connected = writeAllowed(m_doc);
    // A controller new to the pane (plugged in late, or after a lost line) has its
    // map read first while the pane is shown: a grid never read would write 100
    // into every cell the installer did not touch.
    if (connected && isVisible() && !m_gridOwned && m_readOn != m_doc.connectionNumber() && !m_reading) OnBtnRead();
    m_read->setEnabled(connected);
    m_write->setEnabled(connected && (m_gridOwned || m_readOn == m_doc.connectionNumber()));
}

void CMapView::initialUpdate() {
    updateConnection();
    if (!m_doc.isVersionOk()) return;
    CWaitDlg wait(QString::fromUtf8(WAIT_MAP_READ));
    wait.showCentred();
    OnBtnRead();
}

bool CMapView::readAndShow() {
    bool ok = false;
    MapBytes bytes{};
    const uint64_t connection = m_doc.connectionNumber();
    {
        m_reading = true;
        CWaitCursor cursor;
        runInBackground([&] { ok = readMapBytes(m_doc, bytes); });
        m_reading = false;
    }
    if (!ok) {
        showFailure(this, MSG_MAP_READ_FAILED);
        return false;
    }
    m_controllerBytes = bytes;
    m_grid->setTexts(mapTextsOfBytes(bytes));
    m_readOn = connection;
    m_gridOwned = false;
    return true;
}

void CMapView::OnBtnRead() {
    catching(this, "CMapView::OnBtnRead()", [&] { readAndShow(); });
    updateConnection();
}

bool CMapView::gridDiffersFromController() const {
    // Compared as the bytes "Wpisz" would send: a grid never filled (all empty) and
    // nothing read yet hold nothing to lose.
    return m_grid->bytes() != m_controllerBytes;
}

void CMapView::onReadClicked() {
    if (gridDiffersFromController() &&
        zefMessageBox(this, QString::fromUtf8(MSG_MAP_REPLACE_QUESTION), QString(APP_CAPTION), EMsgStyle::Question) !=
            EMsgResult::Yes)
        return;
    OnBtnRead();
}

void CMapView::OnBtnWrite() {
    catching(this, "CMapView::OnBtnWrite()", [&] {
        const MapBytes bytes = m_grid->bytes();
        const SettingsWriteRequest request = mapWriteRequest(m_doc, bytes, EWriteSource::Map);
        SettingsWriteResult result;
        {
            CWaitCursor cursor;
            CWaitDlg wait(QString::fromUtf8(WAIT_MAP_WRITE));
            wait.setWindowModality(Qt::ApplicationModal);
            wait.showCentred();
            runInBackground([&] { result = m_doc.commitSettings(request); });
        }
        const WriteTexts texts{QStringLiteral("Nie powiodło się wpisanie ustawień do urządzenia!"),
                               QString::fromUtf8(MSG_WRITE_NO_CAR_DATA)};
        if (showWriteResult(this, result, texts)) {
            m_controllerBytes = bytes;
            m_readOn = m_doc.connectionNumber();
            m_gridOwned = false;
            // The restart that makes the controller read its map leaves the car on
            // petrol. Queued: it follows the write's own notice, which is queued too.
            if (result.mapWritten || result.resetBefore)
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        emit notice(QStringLiteral("Wpisano mapę wtrysków. Sterownik pracuje na benzynie"));
                    },
                    Qt::QueuedConnection);
        }
    });
    updateConnection();
}

void CMapView::OnBtnClear() {
    m_grid->setTexts(MapTexts{});
    m_gridOwned = true;
    updateConnection();
}

std::string CMapView::chooseRecording(const QString& title) {
    m_doc.resetDataFolder();
    m_doc.slowRefresh();
    const QString path = CDeviceDocUi::askFile(this, false, qstr(m_doc.dataFolder()),
                                               QString::fromUtf8(RECORDING_FILTER), QStringLiteral("txt"), title);
    m_doc.normalRefresh();
    if (path.isEmpty()) return {};
    m_doc.setDataFolderFromFile(path.toStdString());
    return path.toStdString();
}

void CMapView::showComputed(const MapResult& result) {
    m_grid->setTexts(mapTextsOfResult(result));
    m_grid->setBasis(result);
    m_gridOwned = true;
    updateConnection();
}

void CMapView::OnBtnCreate() {
    const std::string path = chooseRecording(QStringLiteral("Utwórz mapę — wybierz nagranie jazdy na benzynie i LPG, "
                                                            "z którego obliczyć mapę"));
    if (path.empty()) return;
    catching(this, "CMapView::OnBtnCreate()", [&] {
        MapResult result;
        RecordingReadStats stats;
        const MapUnits units = MapUnits::current();
        {
            CWaitCursor cursor;
            runInBackground([&] {
                CInjMap recording(path);
                recording.load();
                stats = recording.stats();
                result = computeMap(recording.samples(), units);
            });
        }
        showComputed(result);
        showRecordingDamage(this, path, stats);
    });
}

void CMapView::OnBtnChart() {
    const std::string path = chooseRecording(QStringLiteral("Pokaż wykres — wybierz nagranie, którego czasy wtrysku "
                                                            "pokazać względem obciążenia"));
    if (path.empty()) return;
    catching(this, "CMapView::OnBtnChart()", [&] {
        CInjMap recording(path);
        {
            // Slow while the recording loads; the chart window restores the normal
            // refresh when it opens, or this handler when loading fails.
            m_doc.slowRefresh();
            CWaitCursor cursor;
            try {
                runInBackground([&] { recording.load(); });
            } catch (...) {
                m_doc.normalRefresh();
                throw;
            }
        }
        showRecordingDamage(this, path, recording.stats());
        CInjMapDlg dlg(recording.samples(), &m_doc, this, qstr(path));
        dlg.exec();
    });
}

} // namespace zefirel
