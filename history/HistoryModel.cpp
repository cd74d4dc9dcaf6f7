#include "HistoryModel.h"

#include "Log.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kDay = 24 * 60 * kMinute;
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

bool earlierThan(const LogRow& r, qint64 t) { return r.time < t; }

// How long a row stands for: until the next row, or a minute (the log's step) when the
// next is too far away to join.
qint64 rowDuration(const std::vector<LogRow>& rows, std::size_t i)
{
    if (i + 1 < rows.size()) {
        const qint64 d = rows[i + 1].time - rows[i].time;
        if (d <= kLogGapMs)
            return d;
        return std::min(d, kMinute);
    }
    return kMinute;
}

// The part of [start, start + duration) within the range.
qint64 clipped(qint64 start, qint64 duration, const TimeRange& range)
{
    const qint64 a = std::max(start, range.from), b = std::min(start + duration, range.to);
    return std::max<qint64>(0, b - a);
}

// Appends a point; a run at one level keeps only its ends (a setting that stays the same
// for a year is two points, not thousands, however it is decimated).
void append(Segment& s, const QPointF& p)
{
    const std::size_t n = s.size();
    if (n >= 2 && s[n - 1].y() == p.y() && s[n - 2].y() == p.y())
        s.back() = p;
    else if (n == 0 || s.back() != p)
        s.push_back(p);
}

// The first, lowest, highest and last point of one pixel column.
struct Column {
    int count = 0;
    qint64 firstT = 0, lowT = 0, highT = 0, lastT = 0;
    float firstV = 0, lowV = 0, highV = 0, lastV = 0;

    void add(qint64 t, float v)
    {
        if (count++ == 0) {
            firstT = lowT = highT = lastT = t;
            firstV = lowV = highV = lastV = v;
            return;
        }
        if (v < lowV) {
            lowV = v;
            lowT = t;
        } else if (v > highV) {
            highV = v;
            highT = t;
        }
        lastT = t;
        lastV = v;
    }
    void add(qint64 firstTime, qint64 lastTime, const RowBlocks::Line& b, int rows)
    {
        if (count == 0) {
            firstT = firstTime;
            firstV = b.first;
            lowT = b.lowTime;
            lowV = b.low;
            highT = b.highTime;
            highV = b.high;
        } else {
            if (b.low < lowV) {
                lowV = b.low;
                lowT = b.lowTime;
            }
            if (b.high > highV) {
                highV = b.high;
                highT = b.highTime;
            }
        }
        lastT = lastTime;
        lastV = b.last;
        count += rows;
    }
    void flushInto(Segment& out, bool envelope)
    {
        if (count == 0)
            return;
        const auto point = [](qint64 t, float v) { return QPointF(double(t), double(v)); };
        if (envelope && count > 1) {
            const bool lowFirst = lowT <= highT;
            append(out, lowFirst ? point(lowT, lowV) : point(highT, highV));
            append(out, lowFirst ? point(highT, highV) : point(lowT, lowV));
            count = 0;
            return;
        }
        append(out, point(firstT, firstV));
        if (count > 1) {
            const bool lowFirst = lowT <= highT;
            append(out, lowFirst ? point(lowT, lowV) : point(highT, highV));
            append(out, lowFirst ? point(highT, highV) : point(lowT, lowV));
            append(out, point(lastT, lastV));
        }
        count = 0;
    }
};

template <std::size_t N>
std::array<Segments, N> decimateValues(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                                       const std::array<Value, N>& values, bool envelope,
                                       const RowBlocks* blocks = nullptr)
{
    if (blocks && (N != 6 || blocks->rowCount() != rows.size()))
        blocks = nullptr;
    std::array<Segments, N> out;
    if (rows.empty() || columns <= 0 || range.span() <= 0)
        return out;
    auto [first, last] = rowsIn(rows, range);
    if (first > 0)
        --first;
    if (last < rows.size())
        ++last;
    const double perMs = double(columns) / double(range.span());
    struct Line {
        Column column;
        Segment segment;
        qint64 previous = 0;
    };
    std::array<Line, N> lines;
    // Rows before `boundary` are in the current column: one comparison a row.
    qint64 boundary = std::numeric_limits<qint64>::min();
    const auto endSegment = [&](std::size_t k) {
        Line& l = lines[k];
        l.column.flushInto(l.segment, envelope);
        if (!l.segment.empty())
            out[k].push_back(std::move(l.segment));
        l.segment = {};
    };
    // One pass over the rows for all the lines: a year of rows is read once a frame.
    for (std::size_t i = first; i < last; ++i) {
        const LogRow& r = rows[i];
        const bool nextColumn = r.time >= boundary;
        if (nextColumn) {
            const double c = std::floor(double(r.time - range.from) * perMs);
            boundary = range.from + qint64(std::ceil((c + 1) / perMs));
        }
        // A whole block within this column, with a value in each row and no gap: its summary.
        if (blocks && i % RowBlocks::kRows == 0 && i + RowBlocks::kRows <= last) {
            const RowBlocks::Block& b = blocks->blocks()[i / RowBlocks::kRows];
            bool whole = b.lastTime < boundary;
            for (std::size_t k = 0; k < N && whole; ++k)
                whole = b.lines[k].whole;
            if (whole) {
                for (std::size_t k = 0; k < N; ++k) {
                    Line& l = lines[k];
                    if ((l.column.count > 0 || !l.segment.empty()) && b.firstTime - l.previous > kLogGapMs)
                        endSegment(k);
                    else if (nextColumn)
                        l.column.flushInto(l.segment, envelope);
                    l.column.add(b.firstTime, b.lastTime, b.lines[k], int(RowBlocks::kRows));
                    l.previous = b.lastTime;
                }
                i += RowBlocks::kRows - 1;
                continue;
            }
        }
        for (std::size_t k = 0; k < N; ++k) {
            Line& l = lines[k];
            const float v = valueOf(r, values[k]);
            if (std::isnan(v)) {
                endSegment(k);
                continue;
            }
            if ((l.column.count > 0 || !l.segment.empty()) && r.time - l.previous > kLogGapMs)
                endSegment(k);
            else if (nextColumn)
                l.column.flushInto(l.segment, envelope);
            l.column.add(r.time, v);
            l.previous = r.time;
        }
    }
    for (std::size_t k = 0; k < N; ++k)
        endSegment(k);
    return out;
}

} // namespace

std::pair<std::size_t, std::size_t> rowsIn(const std::vector<LogRow>& rows, const TimeRange& range)
{
    const auto first = std::lower_bound(rows.begin(), rows.end(), range.from, earlierThan);
    const auto last = std::lower_bound(first, rows.end(), range.to + 1, earlierThan);
    return {std::size_t(first - rows.begin()), std::size_t(last - rows.begin())};
}

TimeRange allRows(const std::vector<LogRow>& rows)
{
    if (rows.empty())
        return {0, kMinSpanMs};
    TimeRange r{rows.front().time, rows.back().time};
    if (r.span() < kMinSpanMs) {
        const qint64 middle = r.from + r.span() / 2;
        r = {middle - kMinSpanMs / 2, middle + kMinSpanMs / 2};
    }
    // Out to whole ten minutes, hours or days, so the time axis ticks on round times.
    const qint64 unit = r.span() <= 2 * 3600 * 1000 ? 10 * kMinute
                        : r.span() <= 3 * kDay      ? 60 * kMinute
                                                    : kDay;
    const auto local = [](qint64 t) {
        return QDateTime::fromMSecsSinceEpoch(t).offsetFromUtc() * qint64(1000);
    };
    const auto down = [&](qint64 t) {
        const qint64 l = t + local(t);
        return l - ((l % unit) + unit) % unit - local(t);
    };
    const qint64 from = down(r.from);
    qint64 to = down(r.to);
    if (to < r.to)
        to = down(r.to + unit);
    return {from, to};
}

TimeRange presetRange(const std::vector<LogRow>& rows, Preset preset)
{
    const TimeRange all = allRows(rows);
    const qint64 span = preset == Preset::Day ? kDay : preset == Preset::Week ? 7 * kDay : 30 * kDay;
    if (preset == Preset::All || rows.empty())
        return all;
    return {all.to - span, all.to};
}

namespace {
TimeRange within(TimeRange r, const TimeRange& limits)
{
    const qint64 span = std::max(r.span(), kMinSpanMs);
    r.to = r.from + span;
    if (span >= limits.span())
        return r.from < limits.from || r.to > limits.to ? TimeRange{limits.from, limits.from + span} : r;
    if (r.from < limits.from)
        r = {limits.from, limits.from + span};
    if (r.to > limits.to)
        r = {limits.to - span, limits.to};
    return r;
}
} // namespace

TimeRange zoomed(const TimeRange& view, qint64 anchor, double factor, const TimeRange& limits)
{
    const qint64 span = std::max(kMinSpanMs, qint64(std::llround(double(view.span()) * factor)));
    const double at = view.span() > 0 ? double(anchor - view.from) / double(view.span()) : 0.5;
    const qint64 from = anchor - qint64(std::llround(at * double(span)));
    // Zooming out goes no wider than all the rows.
    if (span >= limits.span())
        return {limits.from, std::max(limits.to, limits.from + kMinSpanMs)};
    return within({from, from + span}, limits);
}

TimeRange panned(const TimeRange& view, qint64 delta, const TimeRange& limits)
{
    return within({view.from + delta, view.to + delta}, limits);
}

qint64 timeAt(double x, double left, double width, const TimeRange& range)
{
    if (width <= 0)
        return range.from;
    return range.from + qint64(std::llround((x - left) / width * double(range.span())));
}

double xAt(qint64 time, double left, double width, const TimeRange& range)
{
    if (range.span() <= 0)
        return left;
    return left + double(time - range.from) / double(range.span()) * width;
}

float valueOf(const LogRow& r, Value value)
{
    const bool band = !std::isnan(r.phMin) && !std::isnan(r.phMax);
    switch (value) {
    case Value::Ph:
        return r.ph;
    case Value::Ppm:
        return r.ppm;
    case Value::BandLow:
        return band ? r.phMin : kNoValue;
    case Value::BandHigh:
        return band ? r.phMax : kNoValue;
    case Value::AlarmLow:
        return r.phMin - r.alarm / 100;
    case Value::AlarmHigh:
        return r.phMax + r.alarm / 100;
    }
    return kNoValue;
}

Segments decimate(const std::vector<LogRow>& rows, const TimeRange& range, int columns, Value value,
                  bool envelope)
{
    return decimateValues<1>(rows, range, columns, {value}, envelope)[0];
}

namespace {
// The block's statistics and output times (below, beside statistics()).
void tallyBlock(const std::vector<LogRow>& rows, std::size_t at, RowBlocks::Block& b);
} // namespace

void RowBlocks::build(const std::vector<LogRow>& rows)
{
    rows_ = rows.size();
    blocks_.clear();
    blocks_.reserve(rows.size() / kRows);
    for (std::size_t at = 0; at + kRows <= rows.size(); at += kRows) {
        Block b;
        b.firstTime = rows[at].time;
        b.lastTime = rows[at + kRows - 1].time;
        bool joined = true;
        for (std::size_t i = at; i < at + kRows; ++i) {
            b.bounds |= rows[i].bounds;
            if (i > at)
                joined = joined && rows[i].time - rows[i - 1].time <= kLogGapMs;
        }
        for (std::size_t k = 0; k < b.lines.size(); ++k) {
            Line& line = b.lines[k];
            line.whole = joined;
            line.least = line.most = kNoValue;
            for (std::size_t i = at; i < at + kRows; ++i) {
                const float v = valueOf(rows[i], Value(k));
                if (std::isnan(v)) {
                    line.whole = false;
                    continue;
                }
                line.least = std::isnan(line.least) ? v : std::min(line.least, v);
                line.most = std::isnan(line.most) ? v : std::max(line.most, v);
                if (!line.whole) {
                    continue;
                } else if (i == at) {
                    line.first = line.low = line.high = v;
                    line.lowTime = line.highTime = rows[i].time;
                } else if (v < line.low) {
                    line.low = v;
                    line.lowTime = rows[i].time;
                } else if (v > line.high) {
                    line.high = v;
                    line.highTime = rows[i].time;
                }
                line.last = v;
            }
        }
        tallyBlock(rows, at, b);
        blocks_.push_back(b);
    }
}

ChartLines chartLines(const std::vector<LogRow>& rows, const TimeRange& range, int columns, bool envelope,
                      const RowBlocks* blocks)
{
    auto all = decimateValues<6>(
        rows, range, columns,
        {Value::Ph, Value::Ppm, Value::BandLow, Value::BandHigh, Value::AlarmLow, Value::AlarmHigh}, envelope,
        blocks);
    return {std::move(all[0]), std::move(all[1]), std::move(all[2]),
            std::move(all[3]), std::move(all[4]), std::move(all[5])};
}

namespace {
void widen(Extent& e, float low, float high)
{
    if (std::isnan(low))
        return;
    e.low = std::isnan(e.low) ? low : std::min(e.low, low);
    e.high = std::isnan(e.high) ? high : std::max(e.high, high);
}

bool usable(const RowBlocks* blocks, const std::vector<LogRow>& rows)
{
    return blocks && blocks->rowCount() == rows.size();
}
} // namespace

ChartExtents chartExtents(const std::vector<LogRow>& rows, const TimeRange& range, const RowBlocks* blocks)
{
    if (!usable(blocks, rows))
        blocks = nullptr;
    std::array<Extent, 6> e;
    for (Extent& x : e)
        x.low = x.high = kNoValue;
    const auto [first, last] = rowsIn(rows, range);
    for (std::size_t i = first; i < last;) {
        // A whole block in the range: its summary, unless a row of it is above the pH scale.
        if (blocks && i % RowBlocks::kRows == 0 && i + RowBlocks::kRows <= last &&
            !(blocks->blocks()[i / RowBlocks::kRows].bounds & LogRow::kPhAbove)) {
            for (std::size_t k = 0; k < e.size(); ++k) {
                const RowBlocks::Line& l = blocks->blocks()[i / RowBlocks::kRows].lines[k];
                widen(e[k], l.least, l.most);
            }
            i += RowBlocks::kRows;
            continue;
        }
        for (std::size_t k = 0; k < e.size(); ++k) {
            // ">10" is drawn at the top edge: a few probe faults do not squeeze the axis.
            if (Value(k) == Value::Ph && rows[i].phAbove())
                continue;
            const float v = valueOf(rows[i], Value(k));
            widen(e[k], v, v);
        }
        ++i;
    }
    ChartExtents out{e[std::size_t(Value::Ph)], e[std::size_t(Value::Ppm)], e};
    for (Value v : {Value::BandLow, Value::BandHigh, Value::AlarmLow, Value::AlarmHigh})
        widen(out.ph, e[std::size_t(v)].low, e[std::size_t(v)].high);
    return out;
}

std::vector<qint64> boundMarks(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                               std::uint8_t bound, const RowBlocks* blocks)
{
    std::vector<qint64> out;
    if (columns <= 0 || range.span() <= 0)
        return out;
    if (!usable(blocks, rows))
        blocks = nullptr;
    const double perMs = double(columns) / double(range.span());
    qint64 lastColumn = -1;
    const auto [first, last] = rowsIn(rows, range);
    for (std::size_t i = first; i < last;) {
        if (blocks && i % RowBlocks::kRows == 0 && i + RowBlocks::kRows <= last &&
            !(blocks->blocks()[i / RowBlocks::kRows].bounds & bound)) {
            i += RowBlocks::kRows;
            continue;
        }
        if (rows[i].bounds & bound) {
            const auto column = qint64(double(rows[i].time - range.from) * perMs);
            if (column != lastColumn)
                out.push_back(rows[i].time);
            lastColumn = column;
        }
        ++i;
    }
    return out;
}

OutputShares outputShares(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                          const RowBlocks* blocks)
{
    OutputShares out;
    if (columns <= 0 || range.span() <= 0)
        return out;
    if (!usable(blocks, rows))
        blocks = nullptr;
    out.o2.resize(std::size_t(columns));
    out.co2.resize(std::size_t(columns));
    const double columnMs = double(range.span()) / columns;
    auto [first, last] = rowsIn(rows, range);
    if (first > 0)
        --first; // the row before the view may last into it
    for (std::size_t i = first; i < last; ++i) {
        // A whole block within the range and within one column: its sums.
        if (blocks && i % RowBlocks::kRows == 0 && i + RowBlocks::kRows <= last) {
            const RowBlocks::Block& b = blocks->blocks()[i / RowBlocks::kRows];
            const double from = double(b.firstTime - range.from) / columnMs;
            const double to = double(b.endTime - range.from) / columnMs;
            const int c = int(from);
            if (b.firstTime >= range.from && b.endTime <= range.to && to <= c + 1.0 && c < columns) {
                out.o2[std::size_t(c)].known += float(double(b.o2Known) / columnMs);
                out.o2[std::size_t(c)].on += float(double(b.o2On) / columnMs);
                out.co2[std::size_t(c)].known += float(double(b.stats.co2Known) / columnMs);
                out.co2[std::size_t(c)].on += float(double(b.stats.co2On) / columnMs);
                i += RowBlocks::kRows - 1;
                continue;
            }
        }
        const LogRow& r = rows[i];
        if (r.o2 == OutputState::Unknown && r.co2 == OutputState::Unknown)
            continue;
        const qint64 a = std::max(r.time, range.from);
        const qint64 b = std::min(r.time + rowDuration(rows, i), range.to);
        if (b <= a)
            continue;
        // The row's part of each column it covers.
        const double from = double(a - range.from) / columnMs, to = double(b - range.from) / columnMs;
        const int last = std::min(columns - 1, int(std::ceil(to)) - 1);
        for (int c = int(from); c <= last; ++c) {
            const auto part = float(std::min(to, c + 1.0) - std::max(from, double(c)));
            if (part <= 0)
                continue;
            for (auto [state, shares] : {std::pair{r.o2, &out.o2}, std::pair{r.co2, &out.co2}}) {
                if (state == OutputState::Unknown)
                    continue;
                Share& s = (*shares)[std::size_t(c)];
                s.known += part;
                if (state == OutputState::On)
                    s.on += part;
            }
        }
    }
    return out;
}

ValueTicks valueTicks(double low, double high, int maxTicks)
{
    maxTicks = std::max(1, maxTicks);
    if (!(high > low)) {
        const double half = std::max(std::abs(low) * 0.01, 0.01);
        low -= half;
        high += half;
    }
    // The smallest step of 1, 2 or 5 times a power of ten that needs no more ticks.
    int exponent = int(std::floor(std::log10((high - low) / maxTicks)));
    ValueTicks t;
    for (;; ++exponent) {
        const double power = std::pow(10.0, exponent);
        bool found = false;
        for (int mantissa : {1, 2, 5}) {
            t.step = mantissa * power;
            t.low = std::floor(low / t.step + 1e-9) * t.step;
            t.high = std::ceil(high / t.step - 1e-9) * t.step;
            if ((t.high - t.low) / t.step <= maxTicks + 1e-9) {
                found = true;
                break;
            }
        }
        if (found)
            break;
    }
    t.decimals = std::max(0, -exponent);
    return t;
}

TimeTicks timeTicks(const TimeRange& range, int maxTicks, const QTimeZone& zone)
{
    struct Step {
        int minutes = 0, days = 0, months = 0;
        qint64 length() const
        {
            return minutes ? minutes * kMinute : days ? days * kDay : months * 30 * kDay;
        }
    };
    static constexpr Step kSteps[] = {
        {1},   {2},    {5},    {10},   {15},      {30},      {60},      {120},     {180},      {360},
        {720}, {0, 1}, {0, 2}, {0, 7}, {0, 0, 1}, {0, 0, 2}, {0, 0, 3}, {0, 0, 6}, {0, 0, 12},
    };
    maxTicks = std::max(1, maxTicks);
    const auto fits = [&](const Step& s) { return double(range.span()) / double(s.length()) <= maxTicks; };
    // Beyond a year a step: whole years of 1, 2 or 5 times a power of ten.
    Step step{0, 0,
              12 * std::max(1, int(valueTicks(0, double(range.span()) / double(365 * kDay), maxTicks).step))};
    for (const Step& s : kSteps)
        if (fits(s)) {
            step = s;
            break;
        }
    TimeTicks out;
    out.format = step.minutes ? QStringLiteral("dd.MM HH:mm") : QStringLiteral("dd.MM.yyyy");
    if (range.span() <= 0)
        return out;
    WallClock clock(zone);
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(range.from, zone);
    const QDate lastDay = QDateTime::fromMSecsSinceEpoch(range.to, zone).date();
    qint64 last = range.from - 1;
    // A wall-clock time as a tick; false once past the range.
    const auto add = [&](QDate day, int second) {
        const qint64 t = clock.at(day, second, last + 1);
        if (t > range.to)
            return false;
        if (t > last && t >= range.from) {
            out.at.push_back(t);
            last = t;
        }
        return true;
    };
    if (step.minutes) {
        for (QDate day = from.date(); day <= lastDay; day = day.addDays(1)) {
            int minute = 0;
            if (day == from.date())
                minute = from.time().msecsSinceStartOfDay() / int(kMinute) / step.minutes * step.minutes;
            for (; minute < 24 * 60; minute += step.minutes)
                if (!add(day, minute * 60))
                    break;
        }
    } else if (step.days) {
        for (QDate day = from.date(); day <= lastDay; day = day.addDays(1))
            if (step.days == 7 ? day.dayOfWeek() == Qt::Monday : day.toJulianDay() % step.days == 0)
                add(day, 0);
    } else {
        // From the month of the range's start back to a whole step, a step at a time.
        const int month = from.date().year() * 12 + from.date().month() - 1;
        int first = month - ((month % step.months) + step.months) % step.months;
        while (first < 12) // there is no year 0
            first += step.months;
        for (QDate day(first / 12, first % 12 + 1, 1); day.isValid() && day <= lastDay;
             day = day.addMonths(step.months))
            add(day, 0);
    }
    return out;
}

namespace {
// Rounded to a whole number: a pH times 100 (6,60 to 660), or the alarm, which the log holds
// in hundredths. Log values are never negative. lround cost more than all the rest of a pass
// over a year's rows.
long whole(float v) { return long(double(v) + 0.5); }
} // namespace

int alarmSide(const LogRow& r)
{
    if (std::isnan(r.phMax) || std::isnan(r.alarm) || r.alarm < 0)
        return 0;
    // In hundredths, as the controller states them, so 6,60 against 6,80 - 0,20 is exact.
    const long high = whole(r.phMax * 100) + whole(r.alarm);
    if (r.phAbove()) // above 10: beyond every high limit below 10
        return high < 1000 ? 1 : 0;
    if (std::isnan(r.ph) || std::isnan(r.phMin))
        return 0;
    const long ph = whole(r.ph * 100);
    if (ph < whole(r.phMin * 100) - whole(r.alarm))
        return -1;
    return ph > high ? 1 : 0;
}

namespace {
// Sums of the statistics over rows, a row at a time.
struct Tally {
    Statistics s;
    double sum = 0;
    qint64 withPh = 0;

    Tally() { s.minPh = s.maxPh = kNoValue; }
    // A row lasting d ms of the range; counted: its values count too, not only its time.
    void add(const LogRow& r, qint64 d, bool counted)
    {
        s.rows += counted;
        if (r.co2 != OutputState::Unknown) {
            s.co2Known += d;
            if (r.co2 == OutputState::On)
                s.co2On += d;
        }
        const bool alarm = alarmSide(r) != 0;
        if (r.phAbove()) {
            // Above 10: out of any range. A ">10" of the day before is not this day's maximum.
            s.phTime += d;
            s.phAbove += counted ? d : 0;
            s.inAlarm += alarm ? d : 0;
            return;
        }
        if (std::isnan(r.ph))
            return;
        if (counted) {
            s.minPh = std::isnan(s.minPh) ? r.ph : std::min(s.minPh, r.ph);
            s.maxPh = std::isnan(s.maxPh) ? r.ph : std::max(s.maxPh, r.ph);
            sum += double(r.ph);
            ++withPh;
        }
        s.phTime += d;
        s.inAlarm += alarm ? d : 0;
        if (std::isnan(r.phMin) || std::isnan(r.phMax))
            return;
        const long ph = whole(r.ph * 100);
        if (ph >= whole(r.phMin * 100) && ph <= whole(r.phMax * 100))
            s.inRange += d;
    }
    // A whole block's rows, each lasting its full time.
    void add(const RowBlocks::Block& b)
    {
        const Statistics& o = b.stats;
        s.rows += o.rows;
        if (!std::isnan(o.minPh)) {
            s.minPh = std::isnan(s.minPh) ? o.minPh : std::min(s.minPh, o.minPh);
            s.maxPh = std::isnan(s.maxPh) ? o.maxPh : std::max(s.maxPh, o.maxPh);
        }
        sum += b.phSum;
        withPh += b.withPh;
        s.phTime += o.phTime;
        s.phAbove += o.phAbove;
        s.inRange += o.inRange;
        s.inAlarm += o.inAlarm;
        s.co2Known += o.co2Known;
        s.co2On += o.co2On;
    }
    Statistics done()
    {
        s.meanPh = withPh ? sum / double(withPh) : double(kNoValue);
        s.co2OnPerDay = s.co2Known ? double(s.co2On) * double(kDay) / double(s.co2Known) : 0;
        return s;
    }
};
} // namespace

namespace {
void tallyBlock(const std::vector<LogRow>& rows, std::size_t at, RowBlocks::Block& b)
{
    Tally t;
    for (std::size_t i = at; i < at + RowBlocks::kRows; ++i) {
        const qint64 d = rowDuration(rows, i);
        t.add(rows[i], d, true);
        if (rows[i].o2 != OutputState::Unknown) {
            b.o2Known += d;
            b.o2On += rows[i].o2 == OutputState::On ? d : 0;
        }
    }
    const std::size_t lastRow = at + RowBlocks::kRows - 1;
    b.endTime = rows[lastRow].time + rowDuration(rows, lastRow);
    b.stats = t.s;
    b.phSum = t.sum;
    b.withPh = t.withPh;
}
} // namespace

Statistics statistics(const std::vector<LogRow>& rows, const TimeRange& range, const RowBlocks* blocks)
{
    if (!usable(blocks, rows))
        blocks = nullptr;
    Tally t;
    const auto [first, last] = rowsIn(rows, range);
    for (std::size_t i = first; i < last; ++i) {
        // A whole block whose rows' time lies within the range: its sums.
        if (blocks && i % RowBlocks::kRows == 0 && i + RowBlocks::kRows <= last) {
            const RowBlocks::Block& b = blocks->blocks()[i / RowBlocks::kRows];
            if (b.firstTime >= range.from && b.endTime <= range.to) {
                t.add(b);
                i += RowBlocks::kRows - 1;
                continue;
            }
        }
        t.add(rows[i], clipped(rows[i].time, rowDuration(rows, i), range), true);
    }
    return t.done();
}

std::vector<DaySummary> dailySummaries(const std::vector<LogRow>& rows, const TimeRange& range,
                                       const QTimeZone& zone)
{
    std::vector<DaySummary> out;
    const auto [first, last] = rowsIn(rows, range);
    WallClock clock(zone);
    for (std::size_t i = first; i < last;) {
        const QDate day = QDateTime::fromMSecsSinceEpoch(rows[i].time, zone).date();
        // Past the day's first row whatever the zone does at midnight: each pass moves on.
        const qint64 end = std::max(clock.at(day.addDays(1), 0), rows[i].time + 1);
        // The day's time within the range, up to the next midnight.
        const TimeRange clip{std::max(clock.at(day, 0), range.from), std::min(end, range.to)};
        Tally t;
        // The row before lasts into the day: its time is the day's, its values are not.
        if (i > 0)
            t.add(rows[i - 1], clipped(rows[i - 1].time, rowDuration(rows, i - 1), clip), false);
        std::size_t j = i;
        for (; j < last && rows[j].time < end; ++j)
            t.add(rows[j], clipped(rows[j].time, rowDuration(rows, j), clip), true);
        out.push_back({day, t.done()});
        i = j;
    }
    return out;
}

std::vector<AlarmPeriod> alarmPeriods(const std::vector<LogRow>& rows)
{
    std::vector<AlarmPeriod> out;
    bool open = false;
    qint64 previous = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const LogRow& r = rows[i];
        const int side = alarmSide(r);
        if (side == 0) {
            open = false;
            continue;
        }
        // Rows in alarm on the same side, without a gap between them, are one period.
        if (!open || out.back().side != side || r.time - previous > kLogGapMs)
            out.push_back({r.time, r.time, side, kNoValue, false});
        open = true;
        previous = r.time;
        AlarmPeriod& p = out.back();
        p.to = r.time + rowDuration(rows, i);
        if (r.phAbove())
            p.above = true;
        else if (std::isnan(p.extreme))
            p.extreme = r.ph;
        else
            p.extreme = side < 0 ? std::min(p.extreme, r.ph) : std::max(p.extreme, r.ph);
    }
    return out;
}

TimeRange aroundPeriod(const AlarmPeriod& p)
{
    const qint64 span = std::max<qint64>(3 * (p.to - p.from), 2 * 60 * kMinute);
    const qint64 middle = p.from + (p.to - p.from) / 2;
    return {middle - span / 2, middle - span / 2 + span};
}

QDate middleDay(const TimeRange& view, const QTimeZone& zone)
{
    return QDateTime::fromMSecsSinceEpoch(view.from + view.span() / 2, zone).date();
}

TimeRange calendarDay(QDate day, const QTimeZone& zone)
{
    WallClock clock(zone);
    return {clock.at(day, 0), clock.at(day.addDays(1), 0)};
}

TimeRange calendarWeek(QDate day, const QTimeZone& zone)
{
    const QDate monday = day.addDays(1 - day.dayOfWeek());
    WallClock clock(zone);
    return {clock.at(monday, 0), clock.at(monday.addDays(7), 0)};
}

TimeRange stepped(const TimeRange& view, Step step, int direction, const QTimeZone& zone)
{
    const QDate day = middleDay(view, zone);
    return step == Step::Day ? calendarDay(day.addDays(direction), zone)
                             : calendarWeek(day.addDays(7 * direction), zone);
}

namespace {
QByteArray csvNumber(double v, int decimals)
{
    return std::isnan(v) ? QByteArray() : QByteArray::number(v, 'f', decimals).replace('.', ',');
}
QByteArray csvHours(qint64 ms) { return csvNumber(double(ms) / 3600000.0, 2); }
} // namespace

QByteArray dailyCsv(const std::vector<DaySummary>& days)
{
    QByteArray out = QByteArray(DailyCsvHeader) + "\r\n";
    for (const DaySummary& d : days) {
        const Statistics& s = d.stats;
        out += d.day.toString(QStringLiteral("yyyy-MM-dd")).toLatin1() + ';' + QByteArray::number(s.rows) +
               ';' + csvNumber(s.minPh, 2) + ';' + csvNumber(s.meanPh, 2) + ';' +
               (s.phAbove > 0 ? QByteArray(">10") : csvNumber(s.maxPh, 2)) + ';' + csvHours(s.phTime) + ';' +
               csvHours(s.inRange) + ';' + csvHours(s.inAlarm) + ';' + csvHours(s.co2On) + "\r\n";
    }
    return out;
}

MergedCsvPieces::MergedCsvPieces(const LogSet& logs, const TimeRange& range, bool utcOffset)
    : logs_(logs), utcOffset_(utcOffset)
{
    std::tie(at_, last_) = rowsIn(logs.rows(), range);
}

QByteArray MergedCsvPieces::next()
{
    // The same memory for every piece once the one before is let go: fresh memory costs a page
    // fault every 4 kB.
    QByteArray& piece = piece_;
    piece.resize(0);
    if (!headerDone_) {
        headerDone_ = true;
        piece = QByteArray(utcOffset_ ? MergedLogHeaderWithOffset : MergedLogHeader) + "\r\n";
    }
    constexpr qsizetype kPiece = 1 << 20;
    piece.reserve(kPiece + 256);
    for (; at_ < last_ && piece.size() < kPiece; ++at_) {
        logs_.appendMergedRow(piece, logs_.rows()[at_], utcOffset_);
        piece.append("\r\n", 2);
    }
    return piece;
}

QByteArray mergedCsv(const LogSet& logs, const TimeRange& range, bool utcOffset)
{
    MergedCsvPieces pieces(logs, range, utcOffset);
    QByteArray out;
    for (QByteArray piece = pieces.next(); !piece.isEmpty(); piece = pieces.next())
        out += piece;
    return out;
}

bool isLogPath(const LogSet& logs, const QString& path)
{
    const QFileInfo info(path);
    if (logs.holds(path) || parseLogName(info.fileName(), true))
        return true;
    // A log by its header, whatever its name.
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray start = file.read(qsizetype(sizeof LogHeader) + 4);
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    const QByteArray header(LogHeader);
    return start.startsWith(header) &&
           (start.size() == header.size() || start[header.size()] == '\r' || start[header.size()] == '\n');
}

std::optional<std::size_t> rowNear(const std::vector<LogRow>& rows, qint64 time, qint64 maxDistance)
{
    const auto it = std::lower_bound(rows.begin(), rows.end(), time, earlierThan);
    std::optional<std::size_t> best;
    qint64 bestDistance = maxDistance + 1;
    for (auto c : {it, it == rows.begin() ? it : it - 1}) {
        if (c == rows.end())
            continue;
        const qint64 d = std::abs(c->time - time);
        if (d < bestDistance) {
            bestDistance = d;
            best = std::size_t(c - rows.begin());
        }
    }
    return best;
}
