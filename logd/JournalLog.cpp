#include "JournalLog.h"

#include <unistd.h>

JournalLog::JournalLog(std::FILE* out) : out_(out), terminal_(isatty(fileno(out)) == 1) {}

QString JournalLog::format(Level level, const QString& message, bool terminal)
{
    // A message never spans lines: a line end in it (from a device or an error text) would
    // start a line without a level.
    QString oneLine = message;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    if (!terminal)
        return QStringLiteral("<%1>%2").arg(int(level)).arg(oneLine);
    switch (level) {
    case Error:
        return QStringLiteral("\x1b[31merror:\x1b[0m ") + oneLine;
    case Warning:
        return QStringLiteral("\x1b[33mwarning:\x1b[0m ") + oneLine;
    case Info:
        break;
    }
    return oneLine;
}

void JournalLog::write(Level level, const QString& message) const
{
    const QByteArray line = format(level, message, terminal_).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), out_);
    std::fflush(out_);
}
