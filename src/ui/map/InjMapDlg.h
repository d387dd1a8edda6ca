#pragma once
/// CInjMapDlg: the modal, resizable window "Mapa wtrysków" that draws the injection
/// map scatter (CInjMapChart) of a loaded recording over its whole client area:
/// petrol-mode times below, LPG-mode times above, against the engine load.

#include <QDialog>
#include <memory>
#include <vector>

#include "diag/Diag.h"

namespace zefirel {

class CDeviceDoc;
class CInjMapChart;

class CInjMapDlg : public QDialog {
    Q_OBJECT
public:
    /// doc (may be null) gets its normal refresh back when the window opens; the
    /// title names what the chart shows and, when given, the recording's file.
    CInjMapDlg(const std::vector<CDiag>& samples, CDeviceDoc* doc, QWidget* parent = nullptr,
               const QString& recording = QString());
    ~CInjMapDlg() override;

    CInjMapChart& chart() const { return *m_chart; }

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    std::unique_ptr<CInjMapChart> m_chart;
    CDeviceDoc* m_doc;
    bool m_refreshRestored = false;
};

} // namespace zefirel
