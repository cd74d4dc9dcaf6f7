#include "SettingsFile.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Settings.h"

#include <QFile>

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("Cannot read the settings file \"%1\": %2").arg(path, file.errorString()));
    // A settings file is a few dozen bytes; a large file is read no further than
    // its fifteenth line, and no line is read beyond 64 KiB.
    constexpr qint64 maxLine = 64 * 1024;
    std::vector<QString> lines;
    while (static_cast<int>(lines.size()) < MaxSettingsFileLines && !file.atEnd()) {
        QByteArray line = file.readLine(maxLine);
        if (line.isEmpty() && file.error() != QFileDevice::NoError)
            throw EInOutError(
                QStringLiteral("Cannot read the settings file \"%1\": %2").arg(path, file.errorString()));
        const bool complete = line.endsWith('\n');
        if (complete)
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        // Skip what is left of an overlong line.
        if (!complete)
            while (!file.atEnd() && !file.readLine(maxLine).endsWith('\n')) {
            }
        lines.push_back(QString::fromLatin1(line));
    }
    return lines;
}

void fieldsFromFileLines(const std::vector<QString>& lines, SettingsFields& fields)
{
    // Line N holds field N; lines beyond the fields are ignored.
    for (std::size_t i = 0; i < lines.size() && i + 1 < SettingsFields::Count; ++i)
        fields[settingsFieldOfFileLine(i)] = lines[i];
}

LoadedSettings settingsFromFields(const SettingsFields& f)
{
    using F = SettingsField;
    auto integer = [&f](F field) { return static_cast<long double>(toInt(f[field])); };
    // The whole part is converted before the hundredths, so an error names the first.
    auto ph = [&integer](F whole, F hundredths) {
        const long double w = integer(whole);
        return w + integer(hundredths) / 100;
    };
    return convertSettings({
        [&] { return ph(F::PhMinWhole, F::PhMinHundredths); },
        [&] { return ph(F::PhMaxWhole, F::PhMaxHundredths); },
        [&] { return integer(F::Alarm) / 100; },
        [&] { return integer(F::Kh); },
        [&] { return integer(F::Brightness); },
        [&] { return integer(F::Contrast); },
    });
}
