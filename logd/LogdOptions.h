#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the service runs with, from the command line and the config file.
struct LogdOptions {
    QString port;                         // the controller's serial device
    QString logDir = QStringLiteral("."); // where the CSV logs go
    QString brokerHost;                   // empty: log only
    int brokerPort = 0;                   // 0: 1883, or 8883 with TLS
    QString id;                           // the topic level of this controller
    QString prefix = QStringLiteral("tarlo02");
    int linkType = 0;          // 0 cable ("USB"), 1 wireless ("WIFI")
    QString caFile;            // TLS on when set
    QString certFile, keyFile; // optional client certificate
    QString credentialsFile;   // user name on the first line, password on the second
    bool allowCommands = false;
    int mqttVersion = 4; // 4: MQTT 3.1.1, 5: MQTT 5

    bool tls() const { return !caFile.isEmpty(); }
    bool operator==(const LogdOptions&) const = default;
    int effectiveBrokerPort() const { return brokerPort ? brokerPort : (tls() ? 8883 : 1883); }
};

struct CommandLine {
    enum Kind { Run, Help, Version, Error } kind = Run;
    LogdOptions options;
    bool removeDevice = false; // --remove-device: clear the controller's retained topics and exit
    QString error;             // one line, for Error
};

// A file's text, or nothing when it cannot be read.
using FileReader = std::function<std::optional<QString>(const QString& path)>;

// The ".ini" files of a folder in name order as paths, none when the folder does not exist, or
// nothing when it exists and cannot be listed.
using FolderLister = std::function<std::optional<QStringList>(const QString& folder)>;
std::optional<QStringList> listIniFiles(const QString& folder);

// Parses the arguments (without the program name). "--config FILE" reads an INI file with the
// same keys plus link, ca-file, cert-file, key-file and credentials-file, then the ".ini" files
// of the folder beside it named as it is without ".ini" and with ".d" (logd.ini: logd.d/), in
// name order; a later file wins over an earlier one, the command line over them all.
// Passwords are never taken from the command line.
CommandLine parseCommandLine(const QStringList& args, const FileReader& readFile,
                             const FolderLister& listFolder = listIniFiles);

// The folder of a config file's additions: "/etc/tarlo02/logd.ini" -> "/etc/tarlo02/logd.d".
QString configAdditionsFolder(const QString& configFile);

// The id a port gives when none is set: the device's file name, with every character that a
// topic level or a Home Assistant id cannot hold made "_" ("/dev/ttyUSB0" -> "ttyUSB0").
QString idFromPort(const QString& port);

struct Credentials {
    QString user, password;
};
// The credentials file: the user name on the first line, the password on the second.
std::optional<Credentials> parseCredentials(const QString& text);

QString usageText();

// The files the options name (CA, client certificate and key, credentials), each checked at
// start: an error naming the file, what it is for and why it cannot be read, or empty.
QString checkNamedFiles(const LogdOptions& o);
// A warning when the credentials file can be read by every user of the system.
std::optional<QString> credentialsWarning(const QString& path);
