#pragma once

#include "Log.h"

#include <QDate>

#include <optional>

// The CSV log of the service: the window's log, always on, in one folder. The first record
// starts a file, then one row a clock minute; a file is finished (renamed with its end stamp)
// at midnight, so each day has its own, and at stop. A failing write is told once, and again
// only after writing has worked in between.
class ServiceLog {
public:
    ServiceLog(QString folder, Clock now) : folder_(std::move(folder)), now_(std::move(now)) {}

    // A good record (as decoded). Returns a line to tell when writing failed.
    std::optional<QString> record(FrameLines lines);
    // Finishes the day's file once the date has changed.
    std::optional<QString> tick();
    // Finishes the current file, if one is open.
    std::optional<QString> finish();

    bool fileOpen() const { return finished_ == 0; }
    const QString& fileName() const { return fileName_; }

private:
    std::optional<QString> failed(const QString& message);

    QString folder_;
    Clock now_;
    int frameCount_ = 1;
    int finished_ = 1;
    QString fileName_;
    QString lastMinute_;
    QDate day_;
    bool failing_ = false;
};
