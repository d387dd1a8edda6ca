#pragma once
/// The five diagnostic charts: engine speed, injection times, pressures, LPG
/// temperature and lambda voltage, each over the shared window of sample numbers.

#include "ui/chart/Chart.h"

namespace zefirel {

/// Engine speed: the measurement's speed as dots (green on petrol, red on LPG) and
/// the controller's averaged speed as a blue line.
class CRPMChart : public CSeriesChart {
public:
    explicit CRPMChart(QWidget* parent);
    const char* GetName() const override { return "CRPMChart"; }
    QString Unit() const override;
    std::vector<LegendEntry> Legend() const override;

protected:
    AutoscaleState* Extremes() override;
    void StartSeries(size_t n) override;
    void TakeSample(const CDiag& d, bool track) override;
};

/// Injection times in ms: auxiliary time, petrol time (green on petrol, red on LPG)
/// and LPG time.
class CTimeChart : public CSeriesChart {
public:
    explicit CTimeChart(QWidget* parent);
    const char* GetName() const override { return "CTimeChart"; }
    QString Unit() const override;
    std::vector<LegendEntry> Legend() const override;

protected:
    AutoscaleState* Extremes() override;
    void StartSeries(size_t n) override;
    void TakeSample(const CDiag& d, bool track) override;
    double RoundBound(double v) const override;
    double BoundStep() const override { return 0.1; }
};

/// Pressures in kPa: second and differential channels on LPG, and 101 less the
/// third channel.
class CPressureChart : public CSeriesChart {
public:
    explicit CPressureChart(QWidget* parent);
    const char* GetName() const override { return "CPressureChart"; }
    QString Unit() const override;
    std::vector<LegendEntry> Legend() const override;

protected:
    AutoscaleState* Extremes() override;
    void StartSeries(size_t n) override;
    void TakeSample(const CDiag& d, bool track) override;
};

/// LPG temperature in °C (no autoscale).
class CTemprLPGChart : public CSeriesChart {
public:
    explicit CTemprLPGChart(QWidget* parent);
    const char* GetName() const override { return "CTemprLPGChart"; }
    QString Unit() const override;
    std::vector<LegendEntry> Legend() const override;

protected:
    void StartSeries(size_t n) override;
    void TakeSample(const CDiag& d, bool track) override;
};

/// Lambda probe voltage; autoscale only raises the top of the range.
class CLambdaChart : public CSeriesChart {
public:
    explicit CLambdaChart(QWidget* parent);
    const char* GetName() const override { return "CLambdaChart"; }
    QString Unit() const override;
    std::vector<LegendEntry> Legend() const override;

protected:
    AutoscaleState* Extremes() override;
    void StartSeries(size_t n) override;
    void TakeSample(const CDiag& d, bool track) override;
    bool ApplyExtremes(AutoscaleState& st) override;
    double BoundStep() const override { return 0.1; }
    bool FitKeepsBottom() const override { return true; }
};

} // namespace zefirel
