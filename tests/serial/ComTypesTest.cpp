// The port's value types, its error and the device control block: no device involved.

#include "ControllerPort.h"
#include "SerialPort.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ComPortError, AllCodesHaveTheirTexts)
{
    const std::vector<std::pair<int, const char*>> table = {
        {1, "Unable to open com port"},
        {2, "WriteFile function failed"},
        {3, "ReadFile function failed"},
        {4, "Invalid Async parameter"},
        {5, "PurgeComm function failed"},
        {6, "Unable to get async status"},
        {7, "SetCommState function failed"},
        {8, "SetCommTimeouts failed"},
        {9, "SetupComm function failed"},
        {10, "ClearCommError function failed"},
        {11, "GetCommModemStatus function failed"},
        {12, "EscapeCommFunction function failed"},
        {13, "TransmitCommChar function failed"},
        {14, "Cannot set property while connected"},
        {15, "EnumPorts function failed"},
        {16, "Failed to store settings"},
        {17, "Failed to load settings"},
        {18, "Link (un)registration failed"},
        {19, "Cannot change led state if ComPort is selected"},
        {20, "Cannot wait for event if event thread is created"},
        {21, "WaitForEvent method failed"},
        {22, "A component is linked to OnRxBuf event"},
        {23, "Registry error"},
        {24, "Port Not Open"},
    };
    for (auto [code, text] : table) {
        EComPort e(code, 0);
        EXPECT_STREQ(e.what(), text) << code;
        EXPECT_EQ(e.PortCode, code);
        EXPECT_EQ(e.SystemCode, -1);
    }
    EXPECT_EQ(CE_OpenFailed, 1);
    EXPECT_EQ(CE_ConnChangeProp, 14);
    EXPECT_EQ(CE_RegError, 23);
    EXPECT_EQ(CEPortNotOpen, 24);
}

TEST(ComPortError, PlatformNumberIsAppendedOnlyWhenPositive)
{
    EComPort withNumber(1, 5);
    EXPECT_STREQ(withNumber.what(), "Unable to open com port (Error: 5)");
    EXPECT_EQ(withNumber.SystemCode, 5);
    EXPECT_EQ(withNumber.PortCode, 1);

    EComPort negative(5, -3);
    EXPECT_STREQ(negative.what(), "PurgeComm function failed");
    EXPECT_EQ(negative.SystemCode, -1);

    TComPort port;
    try {
        port.ReportPortError(3, 110);
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "ReadFile function failed (Error: 110)");
        EXPECT_EQ(e.SystemCode, 110);
        EXPECT_EQ(e.PortCode, 3);
    }
}

TEST(ComEvents, MaskAndSetConvertBothWays)
{
    EXPECT_EQ(EventMask(TComEvents::all()), 0x05FFu);
    EXPECT_EQ(EventMask({}), 0u);
    const std::vector<std::pair<TComEvent, uint32_t>> bits = {
        {evRxChar, 0x1}, {evTxEmpty, 0x4}, {evRxFlag, 0x2}, {evRing, 0x100}, {evBreak, 0x40},
        {evCTS, 0x8},    {evDSR, 0x10},    {evError, 0x80}, {evRLSD, 0x20},  {evRx80Full, 0x400},
    };
    for (auto [ev, bit] : bits) {
        EXPECT_EQ(EventMask({ev}), bit) << ev;
        EXPECT_EQ(EventsFromMask(bit), TComEvents{ev}) << ev;
    }
    // Bits that stand for no event are dropped.
    EXPECT_EQ(EventsFromMask(0xFFFFFFFFu), TComEvents::all());
    EXPECT_TRUE(EventsFromMask(0x200).empty());
}

TEST(ComErrors, ParityCountsOnlyWhileChecked)
{
    EXPECT_TRUE(ErrorsFromFlags(LE_RXPARITY, false).empty());
    EXPECT_EQ(ErrorsFromFlags(LE_RXPARITY, true), TComErrors{ceRxParity});
    EXPECT_EQ(ErrorsFromFlags(LE_FRAME | LE_OVERRUN | LE_BREAK, false),
              (TComErrors{ceFrame, ceOverrun, ceBreak}));
    EXPECT_EQ(ErrorsFromFlags(0x8000 | 0x0400 | 0x0001 | 0x0100, false),
              (TComErrors{ceMode, ceIO, ceRxOver, ceTxFull}));
}

TEST(ComPortProperties, ConstructorDefaults)
{
    TComPort p;
    EXPECT_FALSE(p.Connected());
    EXPECT_EQ(p.BaudRate(), br9600);
    EXPECT_EQ(p.Port(), "COM1");
    EXPECT_EQ(p.Parity().Bits(), prNone);
    EXPECT_FALSE(p.Parity().Check());
    EXPECT_EQ(p.StopBits(), sbOneStopBit);
    EXPECT_EQ(p.DataBits(), dbEight);
    EXPECT_FALSE(p.DiscardNull());
    EXPECT_EQ(p.EventChar(), 0);
    EXPECT_EQ(p.Events(), TComEvents::all());
    EXPECT_EQ(p.Buffer().InputSize(), 1024);
    EXPECT_EQ(p.Buffer().OutputSize(), 1024);
    EXPECT_EQ(p.FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(p.FlowControl().XonChar(), 17);
    EXPECT_EQ(p.FlowControl().XoffChar(), 19);
    EXPECT_EQ(p.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(p.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(p.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(p.Timeouts().Platform().ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(p.StoredProps(), TStoredProps{spBasic});
    EXPECT_TRUE(p.TriggersOnRxChar());
    EXPECT_EQ(p.SyncMethod(), smThreadSync);
    EXPECT_EQ(p.CustomBaudRate(), 9600);
    EXPECT_EQ(p.CodePage(), 0u);
}

// What a Tarlo-02 needs, from the one function the window and the service configure their port
// with: 19200 bit/s, 8N1, no flow control, DTR on, RTS off, NULs dropped, every line event.
TEST(DeviceControlBlock, TheControllersLine)
{
    TComPort p;
    configureControllerPort(p);
    const LineSettings s = p.DeviceLineSettings();
    const TDCB b = p.DeviceControlBlock();
    const std::pair<const char*, std::pair<long long, long long>> fields[] = {
        {"baud rate", {s.baudRate, 19200}},
        {"data bits", {s.dataBits, dbEight}},
        {"parity", {s.parity, prNone}},
        {"stop bits", {s.stopBits, sbOneStopBit}},
        {"parity check", {s.parityCheck, false}},
        {"CTS flow", {s.outCtsFlow, false}},
        {"DSR flow", {s.outDsrFlow, false}},
        {"XON/XOFF out", {s.xonXoffOut, false}},
        {"XON/XOFF in", {s.xonXoffIn, false}},
        {"DSR sensitivity", {s.dsrSensitivity, false}},
        {"DTR", {s.dtr, dtrEnable}},
        {"RTS", {s.rts, rtsDisable}},
        {"NULs dropped", {s.discardNull, true}},
        {"block: rate", {b.BaudRate, 19200}},
        {"block: flags (binary, DTR on, NULs dropped)", {b.Flags, 0x811}},
        {"block: byte size", {b.ByteSize, 8}},
        {"block: parity", {b.Parity, 0}},
        {"block: stop bits", {b.StopBits, 0}},
        {"block: XON/XOFF limits", {b.XonLim + b.XoffLim, 512}},
        {"block: characters", {b.XonChar * 256 + b.XoffChar, 17 * 256 + 19}},
        {"block: error, end and event characters", {b.ErrorChar | b.EofChar | b.EvtChar, 0}},
        {"block: length and reserved", {b.DCBlength + b.wReserved + b.wReserved1, 28}},
        {"event mask", {EventMask(p.Events()), 0x5FF}},
        {"OnRxChar triggered", {p.TriggersOnRxChar(), true}},
    };
    for (const auto& [name, values] : fields)
        EXPECT_EQ(values.first, values.second) << name;
}

TEST(DeviceControlBlock, FieldsFollowTheProperties)
{
    TComPort p;
    p.SetBaudRate(brCustom);
    p.SetCustomBaudRate(31250);
    p.SetDataBits(dbSeven);
    p.SetStopBits(sbTwoStopBits);
    p.Parity().SetBits(prMark);
    p.Parity().SetReplaceChar('?');
    p.Parity().SetReplace(true); // without Check: no error character
    p.SetEventChar('\n');
    p.FlowControl().SetFlowControl(fcHardware);
    p.FlowControl().SetControlDTR(dtrHandshake);
    TDCB b = p.DeviceControlBlock();
    EXPECT_EQ(b.BaudRate, 31250u);
    EXPECT_EQ(b.ByteSize, 7);
    EXPECT_EQ(b.StopBits, 2);
    EXPECT_EQ(b.Parity, 3);
    EXPECT_EQ(b.EvtChar, '\n');
    EXPECT_EQ(b.DtrControl(), 2);
    EXPECT_EQ(b.RtsControl(), 2);
    EXPECT_TRUE(b.has(TDCB::fOutxCtsFlow));
    // The replacement character counts only with both Check and Replace.
    EXPECT_FALSE(b.has(TDCB::fErrorChar));
    EXPECT_EQ(b.ErrorChar, 0);
    p.Parity().SetCheck(true);
    p.Parity().SetReplace(true);
    b = p.DeviceControlBlock();
    EXPECT_TRUE(b.has(TDCB::fParity));
    EXPECT_TRUE(b.has(TDCB::fErrorChar));
    EXPECT_EQ(b.ErrorChar, '?');
    EXPECT_FALSE(b.has(TDCB::fAbortOnError));

    const std::vector<std::pair<TBaudRate, int>> rates = {{br110, 110},       {br14400, 14400},
                                                          {br56000, 56000},   {br128000, 128000},
                                                          {br256000, 256000}, {br115200, 115200}};
    for (auto [rate, bps] : rates)
        EXPECT_EQ(BaudRateValue(rate, 1), bps) << rate;
}

TEST(FlowControl, ReadingSummarisesRtsCtsAndXonXoff)
{
    struct Case {
        TRTSFlowControl rts;
        bool cts, xin, xout;
        TFlowControl expected;
    };
    const std::vector<Case> cases = {
        {rtsHandshake, true, false, false, fcHardware}, {rtsHandshake, true, true, false, fcCustom},
        {rtsDisable, false, true, true, fcSoftware},    {rtsDisable, false, true, false, fcCustom},
        {rtsDisable, false, false, false, fcNone},      {rtsEnable, false, false, false, fcCustom},
        {rtsDisable, true, false, false, fcCustom},     {rtsToggle, false, true, true, fcCustom},
    };
    for (const auto& c : cases) {
        TComFlowControl f;
        f.SetControlRTS(c.rts);
        f.SetOutCTSFlow(c.cts);
        f.SetXonXoffIn(c.xin);
        f.SetXonXoffOut(c.xout);
        // DTR and DSR play no part.
        f.SetControlDTR(dtrHandshake);
        f.SetOutDSRFlow(true);
        EXPECT_EQ(f.FlowControl(), c.expected) << c.rts << c.cts << c.xin << c.xout;
    }
}

TEST(FlowControl, WritingSetsTheFieldsAndCustomChangesNothing)
{
    TComFlowControl f;
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_FALSE(f.XonXoffIn());
    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_TRUE(f.XonXoffOut());
    f.SetControlRTS(rtsToggle);
    f.SetFlowControl(fcCustom);
    EXPECT_EQ(f.ControlRTS(), rtsToggle);
    EXPECT_TRUE(f.XonXoffIn());
    f.SetControlDTR(dtrEnable);
    f.SetOutDSRFlow(true);
    f.SetFlowControl(fcNone);
    EXPECT_EQ(f.FlowControl(), fcNone);
    EXPECT_EQ(f.ControlDTR(), dtrEnable);
    EXPECT_TRUE(f.OutDSRFlow());
}

TEST(Buffer, OddPositiveSizesAreStoredMinusOne)
{
    const std::vector<std::pair<int, int>> cases = {{1025, 1024}, {1024, 1024}, {1, 0},      {3, 2},
                                                    {0, 0},       {-3, -3},     {4097, 4096}};
    for (auto [given, stored] : cases) {
        TComBuffer b;
        b.SetInputSize(given);
        b.SetOutputSize(given);
        EXPECT_EQ(b.InputSize(), stored) << given;
        EXPECT_EQ(b.OutputSize(), stored) << given;
    }
    TComPort p;
    p.Buffer().SetInputSize(1025);
    EXPECT_EQ(p.DeviceControlBlock().XonLim, 256);
    p.Buffer().SetInputSize(2002);
    EXPECT_EQ(p.DeviceControlBlock().XoffLim, 500);
}

TEST(ValueObjects, AssignCopiesSameClassAndRefusesAnother)
{
    TComPort p;
    TComTimeouts t;
    t.SetReadInterval(5);
    t.SetReadTotalMultiplier(6);
    t.SetReadTotalConstant(7);
    t.SetWriteTotalMultiplier(8);
    t.SetWriteTotalConstant(9);
    p.SetTimeouts(t);
    EXPECT_EQ(p.Timeouts().ReadInterval(), 5);
    EXPECT_EQ(p.Timeouts().ReadTotalMultiplier(), 6);
    EXPECT_EQ(p.Timeouts().ReadTotalConstant(), 7);
    EXPECT_EQ(p.Timeouts().WriteTotalMultiplier(), 8);
    EXPECT_EQ(p.Timeouts().WriteTotalConstant(), 9);

    TComParity par;
    par.SetBits(prEven);
    par.SetCheck(true);
    par.SetReplace(true);
    par.SetReplaceChar('#');
    p.SetParity(par);
    EXPECT_EQ(p.Parity().Bits(), prEven);
    EXPECT_TRUE(p.Parity().Replace());
    EXPECT_EQ(p.Parity().ReplaceChar(), '#');

    TComBuffer buf;
    buf.SetInputSize(64);
    buf.SetOutputSize(32);
    p.SetBuffer(buf);
    EXPECT_EQ(p.Buffer().InputSize(), 64);
    EXPECT_EQ(p.Buffer().OutputSize(), 32);

    TComFlowControl fc;
    fc.SetXonChar('a');
    fc.SetDSRSensitivity(true);
    p.SetFlowControl(fc);
    EXPECT_EQ(p.FlowControl().XonChar(), 'a');
    EXPECT_TRUE(p.FlowControl().DSRSensitivity());

    try {
        p.Parity().Assign(t);
        FAIL() << "assignment of another class accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComTimeouts to a TComParity");
    }
    EXPECT_EQ(p.Parity().Bits(), prEven);
    EXPECT_THROW(p.Buffer().Assign(fc), std::invalid_argument);
}

// Counts the apply steps that setters trigger.
class CountingPort : public TComPort {
public:
    int line = 0, queues = 0, timeouts = 0;
    void ApplyLineSettings() override { ++line; }
    void ApplyQueueSizes() override { ++queues; }
    void ApplyTimeoutSettings() override { ++timeouts; }
};

TEST(ComPortProperties, UnchangedValuesApplyNothingButAssignmentsAlwaysApply)
{
    CountingPort p;
    p.SetBaudRate(br9600);
    p.SetStopBits(sbOneStopBit);
    p.SetDataBits(dbEight);
    p.SetDiscardNull(false);
    p.SetEventChar(0);
    p.SetCustomBaudRate(9600);
    p.Parity().SetBits(prNone);
    p.FlowControl().SetXonChar(17);
    p.Buffer().SetInputSize(1025); // stored as 1024, the value held
    p.Timeouts().SetWriteTotalConstant(1000);
    EXPECT_EQ(p.line, 0);
    EXPECT_EQ(p.queues, 0);
    EXPECT_EQ(p.timeouts, 0);

    p.SetBaudRate(br19200);
    p.SetDiscardNull(true);
    p.FlowControl().SetControlDTR(dtrEnable);
    EXPECT_EQ(p.line, 3);
    p.FlowControl().SetFlowControl(fcNone); // unchanged, applied all the same
    p.SetParity(TComParity());
    EXPECT_EQ(p.line, 5);
    p.SetBuffer(TComBuffer());
    p.Buffer().SetOutputSize(512);
    EXPECT_EQ(p.queues, 2);
    p.SetTimeouts(TComTimeouts());
    p.Timeouts().SetReadInterval(0);
    EXPECT_EQ(p.timeouts, 2);
}

} // namespace
