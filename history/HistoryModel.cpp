#include "HistoryModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

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
        for (std::size_t i = at + 1; i < at + kRows && joined; ++i)
            joined = rows[i].time - rows[i - 1].time <= kLogGapMs;
        for (std::size_t k = 0; k < b.lines.size(); ++k) {
            Line& line = b.lines[k];
            line.whole = joined;
            for (std::size_t i = at; i < at + kRows && line.whole; ++i) {
                const float v = valueOf(rows[i], Value(k));
                if (std::isnan(v)) {
                    line.whole = false;
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

std::vector<Interval> outputIntervals(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                                      Output output, OutputState state)
{
    std::vector<Interval> out;
    if (rows.empty() || columns <= 0 || range.span() <= 0)
        return out;
    const qint64 column = std::max<qint64>(1, range.span() / columns);
    auto [first, last] = rowsIn(rows, range);
    if (first > 0)
        --first; // the row before the view may last into it
    for (std::size_t i = first; i < last; ++i) {
        const LogRow& r = rows[i];
        if ((output == Output::O2 ? r.o2 : r.co2) != state)
            continue;
        const Interval in{std::max(r.time, range.from), std::min(r.time + rowDuration(rows, i), range.to)};
        if (in.to <= in.from)
            continue;
        if (!out.empty() && in.from - out.back().to < column)
            out.back().to = std::max(out.back().to, in.to);
        else
            out.push_back(in);
    }
    // Each stretch at least a column wide; those that then meet are joined.
    std::vector<Interval> wide;
    for (Interval in : out) {
        in.to = std::max(in.to, std::min(in.from + column, range.to));
        if (!wide.empty() && in.from - wide.back().to < column)
            wide.back().to = std::max(wide.back().to, in.to);
        else
            wide.push_back(in);
    }
    return wide;
}

std::vector<Interval> without(const std::vector<Interval>& stretches, const std::vector<Interval>& cut)
{
    std::vector<Interval> out;
    std::size_t c = 0;
    for (Interval s : stretches) {
        while (c < cut.size() && cut[c].to <= s.from)
            ++c;
        for (std::size_t k = c; k < cut.size() && cut[k].from < s.to; ++k) {
            if (cut[k].from > s.from)
                out.push_back({s.from, cut[k].from});
            s.from = std::max(s.from, cut[k].to);
        }
        if (s.from < s.to)
            out.push_back(s);
    }
    return out;
}

Statistics statistics(const std::vector<LogRow>& rows, const TimeRange& range)
{
    Statistics s;
    s.minPh = s.maxPh = kNoValue;
    const auto [first, last] = rowsIn(rows, range);
    double sum = 0;
    qint64 withPh = 0;
    for (std::size_t i = first; i < last; ++i) {
        const LogRow& r = rows[i];
        ++s.rows;
        const qint64 d = clipped(r.time, rowDuration(rows, i), range);
        if (r.co2 != OutputState::Unknown) {
            s.co2Known += d;
            if (r.co2 == OutputState::On)
                s.co2On += d;
        }
        if (r.phAbove()) {
            // Above 10: out of any range, and beyond every high alarm limit below 10.
            s.phTime += d;
            s.phAbove += d;
            if (!std::isnan(r.phMax) && !std::isnan(r.alarm) &&
                std::lround(r.phMax * 100) + std::lround(r.alarm) < 1000)
                s.inAlarm += d;
            continue;
        }
        if (std::isnan(r.ph))
            continue;
        s.minPh = std::isnan(s.minPh) ? r.ph : std::min(s.minPh, r.ph);
        s.maxPh = std::isnan(s.maxPh) ? r.ph : std::max(s.maxPh, r.ph);
        sum += double(r.ph);
        ++withPh;
        s.phTime += d;
        if (std::isnan(r.phMin) || std::isnan(r.phMax))
            continue;
        // In hundredths, as the controller states them, so 6,60 against 6,80 - 0,20 is exact.
        const long ph = std::lround(r.ph * 100), low = std::lround(r.phMin * 100),
                   high = std::lround(r.phMax * 100);
        if (ph >= low && ph <= high)
            s.inRange += d;
        const long alarm = std::isnan(r.alarm) ? -1 : std::lround(r.alarm);
        if (alarm >= 0 && (ph < low - alarm || ph > high + alarm))
            s.inAlarm += d;
    }
    s.meanPh = withPh ? sum / double(withPh) : double(kNoValue);
    s.co2OnPerDay = s.co2Known ? double(s.co2On) * double(kDay) / double(s.co2Known) : 0;
    return s;
}

QByteArray mergedCsv(const LogSet& logs, const TimeRange& range)
{
    const auto [first, last] = rowsIn(logs.rows(), range);
    QByteArray out = QByteArray(MergedLogHeader) + "\r\n";
    out.reserve(qsizetype(last - first) * 56 + out.size());
    for (std::size_t i = first; i < last; ++i)
        out += logs.mergedRow(logs.rows()[i]) + "\r\n";
    return out;
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
