#pragma once

// The rules of the Windows file layer (FileIoWin32.cpp) that need no Windows, so that tests run
// them on every system: waiting out a file that another program has open for a moment, and the
// path form that lifts the 260-character limit.

#include <QString>

#include <cstdint>
#include <functional>

// The clock and pause of those waits; tests put a scripted one in place.
class RetryClock {
public:
    virtual ~RetryClock() = default;
    virtual uint64_t nowMs();
    virtual void pause(unsigned ms);

    static RetryClock& current();
    // Puts a clock in place until the returned guard goes; for tests.
    class Override {
    public:
        explicit Override(RetryClock& clock);
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        RetryClock* previous_;
    };
};

// How long a file held by another program is waited for, and the pause between attempts.
constexpr uint64_t kBusyFileWaitMs = 1000;
constexpr unsigned kBusyFilePauseMs = 50;

// Runs attempt (0 or an error number) until it succeeds, fails with an error that busy() does not
// accept, or kBusyFileWaitMs have passed since the first attempt; returns the last result. A
// sync client or a virus scanner opening a file just written makes such short refusals.
int retryWhileBusy(const std::function<int()>& attempt, const std::function<bool(int)>& busy,
                   RetryClock& clock = RetryClock::current());

// The \\?\ form of an absolute Windows path (backslashes, no "." or ".." parts), which the
// system takes beyond 260 characters: "C:\x" -> "\\?\C:\x", "\\server\share\x" ->
// "\\?\UNC\server\share\x". Device names ("\\.\COM1", "NUL"), paths already in that form and
// relative paths are returned as they are.
QString extendedLengthPath(const QString& absoluteNativePath);
