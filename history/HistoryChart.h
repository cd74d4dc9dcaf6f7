#pragma once

// The chart of a set of logs: pH with its range band and alarm limits, CO2 in PPM on a second
// axis, and the two outputs as on/off strips beneath, over the view's date and time.

#include "HistoryModel.h"
#include "Texts.h"

#include <QChartView>
#include <QColor>
#include <QWidget>

#include <functional>
#include <vector>

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QRubberBand;
class QValueAxis;

namespace HistoryColours {
inline const QColor kPh{0x15, 0x65, 0xc0};
inline const QColor kPpm{0xef, 0x8f, 0x00};
inline const QColor kBand{0x43, 0xa0, 0x47, 0x48};
inline const QColor kAlarm{0xd3, 0x2f, 0x2f};
inline const QColor kO2On{0x00, 0xac, 0xc1};
inline const QColor kCo2On{0x7c, 0xb3, 0x42};
inline const QColor kOff{0xe4, 0xe4, 0xe4};
} // namespace HistoryColours

// The plot's view of the mouse: wheel zooms, a drag pans, a right-button or Shift drag
// selects a range to zoom to, a move reports the time under the pointer.
class HistoryChartView : public QChartView {
public:
    explicit HistoryChartView(QChart* chart, QWidget* parent = nullptr);

    std::function<void(double x, double factor)> onZoom;  // x in the plot's pixels
    std::function<void(double dx)> onPan;                 // pixels
    std::function<void(double x1, double x2)> onSelect;   // pixels
    std::function<void(std::optional<double> x)> onHover; // nothing when the pointer left

protected:
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

class HistoryChart : public QWidget {
    Q_OBJECT
public:
    explicit HistoryChart(QWidget* parent = nullptr);

    // The rows drawn; not owned. Call dataChanged() when they changed.
    void setLogs(const LogSet* logs);
    void dataChanged();
    void setLanguage(Language language);

    TimeRange view() const { return view_; }
    // All the rows, the widest view.
    TimeRange limits() const;
    void setView(const TimeRange& view);

    // The plot area of the pH chart in this widget's pixels.
    QRectF plotArea() const;
    // The output strips' plot area in this widget's pixels (O2 above CO2).
    QRectF stripsArea() const;
    // The pH axis' range: bottom and top of the plot area.
    std::pair<double, double> phAxisRange() const;

    // The chart as it is shown, at this widget's size.
    QImage image();
    bool saveSvg(const QString& path);

    // Lays the charts out now (the offscreen renderer has no event loop to wait for).
    void layOut();

    // The pH chart's view, which takes the mouse.
    QChartView* plotView() const { return chartView_; }

signals:
    void viewChanged(TimeRange view);
    void hovered(QString readout); // empty when the pointer is over no row

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void redraw();
    void alignStrips();
    QLineSeries* lineFromPool(std::vector<QLineSeries*>& pool, std::size_t i, const QPen& pen, bool ppm);
    QAreaSeries* bandFromPool(std::size_t i);
    void fillStrip(std::vector<QAreaSeries*>& pool, const std::vector<Interval>& intervals, double low,
                   double high, const QColor& colour);
    void fillLines(std::vector<QLineSeries*>& pool, const Segments& segments, const QPen& pen, bool ppm);
    void zoomAt(double x, double factor);
    int columns() const;

    const LogSet* logs_ = nullptr;
    Language language_ = Language::Polish;
    TimeRange view_;
    int drawnColumns_ = 0; // the plot's width at the last drawing
    RowBlocks blocks_;     // of logs_->rows(), built again by setLogs() and dataChanged()

    QChart* chart_;
    QChart* strips_;
    HistoryChartView* chartView_;
    QChartView* stripsView_;
    QDateTimeAxis* time_;
    QDateTimeAxis* stripsTime_;
    QValueAxis* phAxis_;
    QValueAxis* ppmAxis_;
    QCategoryAxis* outputsAxis_;
    std::vector<QLineSeries*> ph_, ppm_, alarmLow_, alarmHigh_;
    std::vector<QAreaSeries*> band_;
    // The strips; off is drawn first, on over it.
    std::vector<QAreaSeries*> o2Off_, co2Off_, o2On_, co2On_;
};
