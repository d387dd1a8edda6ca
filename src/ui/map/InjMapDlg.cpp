#include "ui/map/InjMapDlg.h"

#include <QFileInfo>
#include <QPainter>

#include "diag/DeviceDoc.h"
#include "ui/chart/XYCharts.h"

namespace zefirel {

namespace {
/// 581 × 380 dialog units of the 8-point dialog font.
constexpr int WIDTH_PX = 872, HEIGHT_PX = 618;
} // namespace

CInjMapDlg::CInjMapDlg(const std::vector<CDiag>& samples, CDeviceDoc* doc, QWidget* parent, const QString& recording)
    : QDialog(parent), m_chart(std::make_unique<CInjMapChart>(this)), m_doc(doc) {
    setObjectName(QStringLiteral("injMapDlg"));
    // "Mapa wtrysków" first, then what the points are and where they come from.
    QString title = QStringLiteral("Mapa wtrysków — czas wtrysku benzyny względem obciążenia, na benzynie i na LPG");
    if (!recording.isEmpty())
        title += QStringLiteral(" — ") + QFileInfo(recording).fileName();
    setWindowTitle(title);
    setSizeGripEnabled(true);
    resize(WIDTH_PX, HEIGHT_PX);
    m_chart->SetData(samples);
    m_chart->SetSize(size());
}

CInjMapDlg::~CInjMapDlg() = default;

void CInjMapDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    m_chart->SetSize(size());
    // The caller slowed the refresh while the recording loaded.
    if (m_doc && !m_refreshRestored) {
        m_refreshRestored = true;
        m_doc->normalRefresh();
    }
}

void CInjMapDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    m_chart->SetSize(size());
    update();
}

void CInjMapDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    m_chart->Draw(p);
}

} // namespace zefirel
