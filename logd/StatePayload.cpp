#include "StatePayload.h"

#include "Numbers.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

// A shown value as a number: "7.05", "6,80", "05,5" and "00.0" convert; a bound (">10",
// ">100!"), a blank ("--.-", "--") or nothing shown is null.
std::optional<double> shownNumber(const std::optional<QString>& shown)
{
    if (!shown || shown->startsWith(u'>') || shown->contains(QStringLiteral("--")))
        return std::nullopt;
    QString text = *shown;
    text.replace(u'.', u',');
    try {
        return double(toFloat(text));
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

QJsonValue json(std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }
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

QByteArray statePayload(const ReceivedRecord& r, const QDateTime& time)
{
    const FrameDisplay& d = r.display;
    const FrameLines& l = r.extracted;
    const std::optional<double> ph = shownNumber(d.Label7);
    const std::optional<double> low = shownNumber(d.Label17);
    const std::optional<double> high = shownNumber(d.Label23);
    std::optional<double> kh;
    if (d.Label12 != QStringLiteral("--"))
        try {
            kh = toInt(l[RecordLine::Kh]);
        } catch (const EConvertError&) {
        }
    // Above 10 the pH is over every high limit below 10; otherwise it takes both limits known.
    std::optional<bool> inAlarm;
    if (ph && low && high)
        inAlarm = *ph < *low || *ph > *high;
    else if (d.Label7 == QStringLiteral(">10") && high && *high < 10)
        inAlarm = true;

    QJsonObject o;
    o.insert(QStringLiteral("ph"), json(ph));
    o.insert(QStringLiteral("ph_min"), json(shownNumber(d.Label8)));
    o.insert(QStringLiteral("ph_max"), json(shownNumber(d.Label9)));
    o.insert(QStringLiteral("alarm_low"), json(low));
    o.insert(QStringLiteral("alarm_high"), json(high));
    o.insert(QStringLiteral("co2_ppm"), json(shownNumber(d.Label11)));
    o.insert(QStringLiteral("kh"), json(kh));
    o.insert(QStringLiteral("o2_out"), json(d.Image2));
    o.insert(QStringLiteral("co2_out"), json(d.Image1));
    o.insert(QStringLiteral("in_alarm"), json(inAlarm));
    o.insert(QStringLiteral("time"), isoTimeWithOffset(time));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
