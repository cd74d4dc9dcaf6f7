#pragma once

#include "Records.h"

#include <QDateTime>
#include <QString>

#include <functional>

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

// Creates (or overwrites) the log with the header and its first row.
// Each call writes, flushes and closes before it returns, so every row is in the
// file even if the program stops; a failure throws EInOutError naming the file.
void startLogFile(const QString& path, const QString& firstRow);
// Appends one row.
void appendLogRow(const QString& path, const QString& row);
// Renames a finished log; an existing file of the new name is not replaced.
void renameLog(const QString& oldPath, const QString& newPath);

// The log's part of the program-wide state, referred to where it lives.
struct LogState {
    int& LogFrameCount;   // 1: the next good frame while logging starts a new file
    int& LogFinished;     // 0 from starting a log until it is finished
    QString& LogFileName; // the current log's path; after finishing, its new path
};

using Clock = std::function<QDateTime()>;

// The log step for one good frame, run before LastFrameMinute takes ClockMinute.
// logging: CheckBox1 ticked; folder: where a new log goes (the current directory).
// The clock is read once for a new file's name and once for each row's time.
// A file error throws EInOutError; the state changed before it stays changed
// (after a failed start LogFinished is 0 and LogFrameCount still 1).
void runLogStep(const LogState& state, bool logging, FrameLines& lines, const QString& clockMinute,
                const QString& lastFrameMinute, const QString& folder, const Clock& now);

// Renames the current log with its end stamp. A failed rename throws and leaves
// LogFinished at 0, so the next attempt tries again.
void finishLog(const LogState& state, const Clock& now);
