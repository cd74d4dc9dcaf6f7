#include "LogReader.h"
#include "LogFiles.h"
#include "Texts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
const QDateTime kStart = at(2016, 10, 1, 18, 30, 8);

QString timeOf(const LogRow& r)
{
    return QDateTime::fromMSecsSinceEpoch(r.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList times(const std::vector<LogRow>& rows)
{
    QStringList t;
    for (const LogRow& r : rows)
        t.append(timeOf(r));
    return t;
}

} // namespace

TEST(LogName, BothFormsAndHandRenamedCopies)
{
    struct Case {
        const char* name;
        bool strict;
        QDateTime start, end; // start invalid: not a log name
    };
    const Case cases[] = {
        {"2016-10-01 {183008}.csv", true, kStart, {}},
        {"2016-10-01 {183008}    2016-10-02 {001210}.csv", true, kStart, at(2016, 10, 2, 0, 12, 10)},
        {"2016-10-01 {183008} copy.csv", true, {}, {}},
        {"2016-10-01 {183008}   2016-10-02 {001210}.csv", true, {}, {}}, // three spaces
        {"2016-10-01 {246008}.csv", true, {}, {}},
        {"2016-13-01 {183008}.csv", true, {}, {}},
        {"2016-10-01 {183008}.txt", true, {}, {}},
        {"tarlo02.ini", true, {}, {}},
        {"2016-10-01 {183008} copy.csv", false, kStart, {}},
        {"2016-10-01.csv", false, at(2016, 10, 1, 0, 0), {}},
        {"2016-10-01 {183008}    2016-10-02 {001210} (2).csv", false, kStart, at(2016, 10, 2, 0, 12, 10)},
        {"merged.csv", false, {}, {}},
    };
    for (const Case& c : cases) {
        const auto n = parseLogName(QString::fromUtf8(c.name), c.strict);
        ASSERT_EQ(n.has_value(), c.start.isValid()) << c.name;
        if (!n)
            continue;
        EXPECT_EQ(n->start, c.start) << c.name;
        EXPECT_EQ(n->end, c.end) << c.name;
    }
}

TEST(ParseLog, FieldsGapsAndOutputs)
{
    const QByteArray content =
        crlf({kHeader, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off", "18:31;>10;6,80;7,40;100;5;20;off;on",
              "18:32;--.-;;7,40;--;?;20;;", "18:33;7.1;6,8; 7,4 ;0;12;5;maybe;ON",
              "18:34;7,0x;-1;1,2,3;,5;5,;1e3;;", "18:35;7,00;6,80;7,40;0;0;20;on;off",
              "18:36;7,00;6,80;7,40;0;7;20;on;off"});
    const ParsedLog log = parseLog(content, kStart, false);
    ASSERT_EQ(log.rows.size(), 7u);
    EXPECT_EQ(log.skipped, 0);
    EXPECT_EQ(times(log.rows).last(), "2016-10-01 18:36:00");
    using O = OutputState;
    struct Expect {
        float ph, phMin, phMax, ppm, kh, alarm;
        O o2, co2;
        std::uint8_t bounds = 0;
    };
    const float gap = NAN;
    const Expect expected[] = {
        {7.05f, 6.8f, 7.4f, 12.3f, 5, 20, O::On, O::Off},
        // ">10" and ">100!" at their bounds, flagged.
        {10, 6.8f, 7.4f, 100, 5, 20, O::Off, O::On, LogRow::kPhAbove | LogRow::kPpmAbove},
        {gap, gap, 7.4f, gap, gap, 20, O::Unknown, O::Unknown},
        {7.1f, 6.8f, 7.4f, 0, 12, 5, O::Unknown, O::Unknown},
        {gap, gap, gap, gap, gap, gap, O::Unknown, O::Unknown},
        {7, 6.8f, 7.4f, gap, gap, 20, O::On, O::Off}, // "--.-" and "--" on the display
        {7, 6.8f, 7.4f, 0, 7, 20, O::On, O::Off},     // "00.0"
    };
    const auto same = [](float a, float b) {
        return std::isnan(a) ? std::isnan(b) : std::abs(a - b) < 1e-5f;
    };
    for (std::size_t i = 0; i < log.rows.size(); ++i) {
        const LogRow& r = log.rows[i];
        const Expect& e = expected[i];
        const float got[] = {r.ph, r.phMin, r.phMax, r.ppm, r.kh, r.alarm};
        const float want[] = {e.ph, e.phMin, e.phMax, e.ppm, e.kh, e.alarm};
        for (int f = 0; f < 6; ++f)
            EXPECT_TRUE(same(got[f], want[f])) << "row " << i << " field " << f << ": " << got[f];
        EXPECT_EQ(r.o2, e.o2) << "row " << i;
        EXPECT_EQ(r.co2, e.co2) << "row " << i;
        EXPECT_EQ(r.bounds, e.bounds) << "row " << i;
    }

    // LF and CR line ends read the same; each row knows where its line starts.
    for (const char* end : {"\n", "\r"}) {
        QByteArray other = content;
        other.replace("\r\n", end);
        const ParsedLog read = parseLog(other, kStart, false, 3);
        ASSERT_EQ(read.rows.size(), 7u) << int(end[0]);
        EXPECT_EQ(times(read.rows), times(log.rows));
        EXPECT_EQ(read.rows[1].file, 3u);
        EXPECT_TRUE(other.mid(read.rows[1].offset).startsWith("18:31;>10;"));
    }
}

TEST(ParseLog, DaysFollowTheStampsAcrossMidnightsAndClockChanges)
{
    const QTimeZone warsaw(QByteArrayLiteral("Europe/Warsaw"));
    ASSERT_TRUE(warsaw.isValid());
    const auto local = [&](int y, int mo, int d, int h, int mi, int s = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), warsaw);
    };
    // The wall-clock time and its offset from UTC: which of a repeated hour it is.
    const auto shown = [&](const LogRow& r) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(r.time, warsaw);
        return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +")) +
               QString::number(t.offsetFromUtc() / 3600);
    };
    struct Case {
        const char* what;
        QDateTime start, end; // end invalid: a log still being written
        QStringList rows, expected;
    };
    const Case cases[] = {
        {"autumn change in a log of a day",
         local(2023, 10, 29, 0, 0),
         local(2023, 10, 30, 0, 0),
         {"00:00:00", "02:59", "02:00", "02:01", "03:00", "23:59"},
         {"2023-10-29 00:00:00 +2", "2023-10-29 02:59:00 +2", "2023-10-29 02:00:00 +1",
          "2023-10-29 02:01:00 +1", "2023-10-29 03:00:00 +1", "2023-10-29 23:59:00 +1"}},
        {"autumn change in a log still written",
         local(2023, 10, 29, 2, 58),
         {},
         {"02:58:00", "02:59", "02:00", "02:01"},
         {"2023-10-29 02:58:00 +2", "2023-10-29 02:59:00 +2", "2023-10-29 02:00:00 +1",
          "2023-10-29 02:01:00 +1"}},
        {"midnight and autumn change in one log",
         local(2023, 10, 28, 23, 59),
         local(2023, 10, 29, 3, 30),
         {"23:59:00", "00:00", "02:59", "02:00", "03:00"},
         {"2023-10-28 23:59:00 +2", "2023-10-29 00:00:00 +2", "2023-10-29 02:59:00 +2",
          "2023-10-29 02:00:00 +1", "2023-10-29 03:00:00 +1"}},
        // A start in the hour shown twice: the pass under which the rows reach the end stamp
        // without an hour that is not there; the first where both passes fit.
        {"start and end in the repeated hour",
         local(2023, 10, 29, 2, 30, 5),
         local(2023, 10, 29, 2, 31, 30),
         {"02:30:05", "02:31"},
         {"2023-10-29 02:30:05 +2", "2023-10-29 02:31:00 +2"}},
        {"start in the first pass, end in the second",
         local(2023, 10, 29, 2, 58, 5),
         local(2023, 10, 29, 2, 1, 30),
         {"02:58:05", "02:59", "02:00", "02:01"},
         {"2023-10-29 02:58:05 +2", "2023-10-29 02:59:00 +2", "2023-10-29 02:00:00 +1",
          "2023-10-29 02:01:00 +1"}},
        {"start in the first pass, end after the hour",
         local(2023, 10, 29, 2, 59, 5),
         local(2023, 10, 29, 3, 0, 30),
         {"02:59:05", "02:00", "02:59", "03:00"},
         {"2023-10-29 02:59:05 +2", "2023-10-29 02:00:00 +1", "2023-10-29 02:59:00 +1",
          "2023-10-29 03:00:00 +1"}},
        {"start in the second pass, end after the hour",
         local(2023, 10, 29, 2, 58, 5),
         local(2023, 10, 29, 3, 1, 30),
         {"02:58:05", "02:59", "03:00", "03:01"},
         {"2023-10-29 02:58:05 +1", "2023-10-29 02:59:00 +1", "2023-10-29 03:00:00 +1",
          "2023-10-29 03:01:00 +1"}},
        {"start in the second pass, rows stop before the hour ends",
         local(2023, 10, 29, 2, 30, 5),
         local(2023, 10, 29, 3, 10, 20),
         {"02:30:05", "02:31"},
         {"2023-10-29 02:30:05 +1", "2023-10-29 02:31:00 +1"}},
        {"start in the second pass, still written",
         local(2023, 10, 29, 2, 58, 5),
         {},
         {"02:58:05", "02:59", "03:00"},
         {"2023-10-29 02:58:05 +1", "2023-10-29 02:59:00 +1", "2023-10-29 03:00:00 +1"}},
        // The first rows' minute is the later pass's first minute too: the earlier one it is.
        {"autumn change, a row in the first row's minute",
         local(2023, 10, 29, 2, 30, 40),
         local(2023, 10, 29, 3, 30),
         {"02:30:40", "02:30", "02:59", "02:00", "03:00"},
         {"2023-10-29 02:30:40 +2", "2023-10-29 02:30:00 +2", "2023-10-29 02:59:00 +2",
          "2023-10-29 02:00:00 +1", "2023-10-29 03:00:00 +1"}},
        {"spring change",
         local(2023, 3, 26, 1, 58),
         local(2023, 3, 26, 4, 0),
         {"01:58:00", "01:59", "03:00", "03:01"},
         {"2023-03-26 01:58:00 +1", "2023-03-26 01:59:00 +1", "2023-03-26 03:00:00 +2",
          "2023-03-26 03:01:00 +2"}},
        {"clock corrected 5 minutes back",
         local(2016, 10, 1, 18, 30, 8),
         local(2016, 10, 1, 19, 0),
         {"18:30:08", "18:31", "18:32", "18:28", "18:29"},
         {"2016-10-01 18:30:08 +2", "2016-10-01 18:31:00 +2", "2016-10-01 18:32:00 +2",
          "2016-10-01 18:28:00 +2", "2016-10-01 18:29:00 +2"}},
        {"clock corrected while the log is written",
         local(2016, 10, 1, 18, 30, 8),
         {},
         {"18:30:08", "18:31", "18:27"},
         {"2016-10-01 18:30:08 +2", "2016-10-01 18:31:00 +2", "2016-10-01 18:27:00 +2"}},
        {"clock set 3 h back in a log of one day",
         local(2016, 10, 1, 10, 0),
         local(2016, 10, 1, 12, 0),
         {"10:00:00", "11:59", "09:00"},
         {"2016-10-01 10:00:00 +2", "2016-10-01 11:59:00 +2", "2016-10-01 09:00:00 +2"}},
        {"midnight",
         local(2016, 12, 31, 23, 58, 30),
         local(2017, 1, 1, 0, 2),
         {"23:58:30", "23:59", "00:00", "00:01"},
         {"2016-12-31 23:58:30 +1", "2016-12-31 23:59:00 +1", "2017-01-01 00:00:00 +1",
          "2017-01-01 00:01:00 +1"}},
        // The last row in the end stamp's own minute is on the end stamp's day.
        {"midnight, the last row in the end stamp's minute",
         local(2016, 12, 31, 23, 58, 30),
         local(2017, 1, 1, 0, 1),
         {"23:58:30", "23:59", "00:00", "00:01"},
         {"2016-12-31 23:58:30 +1", "2016-12-31 23:59:00 +1", "2017-01-01 00:00:00 +1",
          "2017-01-01 00:01:00 +1"}},
        // Without an end stamp a step back of an hour is a clock change, a longer one a midnight.
        {"an hour back while the log is written",
         local(2016, 10, 1, 10, 0),
         {},
         {"10:00:00", "11:00", "10:00", "11:01", "10:00"},
         {"2016-10-01 10:00:00 +2", "2016-10-01 11:00:00 +2", "2016-10-01 10:00:00 +2",
          "2016-10-01 11:01:00 +2", "2016-10-02 10:00:00 +2"}},
        {"midnights while the log is written",
         local(2016, 12, 31, 23, 58, 30),
         {},
         {"23:58:30", "23:59", "00:00", "12:00", "00:00"},
         {"2016-12-31 23:58:30 +1", "2016-12-31 23:59:00 +1", "2017-01-01 00:00:00 +1",
          "2017-01-01 12:00:00 +1", "2017-01-02 00:00:00 +1"}},
        {"midnight after a silence, a short step back",
         local(2016, 10, 1, 0, 30),
         local(2016, 10, 2, 0, 20),
         {"00:30:00", "01:00", "00:10"},
         {"2016-10-01 00:30:00 +2", "2016-10-01 01:00:00 +2", "2016-10-02 00:10:00 +2"}},
        // The name's time is read before the first row's: a first row after midnight is a day on.
        {"first row after midnight",
         local(2016, 10, 1, 23, 59, 59),
         {},
         {"00:00:00", "00:01"},
         {"2016-10-02 00:00:00 +2", "2016-10-02 00:01:00 +2"}},
        // A later row is compared by the minute with the first, which has seconds.
        {"first row's seconds",
         local(2016, 10, 1, 18, 30, 40),
         local(2016, 10, 1, 18, 32),
         {"18:30:41", "18:30", "18:31"},
         {"2016-10-01 18:30:41 +2", "2016-10-01 18:30:00 +2", "2016-10-01 18:31:00 +2"}},
        // ... and is no step back: a day without rows is not given to it.
        {"first row's seconds, a day without rows",
         local(2016, 10, 1, 18, 30, 40),
         local(2016, 10, 3, 0, 5),
         {"18:30:41", "18:30", "23:59", "00:01"},
         {"2016-10-01 18:30:41 +2", "2016-10-01 18:30:00 +2", "2016-10-01 23:59:00 +2",
          "2016-10-02 00:01:00 +2"}},
    };
    for (const Case& c : cases) {
        QStringList lines{kHeader};
        for (const QString& t : c.rows)
            lines.append(t + ";7,00;6,80;7,40;12,3;5;20;on;off");
        QStringList times;
        for (const LogRow& r : parseLog(crlf(lines), LogName{c.start, c.end}, false, 0, warsaw).rows)
            times.append(shown(r));
        EXPECT_EQ(times, c.expected) << c.what;
    }

    // A merged export's repeated hour keeps its order too.
    const QByteArray merged = QByteArray(MergedLogHeader) + "\r\n" +
                              crlf({"2023-10-29;02:59:00;7,00;6,80;7,40;12,3;5;20;on;off",
                                    "2023-10-29;02:00:00;7,01;6,80;7,40;12,3;5;20;on;off"});
    const ParsedLog back = parseLog(merged, LogName{}, false, 0, warsaw);
    ASSERT_EQ(back.rows.size(), 2u);
    EXPECT_EQ(shown(back.rows[0]), "2023-10-29 02:59:00 +2");
    EXPECT_EQ(shown(back.rows[1]), "2023-10-29 02:00:00 +1");

    // With its offsets from UTC, a merged export says which pass each row is in.
    const QByteArray withOffsets = QByteArray(MergedLogHeaderWithOffset) + "\r\n" +
                                   crlf({"2023-10-29;02:30:00;7,00;6,80;7,40;12,3;5;20;on;off;+01:00",
                                         "2023-10-29;02:40:00;7,00;6,80;7,40;12,3;5;20;on;off;+02:00",
                                         "2023-10-29;02:50:00;7,00;6,80;7,40;12,3;5;20;on;off;+2"});
    const ParsedLog offsets = parseLog(withOffsets, LogName{}, false, 0, warsaw);
    ASSERT_EQ(offsets.rows.size(), 2u);
    EXPECT_EQ(shown(offsets.rows[0]), "2023-10-29 02:30:00 +1");
    EXPECT_EQ(shown(offsets.rows[1]), "2023-10-29 02:40:00 +2");
    EXPECT_EQ(offsets.skippedLines, QList<int>({4}));
}

TEST(ParseLog, MalformedLinesSkippedAndCounted)
{
    const QByteArray content =
        crlf({kHeader, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off",
              "18:31;7,05;6,80;7,40;12,3;5;20;on", // 8 fields
              "", "garbage", "24:00;7,05;6,80;7,40;12,3;5;20;on;off", "18:3;7,05;6,80;7,40;12,3;5;20;on;off",
              "18:32;7,05;6,80;7,40;12,3;5;20;on;off;", kHeader, "18:33;7,05;6,80;7,40;12,3;5;20;on;off"});
    const ParsedLog log = parseLog(content, kStart, false);
    EXPECT_EQ(times(log.rows), QStringList({"2016-10-01 18:30:08", "2016-10-01 18:33:00"}));
    EXPECT_EQ(log.skipped, 6) << "the empty line is no error";
    EXPECT_EQ(log.skippedLines, QList<int>({3, 5, 6, 7, 8, 9}));

    // A first line that is no header but a row is read as a row.
    EXPECT_EQ(parseLog("18:30:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n", kStart, false).rows.size(), 1u);
    // Without a date from the name, rows of hours alone cannot be placed.
    const ParsedLog undated = parseLog(content, QDateTime(), false);
    EXPECT_TRUE(undated.rows.empty());
    EXPECT_EQ(undated.skipped, 8);
}

TEST(ParseLog, HalfWrittenLastLine)
{
    const QByteArray full = crlf({kHeader, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off"});
    struct Case {
        QByteArray tail;
        bool growing;
        std::size_t rows;
        int skipped;
        bool partial;
    };
    const Case cases[] = {
        {"18:31;7,0", true, 1, 0, true},
        {"18:31;7,05;6,80;7,40;12,3;5;20;on;off\r", true, 1, 0, true},
        {"18:31;7,05;6,80;7,40;12,3;5;20;on;off", false, 2, 0, false}, // finished: no more is coming
        {"18:31;7,0", false, 1, 1, false},
        {"", true, 1, 0, false},
    };
    for (const Case& c : cases) {
        const ParsedLog log = parseLog(full + c.tail, kStart, c.growing);
        EXPECT_EQ(log.rows.size(), c.rows) << c.tail.constData();
        EXPECT_EQ(log.skipped, c.skipped) << c.tail.constData();
        EXPECT_EQ(log.partialLastLine, c.partial) << c.tail.constData();
    }
}

TEST(MergedRow, FullDateAndTheLogsFieldsWithGapsEmpty)
{
    const QByteArray content =
        crlf({kHeader, "23:59:08;7,05;6,80;7,40;12,3;5;20;on;off", "00:00;>10;6,80;7,40;--.-;?;20;;on",
              "00:01;7,1;;7,4;100;--;5;x;off", "00:02;7,1;6,80;7,40;0;0;20;on;off"});
    const ParsedLog log = parseLog(content, at(2016, 10, 1, 23, 59, 8), false);
    ASSERT_EQ(log.rows.size(), 4u);
    QByteArrayList rows;
    for (const LogRow& r : log.rows)
        rows.append(mergedRow(r, content.constData() + r.offset, content.size() - r.offset));
    EXPECT_EQ(rows, QByteArrayList({"2016-10-01;23:59:08;7,05;6,80;7,40;12,3;5;20;on;off",
                                    "2016-10-02;00:00:00;>10;6,80;7,40;;;20;;on",
                                    "2016-10-02;00:01:00;7,1;;7,4;100;;5;;off",
                                    "2016-10-02;00:02:00;7,1;6,80;7,40;;;20;on;off"}));

    // A merged export reads back as the same rows, with no name needed.
    QByteArray merged = QByteArray(MergedLogHeader) + "\r\n";
    for (const QByteArray& r : rows)
        merged += r + "\r\n";
    const ParsedLog back = parseLog(merged, QDateTime(), false);
    EXPECT_TRUE(back.dated);
    EXPECT_EQ(back.skipped, 0);
    EXPECT_EQ(times(back.rows), times(log.rows));
    EXPECT_EQ(back.rows[2].phMax, log.rows[2].phMax);
    EXPECT_EQ(back.rows[1].bounds, log.rows[1].bounds);
    EXPECT_EQ(back.rows[2].bounds, log.rows[2].bounds);
}

TEST(LogSet, FolderMergedInTimeOrderWithSkippedLinesPerFile)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    // Two runs that overlap (two programs logging), one earlier, and files that are no logs.
    writeFile(
        path("2016-10-01 {183008}    2016-10-01 {183300}.csv"),
        crlf({kHeader, "18:30:08;7,00;6,80;7,40;12,3;5;20;on;off", "18:31;7,01;6,80;7,40;12,3;5;20;on;off",
              "bad line", "18:32;7,02;6,80;7,40;12,3;5;20;on;off"}));
    writeFile(path("2016-10-01 {183030}.csv"), crlf({kHeader, "18:30:30;8,00;6,80;7,40;12,3;5;20;on;off",
                                                     "18:31;8,01;6,80;7,40;12,3;5;20;on;off"}) +
                                                   "18:32;8,0");
    writeFile(
        path("2016-09-30 {235900}    2016-10-01 {000100}.csv"),
        crlf({kHeader, "23:59:00;6,00;6,80;7,40;12,3;5;20;on;off", "00:00;6,01;6,80;7,40;12,3;5;20;on;off"}));
    writeFile(path("merged.csv"), "not a log");
    writeFile(path("tarlo02.ini"), "COM1\r\n");

    LogSet set;
    set.open({dir.path(), path("2016-10-01 {183030}.csv")});
    ASSERT_EQ(set.files().size(), 3u) << "a file named twice is read once";
    EXPECT_EQ(set.folders(), QStringList({QDir(dir.path()).absolutePath()}));
    QStringList ph;
    for (const LogRow& r : set.rows())
        ph.append(QString::number(r.ph, 'f', 2));
    EXPECT_EQ(ph, QStringList({"6.00", "6.01", "7.00", "8.00", "7.01", "8.01", "7.02"}));
    EXPECT_EQ(set.skipped(), 1);
    EXPECT_EQ(set.files()[1].skippedLines, QList<int>({4}));
    EXPECT_TRUE(set.files()[2].partialLastLine);
    EXPECT_TRUE(set.growing());
    EXPECT_EQ(set.mergedRow(set.rows()[1]), "2016-10-01;00:00:00;6,01;6,80;7,40;12,3;5;20;on;off");
    // Each row's line is read again from its own file, the files taking turns.
    QStringList exported;
    for (const LogRow& r : set.rows())
        exported.append(QString::fromLatin1(set.mergedRow(r).split(';').value(2)));
    EXPECT_EQ(exported, QStringList({"6,00", "6,01", "7,00", "8,00", "7,01", "8,01", "7,02"}));

    // A backup copy opened with the folder: its rows are the same ones, counted once.
    QTemporaryDir backup;
    const QString copied = QStringLiteral("2016-09-30 {235900}    2016-10-01 {000100}.csv");
    ASSERT_TRUE(QFile::copy(dir.filePath(copied), backup.filePath(copied)));
    LogSet both;
    both.open({dir.path(), backup.path()});
    EXPECT_EQ(both.rows().size(), set.rows().size());
    EXPECT_EQ(both.duplicates(), 2);
    EXPECT_EQ(problemsSummary(both, Language::English),
              "1 line skipped in 1 file · 2 duplicate rows dropped");

    // A file without a date in its name holding rows of hours alone cannot be read.
    LogSet named;
    writeFile(path("tank.csv"), crlf({kHeader, "18:30:08;7,00;6,80;7,40;12,3;5;20;on;off"}));
    named.open({path("tank.csv"), path("missing.csv")});
    ASSERT_EQ(named.files().size(), 2u);
    EXPECT_FALSE(named.files()[0].error.isEmpty());
    EXPECT_FALSE(named.files()[1].error.isEmpty());
    EXPECT_TRUE(named.rows().empty());
    EXPECT_FALSE(named.refresh()) << "files that stay unreadable change nothing";

    // Logs cut or rewritten after they were read: their rows are exported from their values.
    LogSet cut;
    cut.open({path("2016-09-30 {235900}    2016-10-01 {000100}.csv"), path("2016-10-01 {183030}.csv")});
    writeFile(path("2016-09-30 {235900}    2016-10-01 {000100}.csv"), crlf({kHeader}));
    writeFile(path("2016-10-01 {183030}.csv"), crlf({kHeader, "12:00:00;9,99;6,80;7,40;12,3;5;20;on;off"}));
    QByteArrayList rows;
    for (const LogRow& r : cut.rows())
        rows.append(cut.mergedRow(r).mid(11));
    EXPECT_EQ(rows,
              QByteArrayList(
                  {"23:59:00;6,00;6,80;7,40;12,3;5;20;on;off", "00:00:00;6,01;6,80;7,40;12,3;5;20;on;off",
                   "18:30:30;8,00;6,80;7,40;12,3;5;20;on;off", "18:31:00;8,01;6,80;7,40;12,3;5;20;on;off"}));
}

TEST(LogSet, RefreshFollowsAGrowingLogItsFinishingAndNewLogs)
{
    QTemporaryDir dir;
    const QString live = dir.filePath("2016-10-01 {183008}.csv");
    const QByteArray start = crlf({kHeader, "18:30:08;7,00;6,80;7,40;12,3;5;20;on;off"});
    writeFile(live, start + "18:31;7,0");
    LogSet set;
    set.open({dir.path()});
    ASSERT_EQ(set.rows().size(), 1u);
    EXPECT_FALSE(set.refresh()) << "nothing changed";

    // The half-written line is completed and another begins.
    writeFile(live, start + crlf({"18:31;7,01;6,80;7,40;12,3;5;20;on;off"}) + "18:32");
    EXPECT_TRUE(set.refresh());
    EXPECT_EQ(set.rows().size(), 2u);

    // Finishing renames the log; another run starts.
    const QString finished = dir.filePath("2016-10-01 {183008}    2016-10-01 {183300}.csv");
    writeFile(live, start + crlf({"18:31;7,01;6,80;7,40;12,3;5;20;on;off",
                                  "18:32;7,02;6,80;7,40;12,3;5;20;on;off"}));
    ASSERT_TRUE(QFile::rename(live, finished));
    writeFile(dir.filePath("2016-10-01 {190000}.csv"),
              crlf({kHeader, "19:00:00;7,10;6,80;7,40;12,3;5;20;on;off"}));
    // The logs being written alone: the rename is followed, the folder not looked at.
    EXPECT_TRUE(set.refresh(LogSet::Scope::Growing));
    EXPECT_EQ(set.files()[0].path, finished);
    EXPECT_EQ(set.files().size(), 1u);
    EXPECT_TRUE(set.holds(finished));
    EXPECT_TRUE(set.refresh());
    ASSERT_EQ(set.files().size(), 2u);
    EXPECT_EQ(set.rows().size(), 4u);
    EXPECT_EQ(timeOf(set.rows().back()), "2016-10-01 19:00:00");
    EXPECT_TRUE(set.growing());
}

TEST(LogSet, LargeFilesAndManyFilesReadWhole)
{
    QTemporaryDir dir;
    // A merged export of more than a piece of reading, with a CR LF split between two pieces.
    constexpr qsizetype kPiece = 1 << 20;
    QByteArray rows;
    QDateTime t(QDate(2016, 1, 4), QTime(0, 0));
    for (int i = 0; i < 25000; ++i, t = t.addSecs(60))
        rows += t.toString(QStringLiteral("yyyy-MM-dd;HH:mm:ss")).toLatin1() +
                ";7,00;6,80;7,40;12,3;5;20;on;off\r\n";
    QByteArray content;
    for (int blank = 0; content.size() <= kPiece || content[kPiece - 1] != '\r'; ++blank)
        content = QByteArray(MergedLogHeader) + "\r\n" + QByteArray("\r\n").repeated(blank) + rows;
    writeFile(dir.filePath("large.csv"), content);
    LogSet large;
    large.open({dir.filePath("large.csv")});
    EXPECT_EQ(large.rows().size(), 25000u);
    EXPECT_EQ(large.skipped(), 0);
    // Each row's line is read back from the file.
    QByteArray merged = QByteArray(MergedLogHeader) + "\r\n";
    for (const LogRow& r : large.rows())
        merged += large.mergedRow(r) + "\r\n";
    EXPECT_TRUE(merged == QByteArray(MergedLogHeader) + "\r\n" + rows);

    // More logs than 65,535, the newest holding a row: every one is read.
    constexpr int kFiles = 65537;
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("%1 {00%2%3}.csv")
                                 .arg(QDate(2016, 1, 1).addDays(i / 3600).toString(Qt::ISODate))
                                 .arg(i % 3600 / 60, 2, 10, QChar(u'0'))
                                 .arg(i % 60, 2, 10, QChar(u'0'));
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (i == kFiles - 1)
            f.write(crlf({kHeader, "00:12:16;7,00;6,80;7,40;12,3;5;20;on;off"}));
    }
    LogSet many;
    many.open({dir.path()});
    EXPECT_EQ(many.files().size(), std::size_t(kFiles));
    ASSERT_EQ(many.rows().size(), 1u);
    EXPECT_EQ(many.rows()[0].file, std::uint32_t(kFiles - 1));
}
