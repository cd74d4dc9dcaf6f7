// The Windows device layer and its waiter over a scripted driver: what they ask of the
// driver, in which order, and the error numbers they pass on.

#include "SerialDevice.h"
#include "Win32Script.h"

#include "ProgramLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

struct Win32Device : ::testing::Test {
    Win32Script sys;
    SerialDevice device{&sys};
    void SetUp() override
    {
        ASSERT_EQ(device.open("\\\\.\\COM5", programSettings()), 0);
        ASSERT_EQ(device.setQueueSizes(1024, 1024), 0);
        ASSERT_EQ(device.setLineSettings(programSettings()), 0);
        ASSERT_EQ(device.setTimeouts({0xFFFFFFFFu, 0, 0, 100, 1000}), 0);
        sys.calls.clear();
    }
    std::string readAll(int count = 64)
    {
        std::string buffer(size_t(count), '\0');
        int got = -1;
        EXPECT_EQ(device.read(buffer.data(), count, got), 0);
        buffer.resize(size_t(std::max(got, 0)));
        return buffer;
    }
};

TEST(Win32Open, TheComPortIsOpenedCheckedThenItsLinesSet)
{
    EXPECT_EQ(SerialDevice::pathOf("COM5"), "\\\\.\\COM5");
    struct Case {
        const char* failing;
        int error;
        Calls calls;
    };
    const Case cases[] = {
        {"", 0, {"CreateFile \\\\.\\COM5", "GetCommState", "EscapeCommFunction 5", "EscapeCommFunction 4"}},
        {"CreateFile", 5, {"CreateFile \\\\.\\COM5"}},
        // A file or NUL opens, but is no communications device.
        {"GetCommState", 1, {"CreateFile \\\\.\\COM5", "GetCommState", "CloseHandle"}},
        // A device without modem lines still opens.
        {"EscapeCommFunction",
         0,
         {"CreateFile \\\\.\\COM5", "GetCommState", "EscapeCommFunction 5", "EscapeCommFunction 4"}},
    };
    for (const Case& c : cases) {
        Win32Script sys;
        sys.failing[c.failing] = c.error ? c.error : 50;
        SerialDevice device(&sys);
        EXPECT_EQ(device.open(SerialDevice::pathOf("COM5"), programSettings()), c.error) << c.failing;
        EXPECT_EQ(device.isOpen(), c.error == 0) << c.failing;
        EXPECT_EQ(sys.calls, c.calls) << c.failing;
    }
}

TEST_F(Win32Device, SettingsReachTheDriverAndRefusalsGiveTheirNumbers)
{
    EXPECT_EQ(sys.dcb.BaudRate, 19200u);
    EXPECT_EQ(sys.dcb.Flags, 0x811u);
    // The driver's reads never time out; the write timeouts are the port's.
    EXPECT_EQ(sys.timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(sys.timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(sys.timeouts.WriteTotalTimeoutConstant, 1000u);
    device.setEventMask(TComEvents::all());
    EXPECT_EQ(sys.commMask, 0x05FEu) << "received characters come from the wake-up read";

    sys.failing = {{"SetupComm", 87}, {"SetCommState", 31}, {"SetCommTimeouts", 1167}};
    EXPECT_EQ(device.setQueueSizes(64, 64), 87);
    EXPECT_EQ(device.setLineSettings(programSettings()), 31);
    EXPECT_EQ(device.setTimeouts({}), 1167);
    EXPECT_EQ(device.setQueueSizes(-1, 64), kErrorInvalidParameter);
}

TEST_F(Win32Device, ReadsTakeOnlyWhatTheDriverHolds)
{
    sys.driver = std::string("ab\0c", 4);
    EXPECT_EQ(readAll(), "abc") << "NUL bytes are dropped";
    EXPECT_EQ(sys.calls, (Calls{"ClearCommError", "ReadFile 4", "ClearCommError"}));
    EXPECT_EQ(sys.blockedForever, 0);
    EXPECT_TRUE(sys.waits.empty());

    // The queue holds at most its size; the rest stays in the driver.
    ASSERT_EQ(device.setQueueSizes(4, 4), 0);
    sys.driver = "0123456789";
    int count = 0;
    ASSERT_EQ(device.inputCount(count), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(readAll(), "0123456789");
}

TEST_F(Win32Device, TheWakeUpReadsByteComesFirst)
{
    device.setEventMask({evRxChar});
    DeviceWaiter waiter(device);
    waiter.watch();
    TComEvents events;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events); // nothing came: it would block
    EXPECT_EQ(sys.blockedForever, 1);

    // While the wake-up read waits, the driver holds nothing newer: it is not asked.
    sys.calls.clear();
    EXPECT_EQ(readAll(), "");
    EXPECT_EQ(sys.calls, Calls{});

    sys.arrive("xyz");
    EXPECT_EQ(readAll(), "xyz");
    // The waiter finds the read taken and begins another.
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_TRUE(events.empty());
    sys.arrive("!");
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(events, TComEvents{evRxChar});
    EXPECT_EQ(readAll(), "!");
}

TEST_F(Win32Device, WaitingReadsFollowTheReadTimeouts)
{
    constexpr uint32_t kMax = 0xFFFFFFFFu;
    struct Case {
        uint32_t interval, multiplier, constant;
        int count;
        uint64_t waited;
    };
    const Case cases[] = {
        {kMax, 0, 0, 10, 0},       // the program's: return at once
        {kMax, kMax, 300, 1, 300}, // up to the constant for a first byte
        {kMax, kMax, 300, 301, 300},
        {0, 10, 5, 3, 35}, // multiplier times count plus constant
    };
    for (const Case& c : cases) {
        ASSERT_EQ(device.setTimeouts({c.interval, c.multiplier, c.constant, 0, 0}), 0);
        const uint64_t start = sys.clock;
        EXPECT_EQ(readAll(c.count), "");
        EXPECT_EQ(sys.clock - start, c.waited) << c.multiplier << " " << c.constant << " " << c.count;
        EXPECT_EQ(sys.blockedForever, 0);
    }
    // A byte that comes during the wait ends it at once with that byte.
    ASSERT_EQ(device.setTimeouts({kMax, kMax, 300, 0, 0}), 0);
    sys.arrive("k");
    const uint64_t start = sys.clock;
    EXPECT_EQ(readAll(5), "k");
    EXPECT_EQ(sys.clock, start);
}

TEST_F(Win32Device, WritesEndAtTheWriteTimeoutWithWhatWasSent)
{
    int written = -1;
    ASSERT_EQ(device.write("0123456789abcdef0123456789abcdef", 32, written), 0);
    EXPECT_EQ(written, 32);
    sys.writeTakes = 10;
    ASSERT_EQ(device.write("0123456789abcdef", 16, written), 0);
    EXPECT_EQ(written, 10);
    sys.failing["WriteFile"] = 1167;
    EXPECT_EQ(device.write("x", 1, written), 1167);
    sys.failing = {{"GetOverlappedResult", 995}};
    EXPECT_EQ(device.write("x", 1, written), 995);
}

TEST_F(Win32Device, StatusCallsPassTheirNumbersOrKeepTheirFlags)
{
    // Line errors seen while counting are kept for the error step; counting clears them.
    sys.lineErrors = LE_FRAME | LE_RXPARITY;
    TComErrors errors;
    ASSERT_EQ(device.takeLineErrors(errors), 0);
    EXPECT_EQ(errors, (TComErrors{ceFrame, ceRxParity}));
    sys.lineErrors = LE_BREAK;
    sys.driver = "a";
    EXPECT_EQ(readAll(), "a");
    ASSERT_EQ(device.takeLineErrors(errors), 0);
    EXPECT_EQ(errors, TComErrors{ceBreak});
    sys.lineErrors = LE_OVERRUN;
    int count = 0;
    ASSERT_EQ(device.inputCount(count), 0);
    ASSERT_EQ(device.takeLineErrors(errors), 0);
    EXPECT_TRUE(errors.empty());

    struct Case {
        int error;
        int returned;
        bool cts;
    };
    // Lines the driver does not have read as off; a device that has gone is an error.
    const Case cases[] = {
        {0, 0, true}, {kErrorNotSupported, 0, false}, {kErrorDeviceNotConnected, 1167, false}};
    for (const Case& c : cases) {
        sys.modemLines = kCtsOn | kRlsdOn;
        sys.failing = {{"GetCommModemStatus", c.error}};
        TModemSignals lines;
        EXPECT_EQ(device.modemStatus(lines), c.returned) << c.error;
        EXPECT_EQ(lines.CTS, c.cts) << c.error;
        EXPECT_EQ(lines.RLSD, c.cts) << c.error;
        EXPECT_FALSE(lines.DSR);
    }
    sys.failing = {{"ClearCommError", 22}};
    EXPECT_EQ(device.inputCount(count), 22);
    EXPECT_EQ(device.takeLineErrors(errors), 22);
}

TEST_F(Win32Device, PurgeAndCloseEndWhatIsPending)
{
    sys.driver = "left";
    int count = 0;
    ASSERT_EQ(device.inputCount(count), 0);
    ASSERT_EQ(device.purge(PurgeFlags::ClearOutput | PurgeFlags::ClearInput), 0);
    ASSERT_EQ(device.inputCount(count), 0);
    EXPECT_EQ(count, 0);
    sys.failing = {{"PurgeComm", 87}};
    EXPECT_EQ(device.purge(PurgeFlags::AbortOutput | PurgeFlags::AbortInput), 87);
    sys.failing.clear();

    device.setEventMask(TComEvents::all());
    DeviceWaiter waiter(device);
    waiter.watch();
    TComEvents events;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    ASSERT_EQ(sys.ops.size(), 2u) << "the wake-up read and WaitCommEvent";
    sys.calls.clear();
    sys.waits.clear();
    ASSERT_EQ(device.close(), 0);
    EXPECT_EQ(sys.calls, (Calls{"CancelIoEx all", "CloseHandle"}));
    // Both records are waited for before they can be used again.
    EXPECT_EQ(sys.waits.size(), 2u);
    EXPECT_EQ(sys.blockedForever, 1); // the first wait's
    EXPECT_FALSE(device.isOpen());
}

TEST_F(Win32Device, ACloseLeavesReadsTheDriverNeverEndsAfterASecond)
{
    device.setEventMask(TComEvents::all());
    DeviceWaiter waiter(device);
    waiter.watch();
    TComEvents events;
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    ASSERT_EQ(sys.ops.size(), 2u);
    const std::vector<Handle> before = sys.waits.back();
    sys.cancelEndsNothing = true;
    sys.blockedForever = 0;
    const uint64_t start = sys.clock;
    ASSERT_EQ(device.close(), 0);
    EXPECT_EQ(sys.blockedForever, 0);
    EXPECT_EQ(sys.clock - start, 1000u) << "one second for both records together";
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "CloseHandle"), 1);

    // The next opening waits on records and events of its own: the old ones may still be
    // written into by the driver.
    ASSERT_EQ(device.open("\\\\.\\COM5", programSettings()), 0);
    waiter.watch();
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    const std::vector<Handle> after = sys.waits.back();
    ASSERT_EQ(after.size(), 4u);
    ASSERT_EQ(before.size(), 4u);
    EXPECT_NE(after[2], before[2]) << "the wake-up read's event";
    EXPECT_NE(after[3], before[3]) << "WaitCommEvent's event";
    EXPECT_EQ(sys.ops.size(), 4u) << "the old operations stay on their own records";
}

struct Win32Waiter : Win32Device {
    DeviceWaiter waiter{device};
    TComEvents events;
    void SetUp() override
    {
        Win32Device::SetUp();
        device.setEventMask(TComEvents::all());
        waiter.watch();
    }
    size_t handlesOfLastWait() const { return sys.waits.empty() ? 0 : sys.waits.back().size(); }
};

TEST_F(Win32Waiter, ReceivedCharactersWakeItWhereWaitCommEventSaysNothing)
{
    // Wine's WaitCommEvent on a pseudo-terminal ends at once with an empty mask.
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(handlesOfLastWait(), 4u); // stop, re-watch, wake-up read, WaitCommEvent
    sys.lineEvent(0);
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_TRUE(events.empty());
    // Not asked again: the next wait blocks on the wake-up read alone.
    sys.calls.clear();
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(handlesOfLastWait(), 3u);
    EXPECT_EQ(sys.calls, Calls{});
    sys.arrive("ab");
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(events, TComEvents{evRxChar});
    int count = 0;
    ASSERT_EQ(device.inputCount(count), 0);
    EXPECT_EQ(count, 2);
}

TEST_F(Win32Waiter, LineEventsComeFromWaitCommEventWithinTheMask)
{
    struct Case {
        uint32_t mask;
        TComEvents asked;
        TComEvents events;
    };
    const Case cases[] = {
        {EV_CTS | EV_ERR, TComEvents::all(), {evCTS, evError}},
        {EV_RING | EV_BREAK | EV_TXEMPTY, TComEvents::all(), {evRing, evBreak, evTxEmpty}},
        {EV_RLSD | EV_DSR, {evRxChar, evDSR}, {evDSR}},
    };
    for (const Case& c : cases) {
        device.setEventMask(c.asked);
        ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
        sys.lineEvent(c.mask);
        ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
        EXPECT_EQ(events, c.events) << c.mask;
    }
    // A driver that cannot wait for them is not asked again until the next opening.
    sys.failing = {{"WaitCommEvent", 87}};
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "WaitCommEvent"), 4);
}

TEST_F(Win32Waiter, AFailedWakeUpReadLeavesOnlyTheStopSignal)
{
    struct Case {
        int error;
        size_t handlesAfter; // of the next wait
    };
    const Case cases[] = {
        {kErrorOperationAborted, 4}, // a purge: the read begins again
        {kErrorDeviceNotConnected, 2},
    };
    for (const Case& c : cases) {
        waiter.watch();
        ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
        sys.readFails(c.error);
        ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
        EXPECT_TRUE(events.empty());
        ASSERT_EQ(waiter.wait(events), DeviceWaiter::Events);
        EXPECT_EQ(handlesOfLastWait(), c.handlesAfter) << c.error;
    }
    // The next opening's watch() ends a wait that began before it, and stop ends any.
    waiter.watch();
    EXPECT_TRUE(sys.events[sys.waits.back()[1]]);
    waiter.stop();
    EXPECT_EQ(waiter.wait(events), DeviceWaiter::Stopped);
    // Bytes left in the driver are announced without waiting.
    waiter.watch();
    EXPECT_EQ(waiter.wait(events, true), DeviceWaiter::Events);
    EXPECT_TRUE(events.contains(evRxChar));
}

} // namespace
