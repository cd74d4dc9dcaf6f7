// The termios request made from a port's line settings: no device involved.

#include "posix/Termios.h"

#include "ProgramLine.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace {

// The kernel's speed fields: the input speed sits IBSHIFT bits above the output speed, and
// BOTHER means "the rate in ispeed/ospeed" (neither is in glibc's <termios.h>).
constexpr uint32_t kBothSpeeds = CBAUD | CIBAUD;
constexpr int kInputShift = 16;
constexpr uint32_t kOther = 0010000;

TEST(TermiosRequest, ProgramSettingsGiveARawLineAndNothingElse)
{
    const TermiosRequest t = termiosFor(programSettings());
    EXPECT_EQ(t.iflag, uint32_t(IGNBRK | IGNPAR));
    EXPECT_EQ(t.oflag, 0u);
    EXPECT_EQ(t.lflag, 0u);
    EXPECT_EQ(t.cflag & ~kBothSpeeds, uint32_t(CLOCAL | CREAD | CS8));
    EXPECT_EQ(t.cflag & kBothSpeeds, uint32_t(B19200 | B19200 << kInputShift));
    EXPECT_EQ(t.ispeed, 19200u);
    EXPECT_EQ(t.ospeed, 19200u);
    EXPECT_EQ(t.cc[VMIN], 1);
    EXPECT_EQ(t.cc[VTIME], 0);
    EXPECT_EQ(t.cc[VSTART], 17);
    EXPECT_EQ(t.cc[VSTOP], 19);
}

TEST(TermiosRequest, FramingFollowsTheSettings)
{
    struct Case {
        TParityBits parity;
        TDataBits dataBits;
        TStopBits stopBits;
        uint32_t cflag;
    };
    const Case cases[] = {
        {prNone, dbEight, sbOneStopBit, CS8},
        {prOdd, dbEight, sbOneStopBit, CS8 | PARENB | PARODD},
        {prEven, dbSeven, sbOneStopBit, CS7 | PARENB},
        {prMark, dbSeven, sbTwoStopBits, CS7 | PARENB | PARODD | CMSPAR | CSTOPB},
        {prSpace, dbSix, sbOneStopBit, CS6 | PARENB | CMSPAR},
        {prNone, dbFive, sbOne5StopBits, CS5 | CSTOPB},
    };
    for (const Case& c : cases) {
        LineSettings s = programSettings();
        s.parity = c.parity;
        s.dataBits = c.dataBits;
        s.stopBits = c.stopBits;
        EXPECT_EQ(termiosFor(s).cflag & ~kBothSpeeds, uint32_t(CLOCAL | CREAD) | c.cflag)
            << c.parity << " " << c.dataBits << " " << c.stopBits;
    }
}

TEST(TermiosRequest, FlowAndParityCheckSetOnlyTheirFlags)
{
    struct Case {
        const char* name;
        void (*change)(LineSettings&);
        uint32_t iflag, cflag;
    };
    const Case cases[] = {
        {"hardware flow",
         [](LineSettings& s) {
             s.rts = rtsHandshake;
             s.outCtsFlow = true;
         },
         IGNBRK | IGNPAR, CRTSCTS},
        {"software flow", [](LineSettings& s) { s.xonXoffIn = s.xonXoffOut = true; },
         IGNBRK | IGNPAR | IXON | IXOFF, 0},
        {"XON/XOFF out only", [](LineSettings& s) { s.xonXoffOut = true; }, IGNBRK | IGNPAR | IXON, 0},
        {"parity checked", [](LineSettings& s) { s.parityCheck = true; }, IGNBRK | INPCK | PARMRK, 0},
    };
    for (const Case& c : cases) {
        LineSettings s = programSettings();
        c.change(s);
        const TermiosRequest t = termiosFor(s);
        EXPECT_EQ(t.iflag, c.iflag) << c.name;
        EXPECT_EQ(t.cflag & ~kBothSpeeds, uint32_t(CLOCAL | CREAD | CS8) | c.cflag) << c.name;
    }
}

TEST(TermiosRequest, BothDirectionsGetTheSameRate)
{
    struct Case {
        uint32_t rate;
        uint32_t code;
    };
    const Case cases[] = {{19200, B19200}, {115200, B115200}, {56000, kOther}, {31250, kOther}, {110, B110}};
    for (const Case& c : cases) {
        LineSettings s = programSettings();
        s.baudRate = c.rate;
        const TermiosRequest t = termiosFor(s);
        EXPECT_EQ(t.cflag & CBAUD, c.code) << c.rate;
        EXPECT_EQ((t.cflag & CIBAUD) >> kInputShift, c.code) << c.rate;
        EXPECT_EQ(t.ispeed, c.rate);
        EXPECT_EQ(t.ospeed, c.rate);
    }
}

} // namespace
