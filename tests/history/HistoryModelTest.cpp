#include "HistoryModel.h"
#include "LogFiles.h"

#include <QTemporaryDir>
#include <QTimeZone>

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
    // A block that starts 3 minutes after the row before it: still one line.
    for (std::size_t i = 8 * RowBlocks::kRows; i < r.size(); ++i)
        r[i].time += 2 * kMin;
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

TEST(Statistics, BlockSummariesGiveTheSameFiguresAndShares)
{
    // Four days: gaps, runs without a pH, ">10", alarms, outputs that switch and are unknown.
    std::vector<LogRow> r;
    for (qint64 m = 0; m < 4 * 1440; ++m) {
        if ((m >= 1000 && m < 1010) || (m >= 3000 && m < 3004) || m % 300 == 7)
            continue;
        const float ph = (m / 97) % 7 == 3 ? NAN : float(7 + 0.5 * std::sin(double(m) / 50));
        r.push_back(row(m, ph, (m / 45) % 3 == 0 ? OutputState::On : OutputState::Off));
        if (m % 500 < 4) {
            r.back().ph = 10;
            r.back().bounds = LogRow::kPhAbove;
        }
        if (m % 211 < 5)
            r.back().o2 = m % 2 ? OutputState::Unknown : OutputState::Off;
    }
    RowBlocks blocks;
    blocks.build(r);
    for (const TimeRange& range : {minutesRange(0, 4 * 1440),
                                   minutesRange(333, 2999),
                                   {kT0 + 1234567, kT0 + 1234567 + 2 * 1440 * kMin + 12345}}) {
        const Statistics a = statistics(r, range), b = statistics(r, range, &blocks);
        EXPECT_TRUE(a.rows == b.rows && a.minPh == b.minPh && a.maxPh == b.maxPh &&
                    std::abs(a.meanPh - b.meanPh) < 1e-9 && a.phTime == b.phTime && a.phAbove == b.phAbove &&
                    a.inRange == b.inRange && a.inAlarm == b.inAlarm && a.co2Known == b.co2Known &&
                    a.co2On == b.co2On)
            << "statistics of " << (range.from - kT0) / kMin;
        for (int columns : {3, 50, 1200}) {
            const OutputShares x = outputShares(r, range, columns),
                               y = outputShares(r, range, columns, &blocks);
            bool same = true;
            for (std::size_t c = 0; c < std::size_t(columns); ++c)
                for (auto [p, q] : {std::pair{x.o2[c], y.o2[c]}, std::pair{x.co2[c], y.co2[c]}})
                    same = same && std::abs(p.on - q.on) < 1e-3f && std::abs(p.known - q.known) < 1e-3f;
            EXPECT_TRUE(same) << columns << " columns from " << (range.from - kT0) / kMin;
        }
    }
}

TEST(OutputShares, EachColumnsShareOfTimeOn)
{
    // CO2 on in minutes 10 to 19 and at 30; rows stop at 59; one row at 70 lasts a minute.
    std::vector<LogRow> r;
    const auto on = OutputState::On, off = OutputState::Off;
    for (qint64 m = 0; m < 60; ++m)
        r.push_back(row(m, 7, (m >= 10 && m < 20) || m == 30 ? on : off));
    r.push_back(row(70, 7, on));
    r[5].co2 = OutputState::Unknown;
    // Eight columns of ten minutes.
    const auto same = [](const std::vector<Share>& a, const std::vector<Share>& b) {
        bool equal = a.size() == b.size();
        for (std::size_t i = 0; equal && i < a.size(); ++i)
            equal = std::abs(a[i].on - b[i].on) < 1e-4f && std::abs(a[i].known - b[i].known) < 1e-4f;
        return equal;
    };
    const OutputShares s = outputShares(r, minutesRange(0, 80), 8);
    EXPECT_TRUE(same(s.co2, {{0, 0.9f}, {1, 1}, {0, 1}, {0.1f, 1}, {0, 1}, {0, 1}, {0, 0}, {0.1f, 0.1f}}));
    EXPECT_TRUE(same({s.o2[0]}, {{1, 1}}));
    // The row before the view lasts into it; the view clips it.
    EXPECT_TRUE(same(outputShares(r, {r[15].time + 30000, r[17].time}, 3).co2, {{1, 1}, {1, 1}, {1, 1}}));
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

    // The range's own limits are in it; a row 3 minutes before the next lasts until it, one
    // 4 minutes before lasts a minute.
    const std::vector<LogRow> b{row(0, 6.8f), row(1, 7.4f), row(2, 6.79f), row(5, 7.41f), row(9, 7)};
    const Statistics bs = statistics(b, minutesRange(0, 10));
    EXPECT_EQ(bs.phTime, 7 * kMin);
    EXPECT_EQ(bs.inRange, 3 * kMin);
    EXPECT_EQ(bs.inAlarm, 0);
}

TEST(ViewRange, RowsPresetsZoomAndPan)
{
    const auto r = rows(minutes(0, 40 * 1440), [](qint64) { return 7.0f; }); // 40 days
    const TimeRange all = allRows(r);
    // Whole local days, to the midnight after the last row: across a clock change that is not
    // 40 days of minutes after the first.
    const QDate lastDay = QDateTime::fromMSecsSinceEpoch(r.back().time).date();
    EXPECT_EQ(all, (TimeRange{kT0, QDateTime(lastDay.addDays(1), QTime(0, 0)).toMSecsSinceEpoch()}));
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
    EXPECT_EQ(rowNear(r, r[12].time, 0), 12u);
    EXPECT_EQ(rowNear(r, r[12].time + 20000, 20000), 12u) << "exactly at the reach";
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

TEST(ChartExtents, AlarmLimitsStayInViewWhenZoomed)
{
    // A day of steady limits: zoomed to ten minutes, the limits are still in the extents.
    auto r = rows(minutes(0, 1440), [](qint64 m) { return float(7 + 0.01 * (m % 7)); });
    r[300].ph = 10;
    r[300].bounds = LogRow::kPhAbove;
    RowBlocks blocks;
    blocks.build(r);
    for (const RowBlocks* b : std::initializer_list<const RowBlocks*>{nullptr, &blocks}) {
        const ChartExtents e = chartExtents(r, minutesRange(600, 610), b);
        EXPECT_FLOAT_EQ(e.ph.low, 6.6f);
        EXPECT_FLOAT_EQ(e.ph.high, 7.6f);
        EXPECT_FLOAT_EQ(e.ppm.high, 12.3f);
        // ">10" is drawn at the top edge, not fitted: the axis keeps to the measured values.
        const ChartExtents day = chartExtents(r, minutesRange(0, 1440), b);
        EXPECT_FLOAT_EQ(day.ph.high, 7.6f);
        EXPECT_FLOAT_EQ(day.lines[std::size_t(Value::Ph)].high, 7.06f);
        EXPECT_EQ(boundMarks(r, minutesRange(0, 1440), 100, LogRow::kPhAbove, b),
                  std::vector<qint64>{r[300].time});
    }
}

TEST(AxisTicks, ValuesAtRoundStepsWithExactLabels)
{
    struct Case {
        double low, high;
        int maxTicks;
        double first, last, step;
        int decimals; // as few as the step needs
    };
    const Case cases[] = {
        {6.43, 7.61, 8, 6.4, 7.8, 0.2, 1}, {6.85, 6.95, 8, 6.84, 6.96, 0.02, 2},
        {6.2, 7.8, 5, 6, 8, 0.5, 1},       {0, 137, 6, 0, 150, 50, 0},
        {0, 12.9, 8, 0, 14, 2, 0},         {7, 7, 8, 6.92, 7.08, 0.02, 2},
    };
    for (const Case& c : cases) {
        const ValueTicks t = valueTicks(c.low, c.high, c.maxTicks);
        EXPECT_EQ(t.decimals, c.decimals) << c.low << ".." << c.high;
        EXPECT_NEAR(t.low, c.first, 1e-9) << c.low << ".." << c.high;
        EXPECT_NEAR(t.high, c.last, 1e-9) << c.low << ".." << c.high;
        EXPECT_NEAR(t.step, c.step, 1e-12) << c.low << ".." << c.high;
        // Each tick's label, with the decimals given, is the tick's value.
        for (double v = t.low; v <= t.high + t.step / 2; v += t.step) {
            const double label = QString::number(v, 'f', t.decimals).toDouble();
            EXPECT_NEAR(label, std::round(v / t.step) * t.step, t.step * 1e-6) << v;
        }
    }
}

TEST(AxisTicks, TimesAtRoundWallClockTimesAtEveryZoom)
{
    const QTimeZone warsaw(QByteArrayLiteral("Europe/Warsaw"));
    ASSERT_TRUE(warsaw.isValid());
    const auto at = [&](int y, int mo, int d, int h, int mi) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), warsaw).toMSecsSinceEpoch();
    };
    struct Case {
        TimeRange range;
        int maxTicks;
        QStringList expected; // in Warsaw's wall-clock time, "dd.MM.yyyy HH:mm"
    };
    const Case cases[] = {
        {{at(2016, 10, 1, 18, 7), at(2016, 10, 1, 18, 17)},
         6,
         {"01.10.2016 18:08", "01.10.2016 18:10", "01.10.2016 18:12", "01.10.2016 18:14",
          "01.10.2016 18:16"}},
        {{at(2016, 10, 1, 18, 7), at(2016, 10, 1, 20, 7)},
         8,
         {"01.10.2016 18:15", "01.10.2016 18:30", "01.10.2016 18:45", "01.10.2016 19:00", "01.10.2016 19:15",
          "01.10.2016 19:30", "01.10.2016 19:45", "01.10.2016 20:00"}},
        // The autumn day has 25 hours: still every sixth hour of the wall clock.
        {{at(2023, 10, 29, 0, 0), at(2023, 10, 30, 0, 0)},
         8,
         {"29.10.2023 00:00", "29.10.2023 06:00", "29.10.2023 12:00", "29.10.2023 18:00",
          "30.10.2023 00:00"}},
        {{at(2016, 10, 1, 12, 0), at(2016, 10, 8, 12, 0)},
         8,
         {"02.10.2016 00:00", "03.10.2016 00:00", "04.10.2016 00:00", "05.10.2016 00:00", "06.10.2016 00:00",
          "07.10.2016 00:00", "08.10.2016 00:00"}},
        // A month: every Monday.
        {{at(2016, 10, 1, 0, 0), at(2016, 11, 1, 0, 0)},
         8,
         {"03.10.2016 00:00", "10.10.2016 00:00", "17.10.2016 00:00", "24.10.2016 00:00",
          "31.10.2016 00:00"}},
        {{at(2016, 1, 1, 0, 0), at(2017, 1, 1, 0, 0)},
         8,
         {"01.01.2016 00:00", "01.03.2016 00:00", "01.05.2016 00:00", "01.07.2016 00:00", "01.09.2016 00:00",
          "01.11.2016 00:00", "01.01.2017 00:00"}},
        {{at(1991, 6, 1, 0, 0), at(2021, 6, 1, 0, 0)},
         8,
         {"01.01.1995 00:00", "01.01.2000 00:00", "01.01.2005 00:00", "01.01.2010 00:00", "01.01.2015 00:00",
          "01.01.2020 00:00"}},
    };
    for (const Case& c : cases) {
        QStringList shown;
        for (qint64 tick : timeTicks(c.range, c.maxTicks, warsaw).at)
            shown
                << QDateTime::fromMSecsSinceEpoch(tick, warsaw).toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        EXPECT_EQ(shown, c.expected);
    }
}

TEST(DailySummaries, EachCalendarDayItsOwnTime)
{
    // A row a minute at half past from 23:50:30 to 00:09:30: pH 7,00 with CO2 on before
    // midnight, the last one before it ">10", then 6,50 (below the alarm limit 6,60) with CO2 off.
    std::vector<LogRow> r;
    for (qint64 m = 1430; m < 1450; ++m) {
        r.push_back(row(m, m < 1440 ? 7.0f : 6.5f, m < 1440 ? OutputState::On : OutputState::Off));
        r.back().time += 30000;
    }
    r[9].ph = 10;
    r[9].bounds = LogRow::kPhAbove;
    const TimeRange range = minutesRange(1430, 1460);
    const std::vector<DaySummary> days = dailySummaries(r, range);
    ASSERT_EQ(days.size(), 2u);
    struct Expected {
        QDate day;
        qint64 rows;
        float min, max;
        double mean;
        double phTime, phAbove, inRange, inAlarm, co2On; // minutes
    };
    // 23:59:30 lasts into the next day: its half minute is that day's time, not its values
    // (its ">10" is not the next day's maximum).
    const Expected expected[] = {{QDate(2016, 10, 1), 10, 7.0f, 7.0f, 7.0, 9.5, 0.5, 9, 0.5, 9.5},
                                 {QDate(2016, 10, 2), 10, 6.5f, 6.5f, 6.5, 10.5, 0, 0, 10.5, 0.5}};
    for (std::size_t i = 0; i < 2; ++i) {
        const Expected& e = expected[i];
        const Statistics& s = days[i].stats;
        SCOPED_TRACE(e.day.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(days[i].day, e.day);
        EXPECT_EQ(s.rows, e.rows);
        EXPECT_FLOAT_EQ(s.minPh, e.min);
        EXPECT_FLOAT_EQ(s.maxPh, e.max);
        EXPECT_NEAR(s.meanPh, e.mean, 1e-6);
        EXPECT_EQ(s.phTime, qint64(e.phTime * kMin));
        EXPECT_EQ(s.phAbove, qint64(e.phAbove * kMin));
        EXPECT_EQ(s.inRange, qint64(e.inRange * kMin));
        EXPECT_EQ(s.inAlarm, qint64(e.inAlarm * kMin));
        EXPECT_EQ(s.co2On, qint64(e.co2On * kMin));
    }
    const Statistics whole = statistics(r, range);
    EXPECT_EQ(days[0].stats.phTime + days[1].stats.phTime, whole.phTime) << "the days add up";
    EXPECT_EQ(days[0].stats.co2On + days[1].stats.co2On, whole.co2On);

    // The day of the autumn clock change has 25 hours of rows; the next midnight starts a day.
    const QTimeZone warsaw(QByteArrayLiteral("Europe/Warsaw"));
    const qint64 start = QDateTime(QDate(2023, 10, 29), QTime(0, 0), warsaw).toMSecsSinceEpoch();
    std::vector<LogRow> autumn;
    for (qint64 m = 0; m <= 25 * 60; ++m) {
        autumn.push_back(row(0, 7.0f));
        autumn.back().time = start + m * kMin;
    }
    const std::vector<DaySummary> changed = dailySummaries(autumn, allRows(autumn), warsaw);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].day, QDate(2023, 10, 29));
    EXPECT_EQ(changed[0].stats.rows, 25 * 60);
    EXPECT_EQ(changed[0].stats.phTime, 25 * 60 * kMin);
    EXPECT_EQ(changed[1].day, QDate(2023, 10, 30));
}

TEST(AlarmPeriods, RunsOfRowsBeyondOneLimit)
{
    // Limits 6,60 and 7,60; a pH of 100 here stands for ">10".
    struct Case {
        const char* what;
        std::vector<std::pair<qint64, float>> rows; // minute, pH
        std::vector<AlarmPeriod> expected;          // from and to in minutes
    };
    const Case cases[] = {
        {"below, to the next row", {{0, 7}, {1, 6.5f}, {2, 6.4f}, {3, 7}}, {{1, 3, -1, 6.4f, false}}},
        {"at the limits: none", {{0, 6.6f}, {1, 7.6f}, {2, 7}}, {}},
        {"back in range for a row",
         {{0, 6.5f}, {1, 7}, {2, 6.5f}, {3, 7}},
         {{0, 1, -1, 6.5f, false}, {2, 3, -1, 6.5f, false}}},
        {"3 minutes apart: one period", {{0, 7.7f}, {3, 7.8f}, {4, 7}}, {{0, 4, 1, 7.8f, false}}},
        {"broken by a gap",
         {{0, 7.7f}, {1, 7.8f}, {5, 7.7f}},
         {{0, 2, 1, 7.8f, false}, {5, 6, 1, 7.7f, false}}},
        {"from one limit to the other",
         {{0, 6.5f}, {1, 7.7f}},
         {{0, 1, -1, 6.5f, false}, {1, 2, 1, 7.7f, false}}},
        {"above 10", {{0, 100}, {1, 7.8f}, {2, 7}}, {{0, 2, 1, 7.8f, true}}},
        {"only above 10", {{0, 7}, {1, 100}}, {{1, 2, 1, NAN, true}}},
    };
    for (const Case& c : cases) {
        std::vector<LogRow> r;
        for (auto [minute, ph] : c.rows) {
            r.push_back(row(minute, ph));
            if (ph == 100) {
                r.back().ph = 10;
                r.back().bounds = LogRow::kPhAbove;
            }
        }
        const std::vector<AlarmPeriod> got = alarmPeriods(r);
        ASSERT_EQ(got.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const AlarmPeriod& e = c.expected[i];
            EXPECT_EQ(got[i].from, kT0 + e.from * kMin) << c.what;
            EXPECT_EQ(got[i].to, kT0 + e.to * kMin) << c.what;
            EXPECT_EQ(got[i].side, e.side) << c.what;
            EXPECT_EQ(got[i].above, e.above) << c.what;
            if (std::isnan(e.extreme))
                EXPECT_TRUE(std::isnan(got[i].extreme)) << c.what;
            else
                EXPECT_FLOAT_EQ(got[i].extreme, e.extreme) << c.what;
        }
    }
    // On a limit that a float holds only nearly (4,40 - 0,20): not beyond it.
    LogRow low = row(0, 4.2f);
    low.phMin = 4.4f;
    EXPECT_EQ(alarmSide(low), 0);
    // Jumped to: in the middle of a view three times as long, at least two hours.
    EXPECT_EQ(aroundPeriod({kT0, kT0 + 10 * kMin}), minutesRange(-55, 65));
    EXPECT_EQ(aroundPeriod({kT0, kT0 + 180 * kMin}), minutesRange(-180, 360));
}

TEST(CalendarSteps, WholeDaysAndWeeksAcrossClockChanges)
{
    const QTimeZone warsaw(QByteArrayLiteral("Europe/Warsaw"));
    const auto day = [&](int y, int m, int d) { return calendarDay(QDate(y, m, d), warsaw); };
    const auto week = [&](int y, int m, int d) { return calendarWeek(QDate(y, m, d), warsaw); };
    const qint64 hour = 60 * kMin;
    EXPECT_EQ(day(2023, 10, 29).span(), 25 * hour);
    EXPECT_EQ(day(2023, 3, 26).span(), 23 * hour);
    EXPECT_EQ(week(2023, 10, 29), (TimeRange{day(2023, 10, 23).from, day(2023, 10, 30).from}))
        << "Monday to Monday";
    const TimeRange lastDay{QDateTime(QDate(2023, 10, 28), QTime(18, 0), warsaw).toMSecsSinceEpoch(),
                            QDateTime(QDate(2023, 10, 29), QTime(18, 0), warsaw).toMSecsSinceEpoch()};
    struct Case {
        TimeRange view;
        Step step;
        int direction;
        TimeRange expected;
    };
    const Case cases[] = {
        {day(2023, 10, 28), Step::Day, 1, day(2023, 10, 29)},
        {day(2023, 10, 29), Step::Day, 1, day(2023, 10, 30)},
        {day(2023, 3, 27), Step::Day, -1, day(2023, 3, 26)},
        {lastDay, Step::Day, -1, day(2023, 10, 28)}, // its middle is on the 29th
        {day(2023, 10, 25), Step::Week, 1, week(2023, 10, 30)},
        {week(2023, 10, 30), Step::Week, -1, week(2023, 10, 23)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stepped(c.view, c.step, c.direction, warsaw), c.expected)
            << QDateTime::fromMSecsSinceEpoch(c.view.from).toString(Qt::ISODate).toStdString() << " "
            << c.direction;
}
