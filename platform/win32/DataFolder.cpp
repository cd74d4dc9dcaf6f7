#include "DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <windows.h>

namespace {

QString programFolder()
{
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    return QFileInfo(QString::fromWCharArray(path.data(), int(n))).absolutePath();
}

// Whether a file can be made in the folder: the folder's attributes say little on Windows,
// where its access list decides.
bool canWrite(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarlo02-probe-XXXXXX")));
    return probe.open();
}

// The installer's uninstall entries: the current user's, then the one for all users.
QList<InstalledCopy> installedCopies()
{
    QList<InstalledCopy> copies;
    for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
        const QSettings entry(
            QStringLiteral("%1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarlo01")
                .arg(QLatin1String(root)),
            QSettings::NativeFormat);
        copies.append({entry.value(QStringLiteral("InstallLocation")).toString(),
                       entry.value(QStringLiteral("DataFolder")).toString()});
    }
    return copies;
}

} // namespace

void enterDataFolder()
{
    const QString working = QDir::currentPath();
    const QString chosen =
        chooseDataFolder(working, canWrite(working), programFolder(), installedCopies(),
                         QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (chosen == working || !QDir().mkpath(chosen))
        return;
    QDir::setCurrent(chosen);
}
