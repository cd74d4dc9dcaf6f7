// The Windows file layer's waits for busy files and its long-path form, on any system.

#include "WinFileRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A clock that only moves when paused.
struct ScriptedClock : RetryClock {
    uint64_t now = 5000;
    std::vector<unsigned> pauses;
    uint64_t nowMs() override { return now; }
    void pause(unsigned ms) override
    {
        pauses.push_back(ms);
        now += ms;
    }
};

constexpr int kBusy = 32;
constexpr int kDenied = 5;

TEST(WinFileRules, ABusyFileIsTriedAgainForASecondAndOtherErrorsAtOnce)
{
    struct Case {
        const char* what;
        std::vector<int> results; // of the attempts, in turn; the last repeats
        int result;
        size_t attempts;
    };
    const Case cases[] = {
        {"written at once", {0}, 0, 1},
        {"busy twice, then written", {kBusy, kBusy, 0}, 0, 3},
        {"another error is not waited out", {kDenied}, kDenied, 1},
        {"busy, then another error", {kBusy, kDenied}, kDenied, 2},
        // 20 pauses of 50 ms: the attempt at 1000 ms is the last.
        {"busy for good", {kBusy}, kBusy, 21},
    };
    for (const Case& c : cases) {
        ScriptedClock clock;
        size_t attempts = 0;
        const int r = retryWhileBusy([&] { return c.results[std::min(attempts++, c.results.size() - 1)]; },
                                     [](int e) { return e == kBusy; }, clock);
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(attempts, c.attempts) << c.what;
        EXPECT_LE(clock.now - 5000, kBusyFileWaitMs) << c.what;
    }
}

TEST(WinFileRules, LongPathsGetTheirExtendedForm)
{
    const struct {
        const char* path;
        const char* extended;
    } cases[] = {
        {"C:\\Users\\x\\Documents\\log.csv", "\\\\?\\C:\\Users\\x\\Documents\\log.csv"},
        {"z:\\a", "\\\\?\\z:\\a"},
        {"\\\\nas\\share\\Tarlo01\\log.csv", "\\\\?\\UNC\\nas\\share\\Tarlo01\\log.csv"},
        {"\\\\?\\C:\\already", "\\\\?\\C:\\already"},
        {"\\\\.\\COM5", "\\\\.\\COM5"},
        {"NUL", "NUL"},
        {"relative\\log.csv", "relative\\log.csv"},
        {"C:log.csv", "C:log.csv"}, // relative to drive C's folder
    };
    for (const auto& c : cases)
        EXPECT_EQ(extendedLengthPath(QString::fromLatin1(c.path)).toStdString(), c.extended) << c.path;
}

} // namespace
