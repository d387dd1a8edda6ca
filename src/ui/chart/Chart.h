#pragma once
/// The chart bases. A chart is a plain object without a window of its own: its owner
/// passes the client size, hands it data and lets it draw into a QPainter (a widget,
/// a QImage or a printer). CSeriesChart plots diagnostic samples against their sample
/// numbers over an x window shared by every series chart in the process; CXYChart
/// plots points of its own over its own x and y ranges.

#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ui/chart/ChartLegend.h"
#include "ui/chart/ChartMarks.h"
#include "ui/chart/ChartTypes.h"

class QFont;
class QPainter;
class QPen;
class QWidget;

namespace zefirel {

class CChartLod;
class CPixelLayer;
class CDiag;
class CDiagData;

/// What both chart bases share: layout, y range, fonts, grid, tick labels, y caption.
class CChart {
public:
    explicit CChart(QWidget* parent);
    virtual ~CChart();
    CChart(const CChart&) = delete;
    CChart& operator=(const CChart&) = delete;

    /// Class name ("CRPMChart", ...); it also names the chart's scale file.
    virtual const char* GetName() const = 0;
    /// Lays the chart out in a client area of this size; creates the fonts on first use.
    virtual void SetSize(const QSize& client);
    /// Draws frame, grid, tick labels, y caption and data.
    virtual void Draw(QPainter& dc) = 0;
    /// Tick text under a vertical grid line (the chart's x format, "%.2f" by default).
    virtual QString FormatXLabel(double x) const;
    /// Tick text left of a horizontal grid line (the chart's y format, "%.2f" by default).
    /// A plain "%.Nf" format gets extra decimals while the grid is finer than it shows.
    virtual QString FormatYLabel(double y) const;

    /// Current x range and grid step (shared by all series charts, own for XY charts).
    virtual double XMin() const = 0;
    virtual double XMax() const = 0;
    virtual double XGrid() const = 0;
    /// Value-to-pixel and pixel-to-value mappings of the plot area.
    virtual int XToPixel(double x) const = 0;
    virtual int YToPixel(double y) const = 0;
    virtual double PixelToX(int px) const;
    virtual double PixelToY(int py) const;

    /// The plot rectangle (L, T) .. (L + W, T + H + 2), right and bottom exclusive.
    QRect GetPlotRect() const;
    double Left() const { return m_left; }
    double Top() const { return m_top; }
    double PlotWidth() const { return m_width; }
    double PlotHeight() const { return m_height; }

    double YMin() const { return m_yMin; }
    double YMax() const { return m_yMax; }
    double YGrid() const { return m_yGrid; }
    double DefaultYMin() const { return m_defYMin; }
    double DefaultYMax() const { return m_defYMax; }
    /// Sets the current y range (no check: callers refuse crossed ranges themselves).
    void SetYRange(double yMin, double yMax) { m_yMin = yMin; m_yMax = yMax; }
    void SetYGrid(double step) { m_yGrid = step; }

    const QString& Title() const { return m_title; }
    const QString& XCaption() const { return m_xCaption; }
    const QString& YCaption() const { return m_yCaption; }
    QWidget* Parent() const { return m_parent; }
    /// True once SetSize has created the fonts.
    bool HasFonts() const { return m_tickFont != nullptr; }

protected:
    /// What a chart class sets up once: texts, margins, y defaults and tick formats.
    struct Look {
        const char* title;
        const char* xCaption;
        const char* yCaption;
        double left, top;           ///< margins of the plot area
        double yMin, yMax, yGrid;   ///< default y range and initial y grid step
        const char* xFormat;        ///< printf format of the x tick labels
        const char* yFormat;        ///< printf format of the y tick labels
    };
    /// Applies a chart class's look; the current y range starts at the defaults.
    void SetLook(const Look& look);
    void SetPlotSize(double w, double h) { m_width = w; m_height = h; }
    void SetOrigin(double left, double top) { m_left = left; m_top = top; }
    /// The left margin the chart class asks for.
    double LookLeft() const { return m_lookLeft; }
    /// The left margin that keeps every y tick label clear of the y caption and of
    /// the window's left edge.
    double LabelMargin();
    /// Frame, both grids with their tick labels, and the y caption. zeroPen, when
    /// given, draws the grid lines that fall on the value 0.
    void DrawFrameGridCaption(QPainter& dc, const QPen& framePen, const QPen& gridPen,
                              const QPen* zeroPen);
    /// Fraction-keeping form of the pixel-to-value maps (no rounding).
    double PlainPixelToX(int px) const;
    double PlainPixelToY(int py) const;
    void EnsureFonts();
    /// Appends the dot at (px, py): the footprint of a 3-pixel-wide stroke from
    /// (px, py) to (px + 1, py + 1), as two 3 × 3 squares to fill.
    static void PushDot(std::vector<QRect>& out, int px, int py) {
        out.emplace_back(px - 1, py - 1, 3, 3);
        out.emplace_back(px, py, 3, 3);
    }
    /// Truncates a pixel coordinate to int, clamped so that far-away values stay defined.
    static int ClampToInt(double v) {
        constexpr double LIMIT = 1e8;
        if (!(v == v)) return 0;  // NaN
        return static_cast<int>(v > LIMIT ? LIMIT : v < -LIMIT ? -LIMIT : v);
    }

private:
    void DrawYCaption(QPainter& dc);
    /// Sets the extra y decimals to the fewest (at most 4) that give every y grid line
    /// a label of its own.
    void FitYDecimals();

    QWidget* m_parent;
    double m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    double m_lookLeft = 0;
    QString m_title, m_xCaption, m_yCaption;
    double m_yGrid = 1.0;
    double m_yMin = 0, m_yMax = 1, m_defYMin = 0, m_defYMax = 1;
    const char* m_xFormat = "%.2f";
    const char* m_yFormat = "%.2f";
    int m_yExtraDecimals = 0;
    std::unique_ptr<QFont> m_tickFont;
    std::unique_ptr<QFont> m_captionFont;
};

/// Base of the five diagnostic charts: x is the sample number, the x window and x
/// grid are one set for the whole process.
class CSeriesChart : public CChart {
public:
    explicit CSeriesChart(QWidget* parent);
    ~CSeriesChart() override;

    const char* GetName() const override { return "CSeriesChart"; }
    /// Plot size = client size less the margins and 20 pixels on the right and bottom.
    /// The left margin grows where the y labels need more room than the class gives.
    void SetSize(const QSize& client) override;
    void Draw(QPainter& dc) override;
    /// Draws the series alone (no frame, grid or labels).
    void DrawSeries(QPainter& dc);
    /// Puts the plot area at this rectangle, whatever the client size (a strip that
    /// shows the series without labels).
    void SetPlotArea(const QRect& area);
    /// Gives this chart an x window of its own instead of the shared one.
    void SetOwnXWindow(double xMin, double xMax);
    /// The y range around the values of the samples in the x window shown (the
    /// class's autoscale margins and rounding, wide enough to hold every value);
    /// false when the class has no autoscale or no value is shown.
    bool FitYToWindow();
    /// The lowest and highest value of the points in the x window shown; false when
    /// there is none.
    bool ShownValueRange(double& low, double& high) const;
    /// The unit of the y values, as the status bar writes it after a value.
    virtual QString Unit() const { return QString(); }
    /// The legend of what the window shows: an entry whose every point shown is
    /// covered by a series drawn over it says under which; then one entry per kind
    /// of the marks in the window.
    std::vector<LegendEntry> ShownLegend() const;
    /// Events and markers drawn as labelled vertical lines over the series.
    void SetMarks(std::vector<ChartMark> marks);
    const CChartMarks& Marks() const { return m_marks; }
    /// Draws the marks of the window shown (labels at the top of the plot when asked).
    void DrawMarks(QPainter& dc, bool labels = true) const;

    /// Rebuilds the series from these samples (oldest first) and runs autoscale.
    void SetData(const std::vector<CDiag>& samples);
    /// The series over every sample of the store, copied out in blocks. When the chart
    /// was last given this same store and it has not been cleared since, only the
    /// samples added meanwhile are taken (the result is that of a full rebuild), so a
    /// growing store can be followed at the cost of its new samples.
    void SetData(const CDiagData& store);
    /// Empties the series list; the last sample number becomes 0.
    void Clear();
    /// Shared x window and this chart's y range back to their defaults, grids to tenths.
    void RestoreScale();
    /// Reads a scale file; returns false when it cannot be opened (nothing changes).
    bool LoadScale(const QString& path);
    /// Writes the y range and y grid to a scale file (whole, via a temporary file).
    bool SaveScale(const QString& path) const;
    /// Where this chart's scale file lives: the per-user data folder, GetName() + ".txt".
    QString ScaleFilePath() const;

    double XMin() const override { return m_ownWindow ? m_ownXMin : s_xMin; }
    double XMax() const override { return m_ownWindow ? m_ownXMax : s_xMax; }
    double XGrid() const override { return s_xGrid; }
    int XToPixel(double x) const override;
    int YToPixel(double y) const override;
    /// Values whose whole part exceeds 10 in magnitude come back rounded to integers.
    double PixelToX(int px) const override;
    double PixelToY(int py) const override;

    bool Autoscale() const { return m_autoscale; }
    void SetAutoscale(bool on) { m_autoscale = on; }
    /// Sample number of the newest sample handed to SetData (0 after Clear).
    int GetLastSampleNo() const { return m_lastSampleNo; }
    const std::vector<ChartSeries>& Series() const { return m_series; }
    /// When on (the default), columns crowded with points are drawn from their
    /// first, lowest, highest and last point only, and blocks of points inside one
    /// column from their summaries; both draw the same pixels as every point.
    void SetReduceDrawing(bool on) { m_reduce = on; }
    /// What each series colour of this chart shows, in series order.
    virtual std::vector<LegendEntry> Legend() const { return {}; }
    /// Bytes held by the level-of-detail summaries of all series.
    size_t SummaryBytes() const;

    /// The shared x window of every series chart.
    static void SetXWindow(double xMin, double xMax) { s_xMin = xMin; s_xMax = xMax; }
    static void SetXGridStep(double step) { s_xGrid = step; }
    static double SharedXMin() { return s_xMin; }
    static double SharedXMax() { return s_xMax; }
    /// Shared x window back to 0 .. 500 with grid 50.
    static void ResetXWindow();
    static double DefaultXMin() { return DEFAULT_X_MIN; }
    static double DefaultXMax() { return DEFAULT_X_MAX; }
    /// Tells autoscale whether live diagnostics are running (autoscale is idle during
    /// a file replay). Without a check installed autoscale stays idle.
    static void SetLiveCheck(std::function<bool()> isLive);
    /// Forgets every chart class's running extremes and call counts (as at start-up).
    static void ResetAutoscaleStates();

    /// Running extremes and SetData call count of one chart class.
    struct AutoscaleState {
        double max = 0;
        double min = 0;
        double minAfterReset = 0;
        int calls = 0;
        void reset() { max = 0; min = minAfterReset; calls = 0; }
    };

protected:
    /// The class's autoscale state, or nullptr when the class has none.
    virtual AutoscaleState* Extremes() { return nullptr; }
    /// Clears the series list and creates the class's series, room for n samples.
    virtual void StartSeries(size_t n) = 0;
    /// Adds the points of one sample; track says the sample counts for autoscale.
    virtual void TakeSample(const CDiag& d, bool track) = 0;
    /// Turns changed extremes into a new y range (the ×1.1 / ×0.9 rule).
    /// Returns true when the y range changed.
    virtual bool ApplyExtremes(AutoscaleState& st);
    /// Rounding of the autoscaled y bounds, and the step that rounding keeps.
    virtual double RoundBound(double v) const;
    virtual double BoundStep() const { return 1; }
    /// Whether a fitted range keeps its bottom (the lambda chart moves its top only).
    virtual bool FitKeepsBottom() const { return false; }

    /// Starts the series list afresh with these (colour, draw-line) series.
    void MakeSeries(std::initializer_list<std::pair<uint32_t, bool>> kinds, size_t n);
    ChartSeries& S(size_t i) { return m_series[i]; }
    /// Feeds a value into the running maximum and minimum / maximum only.
    void Track(double v);
    void TrackMax(double v);

private:
    /// Starts a SetData; keep says the series so far stay and only samples are added.
    void BeginData(size_t n, bool keep = false);
    void TakeBlock(const CDiag* d, size_t count, size_t firstIndex, size_t total);
    void EndData(size_t n, uint32_t lastNo);
    /// One pass of SetData(store); false when the store was cleared during it.
    bool TakeFromStore(const CDiagData& store);
    /// Forgets which store the series were built from: the next SetData(store) rebuilds.
    void ForgetSource() { m_source = nullptr; }
    struct Mapper;
    /// Draw one series' line or dots point by point, into the pixel layer when given.
    void DrawLine(QPainter& dc, CPixelLayer* layer, size_t index) const;
    void DrawDots(QPainter& dc, CPixelLayer* layer, size_t index) const;
    /// Reduced drawing of a sorted series from its summaries in one walk: draws the
    /// line when asked and returns the dots' squares when asked, to be painted once
    /// every line is drawn.
    std::vector<QRect> DrawSummarised(QPainter& dc, CPixelLayer* layer, size_t index, bool line, bool dots) const;
    void PaintDots(QPainter& dc, CPixelLayer* layer, size_t index, std::vector<QRect>& squares) const;
    /// The series part of ShownLegend.
    std::vector<LegendEntry> ShownSeriesLegend() const;
    /// Index range of the points of s whose x lies in the shared x window.
    std::pair<size_t, size_t> VisibleSpan(const ChartSeries& s) const;

    static constexpr double DEFAULT_X_MIN = 0;
    static constexpr double DEFAULT_X_MAX = 500;
    static double s_xMin, s_xMax, s_xGrid;
    static std::function<bool()> s_isLive;

    /// Lays the plot out in the client size, the left margin wide enough for the labels.
    void Layout();
    /// The class's autoscale state where this chart's data count for it.
    AutoscaleState* CountedExtremes();

    QSize m_client;
    bool m_fixedArea = false;
    bool m_ownWindow = false;
    double m_ownXMin = 0, m_ownXMax = 0;
    bool m_autoscale = false;
    int m_lastSampleNo = 0;
    std::vector<ChartSeries> m_series;
    std::vector<CChartLod> m_lods;  ///< one per series, same order
    /// The store the series were built from, its generation then and the samples taken.
    const CDiagData* m_source = nullptr;
    uint64_t m_sourceGeneration = 0;
    size_t m_taken = 0;
    bool m_reduce = true;
    CChartMarks m_marks;
    bool m_tracking = false;
    bool m_extremesChanged = false;
};

/// Base of the point charts: own x and y ranges, one list of coloured points.
class CXYChart : public CChart {
public:
    explicit CXYChart(QWidget* parent);
    ~CXYChart() override;

    const char* GetName() const override { return "CXYChart"; }
    /// Plot size = client size less the margins, 15 pixels right and 55 at the bottom.
    void SetSize(const QSize& client) override;
    void Draw(QPainter& dc) override;
    /// Draws the points inside both ranges as dots in their own colours.
    virtual void DrawData(QPainter& dc);

    /// Appends one point (drawn in its own colour).
    void AddPoint(const ChartPoint& p) { m_points.push_back(p); }
    /// Empties the point list.
    void Clear() { m_points.clear(); }
    const std::vector<ChartPoint>& Points() const { return m_points; }

    double XMin() const override { return m_xMin; }
    double XMax() const override { return m_xMax; }
    double XGrid() const override { return m_xGrid; }
    double DefaultXMin() const { return m_defXMin; }
    double DefaultXMax() const { return m_defXMax; }
    void SetXRange(double xMin, double xMax) { m_xMin = xMin; m_xMax = xMax; }
    void SetXGrid(double step) { m_xGrid = step; }
    int XToPixel(double x) const override;
    int YToPixel(double y) const override;

protected:
    /// Default and current x range and the x grid step.
    void SetXDefaults(double xMin, double xMax, double grid);
    bool InRanges(const ChartPoint& p) const;
    std::vector<ChartPoint>& PointList() { return m_points; }

private:
    double m_xMin = 0, m_xMax = 1, m_defXMin = 0, m_defXMax = 1, m_xGrid = 1;
    std::vector<ChartPoint> m_points;
};

} // namespace zefirel
