#pragma once

// The viewer's texts in Polish and English, and the texts made of the model's figures.

#include "HistoryModel.h"

#include <QString>
#include <QTranslator>

#include <array>

enum class Language { Polish, English };

// The language stored in "tarlo02.ini" of a folder: English when its sixth line is "EN" in a
// file of seven lines, as the main window reads it; Polish otherwise (and without the file).
Language folderLanguage(const QString& folder);

// A counted noun's three forms, "%1" the number: Polish has one for 1, one for 2 to 4 after
// any tens but 1 (22, 103, not 12), and one for the rest; English one for 1 and one for the rest.
using Counted = std::array<QString, 3>;
QString counted(qint64 n, const Counted& forms);

struct HistoryTexts {
    QString title, openFiles, openFolder, day, week, month, all;
    // The export menu: the chart, the rows in view, the daily table and the alarm list, and the
    // names their files are offered under.
    QString exportMenu, exportPng, exportPdf, exportSvg, exportCsv, exportDays, exportAlarms;
    QString daysFile, alarmsFile;
    QString ph, ppm, o2, co2, on, off, range, alarm;
    QString pngFilter, pdfFilter, svgFilter, csvFilter;
    QString noRows, readError, saveError, hints;
    QString noRowsBetween; // %1, %2: the range's ends
    // %1: the file's path.
    QString replaceQuestion, replace, cancel, notOverALog;
    Counted linesSkipped, filesUnreadable, inFiles;
    Counted duplicatesDropped;
    // The legend, in the order of Series, and what a click on it does.
    std::array<QString, 6> series;
    QString legendHint;
    // Navigation.
    QString previousDay, nextDay, previousWeek, nextWeek, undo, goToDate;
    // The tabs under the chart and their tables.
    QString daysTab, alarmsTab, problemsTab;
    QStringList dayColumns, alarmColumns;
    QString below, above;
};
const HistoryTexts& historyTexts(Language language);

// Qt's own texts in the viewer's language: the file dialogs and the buttons of message boxes.
// Install it while the language is Polish; English is Qt's own.
class QtTexts : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }
};

// "2016-10-01 18:30 – 2016-10-02 00:00"
QString rangeText(const TimeRange& range);

// A day's line of the daily table: the day, pH min, mean and max, time in range, in alarm,
// CO2 on.
QStringList dayRow(const DaySummary& day, Language language);
// An alarm period's line: start, length, the limit crossed, the extreme pH.
QStringList alarmRow(const AlarmPeriod& period, Language language);

// The alarm periods as CSV, CR LF ended: start and end with seconds, minutes, the limit crossed
// ("low" or "high"), the extreme pH with two decimals (">10" when the pH was above 10).
inline constexpr char AlarmsCsvHeader[] = "Start;End;Minutes;Limit;PH extreme";
QByteArray alarmsCsv(const std::vector<AlarmPeriod>& periods);

// "2016-10-01 18:31  pH 7,05  6,80–7,40  alarm 0,20  CO2 12,3 ppm  KH 5  O2 on  CO2 off"
QString readout(const LogRow& row, Language language);

// The statistics of the view, one item a line.
QString statisticsText(const Statistics& s, Language language);

// What a view without rows shows: "No measurements between 2016-10-01 00:00 and 2016-10-02 00:00".
QString noRowsText(const TimeRange& range, Language language);

// The files with skipped lines, errors or rows left out as copies of another file's, one a
// line: name, count and the first line numbers.
QString problemsText(const LogSet& logs, Language language);
// All of them in one line: "412 lines skipped in 200 files · 2 files unreadable · 1440
// duplicate rows dropped"; empty without any.
QString problemsSummary(const LogSet& logs, Language language);
