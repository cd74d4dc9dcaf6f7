// The port over the Windows layer with a scripted driver: the messages the user sees when a
// call fails, and what state each failure leaves.

#include "ControllerPort.h"
#include "SerialPort.h"
#include "Win32Script.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

Win32Script* gScript = nullptr;

} // namespace

// Every port of this test binary runs on the script of the test running; a port made outside
// such a test (to read the program's line settings) on a script of its own that is never run.
SystemCalls& SystemCalls::real()
{
    static Win32Script idle;
    return gScript ? *gScript : idle;
}

namespace {

struct Win32Port : ::testing::Test {
    Win32Script sys;
    void SetUp() override { gScript = &sys; }
    void TearDown() override { gScript = nullptr; }
};

// No event thread: the failures of the port's own calls.
void makeProgramPort(TComPort& port)
{
    port.SetPort("COM5");
    configureControllerPort(port);
    port.SetEvents({});
}

std::string messageOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const EComPort& e) {
        return e.what();
    }
    return "(no error)";
}

TEST_F(Win32Port, OpeningFailuresNameTheCallAndItsNumber)
{
    struct Case {
        const char* failing;
        int error;
        const char* message;
        bool closedAgain;
    };
    const Case cases[] = {
        {"CreateFile", 5, "Unable to open com port (Error: 5)", false},
        {"CreateFile", 2, "Unable to open com port (Error: 2)", false},
        {"SetupComm", 87, "SetupComm function failed (Error: 87)", true},
        {"SetCommState", 31, "SetCommState function failed (Error: 31)", true},
        {"SetCommTimeouts", 1167, "SetCommTimeouts failed (Error: 1167)", true},
        {"GetCommModemStatus", 1167, "GetCommModemStatus function failed (Error: 1167)", false},
    };
    for (const Case& c : cases) {
        sys.calls.clear();
        sys.failing = {{c.failing, c.error}};
        TComPort port;
        makeProgramPort(port);
        EXPECT_EQ(messageOf([&] { port.OpenPort(); }), c.message);
        // A refused configuration closes the device again; the lines are read once it is open.
        const bool open = std::string(c.failing) == "GetCommModemStatus";
        EXPECT_EQ(port.Connected(), open) << c.failing;
        EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "CloseHandle"), c.closedAgain ? 1 : 0)
            << c.failing;
        sys.failing.clear();
    }
}

TEST_F(Win32Port, ReadWriteAndCloseFailuresNameTheirCall)
{
    TComPort port;
    makeProgramPort(port);
    port.OpenPort();
    std::string text;
    struct Case {
        const char* failing;
        int error;
        std::function<void()> step;
        const char* message;
    };
    const Case cases[] = {
        {"ReadFile", 6, [&] { sys.driver = "abc", port.ReadText(text, 3); },
         "ReadFile function failed (Error: 6)"},
        {"WriteFile", 1167, [&] { port.WriteText("x"); }, "WriteFile function failed (Error: 1167)"},
        {"ClearCommError", 22, [&] { port.InputPending(); }, "ClearCommError function failed (Error: 22)"},
        {"PurgeComm", 87, [&] { port.ClosePort(); }, "PurgeComm function failed (Error: 87)"},
    };
    for (const Case& c : cases) {
        sys.failing = {{c.failing, c.error}};
        EXPECT_EQ(messageOf(c.step), c.message);
        EXPECT_TRUE(port.Connected()) << c.failing;
    }
    // An adapter that is gone cannot be purged, but the port still closes.
    sys.failing = {{"PurgeComm", kErrorDeviceNotConnected}};
    EXPECT_EQ(messageOf([&] { port.ClosePort(); }), "(no error)");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(messageOf([&] { port.WriteText("x"); }), "Port Not Open");
}

} // namespace
