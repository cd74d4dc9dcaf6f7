// Opening, closing, configuring, reading and writing a port over real pseudo-terminals.

#include "ControllerPort.h"
#include "PtyPeer.h"
#include "SerialDevice.h"
#include "SerialPort.h"
#include "posix/SystemCalls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <vector>

namespace {

// A port with the program's line settings, recording its open and close events.
struct RecordingPort {
    // Declared before the port, which records its close events when it is destroyed.
    std::vector<std::string> log;
    TComPort port;

    explicit RecordingPort(const std::string& path)
    {
        port.SetPort(path);
        configureControllerPort(port);
        port.OnBeforeOpen = [this](QObject* s) { note("BeforeOpen", s); };
        port.OnAfterOpen = [this](QObject* s) { note("AfterOpen", s); };
        port.OnBeforeClose = [this](QObject* s) { note("BeforeClose", s); };
        port.OnAfterClose = [this](QObject* s) { note("AfterClose", s); };
        port.OnCTSChange = [this](QObject* s, bool on) { note(on ? "CTS:1" : "CTS:0", s); };
        port.OnDSRChange = [this](QObject* s, bool on) { note(on ? "DSR:1" : "DSR:0", s); };
        port.OnRLSDChange = [this](QObject* s, bool on) { note(on ? "RLSD:1" : "RLSD:0", s); };
    }
    void note(const char* what, QObject* sender)
    {
        log.push_back(sender == &port ? what : std::string(what) + "(wrong sender)");
    }
};

template <typename F>
EComPort expectComPortError(F f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0, 0);
}

TEST(OpenPort, MissingDeviceFailsWithTheErrorNumber)
{
    RecordingPort r("/dev/tarlo-test-no-such-port");
    EComPort e = expectComPortError([&] { r.port.OpenPort(); });
    EXPECT_STREQ(e.what(), "Unable to open com port (Error: 2)");
    EXPECT_EQ(e.SystemCode, 2);
    EXPECT_EQ(e.PortCode, 1);
    EXPECT_FALSE(r.port.Connected());
    EXPECT_EQ(r.log, std::vector<std::string>{"BeforeOpen"});
}

TEST(OpenPort, DeviceHeldByAnotherOpenIsRefused)
{
    PtyPeer peer;
    TComPort first, second;
    first.SetPort(peer.path);
    second.SetPort(peer.path);
    first.OpenPort();
    EComPort e = expectComPortError([&] { second.OpenPort(); });
    EXPECT_EQ(e.PortCode, 1);
    EXPECT_GT(e.SystemCode, 0);
    EXPECT_EQ(std::string(e.what()), "Unable to open com port (Error: " + std::to_string(e.SystemCode) + ")");
    EXPECT_FALSE(second.Connected());
    EXPECT_TRUE(first.Connected());
    first.ClosePort();
    second.OpenPort(); // free again once the first has closed
    EXPECT_TRUE(second.Connected());
}

TEST(OpenPort, NameWithoutSlashIsUnderDev)
{
    EXPECT_EQ(SerialDevice::pathOf("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevice::pathOf("/tmp/sim"), "/tmp/sim");
    PtyPeer peer;
    ASSERT_EQ(peer.path.rfind("/dev/", 0), 0u);
    TComPort port;
    port.SetPort(peer.path.substr(5)); // "pts/N"
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
}

TEST(OpenPort, OpenAndCloseFireTheirEventsInOrder)
{
    PtyPeer peer;
    RecordingPort r(peer.path);
    r.port.OpenPort();
    EXPECT_TRUE(r.port.Connected());
    // Pseudo-terminals have no modem lines: they read as off.
    EXPECT_EQ(r.log, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS:0", "DSR:0", "RLSD:0"}));
    r.log.clear();
    r.port.OpenPort(); // already open: nothing at all
    EXPECT_TRUE(r.log.empty());

    r.port.ClosePort();
    EXPECT_FALSE(r.port.Connected());
    EXPECT_EQ(r.log, (std::vector<std::string>{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose", "AfterClose"}));
    r.log.clear();
    r.port.ClosePort();
    EXPECT_TRUE(r.log.empty());

    // Connected drives the same operations.
    r.port.SetConnected(true);
    EXPECT_TRUE(r.port.Connected());
    EXPECT_EQ(r.log.front(), "BeforeOpen");
    r.port.SetConnected(false);
    EXPECT_FALSE(r.port.Connected());
    EXPECT_EQ(r.log.back(), "AfterClose");
}

// A port whose timeouts step fails, the last step of configuring.
struct TimeoutsRefusedPort : TComPort {
    void ApplyTimeoutSettings() override
    {
        TComPort::ApplyTimeoutSettings();
        ReportPortError(CE_TimeoutsFailed, EINVAL);
    }
};

TEST(OpenPort, FailedConfigurationClosesTheDeviceAgain)
{
    PtyPeer peer;
    std::vector<std::string> log;
    TimeoutsRefusedPort port;
    port.SetPort(peer.path);
    port.OnBeforeOpen = [&](QObject*) { log.push_back("BeforeOpen"); };
    port.OnAfterOpen = [&](QObject*) { log.push_back("AfterOpen"); };
    EComPort e = expectComPortError([&] { port.OpenPort(); });
    EXPECT_STREQ(e.what(), "SetCommTimeouts failed (Error: 22)");
    EXPECT_EQ(e.PortCode, 8);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(log, std::vector<std::string>{"BeforeOpen"});
    // The device was released: another port opens it.
    TComPort other;
    other.SetPort(peer.path);
    other.OpenPort();
    EXPECT_TRUE(other.Connected());
    EXPECT_THROW(port.WriteText("x"), EComPort);
}

TEST(OpenPort, APathThatIsNoTerminalIsRefusedUntouched)
{
    char dir[] = "/tmp/tarlo-serial-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/file", fifo = std::string(dir) + "/fifo";
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The FIFO's reader sees whatever the port would write.
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    for (const std::string& path : {file, fifo, std::string("/dev/null"), std::string("/dev/zero")}) {
        RecordingPort r(path);
        EComPort e = expectComPortError([&] { r.port.OpenPort(); });
        EXPECT_STREQ(e.what(), "Unable to open com port (Error: 25)") << path;
        EXPECT_FALSE(r.port.Connected()) << path;
        EXPECT_EQ(r.log, std::vector<std::string>{"BeforeOpen"}) << path;
    }
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    char c;
    EXPECT_EQ(::read(reader, &c, 1), 0) << "the FIFO got bytes";
    ::close(reader);
    ::unlink(file.c_str());
    ::unlink(fifo.c_str());
    ::rmdir(dir);
}

TEST(ClosedPort, ReadsAndWritesAreRefused)
{
    TComPort port;
    std::string s = "old";
    EComPort e = expectComPortError([&] { port.ReadText(s, 5); });
    EXPECT_STREQ(e.what(), "Port Not Open");
    EXPECT_EQ(e.SystemCode, -1);
    EXPECT_EQ(e.PortCode, 24);
    e = expectComPortError([&] { port.WriteText("x"); });
    EXPECT_STREQ(e.what(), "Port Not Open");
    EXPECT_EQ(e.SystemCode, -1);
    char buf[4];
    EXPECT_THROW(port.ReadBytes(buf, 4), EComPort);
    // Nothing to send or read touches no device.
    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_EQ(port.ReadText(s, 0), 0);
    EXPECT_EQ(s, "");
}

struct OpenPty : ::testing::Test {
    PtyPeer peer;
    TComPort port;
    void SetUp() override
    {
        port.SetPort(peer.path);
        configureControllerPort(port);
        port.SetEvents({}); // no event thread: the test reads the queue itself
        port.OpenPort();
    }
    bool waitPending(int n)
    {
        return waitUntil([&] { return port.InputPending() >= n; }) && port.InputPending() == n;
    }
};

TEST_F(OpenPty, ReadTextReturnsWhatIsQueuedAtOnce)
{
    peer.send("0123456789\r\n");
    ASSERT_TRUE(waitPending(12));
    std::string s;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadText(s, 50), 12);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(s, "0123456789\r\n");
    EXPECT_EQ(port.InputPending(), 0);
    EXPECT_EQ(port.ReadText(s, 50), 0);
    EXPECT_EQ(s, "");

    peer.send("abcdef");
    ASSERT_TRUE(waitPending(6));
    EXPECT_EQ(port.ReadText(s, 4), 4);
    EXPECT_EQ(s, "abcd");
    EXPECT_EQ(port.InputPending(), 2);
    char buf[8];
    EXPECT_EQ(port.ReadBytes(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "ef");
}

TEST_F(OpenPty, NulBytesAreDroppedOnlyWithDiscardNull)
{
    const std::string withNuls("a\0b\0\0c", 6);
    peer.send(withNuls);
    ASSERT_TRUE(waitPending(3));
    std::string s;
    EXPECT_EQ(port.ReadText(s, 10), 3);
    EXPECT_EQ(s, "abc");

    port.SetDiscardNull(false); // applied to the open device
    peer.send(withNuls);
    ASSERT_TRUE(waitPending(6));
    EXPECT_EQ(port.ReadText(s, 10), 6);
    EXPECT_EQ(s, withNuls);
}

TEST_F(OpenPty, InputQueueHoldsInputSizeBytes)
{
    port.Buffer().SetInputSize(16);
    peer.send(std::string(40, 'x'));
    ASSERT_TRUE(waitPending(16));
    runEvents(50);
    EXPECT_EQ(port.InputPending(), 16);
    // The rest waits in the device, and a read takes it too.
    std::string s;
    EXPECT_EQ(port.ReadText(s, 100), 40);
    EXPECT_EQ(s, std::string(40, 'x'));
    EXPECT_EQ(port.InputPending(), 0);
}

TEST_F(OpenPty, WritesReachThePeer)
{
    EXPECT_EQ(port.WriteText("hello\r\n"), 7);
    EXPECT_EQ(peer.receive(), "hello\r\n");
}

TEST_F(OpenPty, WriteGivesUpAtTheWriteTimeout)
{
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    const std::string big(4 << 20, 'z'); // far more than the pseudo-terminal buffers
    auto start = std::chrono::steady_clock::now();
    int written = port.WriteText(big);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(written, 0);
    EXPECT_LT(written, int(big.size()));
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST_F(OpenPty, LineSettingsReachTheTerminal)
{
    // Read through the master side: the port holds the line exclusive, so a second open of it
    // works for root alone, and a pseudo-terminal's master reports its slave's settings.
    termios t{};
    const int fd = peer.master;
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_iflag & IGNBRK);
    EXPECT_TRUE(t.c_iflag & IGNPAR);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));

    // Changes while open are applied at once.
    port.SetDataBits(dbSeven);
    port.Parity().SetBits(prSpace);
    port.SetStopBits(sbTwoStopBits);
    port.FlowControl().SetFlowControl(fcSoftware);
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    // A pseudo-terminal keeps eight data bits and no parity enable; the rest shows.
    EXPECT_TRUE(t.c_cflag & CMSPAR);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);

    // Rates without a termios constant go through BOTHER.
    const std::vector<std::pair<TBaudRate, int>> rates = {
        {br56000, 56000}, {br57600, 57600}, {br14400, 14400}, {br115200, 115200}};
    // Both directions, always.
    auto speed = [&] {
        TermiosRequest now;
        EXPECT_EQ(SystemCalls::real().getTermios(fd, now), 0);
        EXPECT_EQ(now.ispeed, now.ospeed);
        return int(now.ospeed);
    };
    for (auto [rate, bps] : rates) {
        port.SetBaudRate(rate);
        EXPECT_EQ(speed(), bps);
    }
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(speed(), 31250);
}

TEST(SystemCalls, AClosedFarEndIsAHangUp)
{
    // A pseudo-terminal reports POLLHUP and POLLERR together; a pipe's reader sees POLLHUP
    // alone and its writer POLLERR alone, so each flag is checked on its own.
    PtyPeer peer;
    const int tty = ::open(peer.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(tty, 0);
    int reader[2], writer[2];
    ASSERT_EQ(::pipe(reader), 0);
    ASSERT_EQ(::pipe(writer), 0);
    struct Case {
        const char* name;
        int fd;
        bool forWriting;
    };
    const Case cases[] = {{"tty read", tty, false},
                          {"tty write", tty, true},
                          {"pipe read", reader[0], false},
                          {"pipe write", writer[1], true}};
    bool ready = true, hungUp = true;
    for (const Case& c : cases) {
        ASSERT_EQ(SystemCalls::real().poll(c.fd, c.forWriting, 0, ready, hungUp), 0);
        EXPECT_FALSE(hungUp) << c.name;
    }
    peer.hangUp();
    ::close(reader[1]);
    ::close(writer[0]);
    for (const Case& c : cases) {
        ASSERT_EQ(SystemCalls::real().poll(c.fd, c.forWriting, 0, ready, hungUp), 0);
        EXPECT_TRUE(hungUp) << c.name;
    }
    for (int fd : {tty, reader[0], writer[1]})
        ::close(fd);
}

TEST(LineSettings, NothingLeftOnTheTerminalSurvivesOpeningOrAChangeBack)
{
    PtyPeer peer;
    int fd = ::open(peer.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    // What another program may leave behind.
    t.c_iflag |= INPCK | IXOFF | IXANY | IUCLC | PARMRK | ISTRIP | ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_cflag |= HUPCL;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);

    RecordingPort r(peer.path);
    r.port.OpenPort();
    auto expectProgramLine = [&](const char* when) {
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        EXPECT_EQ(t.c_iflag, tcflag_t(IGNBRK | IGNPAR)) << when;
        EXPECT_EQ(t.c_oflag, 0u) << when;
        EXPECT_EQ(t.c_lflag, 0u) << when;
        EXPECT_EQ(t.c_cflag & ~(CBAUD | CIBAUD), tcflag_t(CLOCAL | CREAD | CS8)) << when;
    };
    expectProgramLine("after opening");
    // Settings of our own, taken back.
    r.port.Parity().SetCheck(true);
    r.port.FlowControl().SetFlowControl(fcSoftware);
    r.port.Parity().SetCheck(false);
    r.port.FlowControl().SetFlowControl(fcNone);
    expectProgramLine("after a change back");
    ::close(fd);
}

TEST_F(OpenPty, SyncMethodCannotChangeWhileOpen)
{
    EComPort e = expectComPortError([&] { port.SetSyncMethod(smNone); });
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(e.PortCode, 14);
    EXPECT_EQ(e.SystemCode, -1);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.SetSyncMethod(smThreadSync); // the value held: no error
    port.ClosePort();
    port.SetSyncMethod(smNone);
    EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(PortName, ChangingItWhileOpenReopensOnTheNewDevice)
{
    PtyPeer a, b;
    RecordingPort r(a.path);
    r.port.OpenPort();
    r.log.clear();
    r.port.SetPort(a.path); // same name: nothing
    EXPECT_TRUE(r.log.empty());

    r.port.SetPort(b.path);
    EXPECT_TRUE(r.port.Connected());
    EXPECT_EQ(r.port.Port(), b.path);
    EXPECT_EQ(r.log, (std::vector<std::string>{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose", "AfterClose",
                                               "BeforeOpen", "AfterOpen", "CTS:0", "DSR:0", "RLSD:0"}));
    r.port.WriteText("to b");
    EXPECT_EQ(b.receive(), "to b");
    EXPECT_EQ(a.receive(100), "");

    // The old device is free again.
    TComPort other;
    other.SetPort(a.path);
    other.OpenPort();
    EXPECT_TRUE(other.Connected());

    // While closed, only the name changes.
    r.port.ClosePort();
    r.log.clear();
    r.port.SetPort(a.path + "x");
    EXPECT_TRUE(r.log.empty());
    EXPECT_FALSE(r.port.Connected());
}

TEST(Loading, ConnectedIsRecordedAndOpenedWhenLoadingEnds)
{
    PtyPeer peer;
    TComPort port;
    port.BeginLoading();
    port.SetPort(peer.path);
    port.SetConnected(true);
    EXPECT_FALSE(port.Connected());
    port.EndLoading();
    EXPECT_TRUE(port.Connected());

    // A recorded open that fails goes to the application's handler, not to the caller.
    std::vector<std::string> reported;
    TCustomComPort::SetApplicationErrorHandler(
        [&](const std::exception& e) { reported.push_back(e.what()); });
    TComPort missing;
    missing.BeginLoading();
    missing.SetPort("/dev/tarlo-test-no-such-port");
    missing.SetConnected(true);
    EXPECT_NO_THROW(missing.EndLoading());
    TCustomComPort::SetApplicationErrorHandler(nullptr);
    EXPECT_FALSE(missing.Connected());
    EXPECT_EQ(reported, std::vector<std::string>{"Unable to open com port (Error: 2)"});
}

TEST(Ownership, DestroyingTheOwnerClosesThePort)
{
    PtyPeer peer;
    bool closed = false;
    {
        QObject owner;
        auto* port = new TComPort(&owner);
        port->SetPort(peer.path);
        port->OnAfterClose = [&](QObject*) { closed = true; };
        port->OpenPort();
    }
    EXPECT_TRUE(closed);
    TComPort again;
    again.SetPort(peer.path);
    again.OpenPort();
    EXPECT_TRUE(again.Connected());
}

} // namespace
