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
    f[5] = QString::number(minWhole);
    f[6] = QString::number(minHundredths);
    f[3] = QString::number(maxWhole);
    f[4] = QString::number(maxHundredths);
    f[7] = QString::number(exactHundredths(v.threshold));
    f[8] = integerText(v.kh);
    f[1] = integerText(v.brightness);
    f[2] = integerText(v.contrast);
}

std::vector<QString> settingsFrameWrites(SettingsFields& f)
{
    f[9] = QStringLiteral("0");
    f[10] = QStringLiteral("0");
    f[11] = QStringLiteral("11");
    std::vector<QString> writes;
    for (int n = 1; n <= 11; ++n) {
        if (f[n].size() == 1)
            f[n].prepend(QStringLiteral("00"));
        if (n < 11 && f[n].size() == 2)
            f[n].prepend(u'0');
        writes.push_back(f[n]);
    }
    return writes;
}

void updateRecordFromFields(FrameLines& l, const SettingsFields& f)
{
    auto phLine = [](const QString& whole, const QString& hundredths) {
        return plainNumber(whole) + u',' + plainNumber(hundredths).rightJustified(2, u'0');
    };
    l[1] = phLine(f[5], f[6]);
    l[2] = phLine(f[3], f[4]);
    l[4] = plainNumber(f[8]);
    l[5] = plainNumber(f[7]);
    l[8] = plainNumber(f[1]);
    l[9] = plainNumber(f[2]);
}

TakenSettings takeSettings(FrameLines& l)
{
    TakenSettings t;
    if (l[1].size() < 4 || l[2].size() < 4)
        return t;
    t.recordComplete = true;
    try {
        l[1][1] = u',';
        t.phMin = toFloat(l[1]);
        l[2][1] = u',';
        t.phMax = toFloat(l[2]);
        t.threshold = toFloat(l[5]) / 100;
        t.kh = toFloat(l[4]);
        t.brightness = toFloat(l[8]);
        t.contrast = toFloat(l[9]);
    } catch (const EConvertError& e) {
        t.error = e.message();
    }
    return t;
}

void fieldsFromRecord(const FrameLines& l, SettingsFields& f)
{
    f[1] = l[8];
    f[2] = l[9];
    f[3] = l[2].left(1);
    f[4] = l[2].mid(2, 2);
    f[5] = l[1].left(1);
    f[6] = l[1].mid(2, 2);
    f[7] = l[5];
    f[8] = l[4];
}
