#include "WinFileRules.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
RetryClock*& installed()
{
    static RetryClock* clock = nullptr;
    return clock;
}
} // namespace

uint64_t RetryClock::nowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void RetryClock::pause(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

RetryClock& RetryClock::current()
{
    static RetryClock system;
    return installed() ? *installed() : system;
}

RetryClock::Override::Override(RetryClock& clock) : previous_(installed()) { installed() = &clock; }

RetryClock::Override::~Override() { installed() = previous_; }

int retryWhileBusy(const std::function<int()>& attempt, const std::function<bool(int)>& busy,
                   RetryClock& clock)
{
    const uint64_t start = clock.nowMs();
    for (;;) {
        const int e = attempt();
        if (e == 0 || !busy(e))
            return e;
        const uint64_t spent = clock.nowMs() - start;
        if (spent >= kBusyFileWaitMs)
            return e;
        clock.pause(unsigned(std::min<uint64_t>(kBusyFilePauseMs, kBusyFileWaitMs - spent)));
    }
}

QString extendedLengthPath(const QString& path)
{
    const QString bs = QStringLiteral("\\\\");
    if (path.startsWith(QStringLiteral("\\\\?\\")) || path.startsWith(QStringLiteral("\\\\.\\")))
        return path;
    if (path.startsWith(bs))
        return QStringLiteral("\\\\?\\UNC\\") + path.mid(2);
    if (path.size() >= 3 && path[0].isLetter() && path[1] == QLatin1Char(':') && path[2] == QLatin1Char('\\'))
        return QStringLiteral("\\\\?\\") + path;
    return path;
}
