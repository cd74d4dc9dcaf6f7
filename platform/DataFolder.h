#pragma once

#include <QList>
#include <QString>

// Where the program keeps its preferences, logs and settings files. They live in the working
// folder, as the program was started; but a start from the program's own folder (a double-click
// on the program, a pinned program), or from a folder it cannot write, would put them among its
// libraries, where the uninstaller would remove them or nothing could be written. Then the
// program uses the data folder its installation records (the one its Start menu entry starts
// in), or else Documents\Tarlo01.

// An installation of the program, as its uninstall entry records it.
struct InstalledCopy {
    QString programFolder;
    QString dataFolder;
};

// The folder to work in: workingFolder itself, or the data folder to use instead. Folders are
// compared as Windows does, without regard to case or a trailing separator.
QString chooseDataFolder(const QString& workingFolder, bool workingWritable, const QString& programFolder,
                         const QList<InstalledCopy>& installs, const QString& documentsFolder);

// Makes the chosen folder the working folder (made when missing), before anything is read or
// written. Nothing is said: a folder that cannot be made leaves the working folder as it is.
// On Linux the files stay in the working folder as started.
void enterDataFolder();
