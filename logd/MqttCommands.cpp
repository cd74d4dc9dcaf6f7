#include "MqttCommands.h"

#include "Settings.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

struct SettingKey {
    const char* name;
    const SpinLimit& limit;
    long double SpinValues::*value;
};

const SettingKey kSettingKeys[] = {
    {"ph_min", kSpinLimits.phMin, &SpinValues::phMin},
    {"ph_max", kSpinLimits.phMax, &SpinValues::phMax},
    {"alarm", kSpinLimits.threshold, &SpinValues::threshold},
    {"kh", kSpinLimits.kh, &SpinValues::kh},
    {"brightness", kSpinLimits.brightness, &SpinValues::brightness},
    {"contrast", kSpinLimits.contrast, &SpinValues::contrast},
};

QString limitText(long double v, int decimals) { return QString::number(double(v), 'f', decimals); }

CommandCheck refused(const QString& command, const QString& error) { return {command, {}, error}; }

std::optional<CommandCheck> refusedIfTooLarge(const QString& command, const QByteArray& payload)
{
    if (payload.size() <= kMaxCommandBytes)
        return std::nullopt;
    return refused(
        command, QStringLiteral("the payload is larger than %1 bytes; refused unread").arg(kMaxCommandBytes));
}

} // namespace

QString excerpt(const QString& text)
{
    constexpr qsizetype kChars = 40;
    return text.size() <= kChars ? text : text.left(kChars) + QStringLiteral("...");
}

std::optional<SpinValues> settingsFromFields(const SettingsFields& f)
{
    auto number = [&f](SettingsField n) -> std::optional<long double> {
        const QString& t = f[n];
        if (t.isEmpty() || t.size() > 3)
            return std::nullopt;
        for (QChar c : t)
            if (c < u'0' || c > u'9')
                return std::nullopt;
        return static_cast<long double>(t.toInt());
    };
    const auto phMinWhole = number(SettingsField::PhMinWhole),
               phMinCents = number(SettingsField::PhMinHundredths),
               phMaxWhole = number(SettingsField::PhMaxWhole),
               phMaxCents = number(SettingsField::PhMaxHundredths), alarm = number(SettingsField::Alarm),
               kh = number(SettingsField::Kh), brightness = number(SettingsField::Brightness),
               contrast = number(SettingsField::Contrast);
    if (!phMinWhole || !phMinCents || !phMaxWhole || !phMaxCents || !alarm || !kh || !brightness || !contrast)
        return std::nullopt;
    auto within = [](long double v, const SpinLimit& l) { return std::clamp(v, l.min, l.max); };
    return SpinValues{within(*phMinWhole + *phMinCents / 100, kSpinLimits.phMin),
                      within(*phMaxWhole + *phMaxCents / 100, kSpinLimits.phMax),
                      within(*alarm / 100, kSpinLimits.threshold),
                      within(*kh, kSpinLimits.kh),
                      within(*brightness, kSpinLimits.brightness),
                      within(*contrast, kSpinLimits.contrast)};
}

CommandCheck checkSettingsCommand(const QByteArray& payload, const std::optional<SpinValues>& current)
{
    const QString cmd = QStringLiteral("set");
    if (auto tooLarge = refusedIfTooLarge(cmd, payload))
        return *tooLarge;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(cmd, QStringLiteral("not JSON: ") + parseError.errorString());
    if (!doc.isObject())
        return refused(cmd, QStringLiteral("expected a JSON object"));
    const QJsonObject o = doc.object();
    for (auto it = o.begin(); it != o.end(); ++it) {
        bool known = false;
        for (const SettingKey& k : kSettingKeys)
            known = known || it.key() == QLatin1String(k.name);
        if (!known)
            return refused(cmd, QStringLiteral("unknown key '%1'").arg(excerpt(it.key())));
    }
    if (o.isEmpty())
        return refused(cmd, QStringLiteral("no settings in the object"));
    SpinValues values = current.value_or(SpinValues{});
    for (const SettingKey& k : kSettingKeys) {
        const QString name = QString::fromLatin1(k.name);
        if (!o.contains(name) && current)
            continue;
        if (!o.contains(name))
            return refused(
                cmd,
                QStringLiteral("missing %1, and no record from the controller has given it yet").arg(name));
        const QJsonValue v = o.value(name);
        if (!v.isDouble())
            return refused(cmd, QStringLiteral("%1 is not a number").arg(name));
        const double d = v.toDouble();
        // The value in steps of the edit (hundredths or ones); it must be a whole number of steps.
        const double scale = std::pow(10.0, k.limit.decimals);
        const double steps = std::round(d * scale);
        if (!std::isfinite(d) || std::fabs(d * scale - steps) > 1e-6)
            return refused(
                cmd, k.limit.decimals
                         ? QStringLiteral("%1 has more than %2 decimals").arg(name).arg(k.limit.decimals)
                         : QStringLiteral("%1 is not a whole number").arg(name));
        const long double exact = static_cast<long double>(steps) / static_cast<long double>(scale);
        if (steps < std::round(double(k.limit.min) * scale) ||
            steps > std::round(double(k.limit.max) * scale))
            return refused(cmd, QStringLiteral("%1 %2 is out of range %3 to %4")
                                    .arg(name, excerpt(limitText(exact, k.limit.decimals)),
                                         limitText(k.limit.min, k.limit.decimals),
                                         limitText(k.limit.max, k.limit.decimals)));
        values.*k.value = exact;
    }
    // A range that is empty or upside down would keep the controller's outputs switching.
    if (values.phMin >= values.phMax)
        return refused(cmd, QStringLiteral("ph_min %1 must be below ph_max %2")
                                .arg(limitText(values.phMin, 2), limitText(values.phMax, 2)));
    SettingsFields fields;
    computeSettingsFields(values, fields);
    return {cmd, settingsFrameWrites(fields), {}};
}

CommandCheck checkDeviceCommand(const QByteArray& payload)
{
    if (auto tooLarge = refusedIfTooLarge(QStringLiteral("command"), payload))
        return *tooLarge;
    QString name = QString::fromUtf8(payload).trimmed();
    const QJsonDocument doc = QJsonDocument::fromJson(payload);
    if (doc.isObject())
        name = doc.object().value(QStringLiteral("command")).toString();
    if (name == QLatin1String("restart"))
        return {name, {QString::fromLatin1(RestartCommand)}, {}};
    if (name == QLatin1String("factory_reset"))
        return {name, {QString::fromLatin1(FactorySettingsCommand)}, {}};
    return refused(excerpt(name), QStringLiteral("unknown command: expected restart or factory_reset"));
}

QByteArray commandResult(const CommandCheck& check, const QString& sendError)
{
    QJsonObject o;
    o.insert(QStringLiteral("command"), check.command);
    const QString error = check.accepted() ? sendError : check.error;
    o.insert(QStringLiteral("ok"), error.isEmpty());
    if (error.isEmpty()) {
        QString sent;
        for (const QString& w : check.writes)
            sent += w;
        o.insert(QStringLiteral("sent"), sent);
    } else
        o.insert(QStringLiteral("error"), error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool CommandRateLimiter::admit(qint64 nowMs)
{
    if (lastMs_ && nowMs - *lastMs_ < kIntervalMs) {
        ++refusedInARow_;
        return false;
    }
    lastMs_ = nowMs;
    refusedInARow_ = 0;
    return true;
}

bool RefusalDigest::refused(qint64 nowMs)
{
    if (lineMs_ && nowMs - *lineMs_ < kWindowMs) {
        ++heldBack_;
        return false;
    }
    lineMs_ = nowMs;
    return true;
}

std::optional<long long> RefusalDigest::summary(qint64 nowMs)
{
    if (heldBack_ == 0 || !lineMs_ || nowMs - *lineMs_ < kWindowMs)
        return std::nullopt;
    lineMs_ = nowMs;
    return std::exchange(heldBack_, 0);
}
