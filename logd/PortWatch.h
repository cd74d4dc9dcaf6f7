#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Keeps the controller's port alive without a window. The port is reopened on the restart
// rhythm of the window (seconds 05, 20, 35 and 50) when it delivered no record for a whole
// period, and every five seconds while it cannot be opened. A device lost while open (hung
// up, unplugged) is tried again at once, then on the five seconds; never faster, so a missing
// device never makes the service spin. An outage (the port lost, not opening, or silent) is
// told in one line when it begins and one when records flow again, however many attempts it
// takes.
// A failure of the serial port in the service's own words, from its error code (EComPort's
// PortCode) and the system's error number: "cannot open it: No such file or directory",
// "it has gone away (unplugged or hung up)".
QString portErrorText(int portCode, int systemCode);

class PortWatch {
public:
    explicit PortWatch(QString device) : device_(std::move(device)) {}

    enum class Action { None, Reopen };
    // Called often (a few times a second); says when to close and reopen the port.
    Action tick(const QDateTime& now);

    // The outcome of an open or reopen; a failure returns the outage's first line, if it is.
    void opened(const QDateTime& now);
    std::optional<QString> openFailed(const QDateTime& now, const QString& error);
    // The open port failed (a read or write failed, it hung up: the device went away). The
    // next tick reopens it at once when this begins an outage.
    std::optional<QString> lost(const QDateTime& now, const QString& error);
    // A good record arrived; ends an outage with its closing line.
    std::optional<QString> recordArrived(const QDateTime& now);

    bool isOpen() const { return open_; }
    bool inOutage() const { return outageSince_.isValid(); }
    int failedAttempts() const { return failedAttempts_; }
    // Lines waiting to be told (a silence found by tick).
    std::optional<QString> takeLine();

private:
    std::optional<QString> beginOutage(const QDateTime& now, const QString& reason);

    QString device_;
    bool open_ = false;
    QDateTime outageSince_;
    int failedAttempts_ = 0;
    qint64 lastActionSecond_ = -1; // the second of the last reopen or check, so each acts once
    bool checkArmed_ = false;      // a rhythm second has passed since opening
    bool recordSinceCheck_ = false;
    bool reopenNow_ = false; // lost while open: try again without waiting for the rhythm
    std::optional<QString> pending_;
};
