#pragma once

#include "Frame.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>

// "2016-10-01T18:30:08+02:00": ISO 8601 with the local offset ("+00:00" for UTC).
QString isoTimeWithOffset(const QDateTime& time);

// The values of one good record under the state's keys: ph, ph_min, ph_max, alarm (the
// threshold), alarm_low, alarm_high, co2_ppm, kh, brightness, contrast (numbers), o2_out,
// co2_out, in_alarm (booleans), and ph_above (10 while the controller shows ">10") and
// co2_ppm_above (100 for ">100!") beside their null values. Each line is read in the form the
// controller sends it ("7,05", "12,3", "5"); a line outside its form is null and counted in
// `refused`, so no stray number reaches the statistics. The blank CO2 ("--.-", shown when PPM and
// KH are both "0") is null too, but the controller's own way of showing nothing, not a refusal;
// KH 0 stays 0.
struct RecordValues {
    QJsonObject json;
    int refused = 0;
};
RecordValues recordValues(const ReceivedRecord& record);

// What the service tells of itself beside each record.
struct ServiceStatus {
    long long records = 0; // good records read since start
    long long refused = 0; // values refused since start
    QString log;           // "writing", or why rows are not being written
};

// The JSON state: the record's values, its time, and the status as records, refused and log.
QByteArray statePayload(const RecordValues& values, const QDateTime& time, const ServiceStatus& status);

// The once-a-minute figures: {"records":N,"time":"..."}, the records read and the last one's time.
QByteArray diagnosticsPayload(long long records, const QDateTime& time);
