#include "DataFolder.h"

#include <QDir>

namespace {
// Windows' separators on any system, so that this runs in tests everywhere.
QString withSlashes(QString path)
{
    return QDir::cleanPath(path.replace(QLatin1Char('\\'), QLatin1Char('/')));
}

bool sameFolder(const QString& a, const QString& b)
{
    return !a.isEmpty() && !b.isEmpty() && withSlashes(a).compare(withSlashes(b), Qt::CaseInsensitive) == 0;
}
} // namespace

QString chooseDataFolder(const QString& workingFolder, bool workingWritable, const QString& programFolder,
                         const QList<InstalledCopy>& installs, const QString& documentsFolder)
{
    if (workingWritable && !sameFolder(workingFolder, programFolder))
        return workingFolder;
    for (const InstalledCopy& copy : installs)
        if (sameFolder(copy.programFolder, programFolder) && !copy.dataFolder.isEmpty())
            return copy.dataFolder;
    return QDir(withSlashes(documentsFolder)).filePath(QStringLiteral("Tarlo01"));
}
