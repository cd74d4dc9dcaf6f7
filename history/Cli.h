#pragma once

// The command line: the files and folders to open, and the headless exports.
//   tarlo02-history [FILE|FOLDER]...
//   tarlo02-history --png out.png [--size 1200x700] [--scale 2] [--from T] [--to T] [FILE|FOLDER]...
//   tarlo02-history --csv merged.csv [--daily | --utc-offset] [--from T] [--to T] [FILE|FOLDER]...
//   tarlo02-history --window-png out.png [--size 1200x860] [--scale 2] [--from T] [--to T] [FILE|FOLDER]...
// T is "yyyy-MM-dd", "yyyy-MM-dd hh:mm[:ss]" or "yyyy-MM-ddThh:mm[:ss]"; a date alone for
// --to means the end of that day.

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

struct CliOptions {
    QString png, csv, windowPng;
    bool daily = false;     // --csv writes a line a day instead of the rows
    bool utcOffset = false; // --csv gives each row its offset from UTC
    std::optional<QSize> size;
    // Device pixels a pixel of the PNGs: 2 draws them at twice the pixels each way, as a screen
    // at 200 % shows them. Unset: the ratio of the screen (1 without a display).
    std::optional<double> scale;
    std::optional<QDateTime> from, to;
    QStringList inputs; // the working folder when none is named
    bool help = false;
    bool version = false;
    QString error; // the command line is wrong: this says why
    bool headless() const { return !png.isEmpty() || !csv.isEmpty() || !windowPng.isEmpty(); }
};

CliOptions parseCli(const QStringList& arguments, const QString& workingFolder);

QString usage();

// Runs the exports of a headless command line. Returns the exit code: 0 done, 1 nothing could
// be read or written, or a picture asked for has no rows in its range. err: what to tell on stderr, one line
// each: why it failed, or, when it was done, which files could not be read or had lines skipped.
int runHeadless(const CliOptions& options, QStringList& err);
