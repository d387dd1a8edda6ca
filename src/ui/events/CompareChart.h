#pragma once
/// The injection times of two recordings on one chart: recording A as the frame,
/// grid and its two series, recording B drawn over it in its own colours and moved
/// by an offset in samples that the installer shifts until the two drives line up.
/// Moving B costs a repaint only: B's chart keeps its series and looks at a window
/// moved the other way.

#include <QWidget>

#include <memory>
#include <vector>

#include "ui/chart/Chart.h"

namespace zefirel {

class CDiag;

/// The petrol and LPG injection times of one recording (petrol time on petrol and
/// on LPG in one series: the comparison is about the petrol computer's time).
class CCompareTimeChart : public CSeriesChart {
public:
    /// second: the colours of recording B.
    CCompareTimeChart(QWidget* parent, bool second);
    const char* GetName() const override { return "CCompareTimeChart"; }
    QString Unit() const override;
    std::vector<LegendEntry> Legend() const override;
    /// Its own x grid step: the window is the whole of both recordings.
    double XGrid() const override { return m_xGrid; }
    void SetOwnXGrid(double step) { m_xGrid = step; }

protected:
    void StartSeries(size_t n) override;
    void TakeSample(const CDiag& d, bool track) override;

private:
    bool m_second;
    double m_xGrid = 50;
};

class CCompareChartView : public QWidget {
    Q_OBJECT
public:
    explicit CCompareChartView(QWidget* parent = nullptr);
    ~CCompareChartView() override;

    /// The samples of both recordings (the window spans both; the offset stays).
    void setRecordings(const std::vector<CDiag>& a, const std::vector<CDiag>& b);
    /// Sample number of A at which B's sample 0 is drawn (may be negative).
    void setOffset(int samples);
    int offset() const { return m_offset; }
    CCompareTimeChart& chartA() const { return *m_a; }
    CCompareTimeChart& chartB() const { return *m_b; }
    /// The x window: from the first to the last sample of A and of B moved by the offset.
    double windowFirst() const { return m_first; }
    double windowLast() const { return m_last; }

signals:
    /// The arrow keys ask for another offset (Left/Right ±10 samples, with Shift ±1).
    void offsetStepRequested(int delta);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void placeWindow();

    std::unique_ptr<CCompareTimeChart> m_a;
    std::unique_ptr<CCompareTimeChart> m_b;
    uint32_t m_lastA = 0, m_lastB = 0;
    int m_offset = 0;
    double m_first = 0, m_last = 500;
};

} // namespace zefirel
