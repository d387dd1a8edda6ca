#pragma once
/// CChartOverview: the strip under the diagnostic chart that shows the whole
/// recording at a glance, the same series as the chart above squeezed into the
/// plot's width, with the window the chart shows marked on it. A click or a drag
/// on the strip moves the chart's window there (its width stays).

#include <QWidget>
#include <memory>

namespace zefirel {

class CDiagData;
class CSeriesChart;

/// Height of the overview strip in pixels.
inline constexpr int OVERVIEW_HEIGHT = 40;

class CChartOverview : public QWidget {
    Q_OBJECT
public:
    CChartOverview(const CDiagData& store, QWidget* parent = nullptr);
    ~CChartOverview() override;

    /// Shows the series of another chart kind (one of the "Wykres" choices).
    void setKind(int kind);
    /// Takes the samples the store gained since the last call (all of them after a
    /// clear of the store) and fits the strip's scale to the whole recording.
    void refresh();
    /// Forgets the samples (a new run begins).
    void reset();
    /// The horizontal extent of the chart's plot, which the strip lines up with.
    void setPlotSpan(int left, int width);
    /// The strip's own chart (the whole recording).
    const CSeriesChart& chart() const { return *m_chart; }
    /// The strip's rectangle of the window the chart shows.
    QRect windowMark() const;
    /// The sample number under a point of the strip.
    double sampleAt(int x) const;

signals:
    /// The installer clicked or dragged on the strip: centre the window on this sample.
    void centreRequested(double sample);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QRect plotRect() const;
    void layOut();

    const CDiagData& m_store;
    std::unique_ptr<CSeriesChart> m_chart;
    int m_kind = -1;
    int m_left = 0;
    int m_width = 0;
};

} // namespace zefirel
