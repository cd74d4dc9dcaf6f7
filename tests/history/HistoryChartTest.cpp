#include "HistoryChart.h"
#include "LogFiles.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

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
    EXPECT_FALSE(phLineNear(x(360), y(DayLog::ph(720)), 3));
    chart.setView({at(-600), at(-480)});
    EXPECT_EQ(chart.view(), (TimeRange{at(0), at(120)})) << "no panning before the first row";
}

TEST_F(ChartOfADay, WheelZoomsDragPansSelectionZoomsHoverReads)
{
    QWidget* mouse = chart.plotView();
    const QPointF offset = chart.plotView()->pos();
    const auto local = [&](double px) {
        return QPoint(int(std::lround(px - offset.x())), int(plot.center().y() - offset.y()));
    };
    const auto minuteOf = [&](qint64 t) { return double(t - at(0)) / 60000; };

    // One notch in at the middle: 80 % of the day around noon.
    QWheelEvent wheel(local(x(720)), mouse->mapToGlobal(local(x(720))), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(mouse, &wheel);
    EXPECT_NEAR(minuteOf(chart.view().from), 144, 2);
    EXPECT_NEAR(minuteOf(chart.view().to), 1296, 2);

    // Dragging 100 pixels to the left shows later rows by as much time as they stand for.
    const TimeRange before = chart.view();
    const double shift = 100.0 / plot.width() * double(before.span()) / 60000;
    QTest::mousePress(mouse, Qt::LeftButton, Qt::NoModifier, local(500));
    QTest::mouseMove(mouse, local(400));
    QTest::mouseRelease(mouse, Qt::LeftButton, Qt::NoModifier, local(400));
    EXPECT_NEAR(minuteOf(chart.view().from), minuteOf(before.from) + shift, 2);
    EXPECT_EQ(chart.view().span(), before.span());

    // A right-button drag zooms to what it selected.
    chart.setView({at(0), at(1440)});
    QTest::mousePress(mouse, Qt::RightButton, Qt::NoModifier, local(x(360)));
    QTest::mouseMove(mouse, local(x(480)));
    QTest::mouseRelease(mouse, Qt::RightButton, Qt::NoModifier, local(x(480)));
    EXPECT_NEAR(minuteOf(chart.view().from), 360, 2);
    EXPECT_NEAR(minuteOf(chart.view().to), 480, 2);

    // The pointer over 06:00 reads out that row; over the gap, nothing.
    chart.setView({at(0), at(1440)});
    QSignalSpy hovered(&chart, &HistoryChart::hovered);
    for (int minute : {360, 630}) {
        const QPointF at = local(x(minute));
        QMouseEvent move(QEvent::MouseMove, at, mouse->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(mouse, &move);
    }
    ASSERT_EQ(hovered.size(), 2);
    // A pixel is more than a minute here: the row at 06:00 or next to it, at the top of the curve.
    const QString row = hovered[0][0].toString();
    EXPECT_TRUE(row.startsWith("2016-10-01 05:59:00") || row.startsWith("2016-10-01 06:00:00"))
        << row.toStdString();
    EXPECT_TRUE(row.contains("pH 7,40")) << row.toStdString();
    EXPECT_EQ(hovered[1][0].toString(), QString());
}

TEST(HistoryChart, StripColumnsShadedByTheirShareOfOnTime)
{
    // O2 on two minutes in five, CO2 on one minute in five: many rows a pixel column.
    QTemporaryDir dir;
    QStringList lines{kHeader};
    for (int m = 0; m < 1440; ++m)
        lines << QStringLiteral("%1:%2%3;7,00;6,80;7,20;12,3;5;20;%4;%5")
                     .arg(m / 60, 2, 10, QChar(u'0'))
                     .arg(m % 60, 2, 10, QChar(u'0'))
                     .arg(m == 0 ? ":00" : "", m % 5 < 2 ? "on" : "off", m % 5 == 4 ? "on" : "off");
    writeFile(dir.filePath(DayLog::kName), crlf(lines));
    LogSet logs;
    logs.open({dir.path()});
    HistoryChart chart;
    chart.resize(500, 400);
    chart.setLogs(&logs);
    const QImage shot = chart.image();
    const QRectF strips = chart.stripsArea();
    // The same shade over the strip's height, as much of the output's colour as its share: on
    // average over the columns (each has its own few rows).
    const auto part = [&](double row, const QColor& on) {
        const QColor off = HistoryColours::kOff;
        double sum = 0;
        const int y = int(strips.top() + row * strips.height());
        for (int x = int(strips.left()) + 1; x < int(strips.right()); ++x)
            sum += double(shot.pixelColor(x, y).red() - off.red()) / (on.red() - off.red());
        return sum / (int(strips.right()) - int(strips.left()) - 1);
    };
    for (double row : {0.1, 0.2, 0.3, 0.4})
        EXPECT_NEAR(part(row, HistoryColours::kO2On), 0.4, 0.05) << "O2 at " << row;
    for (double row : {0.6, 0.7, 0.8, 0.9})
        EXPECT_NEAR(part(row, HistoryColours::kCo2On), 0.2, 0.05) << "CO2 at " << row;
}

TEST_F(ChartOfADay, AViewWithoutRowsSaysSo)
{
    const auto textInTheMiddle = [&] {
        const QImage shot = chart.image();
        const QPoint c = chart.plotArea().center().toPoint();
        int n = 0;
        for (int y = c.y() - 8; y <= c.y() + 8; ++y)
            for (int x = c.x() - 100; x <= c.x() + 100; ++x)
                n += near(shot.pixel(x, y), HistoryColours::kLabel, 60);
        return n;
    };
    EXPECT_EQ(textInTheMiddle(), 0);
    chart.setView({at(615), at(645)}); // within the hour without rows
    EXPECT_GT(textInTheMiddle(), 30);
}

TEST_F(ChartOfADay, AxesDrawnWithLabelsAtTheirTicks)
{
    // The pH axis spans the day's pH, band and alarm limits, on round ticks.
    const auto [low, high] = chart.phAxisRange();
    EXPECT_LE(low, 6.6);
    EXPECT_GE(high, 7.4);
    EXPECT_LT(high - low, 1.2);
    // Text beside the plot on the left at its bottom and top ticks, on the right beside CO2's,
    // and under the plot: the labels are drawn, not only the rows.
    const auto textIn = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += near(image.pixel(x, y), HistoryColours::kLabel, 60);
        return n;
    };
    const int l = int(plot.left()), r = int(plot.right()), t = int(plot.top()), b = int(plot.bottom());
    EXPECT_GT(textIn(QRect(l - 40, b - 6, 32, 12)), 5) << "the lowest pH label";
    EXPECT_GT(textIn(QRect(l - 40, t - 6, 32, 12)), 5) << "the highest pH label";
    EXPECT_GT(textIn(QRect(r + 8, b - 6, 32, 12)), 5) << "CO2's 0";
    EXPECT_GT(textIn(QRect(l, b + 5, r - l, 14)), 100) << "the times";
    EXPECT_EQ(textIn(QRect(l + 1, t + 1, r - l - 2, b - t - 2)), 0) << "no text over the rows";
}

TEST_F(ChartOfADay, LegendClickHidesAndShowsASeries)
{
    const auto phPixels = [&](const QImage& shot) {
        int n = 0;
        for (int y = int(plot.top()); y < int(plot.bottom()); ++y)
            for (int x = int(plot.left()); x < int(plot.right()); x += 2)
                n += near(shot.pixel(x, y), HistoryColours::kPh, 40);
        return n;
    };
    const int o2Row = int(strips.top() + 0.25 * strips.height());
    const int morning = x(120); // O2 on
    ASSERT_GT(phPixels(image), 500);
    ASSERT_TRUE(near(image.pixel(morning, o2Row), HistoryColours::kO2On, 0));

    const struct {
        Series series;
        bool phDrawn, o2Drawn;
    } cases[] = {{Series::Ph, false, true}, {Series::O2, true, false}};
    for (const auto& c : cases) {
        const QPoint entry = chart.legendEntry(c.series).center();
        QWidget* legend = chart.childAt(entry);
        ASSERT_TRUE(legend);
        QTest::mouseClick(legend, Qt::LeftButton, {}, legend->mapFrom(&chart, entry));
        const QImage hidden = chart.image();
        EXPECT_FALSE(chart.seriesShown(c.series));
        EXPECT_EQ(phPixels(hidden) > 500, c.phDrawn);
        EXPECT_EQ(near(hidden.pixel(morning, o2Row), HistoryColours::kO2On, 0), c.o2Drawn);
        QTest::mouseClick(legend, Qt::LeftButton, {}, legend->mapFrom(&chart, entry));
        EXPECT_TRUE(chart.seriesShown(c.series));
        EXPECT_TRUE(chart.image() == image) << "shown again as before";
    }
}

TEST_F(ChartOfADay, ExportsCarryTitleLegendAndDateRange)
{
    const QString folder = QDir(dir.path()).dirName();
    EXPECT_EQ(chart.titleShown(), "Tarlo-02 historia · " + folder);
    EXPECT_EQ(chart.rangeShown(), "2016-10-01 00:00 – 2016-10-02 00:00");
    chart.setView({at(300), at(420)});
    EXPECT_EQ(chart.rangeShown(), "2016-10-01 05:00 – 2016-10-01 07:00");
    const auto svg = chart.svg();
    ASSERT_TRUE(svg);
    for (const QString& text : {chart.titleShown(), chart.rangeShown(), QStringLiteral("zakres pH"),
                                QStringLiteral("progi alarmu"), QStringLiteral("wyjście CO2")})
        EXPECT_TRUE(QString::fromUtf8(*svg).contains(text.toHtmlEscaped())) << text.toStdString();
    // The picture has the legend above the plot: the pH entry's sample in its colour.
    const QRect entry = chart.legendEntry(Series::Ph);
    const QImage shot = chart.image();
    bool sample = false;
    for (int px = entry.left(); px < entry.left() + 20; ++px)
        sample = sample || near(shot.pixel(px, entry.center().y()), HistoryColours::kPh, 40);
    EXPECT_TRUE(sample);
    EXPECT_LT(entry.bottom(), plot.top());
}

TEST_F(ChartOfADay, CursorOnTheRowUnderThePointerAfterTheViewChanged)
{
    QWidget* mouse = chart.plotView();
    const QPointF offset = chart.plotView()->pos();
    const QPoint pointer(x(360) - int(offset.x()), int(plot.center().y() - offset.y()));
    QSignalSpy hovered(&chart, &HistoryChart::hovered);
    QMouseEvent move(QEvent::MouseMove, pointer, mouse->mapToGlobal(pointer), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(mouse, &move);
    ASSERT_TRUE(chart.cursor());
    EXPECT_NEAR(double(*chart.cursor() - at(360)) / 60000, 0, 1.5);

    // The pointer stays; the view under it moves to the morning: the row there is read out.
    chart.setView({at(300), at(420)});
    const qint64 under = timeAt(pointer.x() + offset.x(), plot.left(), plot.width(), chart.view());
    ASSERT_TRUE(chart.cursor());
    EXPECT_NEAR(double(*chart.cursor() - under), 0, 30000);
    ASSERT_EQ(hovered.size(), 2);
    const QString row = QDateTime::fromMSecsSinceEpoch(*chart.cursor()).toString("yyyy-MM-dd HH:mm:ss");
    EXPECT_TRUE(hovered.last()[0].toString().startsWith(row)) << hovered.last()[0].toString().toStdString();

    // A line marks it on the screen, not in an export.
    const int marker = int(std::lround(xAt(*chart.cursor(), plot.left(), plot.width(), chart.view())));
    const int y = int(plot.top()) + 5;
    const auto marked = [&](const QImage& shot) {
        return near(shot.pixel(marker, y), HistoryColours::kCursor, 10) ||
               near(shot.pixel(marker + 1, y), HistoryColours::kCursor, 10);
    };
    EXPECT_TRUE(marked(chart.grab().toImage()));
    EXPECT_FALSE(marked(chart.image()));
}

// At a month's view a column holds some 48 minutes: an output on for one of them still shows
// in its strip, as a shade plainly off the grey of "off".
TEST(ChartOfAMonth, AMinuteOnStaysVisibleInItsColumn)
{
    QTemporaryDir dir;
    const QDate first(2016, 10, 1), onDay = first.addDays(14);
    for (QDate d = first; d < first.addDays(30); d = d.addDays(1)) {
        QStringList lines{kHeader};
        for (int m = 0; m < 1440; ++m) {
            const QString time = QStringLiteral("%1:%2")
                                     .arg(m / 60, 2, 10, QLatin1Char('0'))
                                     .arg(m % 60, 2, 10, QLatin1Char('0'));
            const bool on = d == onDay && m == 720;
            lines.append((m == 0 ? time + QStringLiteral(":00") : time) + ";7,00;6,80;7,20;12,3;5;20;" +
                         (on ? "on" : "off") + ";off");
        }
        writeFile(dir.filePath(d.toString(QStringLiteral("yyyy-MM-dd")) + " {000000}.csv"), crlf(lines));
    }
    LogSet logs;
    logs.open({dir.path()});
    ASSERT_EQ(logs.rows().size(), 30u * 1440);
    HistoryChart chart;
    chart.setLogs(&logs);
    chart.resize(1000, 600);
    const QImage image = chart.image();
    const QRectF plot = chart.plotArea(), strips = chart.stripsArea();
    const int x = int(std::lround(
        xAt(QDateTime(onDay, QTime(12, 0)).toMSecsSinceEpoch(), plot.left(), plot.width(), chart.view())));
    const int o2Row = int(strips.top() + 0.25 * strips.height());
    const QColor off = HistoryColours::kOff, on = HistoryColours::kO2On;
    const int full = std::abs(on.red() - off.red()) + std::abs(on.green() - off.green()) +
                     std::abs(on.blue() - off.blue());
    int most = 0;
    for (int px = x - 1; px <= x + 1; ++px) {
        const QRgb c = image.pixel(px, o2Row);
        most = std::max(most, std::abs(qRed(c) - off.red()) + std::abs(qGreen(c) - off.green()) +
                                  std::abs(qBlue(c) - off.blue()));
    }
    EXPECT_GE(most, full / 10);
    EXPECT_TRUE(near(image.pixel(x + 20, o2Row), off, 0)) << "off elsewhere";
}
