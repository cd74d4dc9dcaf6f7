// libFuzzer target: any bytes as a preferences file and as a settings file.
// Neither reader may crash, hang or grow without bound, the preferences keep line 1's bytes
// when written back, and a settings file gives at most fifteen lines of bounded length
// whose conversion either succeeds with finite values or reports a bad value.

#include "Numbers.h"
#include "Preferences.h"
#include "SettingsFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "file reader fault: %s\n", what);
    std::abort();
}

void preferences(const QByteArray& data)
{
    const QList<QByteArray> bytes = Preferences::byteLines(data);
    const QStringList lines = Preferences::textLines(data);
    if (bytes.size() != lines.size())
        fault("byte and text lines differ in number");
    for (const QByteArray& l : bytes)
        if (l.contains('\r') || l.contains('\n'))
            fault("a preferences line holds a line end");
    if (bytes.isEmpty())
        return;
    Preferences::Values v;
    v.port = lines.front();
    const QByteArray written = Preferences::format(v, bytes.front());
    if (!written.startsWith(bytes.front() + "\r\n"))
        fault("the port line's bytes are not written back as read");
    if (Preferences::byteLines(written).size() != Preferences::LineCount && !bytes.front().isEmpty())
        fault("a written preferences file is not seven lines");
}

void settings(const QByteArray& data)
{
    const qint64 cap = qint64(MaxSettingsFileLines) * (MaxSettingsLineLength + 2);
    const std::vector<QString> lines = settingsFileLines(data.left(cap), data.size() <= cap);
    if (lines.size() > std::size_t(MaxSettingsFileLines))
        fault("more than fifteen settings lines");
    for (const QString& l : lines)
        if (l.size() > MaxSettingsLineLength || l.contains(u'\n'))
            fault("a settings line too long or holding a line end");
    SettingsFields fields;
    fieldsFromFileLines(lines, fields);
    const LoadedSettings s = settingsFromFields(fields);
    for (const auto& v : {s.phMin, s.phMax, s.threshold, s.kh, s.brightness, s.contrast})
        if (v && !std::isfinite(double(*v)))
            fault("a loaded setting is not finite");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    preferences(bytes.left(Preferences::MaxFileSize));
    settings(bytes);
    return 0;
}
