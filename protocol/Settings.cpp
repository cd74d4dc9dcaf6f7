#include "Settings.h"

#include "Numbers.h"

#include <cmath>

namespace {

QString integerText(long double v) { return QString::number(static_cast<long long>(std::trunc(v))); }

// Integer part and hundredths of a pH value. The hundredths round half to even;
// should they round up to 100, they carry into the integer part, so the frame
// never gets a four-digit field (6,999 -> 7 and 0).
std::pair<long long, long long> splitHundredths(long double v)
{
    long double whole = std::trunc(v);
    long double hundredths = std::nearbyint((v - whole) * 100);
    if (hundredths >= 100) {
        whole += 1;
        hundredths -= 100;
    }
    return {static_cast<long long>(whole), static_cast<long long>(hundredths)};
}

// The integer part of v × 100, taken from the decimal value the user sees:
// 0,53 is held as 0.5299999..., whose binary product lies just below 53.
long long exactHundredths(long double v)
{
    const long double p = v * 100;
    const long double nearest = std::nearbyint(p);
    if (std::fabs(p - nearest) < 1e-9L)
        return static_cast<long long>(nearest);
    return static_cast<long long>(std::trunc(p));
}

// "006" -> "6"; a text that is not all digits stays as it is.
QString plainNumber(const QString& s)
{
    if (s.isEmpty())
        return s;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return s;
    qsizetype i = 0;
    while (i + 1 < s.size() && s[i] == u'0')
        ++i;
    return s.mid(i);
}

} // namespace

void computeSettingsFields(const SpinValues& v, SettingsFields& f)
{
    const auto [minWhole, minHundredths] = splitHundredths(v.phMin);
    const auto [maxWhole, maxHundredths] = splitHundredths(v.phMax);
    using F = SettingsField;
    f[F::PhMinWhole] = QString::number(minWhole);
    f[F::PhMinHundredths] = QString::number(minHundredths);
    f[F::PhMaxWhole] = QString::number(maxWhole);
    f[F::PhMaxHundredths] = QString::number(maxHundredths);
    f[F::Alarm] = QString::number(exactHundredths(v.threshold));
    f[F::Kh] = integerText(v.kh);
    f[F::Brightness] = integerText(v.brightness);
    f[F::Contrast] = integerText(v.contrast);
}

std::vector<QString> settingsFrameWrites(SettingsFields& f)
{
    f[SettingsField::Reserved1] = QStringLiteral("0");
    f[SettingsField::Reserved2] = QStringLiteral("0");
    f[SettingsField::End] = QStringLiteral("11");
    std::vector<QString> writes;
    for (SettingsField n : kFrameFields) {
        QString& field = f[n];
        if (field.size() == 1)
            field.prepend(QStringLiteral("00"));
        if (n != SettingsField::End && field.size() == 2)
            field.prepend(u'0');
        writes.push_back(field);
    }
    return writes;
}

void updateRecordFromFields(FrameLines& l, const SettingsFields& f)
{
    auto phLine = [](const QString& whole, const QString& hundredths) {
        return plainNumber(whole) + u',' + plainNumber(hundredths).rightJustified(2, u'0');
    };
    using F = SettingsField;
    l[RecordLine::PhMin] = phLine(f[F::PhMinWhole], f[F::PhMinHundredths]);
    l[RecordLine::PhMax] = phLine(f[F::PhMaxWhole], f[F::PhMaxHundredths]);
    l[RecordLine::Kh] = plainNumber(f[F::Kh]);
    l[RecordLine::Alarm] = plainNumber(f[F::Alarm]);
    l[RecordLine::Brightness] = plainNumber(f[F::Brightness]);
    l[RecordLine::Contrast] = plainNumber(f[F::Contrast]);
}

SpinSettings convertSettings(const SettingsConversions& c)
{
    SpinSettings s;
    try {
        s.phMin = c.phMin();
        s.phMax = c.phMax();
        s.threshold = c.threshold();
        s.kh = c.kh();
        s.brightness = c.brightness();
        s.contrast = c.contrast();
    } catch (const EConvertError& e) {
        s.error = e.message();
    }
    return s;
}

TakenSettings takeSettings(FrameLines& l)
{
    using L = RecordLine;
    TakenSettings t;
    if (l[L::PhMin].size() < 4 || l[L::PhMax].size() < 4)
        return t;
    t.recordComplete = true;
    // A pH line gets its "," only when its turn comes, so an earlier error leaves it as it was.
    auto ph = [&l](L line) {
        l[line][1] = u',';
        return toFloat(l[line]);
    };
    static_cast<SpinSettings&>(t) = convertSettings({
        [&] { return ph(L::PhMin); },
        [&] { return ph(L::PhMax); },
        [&] { return toFloat(l[L::Alarm]) / 100; },
        [&] { return toFloat(l[L::Kh]); },
        [&] { return toFloat(l[L::Brightness]); },
        [&] { return toFloat(l[L::Contrast]); },
    });
    return t;
}

void fieldsFromRecord(const FrameLines& l, SettingsFields& f)
{
    using F = SettingsField;
    using L = RecordLine;
    f[F::Brightness] = l[L::Brightness];
    f[F::Contrast] = l[L::Contrast];
    f[F::PhMaxWhole] = l[L::PhMax].left(1);
    f[F::PhMaxHundredths] = l[L::PhMax].mid(2, 2);
    f[F::PhMinWhole] = l[L::PhMin].left(1);
    f[F::PhMinHundredths] = l[L::PhMin].mid(2, 2);
    f[F::Alarm] = l[L::Alarm];
    f[F::Kh] = l[L::Kh];
}
