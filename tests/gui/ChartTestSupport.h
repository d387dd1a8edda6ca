#pragma once
// Helpers of the chart tests: a clean chart state per test, samples built from
// engineering values, and rendering into an image.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>

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

} // namespace zefirel::test
