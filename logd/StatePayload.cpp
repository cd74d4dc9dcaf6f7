#include "StatePayload.h"

#include <QJsonDocument>

#include <optional>

namespace {

// Between `fewest` and `most` ASCII digits, nothing else: no sign, blank or exponent.
bool isDigits(QStringView s, qsizetype fewest, qsizetype most)
{
    if (s.size() < fewest || s.size() > most)
        return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

int digitsValue(QStringView s)
{
    int v = 0;
    for (QChar c : s)
        v = v * 10 + (c.unicode() - u'0');
    return v;
}

// A pH as the record gives it, one digit, "," and two ("7,05"), in hundredths.
std::optional<int> hundredths(const QString& line)
{
    const QStringView s(line);
    if (s.size() != 4 || s[1] != u',' || !isDigits(s.first(1), 1, 1) || !isDigits(s.sliced(2), 2, 2))
        return std::nullopt;
    return digitsValue(s.first(1)) * 100 + digitsValue(s.sliced(2));
}

// A whole number of one to `most` digits: KH (two, as the display shows it), the alarm
// threshold in hundredths, brightness and contrast (three, as they are sent).
std::optional<int> whole(const QString& line, qsizetype most)
{
    if (!isDigits(line, 1, most))
        return std::nullopt;
    return digitsValue(line);
}

// CO2 in tenths of a ppm: "0", or one or two digits, "," and one ("5,5", "25,5").
std::optional<int> ppmTenths(const QString& line)
{
    if (line == QStringLiteral("0"))
        return 0;
    const QStringView s(line);
    const qsizetype comma = s.indexOf(u',');
    if (comma < 1 || !isDigits(s.first(comma), 1, 2) || !isDigits(s.sliced(comma + 1), 1, 1))
        return std::nullopt;
    return digitsValue(s.first(comma)) * 10 + digitsValue(s.sliced(comma + 1));
}

// An output: "1" on, "0" off.
std::optional<bool> output(const QString& line)
{
    if (line == QStringLiteral("1"))
        return true;
    if (line == QStringLiteral("0"))
        return false;
    return std::nullopt;
}

QJsonValue scaled(std::optional<int> v, double divisor)
{
    return v ? QJsonValue(*v / divisor) : QJsonValue(QJsonValue::Null);
}

QJsonValue json(std::optional<bool> v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }

} // namespace

QString isoTimeWithOffset(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

RecordValues recordValues(const ReceivedRecord& r)
{
    // The lines as received: decoding rewrites line 1 for the display ("7.05", ">10").
    const FrameLines& l = r.extracted;
    const std::optional<int> ph = hundredths(l[RecordLine::Ph]);
    const std::optional<int> phMin = hundredths(l[RecordLine::PhMin]);
    const std::optional<int> phMax = hundredths(l[RecordLine::PhMax]);
    const std::optional<int> threshold = whole(l[RecordLine::Alarm], 3);
    const std::optional<int> ppm = ppmTenths(l[RecordLine::Ppm]);
    const std::optional<int> kh = whole(l[RecordLine::Kh], 2);
    const std::optional<int> brightness = whole(l[RecordLine::Brightness], 3);
    const std::optional<int> contrast = whole(l[RecordLine::Contrast], 3);
    const std::optional<bool> o2 = output(l[RecordLine::O2]);
    const std::optional<bool> co2 = output(l[RecordLine::Co2]);
    // What the display shows instead of a number: ">10" for a first digit 9 with the CO2
    // output off, ">100!" for PPM "100", and the blank "--.-" and "--" for PPM and KH both "0".
    const bool phAbove =
        ph && l[RecordLine::Ph].startsWith(u'9') && l[RecordLine::Co2] == QStringLiteral("0");
    const bool ppmAbove = l[RecordLine::Ppm] == QStringLiteral("100");
    const bool blank = l[RecordLine::Ppm] == QStringLiteral("0") && l[RecordLine::Kh] == QStringLiteral("0");

    RecordValues out;
    for (bool known :
         {ph.has_value(), phMin.has_value(), phMax.has_value(), threshold.has_value(), ppm || ppmAbove,
          kh.has_value(), brightness.has_value(), contrast.has_value(), o2.has_value(), co2.has_value()})
        out.refused += known ? 0 : 1;

    // The limits in hundredths, so that a whole pH (7,20 - 0,20) is as much a number as 6,60.
    std::optional<int> low, high;
    if (phMin && threshold)
        low = *phMin - *threshold;
    if (phMax && threshold)
        high = *phMax + *threshold;
    // Above 10 the pH is over every high limit below 10; otherwise it takes both limits known.
    std::optional<bool> inAlarm;
    if (ph && !phAbove && low && high)
        inAlarm = *ph < *low || *ph > *high;
    else if (phAbove && high && *high < 1000)
        inAlarm = true;

    QJsonObject& o = out.json;
    o.insert(QStringLiteral("ph"), scaled(phAbove ? std::nullopt : ph, 100));
    o.insert(QStringLiteral("ph_above"), phAbove ? QJsonValue(10) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("ph_min"), scaled(phMin, 100));
    o.insert(QStringLiteral("ph_max"), scaled(phMax, 100));
    o.insert(QStringLiteral("alarm"), scaled(threshold, 100));
    o.insert(QStringLiteral("alarm_low"), scaled(low, 100));
    o.insert(QStringLiteral("alarm_high"), scaled(high, 100));
    o.insert(QStringLiteral("co2_ppm"), scaled(blank || ppmAbove ? std::nullopt : ppm, 10));
    o.insert(QStringLiteral("co2_ppm_above"), ppmAbove ? QJsonValue(100) : QJsonValue(QJsonValue::Null));
    // KH 0 is the controller's own value (its factory setting), blank on the display only
    // because no CO2 can be worked out from it.
    o.insert(QStringLiteral("kh"), scaled(kh, 1));
    o.insert(QStringLiteral("brightness"), scaled(brightness, 1));
    o.insert(QStringLiteral("contrast"), scaled(contrast, 1));
    o.insert(QStringLiteral("o2_out"), json(o2));
    o.insert(QStringLiteral("co2_out"), json(co2));
    o.insert(QStringLiteral("in_alarm"), json(inAlarm));
    return out;
}

QByteArray statePayload(const RecordValues& values, const QDateTime& time, const ServiceStatus& status)
{
    QJsonObject o = values.json;
    o.insert(QStringLiteral("time"), isoTimeWithOffset(time));
    o.insert(QStringLiteral("records"), QJsonValue(qint64(status.records)));
    o.insert(QStringLiteral("refused"), QJsonValue(qint64(status.refused)));
    // A sensor's state holds at most 255 characters.
    o.insert(QStringLiteral("log"), status.log.left(255));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray diagnosticsPayload(long long records, const QDateTime& time)
{
    QJsonObject o;
    o.insert(QStringLiteral("records"), QJsonValue(qint64(records)));
    o.insert(QStringLiteral("time"), isoTimeWithOffset(time));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
