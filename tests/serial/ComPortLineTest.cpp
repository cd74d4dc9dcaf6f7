// The port on a real COM port: under wine, TARLO_TEST_COM names a port whose far end is the
// controller simulator on a pseudo-terminal, and TARLO_TEST_COMMAND_LOG the file where the
// simulator writes each command it received (scripts/test-windows.sh sets both up).

#include "ControllerPort.h"
#include "PortList.h"
#include "SerialPort.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// A generous bound for a slow machine; the waits end as soon as the condition holds.
constexpr int kPatienceMs = 30000;

struct ComPortLine : ::testing::Test {
    TComPort port;
    std::string received;
    int deliveries = 0;
    void SetUp() override
    {
        const char* com = std::getenv("TARLO_TEST_COM");
        if (!com)
            GTEST_SKIP() << "TARLO_TEST_COM names no port with a peer";
        configureControllerPort(port);
        port.SetPort(com);
        port.OnRxChar = [this](QObject*, int count) {
            std::string text;
            port.ReadText(text, count);
            received += text;
            ++deliveries;
        };
    }
    // A whole record: the line "-" twice, the first one's record between them.
    bool recordSeen() const
    {
        const size_t first = received.find("\r\n-\r\n");
        return first != std::string::npos && received.find("\r\n-\r\n", first + 1) != std::string::npos;
    }
};

TEST_F(ComPortLine, TheSystemListsThePort)
{
    EXPECT_TRUE(serialPortNames().contains(QString::fromLocal8Bit(std::getenv("TARLO_TEST_COM"))))
        << serialPortNames().join(QLatin1Char(' ')).toStdString();
}

TEST_F(ComPortLine, RecordsArriveThroughReopeningAndAFrameLeavesByteExact)
{
    // Three openings, as the program's restart seconds make them.
    for (int opening = 0; opening < 3; ++opening) {
        received.clear();
        port.OpenPort();
        ASSERT_TRUE(QTest::qWaitFor([&] { return recordSeen(); }, kPatienceMs))
            << "opening " << opening << ": " << received.size() << " bytes in " << deliveries
            << " deliveries";
        EXPECT_EQ(received.find('\0'), std::string::npos);
        port.ClosePort();
    }

    port.OpenPort();
    const std::string frame = "08001200702000608003000500000011";
    ASSERT_EQ(frame.size(), 32u);
    EXPECT_EQ(port.WriteText(frame), 32);
    const char* logPath = std::getenv("TARLO_TEST_COMMAND_LOG");
    ASSERT_NE(logPath, nullptr);
    QFile log(QString::fromLocal8Bit(logPath));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (!log.open(QIODevice::ReadOnly))
                return false;
            const QByteArray text = log.readAll();
            log.close();
            return text.contains(QByteArray::fromStdString(frame + "\n"));
        },
        kPatienceMs));
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
}

} // namespace
