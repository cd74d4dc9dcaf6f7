#include "ServiceLog.h"

#include "Numbers.h"

std::optional<QString> ServiceLog::record(FrameLines lines)
{
    const QDateTime now = now_();
    std::optional<QString> told;
    try {
        told = runLogStep({frameCount_, finished_, fileName_, day_}, true, lines,
                          now.toString(QStringLiteral("mm")), lastMinute_, folder_, now_);
    } catch (const EInOutError& e) {
        return failed(e.message());
    }
    lastMinute_ = now.toString(QStringLiteral("mm"));
    failing_ = false;
    return told;
}

std::optional<QString> ServiceLog::tick()
{
    if (finished_ != 0 || !day_.isValid() || now_().date() == day_)
        return std::nullopt;
    // The next record starts the new day's file, even when this rename failed.
    frameCount_ = 1;
    return finish();
}

std::optional<QString> ServiceLog::finish()
{
    if (finished_ != 0)
        return std::nullopt;
    try {
        finishLog({frameCount_, finished_, fileName_, day_}, now_);
    } catch (const EInOutError& e) {
        return failed(e.message());
    }
    frameCount_ = 1;
    return std::nullopt;
}

std::optional<QString> ServiceLog::failed(const QString& message)
{
    if (failing_)
        return std::nullopt;
    failing_ = true;
    return message;
}
