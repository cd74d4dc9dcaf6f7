#pragma once

#include "Records.h"

#include <QDateTime>
#include <QString>

#include <deque>
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

// Rows kept in memory while their log cannot be written (a full disk, a read-only or vanished
// folder, a file another program holds), in order, and what the log last saw of the clock.
struct LogBacklog {
    // A week of rows a minute; past that the oldest kept rows go.
    static constexpr qsizetype Week = 10080;
    qsizetype limit = Week;
    struct Row {
        QDateTime at;   // the time of the row: hh:mm:ss as a file's first row, else hh:mm
        QString fields; // the row after its time, from the first ";"
    };
    std::deque<Row> rows;  // oldest first
    bool create = false;   // the log's file is not made yet: it starts with the header
    QString folder;        // the folder of the running log
    QDateTime start;       // the stamp of a log to be made
    QString failure;       // why rows wait; empty while they are written
    qsizetype dropped = 0; // rows dropped past Limit since rows started to wait
    QDateTime seen;        // the latest clock reading of the running log
};

// The log's part of the program-wide state, referred to where it lives.
struct LogState {
    int& LogFrameCount;   // 1: the next good frame while logging starts a new file
    int& LogFinished;     // 0 from starting a log until it is finished
    QString& LogFileName; // the current log's path; after finishing, its new path
    QDate& LogDay;        // the day the current log holds rows of
    LogBacklog& Backlog;  // rows waiting to be written
};

using Clock = std::function<QDateTime()>;

// The log step for one good frame, run before LastFrameMinute takes ClockMinute.
// logging: CheckBox1 ticked; folder: where a new log goes.
// The clock is read once for a new file's name and once for each row's time.
// A log holds one day: a row of another day finishes it and starts the day's own file. A row
// whose log was deleted or moved starts a new log, so logging goes on.
// A row that cannot be written waits in state.Backlog, with the reason in its failure, and is
// written before the next row as soon as the file can be written again (tried at every step).
// Returns what failed without stopping the row, to tell: the past day's log that could not be
// renamed (it keeps its start name and every row; the new day's file is started anyway), or
// the first row dropped because a week of rows was waiting.
// With logging off, a log that cannot be finished throws EInOutError (finishLog).
std::optional<QString> runLogStep(const LogState& state, bool logging, FrameLines& lines,
                                  const QString& clockMinute, const QString& lastFrameMinute,
                                  const QString& folder, const Clock& now);

// Writes the rows waiting, then renames the current log with its end stamp. A log that is not
// there any more has nothing to rename: it counts as finished. Rows that still cannot be
// written, or a failed rename, throw and leave LogFinished at 0, so the next attempt tries again.
void finishLog(const LogState& state, const Clock& now);

// Finishes the current log once the date is past its day, or once the clock was set back by
// more than that day's clock change (then at the latest time the log saw, so no log's name
// ends before it starts), and makes the next row start a new file; true when it did. For a
// clock tick, so a day's log ends at midnight also when no record comes. While rows wait, the
// log runs on: they belong to it.
bool finishLogOnClockChange(const LogState& state, const Clock& now);
