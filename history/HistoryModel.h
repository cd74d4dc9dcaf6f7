#pragma once

// The viewer's widget-free part: which rows are in view, the points the chart draws for
// them, the statistics of the view and the rows an export writes.

#include "LogReader.h"

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QTimeZone>

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

struct TimeRange {
    qint64 from = 0, to = 0; // ms since the epoch, both ends included
    qint64 span() const { return to - from; }
    bool operator==(const TimeRange&) const = default;
};

// The narrowest view: a few rows still show as a line.
inline constexpr qint64 kMinSpanMs = 10 * 60 * 1000;

// Indexes [first, last) of the rows within the range.
std::pair<std::size_t, std::size_t> rowsIn(const std::vector<LogRow>& rows, const TimeRange& range);

// From the first row to the last, widened out to whole ten minutes (up to 2 h), hours (up to
// 3 days) or days; a single row or none gets the narrowest view around it.
TimeRange allRows(const std::vector<LogRow>& rows);

enum class Preset { Day, Week, Month, All };
// The last day, week or 30 days of the rows (ending at the last row), or all of them.
TimeRange presetRange(const std::vector<LogRow>& rows, Preset preset);

// Zooms by factor (below 1 zooms in) keeping the time under the pointer in place; pans by
// delta. Both stay within limits (as far as the span allows) and no narrower than kMinSpanMs.
TimeRange zoomed(const TimeRange& view, qint64 anchor, double factor, const TimeRange& limits);
TimeRange panned(const TimeRange& view, qint64 delta, const TimeRange& limits);

// The time at x of a plot area [left, left + width] showing the range, and back.
qint64 timeAt(double x, double left, double width, const TimeRange& range);
double xAt(qint64 time, double left, double width, const TimeRange& range);

enum class Value { Ph, Ppm, BandLow, BandHigh, AlarmLow, AlarmHigh };
// The row's value for a line; NaN where the log has none. The band's two edges are NaN
// together, so they break at the same rows.
float valueOf(const LogRow& row, Value value);

using Segment = std::vector<QPointF>; // x: ms since the epoch
using Segments = std::vector<Segment>;

// The line of a value over the range drawn `columns` pixel columns wide: per column the
// first, lowest, highest and last of its rows (at most 4 points, in time order), whatever
// the number of rows. The line breaks where rows are more than kLogGapMs apart and where
// the value is a gap. The rows just outside the range are included, so the line reaches
// the edges. envelope: only the lowest and highest of each column, for views so dense that
// first and last add nothing one could see.
Segments decimate(const std::vector<LogRow>& rows, const TimeRange& range, int columns, Value value,
                  bool envelope = false);

struct Statistics {
    qint64 rows = 0;
    float minPh = 0, maxPh = 0; // of the measured values; NaN without one in view
    double meanPh = 0;
    qint64 phTime = 0;      // time covered by rows with a pH or ">10", ms
    qint64 phAbove = 0;     // of it, with ">10"
    qint64 inRange = 0;     // of it, with the pH within the row's range
    qint64 inAlarm = 0;     // of it, with the pH beyond an alarm limit (">10" above any below 10)
    qint64 co2Known = 0;    // time covered by rows with a known CO2 output
    qint64 co2On = 0;       // of it, with the output on
    double co2OnPerDay = 0; // ms of CO2 on per 24 h of co2Known
};

// Summaries of blocks of rows for the chart's lines (in the order of Value), so a column over
// thousands of rows takes a few steps. Build again whenever the rows change.
class RowBlocks {
public:
    static constexpr std::size_t kRows = 64;
    struct Line {
        float first = 0, low = 0, high = 0, last = 0;
        qint64 lowTime = 0, highTime = 0;
        bool whole = false;        // a value in every row, none of them more than kLogGapMs apart
        float least = 0, most = 0; // of the values there are, whole or not; NaN without any
    };
    struct Block {
        qint64 firstTime = 0, lastTime = 0;
        std::array<Line, 6> lines;
        std::uint8_t bounds = 0; // LogRow::bounds of any of its rows
        // For a range that holds the whole block: the statistics of its rows and the time its
        // outputs were known and on, each row lasting as statistics() counts it, up to endTime.
        qint64 endTime = 0;
        Statistics stats;
        double phSum = 0;
        qint64 withPh = 0, o2Known = 0, o2On = 0;
    };
    void build(const std::vector<LogRow>& rows);
    std::size_t rowCount() const { return rows_; }
    const std::vector<Block>& blocks() const { return blocks_; }

private:
    std::size_t rows_ = 0;
    std::vector<Block> blocks_;
};

// All the lines of the chart from one pass over the rows, as decimate() gives each. blocks:
// summaries of these rows, or nothing.
struct ChartLines {
    Segments ph, ppm, bandLow, bandHigh, alarmLow, alarmHigh;
};
ChartLines chartLines(const std::vector<LogRow>& rows, const TimeRange& range, int columns, bool envelope,
                      const RowBlocks* blocks = nullptr);

// The lowest and highest values of the rows in the range: of the pH line, the band and the
// alarm limits together, and of CO2. NaN where there is none. The pH of rows above the scale
// (">10") is left out: the chart draws them at its top edge. blocks: as for chartLines().
struct Extent {
    float low = 0, high = 0;
};
struct ChartExtents {
    Extent ph, ppm;
    std::array<Extent, 6> lines; // of each line alone, in the order of Value
};
ChartExtents chartExtents(const std::vector<LogRow>& rows, const TimeRange& range,
                          const RowBlocks* blocks = nullptr);

// Where rows with a bound (LogRow::kPhAbove or kPpmAbove) are: the time of the first such row
// in each pixel column that has one.
std::vector<qint64> boundMarks(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                               std::uint8_t bound, const RowBlocks* blocks = nullptr);

// How much of each pixel column's time an output was known and on, as parts of the column (0
// to 1). A row lasts until the next, or one minute when the next is more than kLogGapMs away.
struct Share {
    float on = 0, known = 0;
    bool operator==(const Share&) const = default;
};
struct OutputShares {
    std::vector<Share> o2, co2;
};
OutputShares outputShares(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                          const RowBlocks* blocks = nullptr);

// Ticks of a value axis at whole multiples of a step of 1, 2 or 5 times a power of ten, no
// more than maxTicks steps from low to high, which are widened out to ticks; decimals is
// what the labels need to show each tick exactly.
struct ValueTicks {
    double low = 0, high = 0, step = 1;
    int decimals = 0;
};
ValueTicks valueTicks(double low, double high, int maxTicks);

// Ticks of the time axis at round wall-clock times: whole minutes of a step that divides the
// day (15 minutes, 3 hours, ...), midnights of every day, second day or Monday, or the first
// of every month, second, third, sixth or twelfth. At most about maxTicks of them; format:
// for their labels.
struct TimeTicks {
    std::vector<qint64> at;
    QString format;
};
TimeTicks timeTicks(const TimeRange& range, int maxTicks, const QTimeZone& zone = systemZone());

// blocks: summaries of these rows, or nothing; with them a year in view takes a few thousand
// steps instead of a step a row.
Statistics statistics(const std::vector<LogRow>& rows, const TimeRange& range,
                      const RowBlocks* blocks = nullptr);

// Which alarm limit a row's pH is beyond: -1 below the low one, 1 above the high one (">10"
// while the high limit is below 10), 0 within them or unknown.
int alarmSide(const LogRow& row);

// The statistics of each calendar day with rows in the range, in order. A day's time is its
// own, from midnight to midnight within the range: the last row of the day before counts
// the part of its time past midnight, so the days add up to the whole.
struct DaySummary {
    QDate day;
    Statistics stats;
};
std::vector<DaySummary> dailySummaries(const std::vector<LogRow>& rows, const TimeRange& range,
                                       const QTimeZone& zone = systemZone());

// The days as CSV, CR LF ended: pH with two decimals (">10" as the maximum when there was
// one), times in hours with two, "," as the decimal separator, no value left empty.
inline constexpr char DailyCsvHeader[] =
    "Date;Rows;PH min;PH mean;PH max;PH h;In range h;In alarm h;CO2 on h";
QByteArray dailyCsv(const std::vector<DaySummary>& days);

// A stretch of rows beyond the same alarm limit, no more than kLogGapMs apart.
struct AlarmPeriod {
    qint64 from = 0, to = 0; // from the first row to the end of the last
    int side = 0;            // as alarmSide()
    float extreme = 0;       // the lowest or highest pH measured; NaN when all were ">10"
    bool above = false;      // ">10" among them
};
std::vector<AlarmPeriod> alarmPeriods(const std::vector<LogRow>& rows);
// A view with the period in its middle: three times as long, and at least two hours.
TimeRange aroundPeriod(const AlarmPeriod& period);

// Calendar days and weeks (Monday to Monday) of a time zone, midnight to midnight: 23 or 25
// hours on the days the clocks change.
QDate middleDay(const TimeRange& view, const QTimeZone& zone = systemZone());
TimeRange calendarDay(QDate day, const QTimeZone& zone = systemZone());
TimeRange calendarWeek(QDate day, const QTimeZone& zone = systemZone());
enum class Step { Day, Week };
// The whole day or week before (direction -1) or after (1) the one in the middle of the view.
TimeRange stepped(const TimeRange& view, Step step, int direction, const QTimeZone& zone = systemZone());

// The rows of the range as one merged CSV: the merged header and each row's line, CR LF ended;
// utcOffset: each row with its offset from UTC.
QByteArray mergedCsv(const LogSet& logs, const TimeRange& range, bool utcOffset = false);
// The same a piece of about a megabyte at a time, so an export of years is never whole in
// memory: next() gives each piece, and an empty one after the last; a piece let go before the
// next is asked for leaves its memory to that one.
class MergedCsvPieces {
public:
    MergedCsvPieces(const LogSet& logs, const TimeRange& range, bool utcOffset);
    QByteArray next();

private:
    const LogSet& logs_;
    bool utcOffset_;
    bool headerDone_ = false;
    std::size_t at_ = 0, last_ = 0;
    QByteArray piece_;
};

// True when an export to path would write over a log: one of the logs read, a file named as
// the program names its logs (wherever it is, read or not), or a file that starts with a
// log's header.
bool isLogPath(const LogSet& logs, const QString& path);

// The row nearest to a time, when it is within maxDistance ms of it.
std::optional<std::size_t> rowNear(const std::vector<LogRow>& rows, qint64 time, qint64 maxDistance);
