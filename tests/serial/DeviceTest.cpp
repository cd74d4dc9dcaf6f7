// The Linux device layer over scripted system calls: what it asks of the device, on a clock
// of the test's own.

#include "SerialDevice.h"
#include "posix/SystemCalls.h"

#include "ProgramLine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Whether a descriptor is in an epoll set of this process (the sets' "tfd:" lines).
bool inAWaitSet(int fd)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fdinfo")) {
        std::ifstream info(entry.path());
        for (std::string line; std::getline(info, line);) {
            int watched = -1;
            if (std::sscanf(line.c_str(), "tfd: %d", &watched) == 1 && watched == fd)
                return true;
        }
    }
    return false;
}

// A device that answers from a script and records the calls. Waiting costs no time: a poll
// moves the clock on by its timeout.
struct ScriptedDevice : SystemCalls {
    int64_t clock = 1000;
    std::vector<int> pollTimeouts;
    std::deque<std::string> input; // each entry arrives with one read
    std::string written;
    std::deque<int> outputQueue; // successive TIOCOUTQ answers; 0 once empty
    LineCounters lineCounters;
    int lines = kLineCts;
    int modemError = 0;
    int termiosError = 0;
    uint32_t speedTaken = 0; // what the driver reports back; 0: what was asked
    TermiosRequest termios;
    std::vector<std::string> calls;

    // The descriptor is a pipe's, so the waiter has something real to wait on.
    int pipeEnds[2] = {-1, -1};
    int open(const char*, int& fd) override
    {
        if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
            return errno;
        fd = pipeEnds[0];
        calls.push_back("open");
        return 0;
    }
    bool watchedAtClose = false;
    int close(int) override
    {
        watchedAtClose = inAWaitSet(pipeEnds[0]);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        calls.push_back("close");
        return 0;
    }
    int read(int, char* buffer, int count, int& got) override
    {
        got = 0;
        if (input.empty())
            return EAGAIN;
        std::string& piece = input.front();
        got = std::min<int>(count, int(piece.size()));
        piece.copy(buffer, size_t(got));
        piece.erase(0, size_t(got));
        if (piece.empty())
            input.pop_front();
        return 0;
    }
    int write(int, const char* buffer, int count, int& done) override
    {
        written.append(buffer, size_t(count));
        done = count;
        calls.push_back("write");
        return 0;
    }
    int poll(int, bool, int timeoutMs, bool& ready, bool& hungUp) override
    {
        pollTimeouts.push_back(timeoutMs);
        clock += timeoutMs < 0 ? 3'600'000 : timeoutMs;
        ready = hungUp = false;
        return 0;
    }
    int lock(int) override { return 0; }
    int setExclusive(int, bool) override { return 0; }
    int getTermios(int, TermiosRequest& t) override
    {
        t = termios;
        if (speedTaken)
            t.ispeed = t.ospeed = speedTaken;
        return termiosError;
    }
    int setTermios(int, const TermiosRequest& t) override
    {
        termios = t;
        calls.push_back("setTermios");
        return termiosError;
    }
    int flush(int, bool in, bool out) override
    {
        calls.push_back(std::string("flush") + (in ? " input" : "") + (out ? " output" : ""));
        if (in)
            input.clear();
        return 0;
    }
    int modemLines(int, int& l) override
    {
        l = lines;
        return modemError;
    }
    int setModemLines(int, int line, bool on) override
    {
        calls.push_back(std::string(on ? "raise " : "lower ") + (line == kLineRts ? "RTS" : "DTR"));
        return 0;
    }
    int countersError = 0;
    int counters(int, LineCounters& c) override
    {
        c = lineCounters;
        return countersError;
    }
    int outputQueued(int, int& count) override
    {
        count = outputQueue.empty() ? 0 : outputQueue.front();
        if (!outputQueue.empty())
            outputQueue.pop_front();
        calls.push_back("outq " + std::to_string(count));
        return 0;
    }
    int inputQueued(int, int& count) override
    {
        count = 0;
        for (const auto& piece : input)
            count += int(piece.size());
        return 0;
    }
    int64_t nowMs() override { return clock; }
    void sleepMs(int ms) override { clock += ms; }
};

struct Device : ::testing::Test {
    ScriptedDevice sys;
    SerialDevice device{&sys};
    void SetUp() override
    {
        ASSERT_EQ(device.open("/dev/ttyTEST"), 0);
        ASSERT_EQ(device.setLineSettings(programSettings()), 0);
        // The program's: reads return at once.
        ASSERT_EQ(device.setTimeouts({0xFFFFFFFFu, 0, 0, 100, 1000}), 0);
        sys.calls.clear();
    }
};

TEST_F(Device, ModemLinesAreSetFirstThingAfterOpening)
{
    ASSERT_EQ(device.close(), 0);
    sys.calls.clear();
    ASSERT_EQ(device.open("/dev/ttyTEST", programSettings()), 0);
    ASSERT_GE(sys.calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sys.calls.begin(), sys.calls.begin() + 3),
              (std::vector<std::string>{"open", "raise DTR", "lower RTS"}));
}

TEST_F(Device, ReadTimeoutsAreSixtyFourBitDeadlines)
{
    constexpr uint32_t kMax = 0xFFFFFFFFu;
    struct Case {
        uint32_t interval, multiplier, constant;
        int count;
        int64_t waited;
        std::string input = ""; // there at the start, none later
        int64_t clock = 0;      // the clock at the start; 0: where the last case left it
    };
    const Case cases[] = {
        {kMax, 0, 0, 10, 0},                    // the program's: return at once
        {kMax, kMax, 300, 1, 300},              // wait up to the constant for a first byte
        {kMax, kMax, 300, 301, 300},            // whatever the count
        {kMax, 0, 300, 10, 300},                // no multiplier: the constant still counts
        {0, 10, 5, 3, 35},                      // multiplier times count plus constant
        {0, kMax, 300, 1, int64_t(kMax) + 300}, // beyond what one poll can wait
        {0, kMax, 300, 1000, int64_t(kMax) * 1000 + 300},
        {50, 0, 30, 10, 30, "ab"},                     // the total ends before the gap after a byte
        {20, 0, 300, 10, 20, "ab"},                    // the gap ends before the total
        {0, kMax, 300, 1, 1000, "", INT64_MAX - 1000}, // a deadline past the clock's end
    };
    for (const Case& c : cases) {
        ASSERT_EQ(device.setTimeouts({c.interval, c.multiplier, c.constant, 0, 0}), 0);
        sys.pollTimeouts.clear();
        if (c.clock)
            sys.clock = c.clock;
        if (!c.input.empty())
            sys.input = {c.input};
        const int64_t start = sys.clock;
        std::vector<char> buffer(size_t(c.count));
        int got = -1;
        EXPECT_EQ(device.read(buffer.data(), c.count, got), 0);
        EXPECT_EQ(got, int(c.input.size()));
        EXPECT_EQ(sys.clock - start, c.waited)
            << c.interval << " " << c.multiplier << " " << c.constant << " " << c.count;
        for (int t : sys.pollTimeouts)
            EXPECT_GE(t, 0) << "a wait without limit";
    }
}

TEST_F(Device, ASpeedTheDriverDidNotTakeIsRefused)
{
    struct Case {
        uint32_t asked, taken;
        int error;
    };
    const Case cases[] = {
        {19200, 19200, 0},
        {128000, 38400, EINVAL},
        {256000, 115200, EINVAL},
        {56000, 57600, 0},
        {9600, 9000, EINVAL},
        // 3 % either way is close enough, a hair more is not.
        {100000, 103000, 0},
        {100000, 97000, 0},
        {100000, 103001, EINVAL},
        {100000, 96999, EINVAL},
    };
    for (const Case& c : cases) {
        LineSettings s = programSettings();
        s.baudRate = c.asked;
        sys.speedTaken = c.taken;
        EXPECT_EQ(device.setLineSettings(s), c.error) << c.asked << " taken as " << c.taken;
    }
}

TEST_F(Device, WriteReturnsOnceTheOutputHasDrained)
{
    sys.outputQueue = {32, 20, 5};
    int written = 0;
    ASSERT_EQ(device.write("0123456789abcdef0123456789abcdef", 32, written), 0);
    EXPECT_EQ(written, 32);
    EXPECT_EQ(sys.calls, (std::vector<std::string>{"write", "outq 32", "outq 20", "outq 5", "outq 0"}));

    // A line that never drains holds the write only until the write timeout.
    ASSERT_EQ(device.setTimeouts({0, 0, 0, 0, 50}), 0);
    sys.outputQueue.assign(1000, 1);
    const int64_t start = sys.clock;
    ASSERT_EQ(device.write("x", 1, written), 0);
    EXPECT_EQ(sys.clock - start, 50);
}

TEST_F(Device, PurgingTheInputDropsWhatTheDeviceAndTheQueueHold)
{
    sys.input = {"abc", "def"};
    int count = 0;
    ASSERT_EQ(device.inputCount(count), 0);
    ASSERT_EQ(count, 6);
    sys.input = {"ghi"};
    ASSERT_EQ(device.purge(PurgeFlags::ClearInput), 0);
    ASSERT_EQ(device.inputCount(count), 0);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(device.purge(PurgeFlags::ClearOutput | PurgeFlags::AbortOutput), 0);
    EXPECT_EQ(sys.calls, (std::vector<std::string>{"flush input", "flush output"}));
}

TEST_F(Device, CountingTheInputClearsTheLineErrors)
{
    sys.lineCounters.frame = 1;
    sys.lineCounters.overrun = 2;
    sys.input = {"abc"};
    int count = 0;
    ASSERT_EQ(device.inputCount(count), 0);
    EXPECT_EQ(count, 3);
    TComErrors errors{ceMode};
    ASSERT_EQ(device.takeLineErrors(errors), 0);
    EXPECT_TRUE(errors.empty());

    // Counted errors not yet read by a count are reported once.
    sys.lineCounters.frame = 2;
    sys.lineCounters.brk = 1;
    ASSERT_EQ(device.takeLineErrors(errors), 0);
    EXPECT_EQ(errors, (TComErrors{ceFrame, ceBreak}));
    ASSERT_EQ(device.takeLineErrors(errors), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Device, ReceptionDecodesErrorMarksAndObeysDsr)
{
    struct Case {
        const char* name;
        void (*change)(LineSettings&);
        std::deque<std::string> pieces;
        std::string received;
        int lines = kLineDsr;
        int modemError = 0;
    };
    auto checked = [](LineSettings& s) { s.parityCheck = true; };
    auto replaced = [](LineSettings& s) {
        s.parityCheck = s.parityReplace = true;
        s.replaceChar = '?';
    };
    auto dsr = [](LineSettings& s) { s.dsrSensitivity = true; };
    const std::string mark("\xFF\0", 2);
    const Case cases[] = {
        {"unchecked: bytes as they come, NULs dropped",
         [](LineSettings&) {},
         {"a" + mark + "X\xFF"},
         "a\xFFX\xFF"},
        {"checked: the byte with an error is kept", checked, {"a" + mark + "Xb"}, "aXb"},
        {"replaced", replaced, {"a" + mark + "Xb"}, "a?b"},
        {"marks cut between reads", replaced, {"a\xFF", std::string("\0", 1), "Xb\xFF", "\xFF"}, "a?b\xFF"},
        {"DSR off drops the input", dsr, {"lost"}, "", kLineCts},
        {"DSR on keeps it", dsr, {"kept"}, "kept", kLineDsr},
        {"no modem lines to ask: kept", dsr, {"kept"}, "kept", 0, ENOTTY},
    };
    for (const Case& c : cases) {
        LineSettings s = programSettings();
        c.change(s);
        ASSERT_EQ(device.setLineSettings(s), 0);
        sys.lines = c.lines;
        sys.modemError = c.modemError;
        std::string got;
        for (const std::string& piece : c.pieces) {
            sys.input = {piece};
            char buffer[64];
            int n = 0;
            ASSERT_EQ(device.read(buffer, sizeof buffer, n), 0);
            got.append(buffer, size_t(n));
        }
        EXPECT_EQ(got, c.received) << c.name;
    }
}

TEST_F(Device, LineEventsComeFromTheDriversCountsOrLineStates)
{
    device.setEventMask(TComEvents::all());
    struct Case {
        const char* name;
        void (*change)(ScriptedDevice&);
        TComEvents events;
    };
    const Case counted[] = {
        {"CTS pulse", [](ScriptedDevice& d) { d.lineCounters.cts += 2; }, {evCTS}},
        {"ring", [](ScriptedDevice& d) { ++d.lineCounters.rng; }, {evRing}},
        {"carrier and DSR",
         [](ScriptedDevice& d) { ++d.lineCounters.dcd, ++d.lineCounters.dsr; },
         {evRLSD, evDSR}},
        {"break that delivers no byte", [](ScriptedDevice& d) { ++d.lineCounters.brk; }, {evBreak, evError}},
        {"framing error", [](ScriptedDevice& d) { ++d.lineCounters.frame; }, {evError}},
    };
    DeviceWaiter waiter(device);
    waiter.watch();
    TComEvents events;
    for (const Case& c : counted) {
        c.change(sys);
        ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events) << c.name;
        EXPECT_EQ(events, c.events) << c.name;
    }
    int written = 0;
    ASSERT_EQ(device.write("x", 1, written), 0);
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(events, TComEvents{evTxEmpty});
}

TEST_F(Device, WithoutCountersTheLineStatesAreCompared)
{
    ASSERT_EQ(device.close(), 0);
    sys.countersError = EINVAL;
    ASSERT_EQ(device.open("/dev/ttyTEST"), 0);
    device.setEventMask(TComEvents::all());
    DeviceWaiter waiter(device);
    waiter.watch();
    TComEvents events;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events); // the first look
    EXPECT_TRUE(events.empty());
    sys.lines = kLineCts | kLineDsr | kLineRng;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(events, TComEvents{evDSR});
    sys.lines = kLineDsr;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(events, (TComEvents{evCTS, evRing}));
}

// A waiter asleep in its wait must never hold a closed device: the descriptor leaves the
// wait's set before it is closed.
TEST_F(Device, ClosingTakesTheDeviceOutOfTheWaitFirst)
{
    DeviceWaiter waiter(device);
    waiter.watch();
    ASSERT_TRUE(inAWaitSet(sys.pipeEnds[0]));
    ASSERT_EQ(device.close(), 0);
    EXPECT_FALSE(sys.watchedAtClose);
}

TEST_F(Device, AHangUpIsReportedAsTheCarrierLost)
{
    device.setEventMask(TComEvents::all());
    DeviceWaiter waiter(device);
    waiter.watch();
    ::close(sys.pipeEnds[1]); // the far end goes
    sys.pipeEnds[1] = -1;
    TComEvents events;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(events, TComEvents{evRLSD});
    // Its lines read off from now on, without failing, so the carrier drop can be delivered.
    sys.modemError = EIO;
    TModemSignals lines;
    EXPECT_EQ(device.modemStatus(lines), 0);
    EXPECT_FALSE(lines.CTS || lines.DSR || lines.Ring || lines.RLSD);
    // Not watched any more: only the stop signal ends the next wait.
    waiter.stop();
    EXPECT_EQ(waiter.wait(events), DeviceWaiter::Stopped);
    // The next opening reads its lines again.
    ASSERT_EQ(device.close(), 0);
    sys.modemError = 0;
    ASSERT_EQ(device.open("/dev/ttyTEST"), 0);
    ASSERT_EQ(device.modemStatus(lines), 0);
    EXPECT_TRUE(lines.CTS);
}

} // namespace
