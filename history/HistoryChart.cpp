#include "HistoryChart.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QDir>
#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kStripsHeight = 64;
constexpr double kWheelStep = 0.8; // one notch zooms in to 80 %

// The y of each strip in the outputs axis' units: O2 on the upper half, CO2 on the lower.
constexpr double kO2Low = 1.15, kO2High = 1.85, kCo2Low = 0.15, kCo2High = 0.85;

QChart* plainChart()
{
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->hide();
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

void setTicks(QValueAxis* axis, const ValueTicks& t)
{
    axis->setRange(t.low, t.high);
    axis->setTickAnchor(t.low);
    axis->setTickInterval(t.step);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(t.decimals));
}

// Device pixels a pixel of what the painter paints on (2 on a screen at 200 %, or in an export
// at twice the pixels): the lines and strips are worked out for each device pixel column.
double deviceRatio(const QPainter& painter)
{
    const QTransform t = painter.deviceTransform();
    return std::hypot(t.m11(), t.m12());
}

// The device pixel columns of a plot of that width.
int deviceColumns(const QPainter& painter, const QRectF& plot)
{
    return std::max(1, int(std::lround(plot.width() * deviceRatio(painter))));
}

// An upward triangle over (x, y): the value is above what is drawn.
void drawAboveMark(QPainter& painter, double x, double y)
{
    const QPointF mark[] = {{x - 4, y - 3}, {x + 4, y - 3}, {x, y - 10}};
    painter.drawPolygon(mark, 3);
}

} // namespace

class PlotLayer : public QGraphicsItem {
public:
    using Paint = std::function<void(QPainter&, const QRectF&)>;
    PlotLayer(QChart* chart, Paint paint) : QGraphicsItem(chart), chart_(chart), paint_(std::move(paint))
    {
        // Over the grid, under nothing else that is drawn within the plot area.
        setZValue(100);
    }
    QRectF boundingRect() const override { return area_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
    {
        painter->save();
        painter->setClipRect(chart_->plotArea());
        paint_(*painter, chart_->plotArea());
        painter->restore();
    }
    void areaChanged()
    {
        if (area_ == chart_->plotArea())
            return;
        prepareGeometryChange();
        area_ = chart_->plotArea();
    }

private:
    QChart* chart_;
    Paint paint_;
    QRectF area_;
};

class ChartHeader : public QWidget {
public:
    explicit ChartHeader(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }
    std::function<void(Series)> onToggle;

    void setTexts(const QString& title, const QString& range, const std::array<QString, kSeriesCount>& series)
    {
        title_ = title;
        range_ = range;
        series_ = series;
        update();
    }
    void setRange(const QString& range)
    {
        range_ = range;
        update();
    }
    void setShown(const std::array<bool, kSeriesCount>& shown)
    {
        shown_ = shown;
        update();
    }
    QString title() const { return title_; }
    QString range() const { return range_; }
    // The legend's entries laid out in rows for a width.
    std::array<QRect, kSeriesCount> entries(int width) const
    {
        std::array<QRect, kSeriesCount> out;
        const QFontMetrics fm = fontMetrics();
        const int h = fm.height();
        int x = kMargin, y = kMargin + h + kRowGap;
        for (std::size_t i = 0; i < kSeriesCount; ++i) {
            const int w = kSwatch + 5 + fm.horizontalAdvance(series_[i]);
            if (x > kMargin && x + w > width - kMargin) {
                x = kMargin;
                y += h + kRowGap;
            }
            out[i] = QRect(x, y, w, h);
            x += w + 16;
        }
        return out;
    }

    // The height the title and the legend take at a width.
    int heightFor(int width) const { return entries(width).back().bottom() + 1 + kMargin; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QFontMetrics fm = fontMetrics();
        QFont bold = font();
        bold.setBold(true);
        const int rangeWidth = fm.horizontalAdvance(range_);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(width() - kMargin - rangeWidth, kMargin, rangeWidth, fm.height()), Qt::AlignRight,
                   range_);
        p.setFont(bold);
        const int titleWidth = std::max(0, width() - 2 * kMargin - rangeWidth - 16);
        p.drawText(QRect(kMargin, kMargin, titleWidth, fm.height()), Qt::AlignLeft,
                   QFontMetrics(bold).elidedText(title_, Qt::ElideRight, titleWidth));
        p.setFont(font());
        const auto entries = this->entries(width());
        for (std::size_t i = 0; i < kSeriesCount; ++i) {
            const QRect r = entries[i];
            // A hidden series: its sample faint, its name grey.
            p.setOpacity(shown_[i] ? 1.0 : 0.25);
            drawSwatch(p, Series(i), QRectF(r.left(), r.top() + 2, kSwatch, r.height() - 4));
            p.setOpacity(1);
            p.setPen(shown_[i] ? palette().color(QPalette::WindowText) : QColor(0xa0, 0xa0, 0xa0));
            p.drawText(r.adjusted(kSwatch + 5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, series_[i]);
        }
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        const auto entries = this->entries(width());
        for (std::size_t i = 0; i < kSeriesCount; ++i)
            if (entries[i].contains(e->position().toPoint()) && onToggle)
                onToggle(Series(i));
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        const auto entries = this->entries(width());
        const bool over = std::any_of(entries.begin(), entries.end(),
                                      [&](const QRect& r) { return r.contains(e->position().toPoint()); });
        setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

private:
    static constexpr int kMargin = 4, kRowGap = 3, kSwatch = 22;

    // The series' own look, small.
    static void drawSwatch(QPainter& p, Series s, const QRectF& r)
    {
        const double y = r.center().y();
        switch (s) {
        case Series::Ph:
            p.setPen(QPen(HistoryColours::kPh, 2));
            p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
            break;
        case Series::Ppm:
            p.setPen(QPen(HistoryColours::kPpm, 1.5));
            p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
            break;
        case Series::Alarm:
            p.setPen(QPen(HistoryColours::kAlarm, 1.2, Qt::DashLine));
            p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
            break;
        case Series::Range:
            p.fillRect(r, HistoryColours::kBand);
            break;
        case Series::O2:
            p.fillRect(r, HistoryColours::kO2On);
            break;
        case Series::Co2:
            p.fillRect(r, HistoryColours::kCo2On);
            break;
        }
    }
    QString title_, range_;
    std::array<QString, kSeriesCount> series_;
    std::array<bool, kSeriesCount> shown_{true, true, true, true, true, true};
};

HistoryChartView::HistoryChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent)
{
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    setRubberBand(QChartView::NoRubberBand);
}

void HistoryChartView::wheelEvent(QWheelEvent* e)
{
    const double steps = e->angleDelta().y() / 120.0;
    if (steps != 0 && onZoom)
        onZoom(e->position().x(), std::pow(kWheelStep, steps));
    e->accept();
}

void HistoryChartView::mousePressEvent(QMouseEvent* e)
{
    start_ = last_ = e->position();
    if (onPress)
        onPress();
    const bool select = e->button() == Qt::RightButton ||
                        (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier));
    if (select) {
        drag_ = Drag::Select;
        if (!band_)
            band_ = new QRubberBand(QRubberBand::Rectangle, this);
        band_->setGeometry(QRect(start_.toPoint(), QSize(1, height())));
        band_->show();
    } else if (e->button() == Qt::LeftButton) {
        drag_ = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
    e->accept();
}

void HistoryChartView::mouseMoveEvent(QMouseEvent* e)
{
    const QPointF p = e->position();
    if (drag_ == Drag::Pan && onPan) {
        onPan(p.x() - last_.x());
    } else if (drag_ == Drag::Select && band_) {
        const QRectF plot = chart()->plotArea();
        band_->setGeometry(QRectF(QPointF(std::min(p.x(), start_.x()), plot.top()),
                                  QPointF(std::max(p.x(), start_.x()), plot.bottom()))
                               .toRect());
    }
    last_ = p;
    if (onHover)
        onHover(p.x());
    e->accept();
}

void HistoryChartView::mouseReleaseEvent(QMouseEvent* e)
{
    if (drag_ == Drag::Select) {
        if (band_)
            band_->hide();
        if (std::abs(e->position().x() - start_.x()) >= 3 && onSelect)
            onSelect(start_.x(), e->position().x());
    }
    drag_ = Drag::None;
    unsetCursor();
    e->accept();
}

void HistoryChartView::leaveEvent(QEvent* e)
{
    if (onHover)
        onHover(std::nullopt);
    QChartView::leaveEvent(e);
}

HistoryChart::HistoryChart(QWidget* parent)
    : QWidget(parent), header_(new ChartHeader(this)), chart_(plainChart()), stripsChart_(plainChart()),
      chartView_(new HistoryChartView(chart_, this)), stripsView_(new QChartView(stripsChart_, this)),
      time_(new QCategoryAxis), phAxis_(new QValueAxis), ppmAxis_(new QValueAxis),
      outputsAxis_(new QCategoryAxis),
      linesLayer_(new PlotLayer(chart_, [this](QPainter& p, const QRectF& plot) { paintLines(p, plot); })),
      stripsLayer_(
          new PlotLayer(stripsChart_, [this](QPainter& p, const QRectF& plot) { paintStrips(p, plot); }))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addWidget(chartView_, 1);
    layout->addWidget(stripsView_);
    stripsView_->setFixedHeight(kStripsHeight);
    stripsView_->setRenderHint(QPainter::Antialiasing, false);
    stripsView_->setAttribute(Qt::WA_TransparentForMouseEvents);

    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(phAxis_, Qt::AlignLeft);
    chart_->addAxis(ppmAxis_, Qt::AlignRight);
    time_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    time_->setTruncateLabels(false);
    for (QValueAxis* axis : {phAxis_, ppmAxis_})
        axis->setTickType(QValueAxis::TicksDynamic);
    phAxis_->setLinePenColor(HistoryColours::kPh);
    ppmAxis_->setLinePenColor(HistoryColours::kPpm);
    ppmAxis_->setGridLineVisible(false);

    stripsChart_->addAxis(outputsAxis_, Qt::AlignLeft);
    outputsAxis_->setRange(0, 2);
    outputsAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    outputsAxis_->setGridLineVisible(false);
    outputsAxis_->setTruncateLabels(false);

    connect(chart_, &QChart::plotAreaChanged, this, [this] {
        alignStrips();
        linesLayer_->areaChanged();
        // The ticks follow the plot's size; laid out again after this change is done.
        if (tickBudget() != budget_)
            QMetaObject::invokeMethod(
                this, [this] { updateAxes(); }, Qt::QueuedConnection);
    });
    connect(stripsChart_, &QChart::plotAreaChanged, this, [this] { stripsLayer_->areaChanged(); });

    shown_.fill(true);
    header_->onToggle = [this](Series s) { setSeriesShown(s, !seriesShown(s)); };
    chartView_->onPress = [this] { lastGesture_ = Gesture::None; };
    chartView_->onZoom = [this](double x, double factor) { zoomAt(x, factor); };
    chartView_->onPan = [this](double dx) {
        const QRectF plot = chart_->plotArea();
        if (plot.width() > 0)
            navigate(panned(view_, -qint64(dx / plot.width() * double(view_.span())), limits()),
                     Gesture::Pan);
    };
    chartView_->onSelect = [this](double x1, double x2) {
        const QRectF plot = chart_->plotArea();
        const qint64 a = timeAt(std::min(x1, x2), plot.left(), plot.width(), view_);
        const qint64 b = timeAt(std::max(x1, x2), plot.left(), plot.width(), view_);
        navigate(zoomed({a, b}, a + (b - a) / 2, 1.0, limits()), Gesture::Other);
    };
    chartView_->onHover = [this](std::optional<double> x) {
        pointer_ = x;
        updateCursor();
    };
    setLanguage(Language::Polish);
    setMinimumSize(320, 200);
    updateAxes();
}

const std::vector<LogRow>& HistoryChart::rows() const
{
    static const std::vector<LogRow> none;
    return logs_ ? logs_->rows() : none;
}

void HistoryChart::setLogs(const LogSet* logs)
{
    logs_ = logs;
    blocks_.build(rows());
    ++version_;
    view_ = limits();
    undo_.clear();
    lastGesture_ = Gesture::None;
    setLanguage(language_); // the title names the folders
    changed();
}

void HistoryChart::dataChanged()
{
    blocks_.build(rows());
    ++version_;
    setView(view_);
}

void HistoryChart::setLanguage(Language language)
{
    language_ = language;
    const HistoryTexts& t = historyTexts(language);
    phAxis_->setTitleText(t.ph);
    ppmAxis_->setTitleText(t.ppm);
    for (const QString& label : outputsAxis_->categoriesLabels())
        outputsAxis_->remove(label);
    outputsAxis_->append(t.co2, 1);
    outputsAxis_->append(t.o2, 2);
    // The title says whose logs these are: an exported picture stands alone.
    QString title = t.title;
    if (logs_ && !logs_->folders().isEmpty()) {
        QStringList names;
        for (const QString& folder : logs_->folders())
            names << QDir(folder).dirName();
        title += QStringLiteral(" · ") + names.join(QStringLiteral(", "));
    }
    header_->setTexts(title, rangeText(view_), t.series);
    header_->setToolTip(t.legendHint);
    header_->setFixedHeight(header_->heightFor(width()));
    updateCursor();
}

TimeRange HistoryChart::limits() const { return allRows(rows()); }

TimeRange HistoryChart::clamped(const TimeRange& view) const
{
    const TimeRange all = limits();
    return view.span() >= all.span() ? all : panned(view, 0, all);
}

void HistoryChart::setView(const TimeRange& view)
{
    view_ = clamped(view);
    changed();
}

void HistoryChart::navigate(const TimeRange& view) { navigate(view, Gesture::Other); }

void HistoryChart::navigate(const TimeRange& view, Gesture gesture)
{
    const TimeRange next = clamped(view);
    if (next == view_)
        return;
    const bool sameGesture =
        gesture == lastGesture_ && (gesture == Gesture::Wheel || gesture == Gesture::Pan);
    if (!sameGesture) {
        constexpr std::size_t kMostSteps = 200;
        if (undo_.size() == kMostSteps)
            undo_.erase(undo_.begin());
        undo_.push_back(view_);
    }
    lastGesture_ = gesture;
    view_ = next;
    changed();
}

bool HistoryChart::undo()
{
    if (undo_.empty())
        return false;
    const TimeRange back = undo_.back();
    undo_.pop_back();
    lastGesture_ = Gesture::None;
    setView(back);
    return true;
}

void HistoryChart::setSeriesShown(Series series, bool shown)
{
    shown_[std::size_t(series)] = shown;
    header_->setShown(shown_);
    // The pH axis spans what is shown.
    updateAxes();
    linesLayer_->update();
    stripsLayer_->update();
}

QRect HistoryChart::legendEntry(Series series) const
{
    return header_->entries(header_->width())[std::size_t(series)].translated(header_->pos());
}

QString HistoryChart::titleShown() const { return header_->title(); }
QString HistoryChart::rangeShown() const { return header_->range(); }

std::optional<qint64> HistoryChart::cursor() const
{
    return cursor_ ? std::optional(cursor_->time) : std::nullopt;
}

void HistoryChart::updateCursor()
{
    const QRectF plot = chart_->plotArea();
    std::optional<LogRow> row;
    if (logs_ && pointer_ && *pointer_ >= plot.left() && *pointer_ <= plot.right()) {
        const qint64 t = timeAt(*pointer_, plot.left(), plot.width(), view_);
        const qint64 reach = std::max<qint64>(90 * 1000, view_.span() / std::max(1, columns()) * 3);
        if (const auto i = rowNear(logs_->rows(), t, reach))
            row = logs_->rows()[*i];
    }
    const bool moved = row.has_value() != cursor_.has_value() || (row && row->time != cursor_->time);
    cursor_ = row;
    if (moved) {
        linesLayer_->update();
        stripsLayer_->update();
    }
    if (pointer_ || moved)
        emit hovered(row ? readout(*row, language_) : QString());
}

void HistoryChart::changed()
{
    // Only the axes now; the lines are worked out when they are drawn, for the width then.
    updateAxes();
    linesLayer_->update();
    stripsLayer_->update();
    header_->setRange(rangeText(view_));
    // The pointer stays where it was, over another row.
    updateCursor();
    emit viewChanged(view_);
}

int HistoryChart::columns() const { return std::max(1, int(std::lround(chart_->plotArea().width()))); }

std::pair<int, int> HistoryChart::tickBudget() const
{
    const QRectF plot = chart_->plotArea();
    if (plot.width() <= 0 || plot.height() <= 0)
        return {8, 8};
    // A time label is about 100 pixels wide; a value label wants 40 pixels of height.
    return {std::clamp(int(plot.width() / 110), 2, 12), std::clamp(int(plot.height() / 40), 3, 10)};
}

void HistoryChart::updateAxes()
{
    budget_ = tickBudget();
    const auto [timeTickCount, valueTickCount] = budget_;
    const ChartExtents extents = chartExtents(rows(), view_, &blocks_);
    // The pH, the band and the alarm limits of the rows in view, as far as they are shown (all
    // of them when none is), and a margin.
    Extent ph{NAN, NAN};
    const auto widen = [&](Value v) {
        const Extent& e = extents.lines[std::size_t(v)];
        if (std::isnan(e.low))
            return;
        ph.low = std::isnan(ph.low) ? e.low : std::min(ph.low, e.low);
        ph.high = std::isnan(ph.high) ? e.high : std::max(ph.high, e.high);
    };
    if (seriesShown(Series::Ph))
        widen(Value::Ph);
    if (seriesShown(Series::Range))
        for (Value v : {Value::BandLow, Value::BandHigh})
            widen(v);
    if (seriesShown(Series::Alarm))
        for (Value v : {Value::AlarmLow, Value::AlarmHigh})
            widen(v);
    if (!seriesShown(Series::Ph) && !seriesShown(Series::Range) && !seriesShown(Series::Alarm))
        ph = extents.ph;
    double low = ph.low, high = ph.high;
    if (!(low <= high)) {
        low = 6;
        high = 8;
    }
    const double margin = std::max(0.05, (high - low) * 0.04);
    setTicks(phAxis_, valueTicks(low - margin, high + margin, valueTickCount));
    const double ppm = extents.ppm.high > 0 ? double(extents.ppm.high) * 1.05 : 10;
    setTicks(ppmAxis_, valueTicks(0, ppm, valueTickCount));

    const TimeTicks ticks = timeTicks(view_, timeTickCount);
    for (const QString& label : time_->categoriesLabels())
        time_->remove(label);
    // A tick on the view's first moment still ends a category.
    time_->setStartValue(double(view_.from) - 1);
    time_->setRange(double(view_.from), double(view_.to));
    for (qint64 t : ticks.at)
        time_->append(QDateTime::fromMSecsSinceEpoch(t).toString(ticks.format), double(t));
}

void HistoryChart::zoomAt(double x, double factor)
{
    const QRectF plot = chart_->plotArea();
    navigate(zoomed(view_, timeAt(x, plot.left(), plot.width(), view_), factor, limits()), Gesture::Wheel);
}

void HistoryChart::paintLines(QPainter& painter, const QRectF& plot)
{
    const int n = deviceColumns(painter, plot);
    const TimeRange v = view_;
    if (lines_.view != v || lines_.columns != n || lines_.version != version_) {
        // Many rows a column make the lines zigzag within each column: their lowest and
        // highest alone, in a thin line without antialiasing, look the same at a fraction of
        // the cost.
        const auto [firstRow, lastRow] = rowsIn(rows(), v);
        lines_.dense = double(lastRow - firstRow) / n > 3;
        lines_.lines = chartLines(rows(), v, n, lines_.dense, &blocks_);
        lines_.phMarks = boundMarks(rows(), v, n, LogRow::kPhAbove, &blocks_);
        lines_.ppmMarks = boundMarks(rows(), v, n, LogRow::kPpmAbove, &blocks_);
        lines_.view = v;
        lines_.columns = n;
        lines_.version = version_;
    }
    if (v.span() <= 0)
        return;
    const double perMs = plot.width() / double(v.span());
    const double phLow = phAxis_->min(), phSpan = phAxis_->max() - phAxis_->min();
    const double ppmLow = ppmAxis_->min(), ppmSpan = ppmAxis_->max() - ppmAxis_->min();
    const auto x = [&](double t) { return plot.left() + (t - double(v.from)) * perMs; };
    const auto yPh = [&](double y) { return plot.bottom() - (y - phLow) / phSpan * plot.height(); };
    const auto yPpm = [&](double y) { return plot.bottom() - (y - ppmLow) / ppmSpan * plot.height(); };
    QPolygonF poly;
    const auto mapped = [&](const Segment& s, const auto& y, bool append) {
        if (!append)
            poly.clear();
        for (const QPointF& p : s)
            poly << QPointF(x(p.x()), y(p.y()));
    };
    const ChartLines& l = lines_.lines;

    // The band first, so the lines are drawn over it.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(HistoryColours::kBand);
    for (std::size_t i = 0; seriesShown(Series::Range) && i < l.bandLow.size() && i < l.bandHigh.size();
         ++i) {
        mapped(l.bandLow[i], yPh, false);
        Segment high(l.bandHigh[i].rbegin(), l.bandHigh[i].rend());
        mapped(high, yPh, true);
        painter.drawPolygon(poly);
    }
    painter.setBrush(Qt::NoBrush);

    const bool dense = lines_.dense;
    painter.setRenderHint(QPainter::Antialiasing, !dense);
    const auto draw = [&](const Segments& segments, const QPen& pen, const auto& y) {
        painter.setPen(pen);
        // In pieces: the stroker's time grows faster than the points of one line.
        for (const Segment& s : segments) {
            mapped(s, y, false);
            for (qsizetype at = 0; at + 1 < poly.size(); at += 32)
                painter.drawPolyline(poly.constData() + at, int(std::min<qsizetype>(33, poly.size() - at)));
        }
    };
    QPen alarm(HistoryColours::kAlarm, 1.2, Qt::DashLine);
    QPen ppm(HistoryColours::kPpm, 1), ph(HistoryColours::kPh, dense ? 1 : 2);
    ppm.setCosmetic(true);
    if (seriesShown(Series::Alarm)) {
        draw(l.alarmLow, alarm, yPh);
        draw(l.alarmHigh, alarm, yPh);
    }
    if (seriesShown(Series::Ppm))
        draw(l.ppm, ppm, yPpm);
    if (seriesShown(Series::Ph))
        draw(l.ph, ph, yPh);

    // Bounds: drawn at the bound, with a mark that the value was above it (one in ten pixels).
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const auto marks = [&](const std::vector<qint64>& times, const QColor& colour, double y) {
        painter.setBrush(colour);
        double next = -INFINITY;
        for (qint64 t : times)
            if (x(double(t)) >= next) {
                drawAboveMark(painter, x(double(t)), y);
                next = x(double(t)) + 10;
            }
    };
    if (seriesShown(Series::Ppm))
        marks(lines_.ppmMarks, HistoryColours::kPpm, yPpm(100));
    if (seriesShown(Series::Ph))
        marks(lines_.phMarks, HistoryColours::kPh, yPh(10));

    paintCursor(painter, plot);
    if (cursor_ && seriesShown(Series::Ph) && !std::isnan(cursor_->ph)) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(HistoryColours::kCursor);
        painter.drawEllipse(QPointF(x(double(cursor_->time)), yPh(cursor_->ph)), 4, 4);
    }
}

void HistoryChart::paintCursor(QPainter& painter, const QRectF& plot)
{
    if (!cursor_ || view_.span() <= 0)
        return;
    // A line through the row under the pointer, in the plot and the strips.
    const double x = std::round(xAt(cursor_->time, plot.left(), plot.width(), view_)) + 0.5;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(HistoryColours::kCursor, 1));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
}

void HistoryChart::paintStrips(QPainter& painter, const QRectF& plot)
{
    const int n = deviceColumns(painter, plot);
    const TimeRange v = view_;
    if (strips_.view != v || strips_.columns != n || strips_.version != version_) {
        strips_.shares = outputShares(rows(), v, n);
        strips_.view = v;
        strips_.columns = n;
        strips_.version = version_;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    const double columnWidth = plot.width() / n;
    const auto strip = [&](const std::vector<Share>& shares, double low, double high, const QColor& on) {
        const double top = plot.top() + (2 - high) / 2 * plot.height();
        const double bottom = plot.top() + (2 - low) / 2 * plot.height();
        const double height = bottom - top;
        // Per column: the part of its known time that the output was on, from the bottom up;
        // a little on stays a pixel. Runs of equal columns are one rectangle.
        const auto onHeight = [&](const Share& s) {
            if (s.known <= 0)
                return -1.0;
            const double h = std::round(double(s.on / s.known) * height);
            return s.on > 0 ? std::max(1.0, h) : 0.0;
        };
        for (std::size_t c = 0; c < shares.size();) {
            const double h = onHeight(shares[c]);
            std::size_t end = c + 1;
            while (end < shares.size() && onHeight(shares[end]) == h)
                ++end;
            if (h >= 0) {
                const double left = plot.left() + double(c) * columnWidth;
                const double width = double(end - c) * columnWidth;
                if (h < height)
                    painter.fillRect(QRectF(left, top, width, height - h), HistoryColours::kOff);
                if (h > 0)
                    painter.fillRect(QRectF(left, bottom - h, width, h), on);
            }
            c = end;
        }
    };
    if (seriesShown(Series::O2))
        strip(strips_.shares.o2, kO2Low, kO2High, HistoryColours::kO2On);
    if (seriesShown(Series::Co2))
        strip(strips_.shares.co2, kCo2Low, kCo2High, HistoryColours::kCo2On);
    paintCursor(painter, plot);
}

void HistoryChart::alignStrips()
{
    // The strips' time runs under the pH chart's: the same left and right edges.
    const QRectF plot = chart_->plotArea();
    const QRectF area(plot.left(), 2, plot.width(), kStripsHeight - 4);
    if (stripsChart_->plotArea() != area)
        stripsChart_->setPlotArea(area);
}

QRectF HistoryChart::plotArea() const { return chart_->plotArea().translated(chartView_->pos()); }

QRectF HistoryChart::stripsArea() const { return stripsChart_->plotArea().translated(stripsView_->pos()); }

std::pair<double, double> HistoryChart::phAxisRange() const { return {phAxis_->min(), phAxis_->max()}; }

void HistoryChart::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    layOut();
}

void HistoryChart::layOut()
{
    // The legend wraps to the width: its height first, then the charts get the rest.
    if (const int h = header_->heightFor(width()); h != header_->height() || h != header_->minimumHeight())
        header_->setFixedHeight(h);
    if (layout())
        layout()->activate();
    // The charts lay out on posted events; run them, and work the axes out again when the
    // plot's size asks for other ticks (which may move the plot's edges once more).
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        chart_->layout()->activate();
        alignStrips();
        stripsChart_->layout()->activate();
        linesLayer_->areaChanged();
        stripsLayer_->areaChanged();
        if (tickBudget() == budget_)
            break;
        updateAxes();
    }
}

QImage HistoryChart::image(qreal scale)
{
    // The picture of the rows, without the pointer's mark.
    const auto cursor = std::exchange(cursor_, std::nullopt);
    layOut();
    QImage out = scale > 0 ? renderAt(this, scale) : grab().toImage();
    cursor_ = cursor;
    return out;
}

QImage renderAt(QWidget* widget, qreal scale)
{
    // Opaque, on the widget's background, as grab() gives it.
    QImage out(widget->size() * scale, QImage::Format_RGB32);
    out.setDevicePixelRatio(scale);
    out.fill(widget->palette().color(widget->backgroundRole()));
    widget->render(&out);
    return out;
}

std::optional<QByteArray> HistoryChart::svg()
{
    layOut();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size());
    svg.setViewBox(rect());
    svg.setTitle(historyTexts(language_).title);
    QPainter painter;
    if (!painter.begin(&svg))
        return std::nullopt;
    const auto cursor = std::exchange(cursor_, std::nullopt);
    render(&painter);
    cursor_ = cursor;
    if (!painter.end())
        return std::nullopt;
    return buffer.data();
}
