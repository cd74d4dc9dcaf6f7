#include "SettingsFile.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Preferences.h"
#include "Settings.h"

#include <QDir>
#include <algorithm>

void fieldsForSaving(const SpinValues& values, SettingsFields& fields)
{
    for (std::size_t i = 0; i < kSettingsFileFields; ++i)
        fields[kFrameFields[i]] = QStringLiteral("0");
    computeSettingsFields(values, fields);
}

QByteArray formatSettingsFile(const SettingsFields& fields)
{
    QByteArray out;
    for (std::size_t i = 0; i < kSettingsFileFields; ++i)
        out += fields[kFrameFields[i]].toLatin1() + "\r\n";
    return out;
}

void saveSettingsFile(const QString& path, const QByteArray& data)
{
    replaceFileAtomically(path, data, QStringLiteral("Cannot save the settings file"));
}

std::vector<QString> readSettingsFileLines(const QString& path)
{
    // A settings file is a few dozen bytes. It is read without blocking (a FIFO or a device is
    // refused) and no further than fifteen lines of at most MaxSettingsLineLength characters.
    const QString what = QStringLiteral("Cannot read the settings file");
    const SmallFile file =
        readSmallFile(path, qint64(MaxSettingsFileLines) * (MaxSettingsLineLength + 2), what);
    if (const QString problem = Preferences::encodingProblem(file.data); !problem.isEmpty())
        throw EInOutError(QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), problem));
    return settingsFileLines(file.data, file.whole);
}

std::vector<QString> settingsFileLines(const QByteArray& data, bool whole)
{
    // Lines end as in the preferences: CR LF, LF or CR.
    const QList<QByteArray> all = Preferences::byteLines(data);
    // A read that stopped before the end without a line end stopped inside the last line.
    const bool lastCut = !whole && !data.endsWith('\n') && !data.endsWith('\r');
    std::vector<QString> lines;
    for (qsizetype i = 0; i < all.size() && lines.size() < std::size_t(MaxSettingsFileLines); ++i) {
        const QByteArray& line = all[i];
        if ((lastCut && i == all.size() - 1) || line.size() > MaxSettingsLineLength) {
            // Too long for any value: kept as a text that never converts, so loading reports it
            // as a bad value instead of reading a cut-off number.
            lines.push_back(Preferences::decodeLine(line.left(16)) + QChar(0x2026));
            continue;
        }
        lines.push_back(Preferences::decodeLine(line));
    }
    return lines;
}

void fieldsFromFileLines(const std::vector<QString>& lines, SettingsFields& fields)
{
    // Line N holds field N; lines beyond the fields are ignored.
    for (std::size_t i = 0; i < lines.size() && i + 1 < SettingsFields::Count; ++i)
        fields[settingsFieldOfFileLine(i)] = lines[i];
}

namespace {

// settingsFromFields, also naming the field whose conversion failed.
LoadedSettings convertFields(const SettingsFields& f, std::optional<SettingsField>& failed)
{
    using F = SettingsField;
    auto integer = [&f, &failed](F field) {
        failed = field;
        return static_cast<long double>(toInt(f[field]));
    };
    // The whole part is converted before the hundredths, so an error names the first.
    auto ph = [&integer](F whole, F hundredths) {
        const long double w = integer(whole);
        return w + integer(hundredths) / 100;
    };
    LoadedSettings s = convertSettings({
        [&] { return ph(F::PhMinWhole, F::PhMinHundredths); },
        [&] { return ph(F::PhMaxWhole, F::PhMaxHundredths); },
        [&] { return integer(F::Alarm) / 100; },
        [&] { return integer(F::Kh); },
        [&] { return integer(F::Brightness); },
        [&] { return integer(F::Contrast); },
    });
    if (!s.error)
        failed.reset();
    return s;
}

// A bad value as a message shows it: its first 16 characters, each one that does not print
// (a control character, a tab) as "?", and "…" when there are more.
QString shownValue(const QString& value)
{
    const QList<uint> chars = value.toUcs4();
    QString shown;
    for (qsizetype i = 0; i < std::min<qsizetype>(chars.size(), 16); ++i) {
        const char32_t c = chars[i];
        shown += QChar::isPrint(c) ? QString::fromUcs4(&c, 1) : QStringLiteral("?");
    }
    if (chars.size() > 16)
        shown += QChar(0x2026);
    return shown;
}

} // namespace

LoadedSettings settingsFromFields(const SettingsFields& f)
{
    std::optional<SettingsField> failed;
    return convertFields(f, failed);
}

LoadedSettings loadSettingsLines(const QString& path, const std::vector<QString>& lines,
                                 SettingsFields& fields)
{
    LoadedSettings s;
    if (lines.empty()) {
        s.error = QStringLiteral("Settings file \"%1\" is empty").arg(QDir::toNativeSeparators(path));
        return s;
    }
    // A file cut short is refused whole: the fields it lacks would otherwise keep the values of
    // the last record or file, and the spin edits would show a mix nobody saved.
    if (lines.size() < kSettingsFileFields) {
        s.error = QStringLiteral("Settings file \"%1\" ends before line %2")
                      .arg(QDir::toNativeSeparators(path), QString::number(lines.size() + 1));
        return s;
    }
    fieldsFromFileLines(lines, fields);
    std::optional<SettingsField> failed;
    s = convertFields(fields, failed);
    if (failed) {
        // Field N comes from line N.
        s.error = QStringLiteral("Settings file \"%1\", line %2: '%3' is not a valid integer value")
                      .arg(QDir::toNativeSeparators(path), QString::number(static_cast<std::size_t>(*failed)),
                           shownValue(fields[*failed]));
    }
    return s;
}
