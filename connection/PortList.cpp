#include "PortList.h"

#include "ComTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <vector>

namespace {

QString readAttribute(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(f.readAll()).trimmed();
}

// A "major:minor" text as one sortable number.
qint64 deviceNumber(const QString& dev)
{
    const QStringList parts = dev.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return -1;
    return parts[0].toLongLong() * 1'000'000 + parts[1].toLongLong();
}

} // namespace

QStringList serialPortNames(const QString& sysfsRoot)
{
    const QString classDir = sysfsRoot + QStringLiteral("/class/tty");
    DIR* dir = opendir(QFile::encodeName(classDir).constData());
    if (!dir)
        throw EComPort(CE_RegError + 1, errno);

    struct Port {
        qint64 number;
        QString name;
    };
    std::vector<Port> ports;
    while (dirent* entry = readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const QString base = classDir + QLatin1Char('/') + name;
        // Only ttys with a device behind them are real serial ports (consoles and
        // pseudo-terminals have none).
        if (!QFileInfo(base + QStringLiteral("/device")).exists())
            continue;
        const QString type = readAttribute(base + QStringLiteral("/type"));
        if (name.startsWith(QLatin1String("ttyS")) && (type.isEmpty() || type == QLatin1String("0")))
            continue;
        ports.push_back({deviceNumber(readAttribute(base + QStringLiteral("/dev"))), name});
    }
    closedir(dir);

    std::stable_sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) {
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    });
    QStringList out;
    for (const Port& p : ports)
        out << QStringLiteral("/dev/") + p.name;
    return out;
}
