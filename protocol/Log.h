#pragma once

#include "Records.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

inline constexpr char LogHeader[] = "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2";

// dir/yyyy-MM-dd {hhmmss}.csv
QString logFileName(const QString& dir, const QDateTime& start);

// The path without its extension, four spaces, and the end stamp:
// "2016-10-01 {183008}    2016-10-01 {191210}.csv".
QString finishedLogName(const QString& path, const QDateTime& end);

// Puts "," back as the second character of frame line 1 when it holds "."
// (the display replaced it); ">10" stays.
void restorePhComma(FrameLines& lines);

// One CSV row without its line end: time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2.
QString formatLogRow(const FrameLines& lines, const QString& time);

// Creates a new log in folder with the header and its first row, named by start. A log is only
// ever created new: when the name is taken (another copy of the program logging into the same
// folder, a file the user put there), the next second's stamp is tried, up to a minute on.
// Returns the path written.
// Each call writes, flushes and closes before it returns, so every row is in the
// file even if the program stops; a failure throws EInOutError naming the file.
QString startLogFile(const QString& folder, const QDateTime& start, const QString& firstRow);
// Appends one row; false when the log is not there any more (deleted or moved).
bool appendLogRow(const QString& path, const QString& row);
// Renames a finished log; an existing file of the new name is not replaced.
void renameLog(const QString& oldPath, const QString& newPath);

// The log's part of the program-wide state, referred to where it lives.
struct LogState {
    int& LogFrameCount;   // 1: the next good frame while logging starts a new file
    int& LogFinished;     // 0 from starting a log until it is finished
    QString& LogFileName; // the current log's path; after finishing, its new path
    QDate& LogDay;        // the day the current log holds rows of
};

using Clock = std::function<QDateTime()>;

// The log step for one good frame, run before LastFrameMinute takes ClockMinute.
// logging: CheckBox1 ticked; folder: where a new log goes.
// The clock is read once for a new file's name and once for each row's time.
// A log holds one day: a row of another day finishes it and starts the day's own file. A row
// whose log was deleted or moved starts a new log, so logging goes on.
// A file error throws EInOutError. After a failed start nothing awaits finishing (LogFinished
// 1) and LogFrameCount is still 1, so the next good frame tries to start a file again.
// Returns what failed without stopping the row, to tell: the past day's log that could not be
// renamed (it keeps its start name and every row; the new day's file is started anyway).
std::optional<QString> runLogStep(const LogState& state, bool logging, FrameLines& lines,
                                  const QString& clockMinute, const QString& lastFrameMinute,
                                  const QString& folder, const Clock& now);

// Renames the current log with its end stamp. A log that is not there any more has nothing to
// rename: it counts as finished. A failed rename throws and leaves LogFinished at 0, so the next
// attempt tries again.
void finishLog(const LogState& state, const Clock& now);

// Finishes the current log once the date is past its day, and makes the next row start the new
// day's file; true when it did. For a clock tick, so a day's log ends at midnight also when no
// record comes.
bool finishLogOfPastDay(const LogState& state, const Clock& now);
