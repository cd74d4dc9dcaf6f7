#pragma once

// Value types of the serial port component: enumerations, small sets, the port error,
// the device control block and the timeouts record handed to the OS layer.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
// smWindowSync (delivery through a hidden window) is not provided on this platform: a port
// set to it delivers exactly like smThreadSync, on the main thread through the event queue.
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TStoredProp { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };

enum TComEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };

// A set of the values 0..Count-1 of an enumeration, kept as a bit mask.
template <typename E, int Count>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            insert(v);
    }
    static constexpr TEnumSet fromBits(uint32_t bits)
    {
        TEnumSet s;
        s.bits_ = bits & all().bits_;
        return s;
    }
    static constexpr TEnumSet all()
    {
        TEnumSet s;
        s.bits_ = (1u << Count) - 1;
        return s;
    }
    constexpr bool contains(E v) const { return bits_ & bit(v); }
    constexpr TEnumSet& insert(E v)
    {
        bits_ |= bit(v);
        return *this;
    }
    constexpr TEnumSet& erase(E v)
    {
        bits_ &= ~bit(v);
        return *this;
    }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr int size() const { return __builtin_popcount(bits_); }
    constexpr uint32_t bits() const { return bits_; }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr uint32_t bit(E v) { return 1u << static_cast<int>(v); }
    uint32_t bits_ = 0;
};

using TComEvents = TEnumSet<TComEvent, 10>;
using TComErrors = TEnumSet<TComError, 8>;
using TStoredProps = TEnumSet<TStoredProp, 6>;

// Platform event-mask bits of the line events (the Windows EV_* values).
constexpr uint32_t EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004, EV_CTS = 0x0008,
                   EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040, EV_ERR = 0x0080, EV_RING = 0x0100,
                   EV_RX80FULL = 0x0400;
// Platform line-error flags (the Windows CE_* values).
constexpr uint32_t LE_RXOVER = 0x0001, LE_OVERRUN = 0x0002, LE_RXPARITY = 0x0004, LE_FRAME = 0x0008,
                   LE_BREAK = 0x0010, LE_TXFULL = 0x0100, LE_IOE = 0x0400, LE_MODE = 0x8000;

uint32_t EventMask(TComEvents events);
TComEvents EventsFromMask(uint32_t mask);
// Line-error flags as a set; the parity flag counts only while parity is checked.
TComErrors ErrorsFromFlags(uint32_t flags, bool parityCheck);
// The line errors a port reports: a parity error counts only while parity is checked.
TComErrors ReportedErrors(TComErrors seen, bool parityCheck);
// Bits per second of a rate; brCustom gives customRate.
int BaudRateValue(TBaudRate rate, int customRate);

// Error codes of EComPort, each the number the error reports (PortCode).
enum TComExceptions {
    CE_OpenFailed = 1,
    CE_WriteFailed,
    CE_ReadFailed,
    CE_InvalidAsync,
    CE_PurgeFailed,
    CE_AsyncCheck,
    CE_SetStateFailed,
    CE_TimeoutsFailed,
    CE_SetupComFailed,
    CE_ClearComFailed,
    CE_ModemStatFailed,
    CE_EscapeComFailed,
    CE_TransmitFailed,
    CE_ConnChangeProp,
    CE_EnumPortsFailed,
    CE_StoreFailed,
    CE_LoadFailed,
    CE_RegFailed,
    CE_LedStateFailed,
    CE_ThreadCreated,
    CE_WaitFailed,
    CE_HasLink,
    CE_RegError,
    CEPortNotOpen
};

// Text of an error code 1..24; empty for any other code.
std::string ComErrorText(int code);

class EComPort : public std::runtime_error {
public:
    // systemNumber > 0 appends " (Error: n)"; otherwise SystemCode is -1.
    EComPort(int code, long long systemNumber);
    int SystemCode;
    int PortCode;
};

// The four input line states.
struct TModemSignals {
    bool CTS = false;
    bool DSR = false;
    bool Ring = false;
    bool RLSD = false;
};

// The line settings a port asks of its device, made from its properties alone.
struct LineSettings {
    uint32_t baudRate = 9600; // bits per second
    TDataBits dataBits = dbEight;
    TParityBits parity = prNone;
    TStopBits stopBits = sbOneStopBit;
    bool parityCheck = false;
    bool parityReplace = false; // with parityCheck: a byte with a line error reads as replaceChar
    char replaceChar = 0;
    bool discardNull = false;
    char eventChar = 0;
    bool outCtsFlow = false;
    bool outDsrFlow = false;
    TDTRFlowControl dtr = dtrDisable;
    TRTSFlowControl rts = rtsDisable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    char xonChar = 17;
    char xoffChar = 19;
    uint16_t xonLimit = 0;
    uint16_t xoffLimit = 0;
};

// What a purge drops: output not yet sent, pending reads, queued input.
enum class PurgeFlags : uint8_t { AbortOutput = 1, AbortInput = 2, ClearOutput = 4, ClearInput = 8 };
constexpr PurgeFlags operator|(PurgeFlags a, PurgeFlags b)
{
    return static_cast<PurgeFlags>(static_cast<uint8_t>(a) | static_cast<uint8_t>(b));
}
constexpr bool hasFlag(PurgeFlags set, PurgeFlags flag)
{
    return (static_cast<uint8_t>(set) & static_cast<uint8_t>(flag)) != 0;
}

// The device control block of the line settings, laid out like the Windows DCB.
struct TDCB {
    uint32_t DCBlength = sizeof(TDCB);
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;

    // Bit positions in Flags.
    enum : uint32_t {
        fBinary = 1u << 0,
        fParity = 1u << 1,
        fOutxCtsFlow = 1u << 2,
        fOutxDsrFlow = 1u << 3,
        fDtrControlShift = 4,
        fDsrSensitivity = 1u << 6,
        fTXContinueOnXoff = 1u << 7,
        fOutX = 1u << 8,
        fInX = 1u << 9,
        fErrorChar = 1u << 10,
        fNull = 1u << 11,
        fRtsControlShift = 12,
        fAbortOnError = 1u << 14
    };
    int DtrControl() const { return (Flags >> fDtrControlShift) & 3; }
    int RtsControl() const { return (Flags >> fRtsControlShift) & 3; }
    bool has(uint32_t flag) const { return Flags & flag; }
};
static_assert(sizeof(TDCB) == 28, "the block keeps the Windows layout");

// The device control block the Windows layer hands to SetCommState.
TDCB DeviceControlBlockOf(const LineSettings& s);

// Timeouts in milliseconds; 0xFFFFFFFF is "all ones" (ReadInterval -1).
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// How a read of count bytes waits under the timeouts, as Windows reads them.
struct ReadWait {
    bool anyByte = false;   // return as soon as something has arrived
    bool immediate = false; // return at once with what is there
    uint64_t totalMs = 0;   // the whole read's limit
    uint32_t gapMs = 0;     // the longest pause between two bytes once one came; 0: none
};
ReadWait ReadWaitOf(const TCommTimeouts& t, int count);
