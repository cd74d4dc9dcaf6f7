#include "HistoryChart.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRubberBand>
#include <QVBoxLayout>
#ifdef TARLO_HAVE_SVG
#include <QSvgGenerator>
#endif

#include <algorithm>
#include <cmath>

namespace {

constexpr int kStripsHeight = 64;
constexpr double kWheelStep = 0.8; // one notch zooms in to 80 %

// The y of each strip in the outputs axis' units: O2 on the upper half, CO2 on the lower.
constexpr double kO2Low = 1.15, kO2High = 1.85, kCo2Low = 0.15, kCo2High = 0.85;

constexpr double kTick = 4;   // a tick's length out of the plot
constexpr double kMargin = 4; // around the chart

// A value axis' label: "," as the program writes its numbers.
QString valueLabel(double v, int decimals)
{
    if (std::abs(v) < 1e-12)
        v = 0; // no "-0,00"
    return QString::number(v, 'f', decimals).replace(u'.', u',');
}

// The labels of a value axis' ticks, from the bottom up, with their values.
std::vector<std::pair<double, QString>> valueLabels(const ValueTicks& t)
{
    std::vector<std::pair<double, QString>> out;
    if (!(t.step > 0))
        return out;
    const int n = int(std::lround((t.high - t.low) / t.step));
    for (int i = 0; i <= n; ++i) {
        const double v = t.low + i * t.step;
        out.emplace_back(v, valueLabel(v, t.decimals));
    }
    return out;
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

// The y of a value on an axis drawn over the plot's height.
double yOf(double v, const ValueTicks& t, const QRectF& plot)
{
    const double span = t.high - t.low;
    return span > 0 ? plot.bottom() - (v - t.low) / span * plot.height() : plot.center().y();
}

// An upward triangle over (x, y): the value is above what is drawn.
void drawAboveMark(QPainter& painter, double x, double y)
{
    const QPointF mark[] = {{x - 4, y - 3}, {x + 4, y - 3}, {x, y - 10}};
    painter.drawPolygon(mark, 3);
}

} // namespace

class StripsView : public QWidget {
public:
    explicit StripsView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }
    std::function<void(QPainter&)> onPaint;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (onPaint)
            onPaint(p);
    }
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

HistoryChartView::HistoryChartView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    // The keys of the window (a day, a week, undo) work from the chart: it takes the focus.
    setFocusPolicy(Qt::StrongFocus);
}

void HistoryChartView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (onPaint)
        onPaint(p);
}

void HistoryChartView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    if (onResize)
        onResize();
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
    setFocus(Qt::MouseFocusReason);
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
        const QRectF plot = plotArea ? plotArea() : QRectF(rect());
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
    QWidget::leaveEvent(e);
}

HistoryChart::HistoryChart(QWidget* parent)
    : QWidget(parent), header_(new ChartHeader(this)), chartView_(new HistoryChartView(this)),
      stripsView_(new StripsView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addWidget(chartView_, 1);
    layout->addWidget(stripsView_);
    stripsView_->setFixedHeight(kStripsHeight);
    setFocusProxy(chartView_);

    chartView_->onPaint = [this](QPainter& p) { paintPlot(p); };
    chartView_->onResize = [this] { updateAxes(); };
    chartView_->plotArea = [this] { return axes_.plot; };
    stripsView_->onPaint = [this](QPainter& p) { paintStripsView(p); };

    shown_.fill(true);
    header_->onToggle = [this](Series s) { setSeriesShown(s, !seriesShown(s)); };
    chartView_->onPress = [this] { lastGesture_ = Gesture::None; };
    chartView_->onZoom = [this](double x, double factor) { zoomAt(x, factor); };
    chartView_->onPan = [this](double dx) {
        const QRectF plot = axes_.plot;
        if (plot.width() > 0)
            navigate(panned(view_, -qint64(dx / plot.width() * double(view_.span())), limits()),
                     Gesture::Pan);
    };
    chartView_->onSelect = [this](double x1, double x2) {
        const QRectF plot = axes_.plot;
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
    updateAxes();
    stripsView_->update();
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
    stripsView_->update();
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
    const QRectF plot = axes_.plot;
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
        chartView_->update();
        stripsView_->update();
    }
    if (pointer_ || moved)
        emit hovered(row ? readout(*row, language_) : QString());
}

void HistoryChart::changed()
{
    // Only the axes now; the lines are worked out when they are drawn, for the width then.
    updateAxes();
    stripsView_->update();
    header_->setRange(rangeText(view_));
    // The pointer stays where it was, over another row.
    updateCursor();
    emit viewChanged(view_);
}

int HistoryChart::columns() const { return std::max(1, int(std::lround(axes_.plot.width()))); }

void HistoryChart::updateAxes()
{
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
    const double ppm = extents.ppm.high > 0 ? double(extents.ppm.high) * 1.05 : 10;

    // The height first: it sets the value ticks, whose labels set the room at the sides, which
    // sets the width and so the time ticks.
    const QFontMetricsF fm(chartView_->font());
    const QSizeF size = chartView_->size();
    const double top = kMargin + fm.height() / 2, bottom = kMargin + kTick + fm.height() + 2;
    const double height = std::max(1.0, size.height() - top - bottom);
    // A value label wants 40 pixels of height, a time label about 110 of width.
    const int valueTickCount = std::clamp(int(height / 40), 3, 10);
    axes_.ph = valueTicks(low - margin, high + margin, valueTickCount);
    axes_.ppm = valueTicks(0, ppm, valueTickCount);
    const auto side = [&](const ValueTicks& t) {
        double widest = 0;
        for (const auto& [v, label] : valueLabels(t))
            widest = std::max(widest, fm.horizontalAdvance(label));
        // The axis' title turned up the side, its labels, the ticks.
        return kMargin + fm.height() + 4 + widest + kTick + 3;
    };
    const double left = side(axes_.ph), right = side(axes_.ppm);
    const double width = std::max(1.0, size.width() - left - right);
    axes_.time = timeTicks(view_, std::clamp(int(width / 110), 2, 12));
    axes_.plot = QRectF(left, top, width, height);
    chartView_->update();
}

void HistoryChart::paintPlot(QPainter& painter)
{
    const QRectF plot = axes_.plot;
    painter.fillRect(chartView_->rect(), Qt::white);
    // The grid under the rows.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(HistoryColours::kGrid, 0));
    for (const auto& [v, label] : valueLabels(axes_.ph)) {
        const double y = std::round(yOf(v, axes_.ph, plot)) + 0.5;
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    for (qint64 t : axes_.time.at) {
        const double x = std::round(xAt(t, plot.left(), plot.width(), view_)) + 0.5;
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.save();
    painter.setClipRect(plot);
    paintLines(painter, plot);
    painter.restore();
    paintAxes(painter, plot);
    // A view with no rows says so, rather than looking like a chart that failed to draw.
    if (const auto [first, last] = rowsIn(rows(), view_); first == last) {
        painter.setPen(HistoryColours::kLabel);
        painter.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap, noRowsText(view_, language_));
    }
}

void HistoryChart::paintAxes(QPainter& painter, const QRectF& plot)
{
    const QFontMetricsF fm(chartView_->font());
    const HistoryTexts& t = historyTexts(language_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // The frame: pH on the left in its colour, CO2 on the right in its own, time at the bottom.
    painter.setPen(QPen(HistoryColours::kAxis, 0));
    painter.drawLine(QPointF(plot.left(), plot.bottom() + 0.5), QPointF(plot.right(), plot.bottom() + 0.5));
    painter.drawLine(QPointF(plot.left(), plot.top() + 0.5), QPointF(plot.right(), plot.top() + 0.5));
    const auto valueAxis = [&](const ValueTicks& ticks, double x, int direction, const QColor& colour,
                               const QString& title) {
        painter.setPen(QPen(colour, 0));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        double widest = 0;
        for (const auto& [v, label] : valueLabels(ticks)) {
            const double y = std::round(yOf(v, ticks, plot)) + 0.5;
            painter.setPen(QPen(colour, 0));
            painter.drawLine(QPointF(x, y), QPointF(x + direction * kTick, y));
            const double w = fm.horizontalAdvance(label);
            widest = std::max(widest, w);
            const double lx = direction < 0 ? x - kTick - 3 - w : x + kTick + 3;
            painter.setPen(HistoryColours::kLabel);
            painter.drawText(QRectF(lx, y - fm.height() / 2, w + 1, fm.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, label);
        }
        // The title turned along the axis, outside its labels.
        const double tx = direction < 0 ? x - kTick - 3 - widest - 4 - fm.height() / 2
                                        : x + kTick + 3 + widest + 4 + fm.height() / 2;
        painter.save();
        painter.translate(tx, plot.center().y());
        painter.rotate(direction < 0 ? -90 : 90);
        painter.setPen(colour);
        painter.drawText(QRectF(-plot.height() / 2, -fm.height() / 2, plot.height(), fm.height()),
                         Qt::AlignCenter, title);
        painter.restore();
    };
    valueAxis(axes_.ph, std::round(plot.left()) - 0.5, -1, HistoryColours::kPh, t.ph);
    valueAxis(axes_.ppm, std::round(plot.right()) + 0.5, 1, HistoryColours::kPpm, t.ppm);

    // The time labels centred under their ticks, kept within the widget, none over another.
    double free = 0;
    const double widgetRight = chartView_->width();
    for (qint64 at : axes_.time.at) {
        const double x = std::round(xAt(at, plot.left(), plot.width(), view_)) + 0.5;
        painter.setPen(QPen(HistoryColours::kAxis, 0));
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTick));
        const QString label = QDateTime::fromMSecsSinceEpoch(at).toString(axes_.time.format);
        const double w = fm.horizontalAdvance(label);
        const double lx = std::clamp(x - w / 2, 0.0, std::max(0.0, widgetRight - w - 1));
        if (lx < free)
            continue;
        painter.setPen(HistoryColours::kLabel);
        painter.drawText(QRectF(lx, plot.bottom() + kTick + 1, w + 1, fm.height()), Qt::AlignLeft, label);
        free = lx + w + 8;
    }
}

void HistoryChart::zoomAt(double x, double factor)
{
    const QRectF plot = axes_.plot;
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
    const auto x = [&](double t) { return plot.left() + (t - double(v.from)) * perMs; };
    const auto yPh = [&](double y) { return yOf(y, axes_.ph, plot); };
    const auto yPpm = [&](double y) { return yOf(y, axes_.ppm, plot); };
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
    QVector<QLineF> lines;
    const auto draw = [&](const Segments& segments, const QPen& pen, const auto& y) {
        painter.setPen(pen);
        if (pen.isCosmetic() && pen.widthF() <= 1 && pen.style() == Qt::SolidLine) {
            // A line of a device pixel: all the segments in one call, on the painter's fast path
            // for thin lines, however many gaps break them.
            lines.clear();
            for (const Segment& s : segments) {
                for (std::size_t i = 0; i + 1 < s.size(); ++i)
                    lines.append(QLineF(x(s[i].x()), y(s[i].y()), x(s[i + 1].x()), y(s[i + 1].y())));
                if (s.size() == 1) // a lone row is a dot
                    lines.append(QLineF(x(s[0].x()), y(s[0].y()), x(s[0].x()), y(s[0].y())));
            }
            painter.drawLines(lines);
            return;
        }
        // In pieces: the stroker's time grows faster than the points of one line.
        for (const Segment& s : segments) {
            mapped(s, y, false);
            for (qsizetype at = 0; at + 1 < poly.size(); at += 32)
                painter.drawPolyline(poly.constData() + at, int(std::min<qsizetype>(33, poly.size() - at)));
        }
    };
    QPen alarm(HistoryColours::kAlarm, 1.2, Qt::DashLine);
    // Dense lines a device pixel wide: at 200 % too, a pixel column of rows is a device pixel.
    QPen ppm(HistoryColours::kPpm, 1), ph(HistoryColours::kPh, dense ? 1 : 2);
    ppm.setCosmetic(true);
    ph.setCosmetic(dense);
    if (seriesShown(Series::Alarm)) {
        draw(l.alarmLow, alarm, yPh);
        draw(l.alarmHigh, alarm, yPh);
    }
    if (seriesShown(Series::Ppm))
        draw(l.ppm, ppm, yPpm);
    // The pH line stays within the plot: ">10" beyond the axis' top is drawn at the top edge.
    const double top = plot.top() + 0.5;
    const auto yPhWithin = [&](double v) { return std::max(top, yPh(v)); };
    if (seriesShown(Series::Ph))
        draw(l.ph, ph, yPhWithin);

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
        marks(lines_.phMarks, HistoryColours::kPh, std::max(plot.top() + 11, yPh(10)));

    paintCursor(painter, plot);
    if (cursor_ && seriesShown(Series::Ph) && !std::isnan(cursor_->ph)) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(HistoryColours::kCursor);
        painter.drawEllipse(QPointF(x(double(cursor_->time)), std::max(plot.top() + 4, yPh(cursor_->ph))), 4,
                            4);
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
        strips_.shares = outputShares(rows(), v, n, &blocks_);
        strips_.view = v;
        strips_.columns = n;
        strips_.version = version_;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const auto strip = [&](const std::vector<Share>& shares, double low, double high, const QColor& on) {
        const double top = plot.top() + (2 - high) / 2 * plot.height();
        const double bottom = plot.top() + (2 - low) / 2 * plot.height();
        // Per device pixel column: grey when off, the output's colour when on, and between them
        // as much of its colour as the part of the column's known time that it was on (a
        // little on or off still shows); nothing where there were no rows. One picture a
        // pixel high, stretched over the strip: one call however many columns.
        QImage line(int(shares.size()), 1, QImage::Format_ARGB32_Premultiplied);
        auto* pixel = reinterpret_cast<QRgb*>(line.scanLine(0));
        const QColor off = HistoryColours::kOff;
        for (std::size_t c = 0; c < shares.size(); ++c) {
            const Share& sh = shares[c];
            if (sh.known <= 0) {
                pixel[c] = 0;
                continue;
            }
            double part = std::clamp(double(sh.on / sh.known), 0.0, 1.0);
            if (part > 0 && part < 1)
                part = std::clamp(part, 0.15, 0.85);
            const auto mix = [&](int a, int b) { return int(std::lround(a + (b - a) * part)); };
            pixel[c] =
                qRgb(mix(off.red(), on.red()), mix(off.green(), on.green()), mix(off.blue(), on.blue()));
        }
        painter.drawImage(QRectF(plot.left(), top, plot.width(), bottom - top), line);
    };
    if (seriesShown(Series::O2))
        strip(strips_.shares.o2, kO2Low, kO2High, HistoryColours::kO2On);
    if (seriesShown(Series::Co2))
        strip(strips_.shares.co2, kCo2Low, kCo2High, HistoryColours::kCo2On);
    paintCursor(painter, plot);
}

// The strips' plot in their own widget: their time runs under the pH chart's, the same left
// and right edges.
QRectF HistoryChart::stripsPlot() const
{
    return QRectF(axes_.plot.left(), 2, axes_.plot.width(), kStripsHeight - 4);
}

void HistoryChart::paintStripsView(QPainter& painter)
{
    painter.fillRect(stripsView_->rect(), Qt::white);
    const QRectF plot = stripsPlot();
    painter.save();
    painter.setClipRect(plot);
    paintStrips(painter, plot);
    painter.restore();
    // Their names at the left, each beside its strip.
    const HistoryTexts& t = historyTexts(language_);
    const QFontMetricsF fm(stripsView_->font());
    painter.setPen(HistoryColours::kLabel);
    for (const auto& [name, low, high] :
         {std::tuple{t.o2, kO2Low, kO2High}, std::tuple{t.co2, kCo2Low, kCo2High}}) {
        const double y = plot.top() + (2 - (low + high) / 2) / 2 * plot.height();
        painter.drawText(QRectF(0, y - fm.height() / 2, plot.left() - kTick - 3, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, name);
    }
}

QRectF HistoryChart::plotArea() const { return axes_.plot.translated(chartView_->pos()); }

QRectF HistoryChart::stripsArea() const { return stripsPlot().translated(stripsView_->pos()); }

std::pair<double, double> HistoryChart::phAxisRange() const { return {axes_.ph.low, axes_.ph.high}; }

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
    updateAxes();
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

bool HistoryChart::hasSvg()
{
#ifdef TARLO_HAVE_SVG
    return true;
#else
    return false;
#endif
}

std::optional<QByteArray> HistoryChart::svg()
{
#ifdef TARLO_HAVE_SVG
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
#else
    return std::nullopt;
#endif
}

std::optional<QByteArray> HistoryChart::pdf()
{
    layOut();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        // One page the chart's size, a point a pixel.
        QPdfWriter pdf(&buffer);
        pdf.setTitle(titleShown());
        pdf.setCreator(historyTexts(language_).title);
        pdf.setResolution(72);
        pdf.setPageSize(QPageSize(QSizeF(size()), QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&pdf))
            return std::nullopt;
        const auto cursor = std::exchange(cursor_, std::nullopt);
        render(&painter);
        cursor_ = cursor;
        if (!painter.end())
            return std::nullopt;
    }
    return buffer.data();
}
