#pragma once

// The viewer's texts in Polish and English, and the texts made of the model's figures.

#include "HistoryModel.h"

#include <QString>

#include <array>

enum class Language { Polish, English };

// The language stored in "tarlo02.ini" of a folder: English when its sixth line is "EN" in a
// file of seven lines, as the main window reads it; Polish otherwise (and without the file).
Language folderLanguage(const QString& folder);

struct HistoryTexts {
    QString title, openFiles, openFolder, day, week, month, all, reset, exportPng, exportSvg, exportCsv;
    QString ph, ppm, o2, co2, on, off, range, alarm;
    QString pngFilter, svgFilter, csvFilter;
    QString noRows, skipped, readError, saveError, hints;
    // %1: the file's path.
    QString replaceQuestion, replace, cancel, notOverALog;
    // The legend, in the order of Series, and what a click on it does.
    std::array<QString, 6> series;
    QString legendHint;
    // Navigation.
    QString previousDay, nextDay, previousWeek, nextWeek, undo, goToDate;
};
const HistoryTexts& historyTexts(Language language);

// "2016-10-01 18:30 – 2016-10-02 00:00"
QString rangeText(const TimeRange& range);

// "2016-10-01 18:31  pH 7,05  6,80–7,40  alarm 0,20  CO2 12,3 ppm  KH 5  O2 on  CO2 off"
QString readout(const LogRow& row, Language language);

// The statistics of the view, one item a line.
QString statisticsText(const Statistics& s, Language language);

// The files with skipped lines or errors, one a line: name, count and the first line numbers.
QString problemsText(const LogSet& logs, Language language);
