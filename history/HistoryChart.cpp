#include "HistoryChart.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>

#include <cmath>

namespace {

constexpr int kStripsHeight = 64;
constexpr double kWheelStep = 0.8; // one notch zooms in to 80 %

// The y of each strip: O2 on the upper half, CO2 on the lower.
constexpr double kO2Low = 1.15, kO2High = 1.85, kCo2Low = 0.15, kCo2High = 0.85;

QString timeFormat(qint64 span)
{
    constexpr qint64 day = 24LL * 3600 * 1000;
    if (span <= day)
        return QStringLiteral("dd.MM HH:mm");
    if (span <= 14 * day)
        return QStringLiteral("dd.MM HH:mm");
    return QStringLiteral("dd.MM.yyyy");
}

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

} // namespace

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
    : QWidget(parent), chart_(plainChart()), strips_(plainChart()),
      chartView_(new HistoryChartView(chart_, this)), stripsView_(new QChartView(strips_, this)),
      time_(new QDateTimeAxis), stripsTime_(new QDateTimeAxis), phAxis_(new QValueAxis),
      ppmAxis_(new QValueAxis), outputsAxis_(new QCategoryAxis)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(chartView_, 1);
    layout->addWidget(stripsView_);
    stripsView_->setFixedHeight(kStripsHeight);
    stripsView_->setRenderHint(QPainter::Antialiasing, false);
    stripsView_->setAttribute(Qt::WA_TransparentForMouseEvents);

    time_->setTickCount(7);
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(phAxis_, Qt::AlignLeft);
    chart_->addAxis(ppmAxis_, Qt::AlignRight);
    phAxis_->setLabelFormat(QStringLiteral("%.1f"));
    ppmAxis_->setLabelFormat(QStringLiteral("%.0f"));
    phAxis_->setLinePenColor(HistoryColours::kPh);
    ppmAxis_->setLinePenColor(HistoryColours::kPpm);
    ppmAxis_->setGridLineVisible(false);

    strips_->addAxis(stripsTime_, Qt::AlignBottom);
    strips_->addAxis(outputsAxis_, Qt::AlignLeft);
    stripsTime_->setVisible(false);
    outputsAxis_->setRange(0, 2);
    outputsAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    outputsAxis_->setGridLineVisible(false);
    outputsAxis_->setTruncateLabels(false);

    connect(chart_, &QChart::plotAreaChanged, this, [this] { alignStrips(); });

    chartView_->onZoom = [this](double x, double factor) { zoomAt(x, factor); };
    chartView_->onPan = [this](double dx) {
        const QRectF plot = chart_->plotArea();
        if (plot.width() > 0)
            setView(panned(view_, -qint64(dx / plot.width() * double(view_.span())), limits()));
    };
    chartView_->onSelect = [this](double x1, double x2) {
        const QRectF plot = chart_->plotArea();
        const qint64 a = timeAt(std::min(x1, x2), plot.left(), plot.width(), view_);
        const qint64 b = timeAt(std::max(x1, x2), plot.left(), plot.width(), view_);
        setView(zoomed({a, b}, a + (b - a) / 2, 1.0, limits()));
    };
    chartView_->onHover = [this](std::optional<double> x) {
        const QRectF plot = chart_->plotArea();
        if (!logs_ || !x || *x < plot.left() || *x > plot.right()) {
            emit hovered(QString());
            return;
        }
        const qint64 t = timeAt(*x, plot.left(), plot.width(), view_);
        const qint64 reach = std::max<qint64>(90 * 1000, view_.span() / std::max(1, columns()) * 3);
        const auto i = rowNear(logs_->rows(), t, reach);
        emit hovered(i ? readout(logs_->rows()[*i], language_) : QString());
    };
    setLanguage(Language::Polish);
    setMinimumSize(320, 200);
}

void HistoryChart::setLogs(const LogSet* logs)
{
    logs_ = logs;
    blocks_.build(logs_ ? logs_->rows() : std::vector<LogRow>());
    view_ = limits();
    redraw();
    emit viewChanged(view_);
}

void HistoryChart::dataChanged()
{
    blocks_.build(logs_ ? logs_->rows() : std::vector<LogRow>());
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
}

TimeRange HistoryChart::limits() const
{
    static const std::vector<LogRow> none;
    return allRows(logs_ ? logs_->rows() : none);
}

void HistoryChart::setView(const TimeRange& view)
{
    const TimeRange all = limits();
    view_ = view.span() >= all.span() ? all : panned(view, 0, all);
    redraw();
    emit viewChanged(view_);
}

int HistoryChart::columns() const { return std::max(1, int(std::lround(chart_->plotArea().width()))); }

void HistoryChart::zoomAt(double x, double factor)
{
    const QRectF plot = chart_->plotArea();
    setView(zoomed(view_, timeAt(x, plot.left(), plot.width(), view_), factor, limits()));
}

QLineSeries* HistoryChart::lineFromPool(std::vector<QLineSeries*>& pool, std::size_t i, const QPen& pen,
                                        bool ppm)
{
    if (i < pool.size())
        return pool[i];
    auto* s = new QLineSeries;
    s->setPen(pen);
    chart_->addSeries(s);
    s->attachAxis(time_);
    s->attachAxis(ppm ? ppmAxis_ : phAxis_);
    pool.push_back(s);
    return s;
}

QAreaSeries* HistoryChart::bandFromPool(std::size_t i)
{
    if (i < band_.size())
        return band_[i];
    auto* s = new QAreaSeries(new QLineSeries, new QLineSeries);
    s->setPen(Qt::NoPen);
    s->setBrush(HistoryColours::kBand);
    chart_->addSeries(s);
    s->attachAxis(time_);
    s->attachAxis(phAxis_);
    band_.push_back(s);
    return s;
}

void HistoryChart::fillLines(std::vector<QLineSeries*>& pool, const Segments& segments, const QPen& pen,
                             bool ppm)
{
    for (std::size_t i = 0; i < segments.size(); ++i) {
        QLineSeries* s = lineFromPool(pool, i, pen, ppm);
        if (s->pen() != pen)
            s->setPen(pen);
        s->replace(QList<QPointF>(segments[i].begin(), segments[i].end()));
    }
}

void HistoryChart::redraw()
{
    static const std::vector<LogRow> none;
    const std::vector<LogRow>& rows = logs_ ? logs_->rows() : none;
    const int n = columns();
    drawnColumns_ = n;
    const TimeRange v = view_;
    // Many rows a column make the lines zigzag within each column: a thin line without
    // antialiasing draws them at a fraction of the cost and looks the same.
    const auto [firstRow, lastRow] = rowsIn(rows, v);
    const bool dense = double(lastRow - firstRow) / n > 3;
    chartView_->setRenderHint(QPainter::Antialiasing, !dense);
    QPen phPen(HistoryColours::kPh, dense ? 1 : 2), ppmPen(HistoryColours::kPpm, 1);
    phPen.setCosmetic(dense);
    ppmPen.setCosmetic(true);

    const ChartLines lines = chartLines(rows, v, n, dense, &blocks_);
    const Segments &low = lines.bandLow, &high = lines.bandHigh, &alarmLow = lines.alarmLow,
                   &alarmHigh = lines.alarmHigh, &ppm = lines.ppm, &ph = lines.ph;

    // A change of the axes makes every line work out its shape again, and so does new points:
    // empty lines first, so the work is done once, for the new points.
    for (const auto* pool : {&ph_, &ppm_, &alarmLow_, &alarmHigh_})
        for (QLineSeries* s : *pool)
            if (s->count() > 0)
                s->clear();
    for (QAreaSeries* a : band_)
        if (a->upperSeries()->count() > 0) {
            a->upperSeries()->clear();
            a->lowerSeries()->clear();
        }

    // The pH axis shows the line, the band and the limits in view.
    double lo = INFINITY, hi = -INFINITY, ppmHigh = 0;
    for (const Segments* s : {&ph, &low, &high, &alarmLow, &alarmHigh})
        for (const Segment& seg : *s)
            for (const QPointF& p : seg)
                if (p.x() >= double(v.from) && p.x() <= double(v.to)) {
                    lo = std::min(lo, p.y());
                    hi = std::max(hi, p.y());
                }
    for (const Segment& seg : ppm)
        for (const QPointF& p : seg)
            ppmHigh = std::max(ppmHigh, p.y());
    if (!(lo <= hi)) {
        lo = 6;
        hi = 8;
    }
    lo = std::floor(lo * 10 - 1) / 10;
    hi = std::ceil(hi * 10 + 1) / 10;
    phAxis_->setRange(lo, hi);
    ppmAxis_->setRange(0, ppmHigh > 0 ? std::ceil(ppmHigh * 1.1) : 10);

    for (QDateTimeAxis* axis : {time_, stripsTime_}) {
        axis->setFormat(timeFormat(v.span()));
        axis->setRange(QDateTime::fromMSecsSinceEpoch(v.from), QDateTime::fromMSecsSinceEpoch(v.to));
    }
    // The band first, so the lines are drawn over it (series are drawn in the order added).
    for (std::size_t i = 0; i < low.size() && i < high.size(); ++i) {
        QAreaSeries* a = bandFromPool(i);
        a->lowerSeries()->replace(QList<QPointF>(low[i].begin(), low[i].end()));
        a->upperSeries()->replace(QList<QPointF>(high[i].begin(), high[i].end()));
    }
    const QPen alarm(HistoryColours::kAlarm, 1.2, Qt::DashLine);
    fillLines(alarmLow_, alarmLow, alarm, false);
    fillLines(alarmHigh_, alarmHigh, alarm, false);
    fillLines(ppm_, ppm, ppmPen, true);
    fillLines(ph_, ph, phPen, false);

    // A short "on" is widened to be seen; "off" gives way to it, so the order of drawing
    // does not matter.
    const auto o2On = outputIntervals(rows, v, n, Output::O2, OutputState::On);
    const auto co2On = outputIntervals(rows, v, n, Output::Co2, OutputState::On);
    fillStrip(o2On_, o2On, kO2Low, kO2High, HistoryColours::kO2On);
    fillStrip(co2On_, co2On, kCo2Low, kCo2High, HistoryColours::kCo2On);
    fillStrip(o2Off_, without(outputIntervals(rows, v, n, Output::O2, OutputState::Off), o2On), kO2Low,
              kO2High, HistoryColours::kOff);
    fillStrip(co2Off_, without(outputIntervals(rows, v, n, Output::Co2, OutputState::Off), co2On), kCo2Low,
              kCo2High, HistoryColours::kOff);
}

void HistoryChart::fillStrip(std::vector<QAreaSeries*>& pool, const std::vector<Interval>& intervals,
                             double low, double high, const QColor& colour)
{
    // The raster engine fills a path in time that grows with the square of its edges: a
    // year's daily stretches in one area take tens of ms, in areas of a few each well under one.
    constexpr std::size_t kPerArea = 12;
    std::size_t used = 0;
    for (std::size_t at = 0; at < intervals.size(); at += kPerArea, ++used) {
        if (used == pool.size()) {
            pool.push_back(new QAreaSeries(new QLineSeries, new QLineSeries));
            pool.back()->setPen(Qt::NoPen);
            pool.back()->setBrush(colour);
            strips_->addSeries(pool.back());
            pool.back()->attachAxis(stripsTime_);
            pool.back()->attachAxis(outputsAxis_);
        }
        const std::size_t end = std::min(intervals.size(), at + kPerArea);
        QList<QPointF> upper;
        upper.reserve(qsizetype(end - at) * 4);
        for (std::size_t i = at; i < end; ++i) {
            const Interval& in = intervals[i];
            upper << QPointF(double(in.from), low) << QPointF(double(in.from), high)
                  << QPointF(double(in.to), high) << QPointF(double(in.to), low);
        }
        pool[used]->upperSeries()->replace(upper);
        pool[used]->lowerSeries()->replace(
            {QPointF(double(intervals[at].from), low), QPointF(double(intervals[end - 1].to), low)});
    }
    for (std::size_t i = used; i < pool.size(); ++i) {
        pool[i]->upperSeries()->clear();
        pool[i]->lowerSeries()->clear();
    }
}

void HistoryChart::alignStrips()
{
    // The strips' time runs under the pH chart's: the same left and right edges.
    const QRectF plot = chart_->plotArea();
    const QRectF area(plot.left(), 2, plot.width(), kStripsHeight - 4);
    if (strips_->plotArea() != area)
        strips_->setPlotArea(area);
}

QRectF HistoryChart::plotArea() const { return chart_->plotArea().translated(chartView_->pos()); }

QRectF HistoryChart::stripsArea() const { return strips_->plotArea().translated(stripsView_->pos()); }

std::pair<double, double> HistoryChart::phAxisRange() const { return {phAxis_->min(), phAxis_->max()}; }

void HistoryChart::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    layOut();
}

void HistoryChart::layOut()
{
    if (layout())
        layout()->activate();
    // The charts lay out on posted events; run them, and draw again when the plot's width
    // changed (a render of a hidden widget resizes it again each time: nothing to draw then).
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        chart_->layout()->activate();
        alignStrips();
        strips_->layout()->activate();
        if (columns() == drawnColumns_)
            break;
        redraw();
    }
}

QImage HistoryChart::image()
{
    layOut();
    return grab().toImage();
}

bool HistoryChart::saveSvg(const QString& path)
{
    layOut();
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size());
    svg.setViewBox(rect());
    svg.setTitle(historyTexts(language_).title);
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    render(&painter);
    return painter.end();
}
