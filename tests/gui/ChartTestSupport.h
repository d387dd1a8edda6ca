#pragma once
// Helpers of the chart tests: a clean chart state per test, samples built from
// engineering values, and rendering into an image.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <vector>

#include "diag/Diag.h"
#include "link/Conversions.h"
#include "support/QtApp.h"
#include "ui/chart/Chart.h"

namespace zefirel::test {

/// Every chart test starts from the start-up state of the process-wide chart values.
class ChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        setTimerFrequency(DEFAULT_TIMER_FREQUENCY);
        CDiag::setExtendedLayout(false);
        CSeriesChart::ResetXWindow();
        CSeriesChart::ResetAutoscaleStates();
        CSeriesChart::SetLiveCheck(nullptr);
    }
    void TearDown() override {
        CSeriesChart::ResetXWindow();
        CSeriesChart::SetLiveCheck(nullptr);
    }
};

/// Ticks of the controller timer for a time in ms (F = 40 kHz).
inline uint16_t Ticks(double ms) { return static_cast<uint16_t>(std::lround(ms / tickLength())); }
/// Timer period in ticks for an engine speed in 1/min.
inline uint16_t Period(double rpm) { return static_cast<uint16_t>(std::lround(rpmConstant() / rpm)); }

/// A sample that injects (petrol time 5 ms, LPG 6 ms), in petrol or LPG mode.
inline CDiag Sample(uint32_t no, bool petrol = false) {
    CDiag d;
    d.setSampleNo(no);
    d.setWorkState(petrol ? 2 : 3);
    d.setPetrolTime(0, Ticks(5.0));
    d.setLpgExtraTime(0, Ticks(1.0));
    d.setRpmPeriod(Period(3000));
    d.setSubRpmPeriod(0, Period(2000));
    return d;
}

/// Lays the chart out in an image of this size and draws it on white.
inline QImage Render(CChart& chart, QSize size) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    chart.SetSize(size);
    QPainter p(&img);
    chart.Draw(p);
    p.end();
    return img;
}

inline QColor Pixel(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }

/// The chart's x window {min, max} and with its grid {min, max, grid}, to compare in one go.
inline std::vector<double> XRange(const CChart& c) { return {c.XMin(), c.XMax()}; }
inline std::vector<double> XScale(const CChart& c) { return {c.XMin(), c.XMax(), c.XGrid()}; }
/// The chart's y range {min, max} and with its grid {min, max, grid}.
inline std::vector<double> YRange(const CChart& c) { return {c.YMin(), c.YMax()}; }
inline std::vector<double> YScale(const CChart& c) { return {c.YMin(), c.YMax(), c.YGrid()}; }
/// Matches such a list value by value within rounding error.
inline auto Near(std::vector<double> want) { return ::testing::Pointwise(::testing::DoubleNear(1e-9), want); }

} // namespace zefirel::test
