#pragma once

// The command line: the files and folders to open, and the headless exports.
//   tarlo02-history [FILE|FOLDER]...
//   tarlo02-history --png out.png [--size 1200x700] [--from T] [--to T] [FILE|FOLDER]...
//   tarlo02-history --csv merged.csv [--from T] [--to T] [FILE|FOLDER]...
// T is "yyyy-MM-dd", "yyyy-MM-dd hh:mm[:ss]" or "yyyy-MM-ddThh:mm[:ss]"; a date alone for
// --to means the end of that day.

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

struct CliOptions {
    QString png, csv;
    QSize size{1200, 700};
    std::optional<QDateTime> from, to;
    QStringList inputs; // the working folder when none is named
    bool help = false;
    QString error; // the command line is wrong: this says why
    bool headless() const { return !png.isEmpty() || !csv.isEmpty(); }
};

CliOptions parseCli(const QStringList& arguments, const QString& workingFolder);

QString usage();

// Runs the exports of a headless command line; writes a one-line message to err on failure.
// Returns the exit code: 0 done, 1 nothing could be read or written.
int runHeadless(const CliOptions& options, QString& err);
