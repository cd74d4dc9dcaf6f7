#include "HistoryChart.h"
#include "LogFiles.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int code = -1;
    QByteArray out, err;
};

Outcome history(const QStringList& args, const QString& folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // no display needed for the exports
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Warsaw"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARLO02_HISTORY), args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(
            dir.filePath("2016-10-01 {235800}    2016-10-02 {000300}.csv"),
            crlf({kHeader, "23:58:00;7,00;6,80;7,40;12,3;5;20;on;off", "23:59;>10;6,80;7,40;12,3;5;20;on;off",
                  "00:00;7,02;6,80;7,40;--.-;5;20;;on", "bad", "00:01;7,03;6,80;7,40;12,3;5;20;off;on"}));
        writeFile(dir.filePath("2016-10-01 {235930}.csv"),
                  crlf({kHeader, "23:59:30;8,00;6,80;7,40;100;5;20;on;off"}) + "00:00;8,0");
    }
    QTemporaryDir dir, out;
};

} // namespace

TEST_F(Headless, CsvMergesTheRowsOfARange)
{
    const QString csv = out.filePath("merged.csv");
    // By default the working folder.
    Outcome r = history({"--csv", csv, "--from", "2016-10-01 23:59", "--to", "2016-10-02T00:00"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.constData();
    EXPECT_EQ(readFile(csv).toStdString(), "Date;Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
                                           "2016-10-01;23:59:00;>10;6,80;7,40;12,3;5;20;on;off\r\n"
                                           "2016-10-01;23:59:30;8,00;6,80;7,40;100;5;20;on;off\r\n"
                                           "2016-10-02;00:00:00;7,02;6,80;7,40;;5;20;;on\r\n");

    // Files named one by one, the whole of them; the export reads back as the same rows.
    r = history({"--csv", csv, dir.filePath("2016-10-01 {235800}    2016-10-02 {000300}.csv")}, out.path());
    ASSERT_EQ(r.code, 0) << r.err.constData();
    EXPECT_EQ(readFile(csv).count("\r\n"), 5);
    const ParsedLog back = parseLog(readFile(csv), QDateTime(), false);
    EXPECT_EQ(back.rows.size(), 4u);
    EXPECT_EQ(back.skipped, 0);

    // Each row with its offset from UTC.
    r = history({"--csv", csv, "--utc-offset", "--from", "2016-10-01 23:59", "--to", "2016-10-01 23:59:30"},
                dir.path());
    ASSERT_EQ(r.code, 0) << r.err.constData();
    EXPECT_EQ(readFile(csv).toStdString(),
              "Date;Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2;UTC offset\r\n"
              "2016-10-01;23:59:00;>10;6,80;7,40;12,3;5;20;on;off;+02:00\r\n"
              "2016-10-01;23:59:30;8,00;6,80;7,40;100;5;20;on;off;+02:00\r\n");
}

TEST_F(Headless, PngOfTheChartOrTheWindowWithoutADisplay)
{
    const struct {
        const char* option;
        QSize size;
        double scale; // --scale; 0: none
    } cases[] = {{"--png", {800, 500}, 0},
                 {"--window-png", {1000, 760}, 0},
                 {"--png", {800, 500}, 2},
                 {"--window-png", {1000, 760}, 1.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option + QStringLiteral(" at %1").arg(c.scale).toStdString());
        const QString png = out.filePath("chart.png");
        const QString size = QStringLiteral("%1x%2").arg(c.size.width()).arg(c.size.height());
        QStringList args{c.option, png, "--size", size, dir.path()};
        if (c.scale > 0)
            args << "--scale" << QString::number(c.scale);
        const Outcome r = history(args, out.path());
        ASSERT_EQ(r.code, 0) << r.err.constData();
        const QImage image(png);
        const double scale = c.scale > 0 ? c.scale : 1;
        ASSERT_EQ(image.size(), c.size * scale);
        // The pH line, drawn at the picture's own pixels: where it runs, aligned 2 x 2 blocks
        // of more than one colour, as an enlarged picture would not have.
        int line = 0, blocks = 0, mixed = 0;
        for (int y = 0; y + 1 < image.height(); y += 2)
            for (int x = 0; x + 1 < image.width(); x += 2) {
                const QRgb b[] = {image.pixel(x, y), image.pixel(x + 1, y), image.pixel(x, y + 1),
                                  image.pixel(x + 1, y + 1)};
                const int onLine = int(std::count(std::begin(b), std::end(b), HistoryColours::kPh.rgb()));
                line += onLine;
                blocks += onLine > 0;
                mixed += onLine > 0 && onLine < 4;
            }
        EXPECT_GT(line, 300 * scale * scale) << "the pH line is drawn";
        if (scale > 1) {
            EXPECT_GT(mixed, blocks / 3) << mixed << " of " << blocks;
        }
    }
}

TEST_F(Headless, DailyCsvALineADay)
{
    const QString csv = out.filePath("days.csv");
    const Outcome r = history({"--csv", csv, "--daily", dir.path()}, out.path());
    ASSERT_EQ(r.code, 0) << r.err.constData();
    // The first day: 7,00 for a minute, ">10" and 8,00 for half a minute each, both in alarm.
    EXPECT_EQ(readFile(csv).toStdString(),
              "Date;Rows;PH min;PH mean;PH max;PH h;In range h;In alarm h;CO2 on h\r\n"
              "2016-10-01;3;7,00;7,50;>10;0,03;0,02;0,02;0,00\r\n"
              "2016-10-02;2;7,02;7,03;7,03;0,03;0,03;0,00;0,03\r\n");
}

TEST_F(Headless, CommandLineCheckedFirstAndProblemsTold)
{
    const QString log = QStringLiteral("2016-10-01 {235800}    2016-10-02 {000300}.csv");
    const struct {
        QStringList args;
        int code;
        QString err; // the start of stderr
    } cases[] = {
        {{"--bogus"}, 2, "tarlo02-history: unknown option --bogus\n"},
        {{"--daily", dir.path()}, 2, "tarlo02-history: --daily goes with --csv\n"},
        {{"--png", out.filePath("s.png"), "--size", "319x240", dir.path()},
         2,
         "tarlo02-history: --size wants WIDTHxHEIGHT, from 320x240 to 10000x10000\n"},
        {{"--png", out.filePath("s.png"), "--size", "320x239", dir.path()},
         2,
         "tarlo02-history: --size wants"},
        {{"--png", out.filePath("s.png"), "--size", "320x240", dir.path()}, 0, "tarlo02-history: note:"},
        {{"--csv", out.filePath("a.csv"), "--scale", "2"}, 2, "tarlo02-history: --scale goes with --png or"},
        {{"--png", out.filePath("a.png"), "--scale", "0.5"},
         2,
         "tarlo02-history: --scale wants a number from 1"},
        {{"--png", out.filePath("a.png"), "--size", "3000x2000", "--scale", "4"},
         2,
         "tarlo02-history: --size and --scale give more than 10000 pixels a side\n"},
        {{dir.path()}, 1, "tarlo02-history: no display to show the window on;"},
        {{"--png", out.filePath("s.png"), "--from", "2016-10-03", "--to", "2016-10-04", dir.path()},
         1,
         "tarlo02-history: no measurements between 2016-10-03 00:00 and 2016-10-04 23:59\n"},
        {{"--csv", out.filePath("a.csv"), "--utc-offset", "--daily", dir.path()},
         2,
         "tarlo02-history: --utc-offset goes with --csv, without --daily\n"},
        {{"--csv", out.filePath("a.csv"), dir.path()},
         0,
         "tarlo02-history: note: 1 line skipped in 1 file\ntarlo02-history:   " + log +
             ": 1 line skipped (5)\n"},
        {{"--png", out.filePath("a.png"), dir.path(), dir.filePath("missing.csv")},
         0,
         "tarlo02-history: note: 1 line skipped in 1 file · 1 file unreadable\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = history(c.args, out.path());
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).startsWith(c.err)) << r.err.constData();
    }
}

TEST_F(Headless, NothingReadIsAnErrorOfOneLine)
{
    QTemporaryDir empty;
    writeFile(empty.filePath("tank.csv"), crlf({kHeader, "12:00:00;7,00;6,80;7,40;12,3;5;20;on;off"}));
    // An earlier export, read again: neither named nor headed as a log.
    writeFile(empty.filePath("merged.csv"),
              crlf({MergedLogHeader, "2016-10-01;12:00:00;7,00;6,80;7,40;12,3;5;20;on;off"}));
    const struct {
        QStringList args;
        int code;
    } cases[] = {
        {{"--csv", out.filePath("a.csv"), empty.path()}, 1},
        {{"--png", out.filePath("a.png"), empty.filePath("tank.csv")}, 1},
        {{"--png", out.filePath("a.png"), empty.filePath("missing.csv")}, 1},
        {{"--csv", out.filePath("a.csv"), "--from", "yesterday"}, 2},
        {{"--csv"}, 2},
        {{"--csv", "/nonexistent/dir/a.csv", dir.path()}, 1},
        {{"--csv", dir.filePath("2016-10-01 {235930}.csv"), dir.path()}, 1}, // a log read
        // A log not read, by its name or by its header.
        {{"--csv", dir.filePath("2016-10-01 {235800}    2016-10-02 {000300}.csv"),
          dir.filePath("2016-10-01 {235930}.csv")},
         1},
        {{"--csv", empty.filePath("tank.csv"), dir.path()}, 1},
        {{"--csv", empty.filePath("merged.csv"), empty.filePath("merged.csv")}, 1}, // read, so kept
    };
    const QStringList logs{dir.filePath("2016-10-01 {235930}.csv"),
                           dir.filePath("2016-10-01 {235800}    2016-10-02 {000300}.csv"),
                           empty.filePath("tank.csv"), empty.filePath("merged.csv")};
    QByteArrayList before;
    for (const QString& log : logs)
        before << readFile(log);
    for (const auto& c : cases) {
        const Outcome r = history(c.args, empty.path());
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        if (c.code == 1) {
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        }
        EXPECT_FALSE(QFile::exists(out.filePath("a.csv")) || QFile::exists(out.filePath("a.png")));
    }
    for (qsizetype i = 0; i < logs.size(); ++i)
        EXPECT_EQ(readFile(logs[i]), before[i]) << logs[i].toStdString();
}

TEST(DesktopEntry, Validates)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess p;
    p.start(tool, {QStringLiteral(TARLO02_HISTORY_DESKTOP)});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().constData();
    const QByteArray entry = readFile(QStringLiteral(TARLO02_HISTORY_DESKTOP));
    EXPECT_TRUE(entry.contains("\nMimeType=text/csv;\n"));
    EXPECT_TRUE(entry.contains("\nName=Tarlo-02 history\n"));
    EXPECT_TRUE(entry.contains("\nExec=tarlo02-history %F\n"));
}
