// The event thread and the delivery of its events, over real pseudo-terminals.

#include "ControllerPort.h"
#include "PtyPeer.h"
#include "SerialPort.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// How often a thread of this process has blocked; -1 when it cannot be read.
long voluntarySwitches(pid_t tid)
{
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stol(line.substr(24));
    return -1;
}

// Waits until a thread of this process is asleep ('S'), for up to 3 s; false if it never is.
bool asleep(pid_t tid)
{
    for (int i = 0; i < 3000; ++i) {
        std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t name = line.rfind(')');
        if (name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S')
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

struct Events : ::testing::Test {
    // Declared before the port, which fires its close events when it is destroyed.
    PtyPeer peer;
    std::thread::id mainThread = std::this_thread::get_id();
    std::vector<std::string> log;
    std::string received;
    std::vector<int> counts;
    bool offMainThread = false;
    TComPort port;

    void SetUp() override
    {
        port.SetPort(peer.path);
        configureControllerPort(port);
    }
    // OnRxChar reading what it is told, as the main window's handler does.
    void readOnRxChar()
    {
        port.OnRxChar = [this](QObject* sender, int count) {
            EXPECT_EQ(sender, &port);
            offMainThread |= std::this_thread::get_id() != mainThread;
            counts.push_back(count);
            std::string s;
            EXPECT_EQ(port.ReadText(s, count), count);
            received += s;
        };
    }
    void logEvents()
    {
        port.OnRxChar = [this](QObject*, int n) { log.push_back("RxChar:" + std::to_string(n)); };
        port.OnRxBuf = [this](QObject*, const char* b, int n) {
            log.push_back("RxBuf:" + std::string(b, size_t(n)));
        };
        port.OnError = [this](QObject*, TComErrors) { log.push_back("Error"); };
        port.OnTxEmpty = [this](QObject*) { log.push_back("TxEmpty"); };
        port.OnBreak = [this](QObject*) { log.push_back("Break"); };
        port.OnRing = [this](QObject*) { log.push_back("Ring"); };
        port.OnCTSChange = [this](QObject*, bool) { log.push_back("CTS"); };
        port.OnDSRChange = [this](QObject*, bool) { log.push_back("DSR"); };
        port.OnRxFlag = [this](QObject*) { log.push_back("RxFlag"); };
        port.OnRLSDChange = [this](QObject*, bool) { log.push_back("RLSD"); };
        port.OnRx80Full = [this](QObject*) { log.push_back("Rx80Full"); };
    }
};

TEST_F(Events, RxCharArrivesOnTheMainThreadWithTheQueuedCount)
{
    readOnRxChar();
    port.OpenPort();
    const std::string record = "-\r\n6.90\r\n7.00\r\n \r\n";
    peer.send(record);
    ASSERT_TRUE(waitUntil([&] { return received.size() >= record.size(); }));
    EXPECT_EQ(received, record);
    EXPECT_FALSE(offMainThread);
    for (int c : counts)
        EXPECT_GT(c, 0);

    // Later bytes keep coming.
    peer.send("more");
    ASSERT_TRUE(waitUntil([&] { return received.size() >= record.size() + 4; }));
    EXPECT_EQ(received, record + "more");
}

TEST_F(Events, DeliveryRunsTheStepsInOrderAndSkipsAnEmptyQueue)
{
    port.SetEvents({}); // no thread: the test drives the delivery itself
    port.OpenPort();
    logEvents();
    port.ProcessEvents(TComEvents::all());
    // No bytes, no line errors: every other step fires, the modem lines read off.
    EXPECT_EQ(log, (std::vector<std::string>{"TxEmpty", "Break", "Ring", "CTS", "DSR", "RxFlag", "RLSD",
                                             "Rx80Full"}));
    log.clear();
    peer.send("abc");
    ASSERT_TRUE(waitUntil([&] { return port.InputPending() == 3; }));
    port.ProcessEvents({evRxChar, evRLSD, evError});
    EXPECT_EQ(log, (std::vector<std::string>{"RxChar:3", "RLSD"}));
}

TEST_F(Events, WithoutTriggersOnRxCharTheBytesComeInOnRxBuf)
{
    port.SetEvents({});
    port.SetTriggersOnRxChar(false);
    port.OpenPort();
    logEvents();
    const std::string thirty = "0123456789abcdefghijABCDEFGHIJ";
    peer.send(thirty);
    ASSERT_TRUE(waitUntil([&] { return port.InputPending() == 30; }));
    port.ProcessEvents({evRxChar});
    EXPECT_EQ(log, std::vector<std::string>{"RxBuf:" + thirty});
    EXPECT_EQ(port.InputPending(), 0);
    log.clear();
    port.ProcessEvents({evRxChar});
    EXPECT_TRUE(log.empty());

    // And through the event thread.
    port.ClosePort();
    port.SetEvents(TComEvents::all());
    port.OpenPort();
    std::string viaBuf;
    port.OnRxChar = [&](QObject*, int) { ADD_FAILURE() << "OnRxChar fired"; };
    port.OnRxBuf = [&](QObject*, const char* b, int n) { viaBuf.append(b, size_t(n)); };
    peer.send(thirty);
    ASSERT_TRUE(waitUntil([&] { return viaBuf.size() >= 30; }));
    EXPECT_EQ(viaBuf, thirty);
}

TEST_F(Events, EventsTakeEffectAtTheNextOpening)
{
    readOnRxChar();
    port.SetEvents({});
    port.OpenPort();
    peer.send("a");
    runEvents(200);
    EXPECT_TRUE(counts.empty()); // no event thread
    port.SetEvents(TComEvents::all());
    peer.send("b");
    runEvents(200);
    EXPECT_TRUE(counts.empty());
    port.ClosePort();
    port.OpenPort();
    peer.send("c");
    ASSERT_TRUE(waitUntil([&] { return received.find('c') != std::string::npos; }));
}

TEST_F(Events, HandlerExceptionEndsDeliverySilently)
{
    int calls = 0;
    port.OnRxChar = [&](QObject*, int) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    std::vector<std::string> reported;
    port.OnException = [&](QObject*, std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            reported.push_back(x.what());
        }
    };
    port.OpenPort();
    peer.send("a");
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    peer.send("b");
    runEvents(300);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});
    // Direct reads and writes still work.
    ASSERT_TRUE(waitUntil([&] { return port.InputPending() == 2; }));
    std::string s;
    EXPECT_EQ(port.ReadText(s, 10), 2);
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(port.WriteText("ok"), 2);
    EXPECT_EQ(peer.receive(), "ok");

    // Closing finds the thread ended; reopening delivers again.
    auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    readOnRxChar();
    port.OpenPort();
    peer.send("c");
    ASSERT_TRUE(waitUntil([&] { return received == "c"; }));
}

TEST_F(Events, ClosingRunsAPendingDeliveryAndNoHandlerAfterwards)
{
    port.OnBeforeClose = [&](QObject*) { log.push_back("BeforeClose"); };
    port.OnAfterClose = [&](QObject*) { log.push_back("AfterClose"); };
    port.OnRxChar = [&](QObject*, int n) {
        std::string s;
        port.ReadText(s, n);
        log.push_back("RxChar:" + s + (port.Connected() ? ":open" : ":closed"));
    };
    port.OpenPort();
    peer.send("xyz");
    // The event loop does not run: the event thread wakes and blocks in its hand-over.
    for (int i = 0; i < 500 && !port.DeliveryWaiting(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(port.DeliveryWaiting());
    port.ClosePort();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "RxChar:xyz:open", "AfterClose"}));
    runEvents(200);
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(Events, AHandlerMayCloseAndReopenThePort)
{
    int calls = 0;
    std::string got;
    port.OnRxChar = [&](QObject*, int n) {
        ++calls;
        std::string s;
        port.ReadText(s, n);
        got += s;
        if (calls == 1) {
            port.ClosePort(); // what the periodic restart may do inside a delivery
            EXPECT_FALSE(port.Connected());
            port.OpenPort();
        }
    };
    port.OpenPort();
    peer.send("1");
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_TRUE(port.Connected());
    peer.send("2");
    ASSERT_TRUE(waitUntil([&] { return calls == 2; }));
    EXPECT_EQ(got, "12");

    // Closing for good from inside a handler: no handler runs after it.
    port.OnRxChar = [&](QObject*, int) {
        ++calls;
        port.ClosePort();
    };
    peer.send("3");
    ASSERT_TRUE(waitUntil([&] { return calls == 3; }));
    EXPECT_FALSE(port.Connected());
    peer.send("4");
    runEvents(200);
    EXPECT_EQ(calls, 3);
}

TEST_F(Events, DeliveriesRunInsideNestedEventLoops)
{
    int depthAtDelivery = -1;
    int depth = 0;
    port.OnRxChar = [&](QObject*, int n) {
        std::string s;
        port.ReadText(s, n);
        depthAtDelivery = depth;
    };
    port.OpenPort();
    bool nestedDone = false;
    QTimer::singleShot(0, [&] {
        // Stands for a modal dialog's own loop.
        QEventLoop modal;
        ++depth;
        QTimer::singleShot(3000, &modal, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (depthAtDelivery >= 0)
                modal.quit();
        });
        poll.start(5);
        peer.send("m");
        modal.exec();
        --depth;
        nestedDone = true;
    });
    ASSERT_TRUE(waitUntil([&] { return nestedDone; }, 5000));
    EXPECT_EQ(depthAtDelivery, 1);
}

TEST_F(Events, WithoutSyncHandlersRunOnTheEventThread)
{
    // Also: one event thread serves every opening, so a port reopened many times a second
    // starts no thread each time.
    port.SetSyncMethod(smNone);
    std::atomic<int> calls{0};
    // Kernel thread ids: a thread id of the library may be handed out again after a join.
    std::vector<pid_t> threads(2);
    port.OnRxChar = [&](QObject*, int n) {
        std::string s;
        port.ReadText(s, n);
        threads[size_t(calls.load())] = gettid();
        ++calls;
    };
    for (int opening = 1; opening <= 2; ++opening) {
        port.OpenPort();
        peer.send("n");
        // No event loop needed.
        for (int i = 0; i < 300 && calls < opening; ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_EQ(calls, opening);
        port.ClosePort();
    }
    EXPECT_NE(threads[0], getpid());
    EXPECT_EQ(threads[1], threads[0]);
}

// The restart closes and reopens the port a hundred times a second. While the event thread
// waits with nothing pending, each reopen leaves it asleep, and bytes sent afterwards still
// reach the handler.
TEST_F(Events, ReopeningWhileTheThreadWaitsLeavesItAsleepAndLosesNoByte)
{
    port.SetSyncMethod(smNone);
    std::mutex m;
    std::string got;
    pid_t eventThread = 0;
    port.OnRxChar = [&](QObject*, int n) {
        std::string s;
        port.ReadText(s, n);
        std::lock_guard lock(m);
        got += s;
        eventThread = gettid();
    };
    auto received = [&](const std::string& want) {
        for (int i = 0; i < 300; ++i) {
            {
                std::lock_guard lock(m);
                if (got == want)
                    return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    };
    port.OpenPort();
    peer.send("a");
    ASSERT_TRUE(received("a"));
    const pid_t thread = [&] {
        std::lock_guard lock(m);
        return eventThread;
    }();
    // Asleep once more, it is back in its wait: each close finds it there, as the restart's
    // ticks 10 ms apart do.
    ASSERT_TRUE(asleep(thread));
    const long before = voluntarySwitches(thread);
    ASSERT_GE(before, 0);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(asleep(thread));
        port.ClosePort();
        port.OpenPort();
    }
    // Waking it for each close and open would make it block twice a cycle.
    EXPECT_EQ(voluntarySwitches(thread) - before, 0);
    peer.send("b");
    EXPECT_TRUE(received("ab"));
}

// The restart seconds close and reopen the port hundreds of times a minute while records
// arrive. Each close releases the device before it returns, wherever the event thread stands
// (asleep in its wait, looking at the device, delivering), so no reopen finds the port held.
// The far end also sets the line's settings again and again (the port's own): each time the
// waiter wakes and looks at the device with nothing to read, the moment in which a close that
// left the device in the waiter's set handed its release to a thread going back to sleep.
TEST_F(Events, ReopeningThousandsOfTimesWhileRecordsArriveNeverFindsThePortHeld)
{
    readOnRxChar();
    port.OpenPort();
    termios settings{};
    ASSERT_EQ(tcgetattr(peer.master, &settings), 0); // the slave's, as the port set them
    ASSERT_EQ(fcntl(peer.master, F_SETFL, fcntl(peer.master, F_GETFL) | O_NONBLOCK), 0);
    std::atomic<bool> done{false};
    std::thread controller([&] {
        const std::string record = "-\r\n6,90\r\n7,00\r\n \r\n";
        while (!done) {
            // A full terminal (nobody reading while the port is closed) only drops a record.
            if (::write(peer.master, record.data(), record.size()) < 0) {
            }
            std::this_thread::sleep_for(2ms);
        }
    });
    std::thread line([&] {
        while (!done) {
            tcsetattr(peer.master, TCSANOW, &settings);
            std::this_thread::sleep_for(100us);
        }
    });
    int reopened = 0;
    std::string failure;
    for (; reopened < 20000 && failure.empty(); ++reopened) {
        port.ClosePort();
        try {
            port.OpenPort();
        } catch (const EComPort& e) {
            failure = e.what();
        }
        QCoreApplication::processEvents(); // deliveries run between the restarts
    }
    done = true;
    controller.join();
    line.join();
    EXPECT_EQ(failure, "") << "reopen " << reopened;
    // Records still reach the handler.
    ASSERT_TRUE(port.Connected());
    received.clear();
    peer.send("after");
    EXPECT_TRUE(waitUntil([&] { return received.find("after") != std::string::npos; }));
}

TEST_F(Events, HangUpIsDeliveredAsTheCarrierLostAndNeitherSpinsNorBlocksClosing)
{
    readOnRxChar();
    int afterClose = 0;
    port.OnAfterClose = [&](QObject*) { ++afterClose; };
    std::vector<bool> carrier;
    port.OnRLSDChange = [&](QObject*, bool on) { carrier.push_back(on); };
    port.OpenPort();
    peer.send("before");
    ASSERT_TRUE(waitUntil([&] { return received == "before"; }));
    ASSERT_EQ(carrier, std::vector<bool>{false}); // opening reports the line: none on a pty

    peer.hangUp();
    ASSERT_TRUE(waitUntil([&] { return carrier.size() == 2; }));
    EXPECT_FALSE(carrier[1]);
    double cpu0 = processCpuSeconds();
    std::this_thread::sleep_for(1s);
    double cpu = processCpuSeconds() - cpu0;
    EXPECT_LT(cpu, 0.1) << "the event thread keeps running after the hang-up";

    // The device is gone: reads fail with the platform's number, closing still completes.
    std::string s;
    try {
        port.ReadText(s, 5);
        ADD_FAILURE() << "read of a hung-up device succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortCode, 3);
        EXPECT_GT(e.SystemCode, 0);
    }
    EXPECT_NO_THROW(port.ClosePort());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(afterClose, 1);
    // Reopening is attempted (and fails while the device is missing).
    EComPort e(0, 0);
    try {
        port.OpenPort();
    } catch (const EComPort& err) {
        e = err;
    }
    EXPECT_EQ(e.PortCode, 1);
    EXPECT_FALSE(port.Connected());
}

} // namespace

TEST_F(Events, MoreThanTheInputQueueHoldsAllArrives)
{
    // 3000 bytes in one burst: the 1024-byte input queue takes a part, the driver keeps the
    // rest, and no new bytes come after it to wake the thread again.
    readOnRxChar();
    port.OpenPort();
    std::string burst;
    for (int i = 0; i < 3000; ++i)
        burst += char('A' + i % 26);
    peer.send(burst);
    EXPECT_TRUE(waitUntil([&] { return received.size() == burst.size(); }));
    EXPECT_EQ(received, burst);
    for (int c : counts)
        EXPECT_LE(c, 1024);
}

TEST_F(Events, AHandlerThatReadsNothingDoesNotMakeTheThreadSpin)
{
    // All 3000 bytes wait in the terminal before the port opens, so the thread sees them in
    // one wake-up however the pseudo-terminal would have cut them up on the way.
    int slave = ::open(peer.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(slave, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
    peer.send(std::string(3000, 'x'));
    ASSERT_TRUE(waitUntil([&] {
        int n = 0;
        return ioctl(slave, FIONREAD, &n) == 0 && n == 3000;
    }));

    int calls = 0;
    port.OnRxChar = [&](QObject*, int) { ++calls; };
    port.OpenPort();
    ASSERT_TRUE(waitUntil([&] { return calls > 0; }));
    const double before = processCpuSeconds();
    waitUntil([] { return false; }, 500);
    EXPECT_LT(processCpuSeconds() - before, 0.1);
    EXPECT_EQ(calls, 1);
    port.ClosePort();
    ::close(slave);
}
