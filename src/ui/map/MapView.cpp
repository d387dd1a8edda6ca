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
#include "ui/settings/BackgroundWork.h"
#include "ui/settings/MsgHelper.h"
#include "ui/settings/WaitDlg.h"

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
    connect(m_read, &QPushButton::clicked, this, &CMapView::OnBtnRead);
    connect(m_write, &QPushButton::clicked, this, &CMapView::OnBtnWrite);
    connect(m_clear, &QPushButton::clicked, this, &CMapView::OnBtnClear);
    connect(m_chart, &QPushButton::clicked, this, &CMapView::OnBtnChart);
    updateConnection();
}

void CMapView::updateConnection() {
    const bool connected = m_doc.isVersionOk();
    m_read->setEnabled(connected);
    m_write->setEnabled(connected);
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
    {
        CWaitCursor cursor;
        runInBackground([&] { ok = readMapBytes(m_doc, bytes); });
    }
    if (!ok) {
        showFailure(this, MSG_MAP_READ_FAILED);
        return false;
    }
    m_grid->setTexts(mapTextsOfBytes(bytes));
    return true;
}

void CMapView::OnBtnRead() {
    catching(this, "CMapView::OnBtnRead()", [&] { readAndShow(); });
}

void CMapView::OnBtnWrite() {
    catching(this, "CMapView::OnBtnWrite()", [&] {
        const MapBytes bytes = m_grid->bytes();
        EMapWrite result = EMapWrite::Ok;
        {
            CWaitCursor cursor;
            CWaitDlg wait(QString::fromUtf8(WAIT_MAP_WRITE));
            wait.setWindowModality(Qt::ApplicationModal);
            wait.showCentred();
            runInBackground([&] { result = writeMapVerified(m_doc, bytes); });
        }
        if (result != EMapWrite::Ok) showFailure(this, mapWriteMessage(result));
    });
}

void CMapView::OnBtnClear() {
    m_grid->setTexts(MapTexts{});
    std::fill_n(m_doc.settings().map(), MAP_BYTES, MAP_NO_CORRECTION);
}

std::string CMapView::chooseRecording() {
    m_doc.resetDataFolder();
    m_doc.slowRefresh();
    const QString path = CDeviceDocUi::askFile(this, false, qstr(m_doc.dataFolder()),
                                               QString::fromUtf8(RECORDING_FILTER), QStringLiteral("txt"),
                                               QStringLiteral("Wybierz nagranie jazdy na benzynie i LPG, "
                                                              "z którego obliczyć mapę"));
    m_doc.normalRefresh();
    if (path.isEmpty()) return {};
    m_doc.setDataFolderFromFile(path.toStdString());
    return path.toStdString();
}

void CMapView::showComputed(const MapResult& result) {
    m_grid->setTexts(mapTextsOfResult(result));
    m_grid->setBasis(result);
    std::copy(result.bytes.begin(), result.bytes.end(), m_doc.settings().map());
}

void CMapView::OnBtnCreate() {
    const std::string path = chooseRecording();
    if (path.empty()) return;
    catching(this, "CMapView::OnBtnCreate()", [&] {
        MapResult result;
        const MapUnits units = MapUnits::current();
        {
            CWaitCursor cursor;
            runInBackground([&] {
                CInjMap recording(path);
                recording.load();
                result = computeMap(recording.samples(), units);
            });
        }
        showComputed(result);
    });
}

void CMapView::OnBtnChart() {
    const std::string path = chooseRecording();
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
        CInjMapDlg dlg(recording.samples(), &m_doc, this);
        dlg.exec();
    });
}

} // namespace zefirel
