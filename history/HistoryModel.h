#pragma once

// The viewer's widget-free part: which rows are in view, the points the chart draws for
// them, the statistics of the view and the rows an export writes.

#include "LogReader.h"

#include <QByteArray>
#include <QPointF>

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

// Summaries of blocks of rows for the chart's lines (in the order of Value), so a column over
// thousands of rows takes a few steps. Build again whenever the rows change.
class RowBlocks {
public:
    static constexpr std::size_t kRows = 64;
    struct Line {
        float first = 0, low = 0, high = 0, last = 0;
        qint64 lowTime = 0, highTime = 0;
        bool whole = false; // a value in every row, none of them more than kLogGapMs apart
    };
    struct Block {
        qint64 firstTime = 0, lastTime = 0;
        std::array<Line, 6> lines;
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

struct Interval {
    qint64 from = 0, to = 0;
    bool operator==(const Interval&) const = default;
};
enum class Output { O2, Co2 };

// The stretches of the range in which an output was in the state. A row lasts until the
// next (or one minute when the next is more than kLogGapMs away). Stretches less than a
// column apart are joined and each is at least a column wide, so no more than `columns`
// come back and none is too thin to see.
std::vector<Interval> outputIntervals(const std::vector<LogRow>& rows, const TimeRange& range, int columns,
                                      Output output, OutputState state);

// The parts of the stretches not covered by any of `cut` (both in time order, not overlapping).
std::vector<Interval> without(const std::vector<Interval>& stretches, const std::vector<Interval>& cut);

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
Statistics statistics(const std::vector<LogRow>& rows, const TimeRange& range);

// The rows of the range as one merged CSV: the merged header and each row's line, CR LF ended.
QByteArray mergedCsv(const LogSet& logs, const TimeRange& range);

// The row nearest to a time, when it is within maxDistance ms of it.
std::optional<std::size_t> rowNear(const std::vector<LogRow>& rows, qint64 time, qint64 maxDistance);
