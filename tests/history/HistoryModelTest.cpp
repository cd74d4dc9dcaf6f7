#include "HistoryModel.h"
#include "LogFiles.h"

#include <QTemporaryDir>

#include <cmath>
#include <functional>

namespace {

constexpr qint64 kMin = 60 * 1000;
const qint64 kT0 = QDateTime(QDate(2016, 10, 1), QTime(0, 0)).toMSecsSinceEpoch();

LogRow row(qint64 minute, float ph, OutputState co2 = OutputState::Off)
{
    LogRow r;
    r.time = kT0 + minute * kMin;
    r.ph = ph;
    r.phMin = 6.8f;
    r.phMax = 7.4f;
    r.ppm = 12.3f;
    r.kh = 5;
    r.alarm = 20;
    r.o2 = OutputState::On;
    r.co2 = co2;
    return r;
}

// One row a minute for the given minutes, pH from a function of the minute.
std::vector<LogRow> rows(const std::vector<qint64>& minutes, const std::function<float(qint64)>& ph)
{
    std::vector<LogRow> out;
    for (qint64 m : minutes)
        out.push_back(row(m, ph(m)));
    return out;
}

std::vector<qint64> minutes(qint64 from, qint64 to)
{
    std::vector<qint64> m;
    for (qint64 i = from; i < to; ++i)
        m.push_back(i);
    return m;
}

TimeRange minutesRange(qint64 from, qint64 to) { return {kT0 + from * kMin, kT0 + to * kMin}; }

} // namespace

TEST(Decimate, AFewPointsPerColumnKeepingTheExtremes)
{
    // A day with a sine of pH; one spike in each direction.
    auto day = rows(minutes(0, 1440), [](qint64 m) { return float(7 + 0.3 * std::sin(double(m) / 100)); });
    day[500].ph = 9.5f;
    day[501].ph = 5.5f;
    for (int columns : {10, 100, 700}) {
        const Segments s = decimate(day, minutesRange(0, 1440), columns, Value::Ph);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_LE(s[0].size(), std::size_t(4 * columns + 4)) << columns;
        double low = 99, high = 0;
        for (std::size_t i = 0; i < s[0].size(); ++i) {
            low = std::min(low, s[0][i].y());
            high = std::max(high, s[0][i].y());
            if (i > 0) {
                EXPECT_LE(s[0][i - 1].x(), s[0][i].x()) << "points in time order";
            }
        }
        EXPECT_FLOAT_EQ(low, 5.5) << columns;
        EXPECT_FLOAT_EQ(high, 9.5) << columns;
        EXPECT_EQ(s[0].front().x(), double(day.front().time));
        EXPECT_EQ(s[0].back().x(), double(day.back().time));
    }
    // Zoomed in further than a row a column: every row, plus the rows just outside.
    const Segments close = decimate(day, minutesRange(100, 110), 600, Value::Ph);
    ASSERT_EQ(close.size(), 1u);
    ASSERT_EQ(close[0].size(), 13u);
    EXPECT_EQ(close[0].front().x(), double(day[99].time));
    EXPECT_FLOAT_EQ(close[0][1].y(), day[100].ph);
}

TEST(Decimate, BreaksAtGapsInTimeAndValue)
{
    struct Case {
        std::vector<qint64> minutes;
        std::vector<qint64> gapMinutes; // rows whose pH is a gap
        std::size_t segments;
    };
    const Case cases[] = {
        {{0, 1, 2, 5, 6}, {}, 1},           // 3 minutes apart: still a line
        {{0, 1, 2, 6, 7}, {}, 2},           // 4 minutes apart: a gap
        {{0, 1, 2, 3, 4}, {2}, 2},          // ">10" or "--.-" in the middle
        {{0, 1, 2, 3, 4}, {0, 1, 2, 3}, 1}, // one row left
        {{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, 0},
        {{0, 10, 20, 30}, {}, 4},
    };
    for (const Case& c : cases) {
        auto r = rows(c.minutes, [](qint64) { return 7.0f; });
        for (qint64 g : c.gapMinutes)
            for (LogRow& x : r)
                if (x.time == kT0 + g * kMin)
                    x.ph = NAN;
        for (int columns : {3, 1000})
            EXPECT_EQ(decimate(r, minutesRange(0, 30), columns, Value::Ph).size(), c.segments)
                << c.minutes.size() << " rows, " << columns << " columns";
    }
    // The band's edges break together where either is missing; the alarm limits are offset.
    auto r = rows(minutes(0, 5), [](qint64) { return 7.0f; });
    r[2].phMax = NAN;
    EXPECT_EQ(decimate(r, minutesRange(0, 5), 100, Value::BandLow).size(), 2u);
    const Segments alarm = decimate(r, minutesRange(0, 5), 100, Value::AlarmLow);
    ASSERT_FALSE(alarm.empty());
    EXPECT_FLOAT_EQ(alarm[0][0].y(), 6.6f);
}

TEST(Decimate, BlockSummariesDrawTheSameLines)
{
    // Three days with a gap, runs without a pH, a setting changed, a wandering CO2.
    std::vector<LogRow> r;
    for (qint64 m = 0; m < 3 * 1440; ++m) {
        // The second gap starts right after a block of 64 rows, which then ends its line.
        if ((m >= 1000 && m < 1010) || (m >= 1290 && m < 1300))
            continue;
        r.push_back(row(m, (m / 97) % 7 == 3 ? NAN : float(7 + 0.3 * std::sin(double(m) / 50))));
        r.back().ppm = float(10 + (m * 37) % 23);
        if (m > 2000)
            r.back().phMax = 7.3f;
    }
    RowBlocks blocks;
    blocks.build(r);
    const auto same = [](const Segments& a, const Segments& b) { return a == b; };
    for (const TimeRange& range :
         {minutesRange(0, 3 * 1440), minutesRange(500, 1500), minutesRange(2000, 2100)})
        for (int columns : {7, 300, 2000})
            for (bool envelope : {false, true}) {
                const ChartLines with = chartLines(r, range, columns, envelope, &blocks);
                const ChartLines without = chartLines(r, range, columns, envelope);
                EXPECT_TRUE(same(with.ph, without.ph) && same(with.ppm, without.ppm) &&
                            same(with.bandHigh, without.bandHigh) && same(with.alarmLow, without.alarmLow))
                    << columns << " columns, envelope " << envelope;
                EXPECT_TRUE(same(without.ph, decimate(r, range, columns, Value::Ph, envelope)));
            }
    // Summaries of other rows are not used.
    r.pop_back();
    EXPECT_EQ(chartLines(r, minutesRange(0, 3 * 1440), 7, false, &blocks).ph,
              chartLines(r, minutesRange(0, 3 * 1440), 7, false).ph);
}

TEST(OutputIntervals, OnStretchesJoinedAndWideEnoughToSee)
{
    std::vector<LogRow> r;
    const auto on = OutputState::On, off = OutputState::Off;
    for (qint64 m = 0; m < 60; ++m)
        r.push_back(row(m, 7, (m >= 10 && m < 20) || m == 30 || m == 32 ? on : off));
    r.push_back(row(70, 7, on)); // after a gap: lasts one minute
    const TimeRange hour = minutesRange(0, 80);
    EXPECT_EQ(outputIntervals(r, hour, 8000, Output::Co2, on),
              (std::vector<Interval>{{r[10].time, r[20].time},
                                     {r[30].time, r[31].time},
                                     {r[32].time, r[33].time},
                                     {r[60].time, r[60].time + kMin}}));
    // Eight columns of ten minutes: the two short runs merge and widen to a column.
    EXPECT_EQ(outputIntervals(r, hour, 8, Output::Co2, on),
              (std::vector<Interval>{{r[10].time, r[20].time},
                                     {r[30].time, r[30].time + 10 * kMin},
                                     {r[60].time, r[60].time + 10 * kMin}}));
    EXPECT_EQ(outputIntervals(r, hour, 8000, Output::O2, off).size(), 0u);
    // The row before the view lasts into it; the view clips.
    EXPECT_EQ(outputIntervals(r, {r[15].time + 30000, r[17].time}, 100, Output::Co2, on),
              (std::vector<Interval>{{r[15].time + 30000, r[17].time}}));
}

TEST(OutputIntervals, OffGivesWayToOn)
{
    using I = std::vector<Interval>;
    EXPECT_EQ(without({{0, 100}, {200, 300}}, {{10, 20}, {30, 40}, {90, 210}, {290, 400}}),
              (I{{0, 10}, {20, 30}, {40, 90}, {210, 290}}));
    EXPECT_EQ(without({{0, 100}}, {}), (I{{0, 100}}));
    EXPECT_EQ(without({{0, 100}}, {{0, 100}}), I{});
    EXPECT_EQ(without({{50, 60}}, {{0, 10}, {100, 110}}), (I{{50, 60}}));
}

TEST(Statistics, OfTheRowsInView)
{
    // An hour: 20 minutes in range, 20 just below it, 10 in alarm below, 10 without a pH;
    // CO2 on for 15 minutes.
    std::vector<LogRow> r;
    for (qint64 m = 0; m < 60; ++m) {
        const float ph = m < 20 ? 7.0f : m < 40 ? 6.7f : m < 50 ? 6.59f : NAN;
        r.push_back(row(m, ph, m < 15 ? OutputState::On : OutputState::Off));
    }
    r[20].ph = 6.6f; // exactly at the alarm limit 6,80 - 0,20: no alarm
    const Statistics s = statistics(r, minutesRange(0, 60));
    EXPECT_EQ(s.rows, 60);
    EXPECT_FLOAT_EQ(s.minPh, 6.59f);
    EXPECT_FLOAT_EQ(s.maxPh, 7.0f);
    EXPECT_NEAR(s.meanPh, (20 * 7.0 + 6.6 + 19 * 6.7 + 10 * 6.59) / 50, 1e-5);
    EXPECT_EQ(s.phTime, 50 * kMin);
    EXPECT_EQ(s.inRange, 20 * kMin);
    EXPECT_EQ(s.inAlarm, 10 * kMin);
    EXPECT_EQ(s.co2On, 15 * kMin);
    EXPECT_EQ(s.co2Known, 60 * kMin);
    EXPECT_NEAR(s.co2OnPerDay, 6 * 60 * kMin, 1) << "a quarter of the time: 6 h a day";

    const Statistics part = statistics(r, minutesRange(10, 20) /* rows 10..20 */);
    EXPECT_EQ(part.rows, 11);
    EXPECT_EQ(part.co2On, 5 * kMin);
    EXPECT_EQ(part.phTime, 10 * kMin) << "the last row is clipped at the view's end";
    EXPECT_TRUE(std::isnan(statistics(r, minutesRange(50, 59)).minPh));

    // ">10" is out of range, and in alarm while the high limit is below 10.
    std::vector<LogRow> above{row(0, 7), row(1, 10), row(2, 10), row(3, 7)};
    above[1].bounds = above[2].bounds = LogRow::kPhAbove;
    above[2].phMax = 9.9f; // limit 10,10
    const Statistics a = statistics(above, minutesRange(0, 4));
    EXPECT_EQ(a.phTime, 4 * kMin);
    EXPECT_EQ(a.phAbove, 2 * kMin);
    EXPECT_EQ(a.inRange, 2 * kMin);
    EXPECT_EQ(a.inAlarm, 1 * kMin);
    EXPECT_FLOAT_EQ(a.maxPh, 7) << "of the measured values";
}

TEST(ViewRange, RowsPresetsZoomAndPan)
{
    const auto r = rows(minutes(0, 40 * 1440), [](qint64) { return 7.0f; }); // 40 days
    const TimeRange all = allRows(r);
    EXPECT_EQ(all, minutesRange(0, 40 * 1440)) << "whole days";
    EXPECT_EQ(allRows({row(61, 7), row(62, 7)}), minutesRange(50, 70)) << "ten minutes around, whole";
    EXPECT_EQ(allRows({row(61, 7), row(190, 7)}), minutesRange(60, 240)) << "whole hours";
    EXPECT_EQ(rowsIn(r, minutesRange(10, 20)), (std::pair<std::size_t, std::size_t>(10, 21)));
    EXPECT_EQ(rowsIn(r, {all.to + 1, all.to + kMin}),
              (std::pair<std::size_t, std::size_t>(r.size(), r.size())));
    EXPECT_EQ(presetRange(r, Preset::Day), (TimeRange{all.to - 1440 * kMin, all.to}));
    EXPECT_EQ(presetRange(r, Preset::Month), (TimeRange{all.to - 30 * 1440 * kMin, all.to}));
    EXPECT_EQ(presetRange(r, Preset::All), all);
    EXPECT_EQ(allRows({}).span(), kMinSpanMs);

    const TimeRange day = minutesRange(1440, 2880);
    const qint64 noon = kT0 + (1440 + 720) * kMin;
    EXPECT_EQ(zoomed(day, noon, 0.5, all), minutesRange(1440 + 360, 2880 - 360)) << "around the pointer";
    EXPECT_EQ(zoomed(day, day.from, 0.5, all), minutesRange(1440, 2160));
    EXPECT_EQ(zoomed(day, noon, 1e-6, all).span(), kMinSpanMs);
    EXPECT_EQ(zoomed(day, noon, 100, all), all);
    EXPECT_EQ(zoomed(minutesRange(0, 1440), kT0, 2, all), minutesRange(0, 2880)) << "kept inside the rows";
    EXPECT_EQ(panned(day, 60 * kMin, all), minutesRange(1500, 2940));
    EXPECT_EQ(panned(day, -10 * 1440 * kMin, all), minutesRange(0, 1440));
    EXPECT_EQ(panned(day, 100 * 1440 * kMin, all), (TimeRange{all.to - 1440 * kMin, all.to}));

    EXPECT_EQ(timeAt(150, 100, 200, day), kT0 + (1440 + 360) * kMin);
    EXPECT_DOUBLE_EQ(xAt(kT0 + (1440 + 360) * kMin, 100, 200, day), 150);
    EXPECT_EQ(rowNear(r, kT0 + 10 * kMin + 25000, kMin), 10u);
    EXPECT_EQ(rowNear(r, kT0 + 10 * kMin + 35000, kMin), 11u);
    EXPECT_EQ(rowNear(r, all.to + 2 * kMin, kMin), std::nullopt);
}

TEST(MergedCsv, RowsOfTheViewWithTheMergedHeader)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("2016-10-01 {235800}.csv"),
              crlf({kHeader, "23:58:00;7,00;6,80;7,40;12,3;5;20;on;off",
                    "23:59;7,01;6,80;7,40;12,3;5;20;on;off", "00:00;--.-;6,80;7,40;12,3;5;20;on;off"}));
    LogSet logs;
    logs.open({dir.path()});
    const qint64 t = QDateTime(QDate(2016, 10, 1), QTime(23, 59)).toMSecsSinceEpoch();
    EXPECT_EQ(mergedCsv(logs, {t, t + kMin}), "Date;Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
                                              "2016-10-01;23:59:00;7,01;6,80;7,40;12,3;5;20;on;off\r\n"
                                              "2016-10-02;00:00:00;;6,80;7,40;12,3;5;20;on;off\r\n");
}
