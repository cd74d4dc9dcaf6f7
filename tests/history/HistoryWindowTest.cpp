#include "HistoryWindow.h"
#include "LogFiles.h"
#include "ScriptedPlatform.h"
#include "Texts.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QWheelEvent>

namespace {

QString row(int minute, const char* ph = "7,00")
{
    return QStringLiteral("18:%1;%2;6,80;7,40;12,3;5;20;on;off").arg(minute, 2, 10, QChar(u'0')).arg(ph);
}

qint64 at(int minute) { return QDateTime(QDate(2016, 10, 1), QTime(18, minute)).toMSecsSinceEpoch(); }

// Days from 2016-01-01 (a Friday), each a log of the rows from 12:00 to 12:30; pH 7,00 but
// 6,50 (an alarm) from 12:10 to 12:14 on the days listed; bad: a line that cannot be read.
void writeDays(const QString& folder, int days, const std::vector<int>& alarmDays = {}, bool bad = false)
{
    for (int d = 0; d < days; ++d) {
        const QString day = QDate(2016, 1, 1).addDays(d).toString(QStringLiteral("yyyy-MM-dd"));
        QStringList lines{kHeader, "12:00:00;7,00;6,80;7,40;12,3;5;20;on;off"};
        if (bad)
            lines << "bad";
        for (int m = 1; m <= 30; ++m) {
            const bool alarm = m >= 10 && m < 14 && std::count(alarmDays.begin(), alarmDays.end(), d);
            lines << QStringLiteral("12:%1;%2;6,80;7,40;12,3;5;20;on;off")
                         .arg(m, 2, 10, QChar(u'0'))
                         .arg(alarm ? "6,50" : "7,00");
        }
        writeFile(QDir(folder).filePath(day + " {120000}    " + day + " {123000}.csv"), crlf(lines));
    }
}

TimeRange day(int d) { return calendarDay(QDate(2016, 1, 1).addDays(d)); }

} // namespace

TEST(HistoryWindow, LanguageOfTheFolderStatisticsAndSkippedLines)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("2016-10-01 {183000}    2016-10-01 {183500}.csv"),
              crlf({kHeader, "18:30:00;7,00;6,80;7,40;12,3;5;20;on;off", "nonsense", row(31, "6,50"),
                    row(32, ">10")}));
    HistoryWindow w;
    w.open({dir.path()});
    EXPECT_EQ(w.language(), Language::Polish) << "without preferences";
    EXPECT_TRUE(w.statisticsShown().startsWith("Wiersze: 3\n")) << w.statisticsShown().toStdString();
    EXPECT_EQ(w.problemsShown(), "2016-10-01 {183000}    2016-10-01 {183500}.csv: 1 linia pominięta (3)");

    writeFile(dir.filePath("tarlo02.ini"), crlf({"COM1", "1", "2", "3", "4", "EN", "USB"}));
    w.open({dir.path()});
    EXPECT_EQ(w.language(), Language::English);
    EXPECT_TRUE(w.windowTitle().startsWith("Tarlo-02 history"));
    // A minute at 7,00, one at 6,50 and one above 10: the last two in alarm.
    EXPECT_EQ(w.statisticsShown(),
              "Rows: 3\npH min 6,50 · max >10 · mean 6,75\npH >10: 0,0 h (33 %)\n"
              "In range: 0,0 h (33 %)\nIn alarm: 0,0 h (67 %)\nCO2 on per day: 0,0 h (0 %)");
    // Eight lines are no preferences file: the main window ignores them too.
    writeFile(dir.filePath("tarlo02.ini"), crlf({"COM1", "1", "2", "3", "4", "EN", "USB", ""}));
    EXPECT_EQ(folderLanguage(dir.path()), Language::Polish);
}

// The lines are worked out for each device pixel column: the plot's width at 1, twice that
// at 2 device pixels a pixel.
TEST(HistoryWindow, FirstFrameDrawnForThePlotsWidth)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(DayLog::kName), DayLog::content());
    HistoryWindow w;
    w.open({dir.path()});
    w.show();
    ASSERT_FALSE(w.grab().isNull());
    EXPECT_GT(w.chart()->plotArea().width(), 600);
    EXPECT_EQ(w.chart()->drawnColumns(), int(std::lround(w.chart()->plotArea().width())));
    ASSERT_FALSE(w.chart()->image(2).isNull());
    EXPECT_EQ(w.chart()->drawnColumns(), int(std::lround(2 * w.chart()->plotArea().width())));
}

TEST(HistoryWindow, FollowsALogBeingWritten)
{
    QTemporaryDir dir;
    const QString live = dir.filePath("2016-10-01 {183000}.csv");
    QStringList lines{kHeader, "18:30:00;7,00;6,80;7,40;12,3;5;20;on;off"};
    for (int m = 31; m <= 40; ++m)
        lines << row(m);
    writeFile(live, crlf(lines));
    HistoryWindow w;
    w.open({dir.path()});
    w.chart()->resize(800, 500);
    ASSERT_EQ(w.chart()->view(), (TimeRange{at(30), at(40)}));

    // The view shows the newest rows: it moves on with them.
    for (int m = 41; m <= 45; ++m)
        lines << row(m);
    writeFile(live, crlf(lines));
    w.follow();
    EXPECT_EQ(w.logs().rows().size(), 16u);
    EXPECT_EQ(w.chart()->view(), (TimeRange{at(40), at(50)}));

    // A view of older rows stays where it is.
    w.chart()->setView({at(30), at(40)});
    for (int m = 46; m <= 55; ++m)
        lines << row(m);
    writeFile(live, crlf(lines));
    w.follow();
    EXPECT_EQ(w.logs().rows().size(), 26u);
    EXPECT_EQ(w.chart()->view(), (TimeRange{at(30), at(40)}));

    // A new log in the folder is read once the folder told of a change.
    writeFile(dir.filePath("2016-10-01 {190000}.csv"),
              crlf({kHeader, "19:00:00;7,00;6,80;7,40;12,3;5;20;on;off"}));
    w.folderChanged();
    w.follow();
    EXPECT_EQ(w.logs().rows().size(), 27u);
}

TEST(HistoryWindow, ExportsTheView)
{
    QTemporaryDir dir;
    QStringList lines{kHeader, "18:30:00;7,00;6,80;7,40;12,3;5;20;on;off"};
    for (int m = 31; m <= 59; ++m)
        lines << row(m);
    writeFile(dir.filePath("2016-10-01 {183000}    2016-10-01 {190000}.csv"), crlf(lines));
    ScopedPlatform platform;
    HistoryWindow w;
    w.open({dir.path()});
    w.chart()->resize(800, 500);
    w.chart()->setView({at(40), at(50)});

    platform.p.saveAnswers = {dir.filePath("view.csv"),
                              dir.filePath("view.png"),
                              dir.filePath("view.svg"),
                              dir.filePath("view.pdf"),
                              dir.filePath("missing/folder/view.csv"),
                              ""};
    w.exportCsv();
    w.exportPng();
    w.exportSvg();
    w.exportPdf();
    ASSERT_EQ(platform.p.saveAsked.size(), 4u);
    EXPECT_EQ(platform.p.saveAsked[0].fileName, "tarlo02 2016-10-01.csv");
    EXPECT_EQ(platform.p.saveAsked[0].initialFolder, QDir(dir.path()).absolutePath());
    const QByteArray csv = readFile(dir.filePath("view.csv"));
    EXPECT_EQ(csv.count("\r\n"), 12) << "the header and the rows from 18:40 to 18:50";
    EXPECT_TRUE(csv.contains("\r\n2016-10-01;18:40:00;7,00;6,80;7,40;12,3;5;20;on;off\r\n"));
    EXPECT_EQ(QImage(dir.filePath("view.png")).size(), w.chart()->size());
    EXPECT_TRUE(readFile(dir.filePath("view.svg")).contains("<svg"));
    const QByteArray pdf = readFile(dir.filePath("view.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF")) << "a whole PDF";
    EXPECT_GT(pdf.size(), 2000) << "with the chart drawn in it";
    EXPECT_TRUE(platform.p.messages.empty());

    w.exportCsv(); // into a folder that does not exist
    ASSERT_EQ(platform.p.messages.size(), 1u);
    EXPECT_TRUE(platform.p.messages[0].error);
    w.exportCsv(); // cancelled
    EXPECT_EQ(platform.p.messages.size(), 1u);
}

TEST(HistoryWindow, ExportsNeverWriteOverALogAndAskBeforeReplacing)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("2016-10-01 {183000}    2016-10-01 {190000}.csv");
    const QByteArray rows = crlf({kHeader, "18:30:00;7,00;6,80;7,40;12,3;5;20;on;off", row(31)});
    writeFile(log, rows);
    const QString other = dir.filePath("other.csv");
    writeFile(other, "keep me");
    ScopedPlatform platform;
    HistoryWindow w;
    w.open({dir.path()});

    const QString newLog = dir.filePath("2016-10-02 {000000}.csv");
    platform.p.saveAnswers = {log, newLog, other, other};
    platform.p.warningAnswers = {false, true};
    w.exportCsv(); // onto the log: refused and told
    EXPECT_EQ(readFile(log), rows);
    ASSERT_EQ(platform.p.messages.size(), 1u);
    EXPECT_TRUE(platform.p.messages[0].error);
    EXPECT_TRUE(platform.p.messages[0].text.startsWith(QDir::toNativeSeparators(log)));
    w.exportSvg(); // a name the folder would read as a log
    EXPECT_FALSE(QFile::exists(newLog));
    EXPECT_EQ(platform.p.messages.size(), 2u);
    EXPECT_TRUE(platform.p.warnings.empty()) << "nothing to ask about a log";

    w.exportCsv(); // another file: asked, and kept
    ASSERT_EQ(platform.p.warnings.size(), 1u);
    EXPECT_TRUE(platform.p.warnings[0].text.contains("other.csv"));
    EXPECT_EQ(readFile(other), "keep me");
    w.exportPng(); // asked, and replaced
    EXPECT_EQ(platform.p.warnings.size(), 2u);
    EXPECT_FALSE(QImage(other, "PNG").isNull());
    EXPECT_EQ(platform.p.messages.size(), 2u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "nothing left beside";
}

TEST(Readout, TheRowUnderThePointer)
{
    const QByteArray content =
        crlf({kHeader, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;", "18:31;>10;6,80;7,40;100;5;20;on;off",
              "18:32;7,05;6,80;7,40;0;0;20;on;off"});
    const ParsedLog log = parseLog(content, QDateTime(QDate(2016, 10, 1), QTime(18, 30, 8)), false);
    ASSERT_EQ(log.rows.size(), 3u);
    const QStringList expected = {
        "2016-10-01 18:30:08   pH 7,05   range 6,80–7,40   alarm 0,20   CO2 12,3 ppm   KH 5   O2 on   CO2 –",
        "2016-10-01 18:31:00   pH >10   range 6,80–7,40   alarm 0,20   CO2 >100 ppm   KH 5   O2 on   CO2 off",
        "2016-10-01 18:32:00   pH 7,05   range 6,80–7,40   alarm 0,20   CO2 – ppm   KH –   O2 on   CO2 off",
    };
    for (std::size_t i = 0; i < log.rows.size(); ++i)
        EXPECT_EQ(readout(log.rows[i], Language::English), expected[qsizetype(i)]);
}

TEST(Texts, PluralForms)
{
    const struct {
        qint64 n;
        const char *polish, *english;
    } cases[] = {
        {0, "0 linii pominiętych", "0 lines skipped"},
        {1, "1 linia pominięta", "1 line skipped"},
        {2, "2 linie pominięte", "2 lines skipped"},
        {4, "4 linie pominięte", "4 lines skipped"},
        {5, "5 linii pominiętych", "5 lines skipped"},
        {12, "12 linii pominiętych", "12 lines skipped"},
        {14, "14 linii pominiętych", "14 lines skipped"},
        {21, "21 linii pominiętych", "21 lines skipped"},
        {22, "22 linie pominięte", "22 lines skipped"},
        {104, "104 linie pominięte", "104 lines skipped"},
        {112, "112 linii pominiętych", "112 lines skipped"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(counted(c.n, historyTexts(Language::Polish).linesSkipped), QString::fromUtf8(c.polish));
        EXPECT_EQ(counted(c.n, historyTexts(Language::English).linesSkipped), QString::fromUtf8(c.english));
    }
    // An alarm period's length, to the nearest minute.
    const qint64 t0 = QDateTime(QDate(2016, 10, 1), QTime(18, 0)).toMSecsSinceEpoch();
    EXPECT_EQ(alarmRow({t0, t0 + 90 * 1000, -1, 6.5f, false}, Language::English).value(1), "2 min");
    EXPECT_EQ(alarmRow({t0, t0 + 89 * 1000, -1, 6.5f, false}, Language::English).value(1), "1 min");
}

TEST(HistoryWindow, ProblemsOfManyFilesInABoundedList)
{
    QTemporaryDir dir;
    writeDays(dir.path(), 200, {}, true);
    ScopedPlatform platform;
    HistoryWindow w;
    w.open({dir.path()});
    w.show();
    EXPECT_LE(w.height(), 900) << "the list scrolls, the window stays as it was";
    EXPECT_EQ(w.problemsSummaryShown(), "200 linii pominiętych w 200 plikach");
    EXPECT_EQ(w.problemsShown().count(u'\n'), 199);
    EXPECT_TRUE(w.tabs()->isTabVisible(2));

    QTemporaryDir clean;
    writeDays(clean.path(), 2);
    w.open({clean.path()});
    EXPECT_FALSE(w.tabs()->isTabVisible(2)) << "no problems, no tab";
}

TEST(HistoryWindow, DailyTableAndAlarmPeriodsJumpToTheirTime)
{
    QTemporaryDir dir;
    writeDays(dir.path(), 10, {1, 3});
    ScopedPlatform platform;
    HistoryWindow w;
    w.open({dir.path()});
    w.show();
    QAbstractItemModel* days = w.daysView()->model();
    QAbstractItemModel* alarms = w.alarmsView()->model();
    ASSERT_EQ(days->rowCount(), 10);
    ASSERT_EQ(alarms->rowCount(), 2);
    const auto text = [](QAbstractItemModel* m, int row, int column) {
        return m->data(m->index(row, column)).toString();
    };
    EXPECT_EQ(text(days, 1, 0), "2016-01-02 sb");
    EXPECT_EQ(text(days, 1, 1), "6,50");
    EXPECT_EQ(text(days, 1, 5), "0,1 h (13 %)") << "4 of 30 minutes in alarm";
    EXPECT_EQ(text(alarms, 1, 0), "2016-01-04 12:10");
    EXPECT_EQ(text(alarms, 1, 1), "4 min");
    EXPECT_EQ(text(alarms, 1, 2), "poniżej");

    const auto click = [](QTableView* view, int row) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(row, 0)).center());
    };
    click(w.daysView(), 2);
    EXPECT_EQ(w.chart()->view(), day(2));
    w.tabs()->setCurrentIndex(1);
    click(w.alarmsView(), 1);
    const qint64 start = QDateTime(QDate(2016, 1, 4), QTime(12, 10)).toMSecsSinceEpoch();
    EXPECT_EQ(w.chart()->view(), aroundPeriod({start, start + 4 * 60000}));
}

TEST(HistoryWindow, DaysAndAlarmsSortedAndExportedAsShown)
{
    QTemporaryDir dir;
    writeDays(dir.path(), 6, {1, 3});
    ScopedPlatform platform;
    HistoryWindow w;
    w.open({dir.path()});
    w.show();
    // The lowest pH first: the two days with an alarm, in their order; a click shows the day.
    w.daysView()->sortByColumn(1, Qt::AscendingOrder);
    QAbstractItemModel* days = w.daysView()->model();
    EXPECT_EQ(days->data(days->index(0, 0)).toString(), "2016-01-02 sb");
    EXPECT_EQ(days->data(days->index(1, 0)).toString(), "2016-01-04 pn");
    QTest::mouseClick(w.daysView()->viewport(), Qt::LeftButton, {},
                      w.daysView()->visualRect(days->index(1, 3)).center());
    EXPECT_EQ(w.chart()->view(), day(3));
    // The latest alarm first.
    w.alarmsView()->sortByColumn(0, Qt::DescendingOrder);

    platform.p.saveAnswers = {dir.filePath("days.csv"), dir.filePath("alarms.csv")};
    w.exportDays();
    w.exportAlarms();
    ASSERT_EQ(platform.p.saveAsked.size(), 2u);
    EXPECT_TRUE(platform.p.saveAsked[1].fileName.startsWith("tarlo02 alarmy "))
        << platform.p.saveAsked[1].fileName.toStdString();
    const QList<QByteArray> dayLines = readFile(dir.filePath("days.csv")).split('\n');
    ASSERT_EQ(dayLines.size(), 8) << "the header, six days and the end";
    EXPECT_EQ(dayLines[0], QByteArray(DailyCsvHeader) + '\r');
    EXPECT_TRUE(dayLines[1].startsWith("2016-01-02;31;6,50;")) << dayLines[1].toStdString();
    EXPECT_TRUE(dayLines[2].startsWith("2016-01-04;31;6,50;")) << dayLines[2].toStdString();
    EXPECT_TRUE(dayLines[3].startsWith("2016-01-01;31;7,00;")) << dayLines[3].toStdString();
    EXPECT_EQ(readFile(dir.filePath("alarms.csv")),
              QByteArray(AlarmsCsvHeader) + "\r\n" +
                  "2016-01-04 12:10:00;2016-01-04 12:14:00;4;low;6,50\r\n" +
                  "2016-01-02 12:10:00;2016-01-02 12:14:00;4;low;6,50\r\n");
    EXPECT_TRUE(platform.p.messages.empty());
}

TEST(HistoryWindow, ToolbarFitsAndItsKeysWorkFromTheStart)
{
    for (const char* language : {"PL", "EN"}) {
        QTemporaryDir dir;
        writeDays(dir.path(), 40); // more than the 30 days' view
        writeFile(dir.filePath("tarlo02.ini"), crlf({"COM1", "1", "2", "3", "4", language, "USB"}));
        ScopedPlatform platform;
        HistoryWindow w;
        w.open({dir.path()});
        w.show();
        QApplication::setActiveWindow(&w);
        // Every command in sight at the window's first size.
        const QRect bar = w.toolBar()->contentsRect();
        for (QAction* a : w.toolBar()->actions()) {
            QWidget* shown = w.toolBar()->widgetForAction(a);
            if (a->isSeparator() || !shown)
                continue;
            EXPECT_TRUE(shown->isVisible() && bar.contains(shown->geometry()))
                << language << " " << a->text().toStdString();
        }
        // One command shows all the rows.
        w.chart()->setView(day(3));
        int showAll = 0;
        for (QAction* a : w.toolBar()->actions())
            if (a->isEnabled() && !a->text().isEmpty() && !a->text().endsWith(u'…')) {
                a->trigger();
                showAll += w.chart()->view() == w.chart()->limits();
                w.chart()->setView(day(3));
            }
        EXPECT_EQ(showAll, 1) << language;
        // The keys move the view at once: the chart has the focus, not the date box.
        EXPECT_EQ(QApplication::focusWidget(), w.chart()->plotView()) << language;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        EXPECT_EQ(w.chart()->view(), day(4)) << language;
    }
}

TEST(HistoryWindow, NavigationByDateDayWeekAndUndo)
{
    QTemporaryDir dir;
    writeDays(dir.path(), 21);
    ScopedPlatform platform;
    HistoryWindow w;
    w.open({dir.path()});
    w.show();
    QApplication::setActiveWindow(&w);
    const TimeRange all = w.chart()->view();
    QWidget* keys = w.chart()->plotView();
    const auto week = [](int d) { return calendarWeek(QDate(2016, 1, 1).addDays(d)); };

    w.dateEdit()->setDate(QDate(2016, 1, 3));
    EXPECT_EQ(w.chart()->view(), day(2));
    const struct {
        Qt::Key key;
        TimeRange expected;
    } steps[] = {
        {Qt::Key_Right, day(3)},     {Qt::Key_Left, day(2)},       {Qt::Key_Left, day(1)},
        {Qt::Key_PageDown, week(8)}, {Qt::Key_PageDown, week(15)}, {Qt::Key_PageUp, week(8)},
    };
    std::vector<TimeRange> shown{all, day(2)};
    for (const auto& s : steps) {
        QTest::keyClick(keys, s.key);
        EXPECT_EQ(w.chart()->view(), s.expected) << QKeySequence(s.key).toString().toStdString();
        shown.push_back(s.expected);
    }
    EXPECT_EQ(w.dateEdit()->date(), QDate(2016, 1, 7)) << "the middle of the view";

    // The wheel's notches in a row are one step, and so is a drag.
    QWidget* mouse = w.chart()->plotView();
    const QPoint middle = mouse->rect().center();
    for (int notch = 0; notch < 3; ++notch) {
        QWheelEvent wheel(middle, mouse->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(mouse, &wheel);
    }
    shown.push_back(w.chart()->view());
    QTest::mousePress(mouse, Qt::LeftButton, Qt::NoModifier, middle);
    for (int dx : {20, 40, 60})
        QTest::mouseMove(mouse, middle + QPoint(dx, 0));
    QTest::mouseRelease(mouse, Qt::LeftButton, Qt::NoModifier, middle + QPoint(60, 0));
    ASSERT_NE(w.chart()->view(), shown.back());

    // Backspace goes back through them all, to the first view.
    for (auto v = shown.rbegin(); v != shown.rend(); ++v) {
        QTest::keyClick(keys, Qt::Key_Backspace);
        EXPECT_EQ(w.chart()->view(), *v);
    }
    EXPECT_FALSE(w.chart()->canUndo());
}

TEST(HistoryWindow, QtsDialogsInTheWindowsLanguage)
{
    QTemporaryDir dir;
    writeDays(dir.path(), 1);
    HistoryWindow w;
    w.open({dir.path()});
    const auto dialog = [] {
        QFileDialog d(nullptr, QString(), QString(), QStringLiteral("CSV (*.csv)"));
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.setAcceptMode(QFileDialog::AcceptSave);
        return QStringList{d.windowTitle(), d.labelText(QFileDialog::LookIn),
                           d.labelText(QFileDialog::Accept), d.labelText(QFileDialog::Reject)};
    };
    EXPECT_EQ(dialog(), (QStringList{"Zapisz jako", "Szukaj w:", "&Zapisz", "Anuluj"}));
    writeFile(dir.filePath("tarlo02.ini"), crlf({"COM1", "1", "2", "3", "4", "EN", "USB"}));
    w.open({dir.path()});
    EXPECT_EQ(dialog(), (QStringList{"Save As", "Look in:", "&Save", "Cancel"}));
}
