#include "HistoryChart.h"
#include "LogFiles.h"

#include <QImage>
#include <QTemporaryDir>

namespace {

bool near(QRgb a, const QColor& b, int tolerance)
{
    return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) + std::abs(qBlue(a) - b.blue()) <=
           tolerance;
}

class ChartOfADay : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(dir.filePath(DayLog::kName), DayLog::content());
        logs.open({dir.path()});
        ASSERT_EQ(logs.rows().size(), 1380u);
        chart.setLogs(&logs);
        chart.resize(1000, 600);
        image = chart.image();
        plot = chart.plotArea();
        strips = chart.stripsArea();
        ASSERT_GT(plot.width(), 600);
    }
    qint64 at(int minute) const
    {
        return QDateTime(QDate(2016, 10, 1), QTime(0, 0)).addSecs(minute * 60).toMSecsSinceEpoch();
    }
    int x(int minute) const
    {
        return int(std::lround(xAt(at(minute), plot.left(), plot.width(), chart.view())));
    }
    double y(double ph) const
    {
        const auto [low, high] = chart.phAxisRange();
        return plot.bottom() - (ph - low) / (high - low) * plot.height();
    }
    // The pH line's colour within a few pixels of (x, y).
    bool phLineNear(int px, double py, int reach) const
    {
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (near(image.pixel(px + dx, int(std::lround(py)) + dy), HistoryColours::kPh, 40))
                    return true;
        return false;
    }

    QTemporaryDir dir;
    LogSet logs;
    HistoryChart chart;
    QImage image;
    QRectF plot, strips;
};

} // namespace

TEST_F(ChartOfADay, PhLineWhereTheRowsAre)
{
    EXPECT_EQ(chart.view(), (TimeRange{at(0), at(1440)}));
    for (int minute : {30, 180, 360, 540, 720, 900, 1200, 1380})
        EXPECT_TRUE(phLineNear(x(minute), y(DayLog::ph(minute)), 3)) << "minute " << minute;
    // Not where the curve is not: a pH of 7,40 at 06:00 is nowhere near 6,70.
    EXPECT_FALSE(phLineNear(x(360), y(6.7), 3));
}

TEST_F(ChartOfADay, GapWhereTheRowsStop)
{
    for (int minute : {615, 630, 645}) {
        const int px = x(minute);
        for (int py = int(plot.top()); py < int(plot.bottom()); ++py)
            ASSERT_FALSE(near(image.pixel(px, py), HistoryColours::kPh, 40))
                << "minute " << minute << " y " << py;
        for (double row : {0.25, 0.75}) {
            const QRgb strip = image.pixel(px, int(strips.top() + row * strips.height()));
            EXPECT_FALSE(near(strip, HistoryColours::kO2On, 0) || near(strip, HistoryColours::kCo2On, 0) ||
                         near(strip, HistoryColours::kOff, 0))
                << "minute " << minute;
        }
    }
}

TEST_F(ChartOfADay, OutputStripsWhereTheOutputsWereOn)
{
    const int o2Row = int(strips.top() + 0.25 * strips.height());
    const int co2Row = int(strips.top() + 0.75 * strips.height());
    for (int minute = 15; minute < 1440; minute += 30) {
        if (!DayLog::hasRow(minute))
            continue;
        EXPECT_TRUE(near(image.pixel(x(minute), o2Row),
                         DayLog::o2(minute) ? HistoryColours::kO2On : HistoryColours::kOff, 0))
            << "O2 at minute " << minute;
        EXPECT_TRUE(near(image.pixel(x(minute), co2Row),
                         DayLog::co2(minute) ? HistoryColours::kCo2On : HistoryColours::kOff, 0))
            << "CO2 at minute " << minute;
    }
}

TEST_F(ChartOfADay, ZoomAndPanRedrawTheView)
{
    const TimeRange morning{at(300), at(420)};
    chart.setView(morning);
    image = chart.image();
    EXPECT_EQ(chart.view(), morning);
    EXPECT_TRUE(phLineNear(x(360), y(DayLog::ph(360)), 3));
    EXPECT_FALSE(phLineNear(x(300), y(DayLog::ph(720)), 3));
    chart.setView({at(-600), at(-480)});
    EXPECT_EQ(chart.view(), (TimeRange{at(0), at(120)})) << "no panning before the first row";
}
