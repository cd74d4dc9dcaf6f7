#include "ServiceLog.h"

#include "Numbers.h"

std::optional<ServiceLog::Note> ServiceLog::record(FrameLines lines)
{
    const QDateTime now = now_();
    const QString before = fileName_;
    const bool wasOpen = fileOpen();
    const QDate dayBefore = day_;
    std::optional<QString> told;
    try {
        told = runLogStep({frameCount_, finished_, fileName_, day_, backlog_}, true, lines,
                          now.toString(QStringLiteral("mm")), lastMinute_, folder_, now_);
    } catch (const EInOutError& e) {
        return failed(e.message());
    }
    lastMinute_ = now.toString(QStringLiteral("mm"));
    // A row that could not be written waits in memory until the file can be written again.
    if (!backlog_.failure.isEmpty())
        return failed(backlog_.failure);
    if (told)
        return Note{*told};
    // Another file on the same day: the open one was deleted or moved meanwhile.
    if (wasOpen && fileName_ != before && day_ == dayBefore && failure_.isEmpty())
        return Note{QStringLiteral("the log %1 was deleted or moved while open; rows go on in %2")
                        .arg(before, fileName_)};
    return worked();
}

std::optional<ServiceLog::Note> ServiceLog::tick()
{
    if (finished_ != 0 || !day_.isValid() || now_().date() == day_)
        return std::nullopt;
    // The next record starts the new day's file, even when this rename failed.
    frameCount_ = 1;
    return finish();
}

std::optional<ServiceLog::Note> ServiceLog::finish()
{
    if (finished_ != 0)
        return std::nullopt;
    try {
        finishLog({frameCount_, finished_, fileName_, day_, backlog_}, now_);
    } catch (const EInOutError& e) {
        return failed(e.message());
    }
    frameCount_ = 1;
    return std::nullopt;
}

std::optional<ServiceLog::Note> ServiceLog::failed(const QString& message)
{
    if (!failure_.isEmpty())
        return std::nullopt;
    failure_ = message;
    return Note{message};
}

std::optional<ServiceLog::Note> ServiceLog::worked()
{
    if (failure_.isEmpty())
        return std::nullopt;
    failure_.clear();
    return Note{QStringLiteral("logging again, to %1").arg(fileName_), false};
}
