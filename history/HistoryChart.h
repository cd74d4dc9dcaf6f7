#pragma once

// The chart of a set of logs: pH with its range band and alarm limits, CO2 in PPM on a second
// axis, and the two outputs as on/off strips beneath, over the view's date and time.

#include "HistoryModel.h"
#include "Texts.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QRubberBand;

namespace HistoryColours {
inline const QColor kPh{0x15, 0x65, 0xc0};
inline const QColor kPpm{0xef, 0x8f, 0x00};
inline const QColor kBand{0x43, 0xa0, 0x47, 0x48};
inline const QColor kAlarm{0xd3, 0x2f, 0x2f};
inline const QColor kO2On{0x00, 0xac, 0xc1};
inline const QColor kCo2On{0x7c, 0xb3, 0x42};
inline const QColor kOff{0xe4, 0xe4, 0xe4};
inline const QColor kCursor{0x42, 0x42, 0x42};
inline const QColor kGrid{0xe6, 0xe6, 0xe6};
inline const QColor kAxis{0x9e, 0x9e, 0x9e};
inline const QColor kLabel{0x42, 0x42, 0x42};
} // namespace HistoryColours

// What the chart draws, each shown or hidden by a click on the legend.
enum class Series { Ph, Range, Alarm, Ppm, O2, Co2 };
inline constexpr std::size_t kSeriesCount = 6;

// The pH chart's widget: it paints what the chart draws (axes, grid, rows), and takes the mouse:
// the wheel zooms, a drag pans, a right-button or Shift drag selects a range to zoom to, a
// move reports the time under the pointer.
class HistoryChartView : public QWidget {
public:
    explicit HistoryChartView(QWidget* parent = nullptr);

    std::function<void(QPainter&)> onPaint;
    std::function<void()> onResize;
    std::function<QRectF()> plotArea;                     // where the rows are drawn
    std::function<void()> onPress;                        // a button went down: a new gesture
    std::function<void(double x, double factor)> onZoom;  // x in this widget's pixels
    std::function<void(double dx)> onPan;                 // pixels
    std::function<void(double x1, double x2)> onSelect;   // pixels
    std::function<void(std::optional<double> x)> onHover; // nothing when the pointer left

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    enum class Drag { None, Pan, Select } drag_ = Drag::None;
    QPointF last_, start_;
    QRubberBand* band_ = nullptr;
};

// The output strips under the pH chart, their time under its time.
class StripsView;
// The title, the view's date range and the legend over the plot.
class ChartHeader;

// A widget drawn into an image at `scale` device pixels a pixel, as a screen of that ratio
// would show it.
QImage renderAt(QWidget* widget, qreal scale);

class HistoryChart : public QWidget {
    Q_OBJECT
public:
    explicit HistoryChart(QWidget* parent = nullptr);

    // The rows drawn; not owned. Call dataChanged() when they changed.
    void setLogs(const LogSet* logs);
    void dataChanged();
    void setLanguage(Language language);

    TimeRange view() const { return view_; }
    // Summaries of the rows, for statistics() of a view.
    const RowBlocks& blocks() const { return blocks_; }
    // All the rows, the widest view.
    TimeRange limits() const;
    // Shows a view, within the limits.
    void setView(const TimeRange& view);
    // The same as the user's step: undo() goes back to the view before. The wheel's notches
    // in a row, and the moves of one drag, are one step.
    void navigate(const TimeRange& view);
    bool undo();
    bool canUndo() const { return !undo_.empty(); }

    void setSeriesShown(Series series, bool shown);
    bool seriesShown(Series series) const { return shown_[std::size_t(series)]; }
    // Where the legend's entry of a series is, in this widget's pixels.
    QRect legendEntry(Series series) const;
    // The title and the view's range over the chart.
    QString titleShown() const;
    QString rangeShown() const;

    // The row under the pointer, marked on the chart; nothing when there is none.
    std::optional<qint64> cursor() const;

    // The plot area of the pH chart in this widget's pixels.
    QRectF plotArea() const;
    // The output strips' plot area in this widget's pixels (O2 above CO2).
    QRectF stripsArea() const;
    // The pH axis' range: bottom and top of the plot area.
    std::pair<double, double> phAxisRange() const;
    // The device pixel columns the last frame was drawn for (twice the plot's width on a screen
    // at 200 %); 0 before the first.
    int drawnColumns() const { return lines_.columns; }

    // The chart as it is shown, at this widget's size: at the device pixel ratio of its screen,
    // or at `scale` device pixels a pixel (2: twice the pixels each way, drawn at them).
    QImage image(qreal scale = 0);
    // The chart as an SVG drawing; nothing when it could not be made, or where this build has
    // no SVG writer (hasSvg()).
    std::optional<QByteArray> svg();
    static bool hasSvg();
    // The chart as a PDF page of its size, drawn in lines and text; nothing when it failed.
    std::optional<QByteArray> pdf();

    // Lays the charts out now (the offscreen renderer has no event loop to wait for).
    void layOut();

    // The pH chart's view, which takes the mouse.
    QWidget* plotView() const { return chartView_; }

signals:
    void viewChanged(TimeRange view);
    void hovered(QString readout); // empty when the pointer is over no row; again when the view changed

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    const std::vector<LogRow>& rows() const;
    // The axes for the view and the plot's size: their ranges, ticks and labels, and the
    // plot area that leaves room for them.
    void updateAxes();
    void paintPlot(QPainter& painter);
    void paintAxes(QPainter& painter, const QRectF& plot);
    void changed(); // the view or the rows: draw again
    void paintLines(QPainter& painter, const QRectF& plot);
    void paintStrips(QPainter& painter, const QRectF& plot);
    void paintStripsView(QPainter& painter);
    QRectF stripsPlot() const;
    void zoomAt(double x, double factor);
    int columns() const;
    // The view after a change: within the limits, no wider than all the rows.
    TimeRange clamped(const TimeRange& view) const;
    enum class Gesture { None, Wheel, Pan, Other };
    void navigate(const TimeRange& view, Gesture gesture);
    // The row under the pointer's last place, again: the view or the rows changed under it.
    void updateCursor();
    void paintCursor(QPainter& painter, const QRectF& plot);

    const LogSet* logs_ = nullptr;
    Language language_ = Language::Polish;
    TimeRange view_;
    RowBlocks blocks_; // of rows(), built again by setLogs() and dataChanged()
    quint64 version_ = 0;
    struct Axes {
        QRectF plot; // in the chart view's pixels
        ValueTicks ph, ppm;
        TimeTicks time;
    } axes_;

    // What was drawn last, kept while the view, the width and the rows stay.
    struct Lines {
        TimeRange view;
        int columns = 0;
        quint64 version = 0;
        bool dense = false;
        ChartLines lines;
        std::vector<qint64> phMarks, ppmMarks;
    } lines_;
    struct Strips {
        TimeRange view;
        int columns = 0;
        quint64 version = 0;
        OutputShares shares;
    } strips_;

    std::array<bool, kSeriesCount> shown_;
    std::vector<TimeRange> undo_;
    Gesture lastGesture_ = Gesture::None;
    std::optional<double> pointer_; // x of the pointer over the plot, in the plot view's pixels
    std::optional<LogRow> cursor_;  // the row under it

    ChartHeader* header_;
    HistoryChartView* chartView_;
    StripsView* stripsView_;
};
