#pragma once

#include "Frame.h"

#include <QByteArray>
#include <QDateTime>

// "2016-10-01T18:30:08+02:00": ISO 8601 with the local offset ("+00:00" for UTC).
QString isoTimeWithOffset(const QDateTime& time);

// The JSON state of one good record: ph, ph_min, ph_max, alarm_low, alarm_high, co2_ppm, kh
// (numbers), o2_out, co2_out, in_alarm (booleans) and time. A value the record gives only as a
// bound or a blank (">10", ">100!", "--.-", "--") or that does not convert is null, never 0.
QByteArray statePayload(const ReceivedRecord& record, const QDateTime& time);
