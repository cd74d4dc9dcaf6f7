#pragma once

#include "Log.h"

#include <QDate>

#include <optional>

// The CSV log of the service: the window's log, always on, in one folder. The first record
// starts a file, then one row a clock minute; a file is finished (renamed with its end stamp)
// at midnight, so each day has its own, and at stop. A log deleted or moved meanwhile is
// followed by a new one, told in one line. A failing write is told once, and its end once, when
// writing works again.
class ServiceLog {
public:
    // A line for the journal: a failure, or the end of one.
    struct Note {
        QString text;
        bool failure = true;
    };

    ServiceLog(QString folder, Clock now) : folder_(std::move(folder)), now_(std::move(now)) {}

    // A good record (as decoded).
    std::optional<Note> record(FrameLines lines);
    // Finishes the day's file once the date has changed.
    std::optional<Note> tick();
    // Finishes the current file, if one is open.
    std::optional<Note> finish();

    bool fileOpen() const { return finished_ == 0; }
    const QString& fileName() const { return fileName_; }
    // Why rows are not being written now; empty while they are.
    const QString& failure() const { return failure_; }

private:
    std::optional<Note> failed(const QString& message);
    std::optional<Note> worked();

    QString folder_;
    Clock now_;
    int frameCount_ = 1;
    int finished_ = 1;
    QString fileName_;
    QString lastMinute_;
    QDate day_;
    LogBacklog backlog_;
    QString failure_;
};
