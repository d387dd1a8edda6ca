#include "ui/chart/SeriesCharts.h"

#include "diag/DiagUnits.h"
#include "link/Conversions.h"

namespace zefirel {

namespace {

/// Running extremes of each chart class at program start: maximum, minimum, minimum
/// after a reset (the pressure chart starts from a higher minimum than it returns to).
constexpr CSeriesChart::AutoscaleState RPM_START{0, 100000, 100000, 0};
constexpr CSeriesChart::AutoscaleState TIME_START{0, 100, 100, 0};
constexpr CSeriesChart::AutoscaleState PRESSURE_START{0, 10000, 100, 0};
constexpr CSeriesChart::AutoscaleState LAMBDA_START{0, 0, 0, 0};

/// The running extremes, shared by all charts of a class for the whole process.
CSeriesChart::AutoscaleState g_rpmExtremes = RPM_START;
CSeriesChart::AutoscaleState g_timeExtremes = TIME_START;
CSeriesChart::AutoscaleState g_pressureExtremes = PRESSURE_START;
CSeriesChart::AutoscaleState g_lambdaExtremes = LAMBDA_START;

bool PetrolMode(const CDiag& d) { return d.workState() == WORK_STATE_PETROL; }
bool Injecting(const CDiag& d) { return petrolMs(d) >= MIN_PETROL_MS; }

} // namespace

void CSeriesChart::ResetAutoscaleStates() {
    g_rpmExtremes = RPM_START;
    g_timeExtremes = TIME_START;
    g_pressureExtremes = PRESSURE_START;
    g_lambdaExtremes = LAMBDA_START;
}

// ---- CRPMChart -------------------------------------------------------------------

CRPMChart::CRPMChart(QWidget* parent) : CSeriesChart(parent) {
    SetLook({"Zmiany obrotów", "Próbki", "Obroty/min", 60, 10, 0, 8000, 2000, "%.0f", "%.0f"});
}

CSeriesChart::AutoscaleState* CRPMChart::Extremes() { return &g_rpmExtremes; }

void CRPMChart::StartSeries(size_t n) {
    MakeSeries({{CHART_RED, false}, {CHART_GREEN, false}, {CHART_BLUE, true}}, n);
}

void CRPMChart::TakeSample(const CDiag& d, bool track) {
    const double a = engineSpeed(d), b = engineSpeed(d.subRpmPeriod(0));
    if (!(b >= 100 && b <= 10000 && a >= 100)) return;
    const double no = d.sampleNo();
    const auto tag = static_cast<int32_t>(d.sampleNo());
    S(PetrolMode(d) ? 1 : 0).add(no, b, tag);
    S(2).add(no, a, tag);
    if (track) {
        Track(a);
        Track(b);
    }
}

// ---- CTimeChart ------------------------------------------------------------------

CTimeChart::CTimeChart(QWidget* parent) : CSeriesChart(parent) {
    SetLook({"Zmiany czasów otwarcia benz/LPG", "Próbki", "[ms]", 60, 10, 0, 40, 5, "%.0f", "%.1f"});
}

CSeriesChart::AutoscaleState* CTimeChart::Extremes() { return &g_timeExtremes; }
double CTimeChart::RoundBound(double v) const { return round1(v); }

void CTimeChart::StartSeries(size_t n) {
    MakeSeries({{CHART_GREY, true}, {CHART_GREEN, true}, {CHART_RED, true}, {CHART_BLUE, true}}, n);
}

void CTimeChart::TakeSample(const CDiag& d, bool track) {
    if (!Injecting(d)) return;
    const double no = d.sampleNo();
    const auto tag = static_cast<int32_t>(d.sampleNo());
    const double petrol = petrolMs(d), lpg = lpgMs(d);
    if (PetrolMode(d)) {
        S(1).add(no, petrol, tag);
    } else {
        S(0).add(no, auxMs(d), tag);
        S(2).add(no, petrol, tag);
    }
    S(3).add(no, lpg, tag);
    if (track) {
        Track(petrol);
        Track(lpg);
    }
}

// ---- CPressureChart --------------------------------------------------------------

CPressureChart::CPressureChart(QWidget* parent) : CSeriesChart(parent) {
    SetLook({"Zmiany ciśnienia", "Próbki", "P [kPa]", 60, 10, 0, 250, 50, "%.0f", "%.0f"});
}

CSeriesChart::AutoscaleState* CPressureChart::Extremes() { return &g_pressureExtremes; }

void CPressureChart::StartSeries(size_t n) {
    MakeSeries({{CHART_GREY, true}, {CHART_RED, true}, {CHART_BLACK, true}}, n);
}

void CPressureChart::TakeSample(const CDiag& d, bool track) {
    if (!Injecting(d)) return;
    const double no = d.sampleNo();
    const auto tag = static_cast<int32_t>(d.sampleNo());
    const double differential = differentialPressure(d);
    if (!PetrolMode(d)) {
        S(0).add(no, pressure2(d), tag);
        S(1).add(no, differential, tag);
    }
    const double third = 101 - pressure3(d);
    if (third < 101) S(2).add(no, third, tag);
    if (track && differential != 0) Track(differential);
}

// ---- CTemprLPGChart --------------------------------------------------------------

CTemprLPGChart::CTemprLPGChart(QWidget* parent) : CSeriesChart(parent) {
    SetLook({"Zmiany temperatury", "Próbki", "T. LPG [C]", 60, 10, 0, 100, 10, "%.0f", "%.0f"});
}


void CTemprLPGChart::StartSeries(size_t n) { MakeSeries({{CHART_RED, true}}, n); }

void CTemprLPGChart::TakeSample(const CDiag& d, bool) {
    if (!Injecting(d)) return;
    S(0).add(d.sampleNo(), lpgTemperature(d), static_cast<int32_t>(d.sampleNo()));
}

// ---- CLambdaChart ----------------------------------------------------------------

CLambdaChart::CLambdaChart(QWidget* parent) : CSeriesChart(parent) {
    SetLook({"Sonda Lambda", "Próbki", "[V]", 60, 10, 0, 5, 1, "%.0f", "%.1f"});
}

CSeriesChart::AutoscaleState* CLambdaChart::Extremes() { return &g_lambdaExtremes; }

void CLambdaChart::StartSeries(size_t n) { MakeSeries({{CHART_RED, true}}, n); }

void CLambdaChart::TakeSample(const CDiag& d, bool track) {
    if (!Injecting(d)) return;
    const double volts = lambdaVolts(d);
    S(0).add(d.sampleNo(), volts, static_cast<int32_t>(d.sampleNo()));
    if (track) TrackMax(volts);
}

bool CLambdaChart::ApplyExtremes(AutoscaleState& st) {
    if (!(st.max > YMin())) return false;
    // Only the top moves; the stored maximum itself stays as measured.
    const double top = round1(st.max * 1.1);
    if (!(top > YMin())) return false;
    SetYRange(YMin(), top);
    SetYGrid((top - YMin()) / 10);
    return true;
}

} // namespace zefirel
