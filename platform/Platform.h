#pragma once

#include <QDateTime>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// What the program needs from the desktop: the clock, pauses of the main thread,
// message boxes, file dialogs, starting other programs and the screen size.
// The program reaches all of these through platform(); tests install a scripted one.
class Platform {
public:
    virtual ~Platform() = default;

    virtual QDateTime now() = 0;
    // The same clock as milliseconds since 1970 UTC. Far cheaper than now() on a desktop (no
    // local time to work out), for telling whether the second has moved on.
    virtual qint64 msSinceEpoch() { return now().toMSecsSinceEpoch(); }
    // Holds the main thread for ms milliseconds; the window shows its state as it was.
    virtual void pause(int ms) = 0;
    virtual QSize screenSize() = 0;
    // The screens' areas in desktop coordinates; the primary screen alone by default.
    virtual QList<QRect> screenAreas() { return {QRect(QPoint(0, 0), screenSize())}; }
    virtual void beep() = 0;

    // A modal box with one OK button.
    virtual void messageBox(QWidget* parent, const QString& title, const QString& text) = 0;
    // The same with the error icon, for reporting a failure.
    virtual void errorBox(QWidget* parent, const QString& title, const QString& text) = 0;
    // Closes the open box of messageBox or errorBox that shows `text`, as if OK was clicked: for
    // a report that is no longer true. False when no such box is open.
    virtual bool closeBox(const QString& text) = 0;
    // Gives the open box of messageBox or errorBox that shows `text` the text `newText`, so one
    // box can follow a report that goes on. False when no such box is open.
    virtual bool updateBox(const QString& text, const QString& newText) = 0;
    // A modal warning with two buttons; true when the first (OK) was chosen.
    virtual bool warningOkCancel(QWidget* parent, const QString& title, const QString& text,
                                 const QString& okText, const QString& cancelText) = 0;

    struct FileDialog {
        QString initialFolder;
        QString fileName;      // proposed name
        QString filter;        // "Description (*.ext)"
        QString defaultSuffix; // without the dot
    };
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(QWidget* parent, const FileDialog& d) = 0;
    virtual std::optional<QString> saveFile(QWidget* parent, const FileDialog& d) = 0;

    // Starts a program without waiting for it; false when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& args) = 0;
    // Opens a folder in the desktop's file manager.
    virtual bool openFolder(const QString& folder) = 0;

    // The root of the kernel's device tree ("/sys"), where the serial devices are listed.
    virtual QString deviceTreeRoot() { return QStringLiteral("/sys"); }
};

// The process's current working directory, where the program's files go. When that folder
// is gone, "." — so files are looked for there and fail, instead of landing in "/".
QString workingDirectory();

// The platform of this run. Defaults to the desktop one.
Platform& platform();
// Replaces the platform (tests); nullptr restores the desktop one. Not owned.
void setPlatform(Platform* p);
