#include "PortWatch.h"

#include <cerrno>
#include <cstring>

namespace {
bool isRestartSecond(int s) { return s == 5 || s == 20 || s == 35 || s == 50; }
} // namespace

QString portErrorText(int portCode, int systemCode)
{
    // The codes of EComPort that the service meets.
    enum { kOpenFailed = 1, kWriteFailed = 2, kReadFailed = 3, kPendingFailed = 10, kNotOpen = 24 };
    const QString reason = systemCode > 0 ? QString::fromLocal8Bit(std::strerror(systemCode)) : QString();
    if (portCode == kOpenFailed)
        return reason.isEmpty() ? QStringLiteral("cannot open it")
                                : QStringLiteral("cannot open it: ") + reason;
    if (portCode == kNotOpen)
        return QStringLiteral("it is not open");
    if (systemCode == EIO || systemCode == ENXIO || systemCode == ENODEV)
        return QStringLiteral("it has gone away (unplugged or hung up)");
    const QString what = portCode == kWriteFailed ? QStringLiteral("writing to it failed")
                         : portCode == kReadFailed || portCode == kPendingFailed
                             ? QStringLiteral("reading from it failed")
                             : QStringLiteral("it failed");
    return reason.isEmpty() ? what : what + QStringLiteral(": ") + reason;
}

PortWatch::Action PortWatch::tick(const QDateTime& now)
{
    const qint64 second = now.toSecsSinceEpoch();
    if (second == lastActionSecond_)
        return Action::None;
    const int s = now.time().second();
    if (!open_) {
        if (s % 5 != 0 && !reopenNow_)
            return Action::None;
        lastActionSecond_ = second;
        reopenNow_ = false;
        return Action::Reopen;
    }
    if (!isRestartSecond(s))
        return Action::None;
    lastActionSecond_ = second;
    const bool silent = checkArmed_ && !recordSinceCheck_;
    checkArmed_ = true;
    recordSinceCheck_ = false;
    if (!silent)
        return Action::None;
    if (auto line = beginOutage(now, QStringLiteral("no record for 15 s")))
        pending_ = line;
    return Action::Reopen;
}

void PortWatch::opened(const QDateTime&)
{
    open_ = true;
    checkArmed_ = false;
    recordSinceCheck_ = false;
}

std::optional<QString> PortWatch::openFailed(const QDateTime& now, const QString& error)
{
    open_ = false;
    ++failedAttempts_;
    return beginOutage(now, error);
}

std::optional<QString> PortWatch::lost(const QDateTime& now, const QString& error)
{
    open_ = false;
    // Once an outage: a device that keeps going away again is tried on the rhythm alone.
    auto line = beginOutage(now, error);
    reopenNow_ = line.has_value();
    return line;
}

std::optional<QString> PortWatch::recordArrived(const QDateTime& now)
{
    recordSinceCheck_ = true;
    if (!inOutage())
        return std::nullopt;
    const qint64 seconds = outageSince_.secsTo(now);
    const QString line = QStringLiteral("device %1 back after %2 s (%3 failed open attempts)")
                             .arg(device_)
                             .arg(seconds)
                             .arg(failedAttempts_);
    outageSince_ = QDateTime();
    failedAttempts_ = 0;
    return line;
}

std::optional<QString> PortWatch::takeLine()
{
    std::optional<QString> line;
    line.swap(pending_);
    return line;
}

std::optional<QString> PortWatch::beginOutage(const QDateTime& now, const QString& reason)
{
    if (inOutage())
        return std::nullopt;
    outageSince_ = now;
    return QStringLiteral("device %1 lost: %2; reopening every 5 to 15 s until it is back")
        .arg(device_, reason);
}
