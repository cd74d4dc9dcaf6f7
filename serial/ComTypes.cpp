#include "ComTypes.h"

#include <cstdio>

namespace {

struct EventBit {
    TComEvent event;
    uint32_t bit;
};
constexpr EventBit eventBits[] = {
    {evRxChar, EV_RXCHAR}, {evTxEmpty, EV_TXEMPTY},   {evRxFlag, EV_RXFLAG}, {evRing, EV_RING},
    {evBreak, EV_BREAK},   {evCTS, EV_CTS},           {evDSR, EV_DSR},       {evError, EV_ERR},
    {evRLSD, EV_RLSD},     {evRx80Full, EV_RX80FULL},
};

const char* const errorTexts[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};
static_assert(sizeof errorTexts / sizeof errorTexts[0] == 24);

std::string messageOf(int code, long long systemNumber)
{
    std::string text = ComErrorText(code);
    if (systemNumber <= 0)
        return text;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (Error: %lld)", systemNumber);
    return text + suffix;
}

} // namespace

uint32_t EventMask(TComEvents events)
{
    uint32_t mask = 0;
    for (const auto& e : eventBits)
        if (events.contains(e.event))
            mask |= e.bit;
    return mask;
}

TComEvents EventsFromMask(uint32_t mask)
{
    TComEvents events;
    for (const auto& e : eventBits)
        if (mask & e.bit)
            events.insert(e.event);
    return events;
}

TComErrors ErrorsFromFlags(uint32_t flags, bool parityCheck)
{
    TComErrors errors;
    if (flags & LE_FRAME)
        errors.insert(ceFrame);
    if (flags & LE_RXPARITY)
        errors.insert(ceRxParity);
    if (flags & LE_OVERRUN)
        errors.insert(ceOverrun);
    if (flags & LE_BREAK)
        errors.insert(ceBreak);
    if (flags & LE_IOE)
        errors.insert(ceIO);
    if (flags & LE_MODE)
        errors.insert(ceMode);
    if (flags & LE_RXOVER)
        errors.insert(ceRxOver);
    if (flags & LE_TXFULL)
        errors.insert(ceTxFull);
    return ReportedErrors(errors, parityCheck);
}

TComErrors ReportedErrors(TComErrors seen, bool parityCheck)
{
    if (!parityCheck)
        seen.erase(ceRxParity);
    return seen;
}

TDCB DeviceControlBlockOf(const LineSettings& s)
{
    TDCB b;
    b.BaudRate = s.baudRate;
    const bool errorChar = s.parityCheck && s.parityReplace;
    auto flag = [](bool on, uint32_t bit) { return on ? bit : 0u; };
    b.Flags = TDCB::fBinary | flag(s.parityCheck, TDCB::fParity) | flag(s.outCtsFlow, TDCB::fOutxCtsFlow) |
              flag(s.outDsrFlow, TDCB::fOutxDsrFlow) | uint32_t(s.dtr) << TDCB::fDtrControlShift |
              flag(s.dsrSensitivity, TDCB::fDsrSensitivity) |
              flag(s.txContinueOnXoff, TDCB::fTXContinueOnXoff) | flag(s.xonXoffOut, TDCB::fOutX) |
              flag(s.xonXoffIn, TDCB::fInX) | flag(errorChar, TDCB::fErrorChar) |
              flag(s.discardNull, TDCB::fNull) | uint32_t(s.rts) << TDCB::fRtsControlShift;
    b.XonLim = s.xonLimit;
    b.XoffLim = s.xoffLimit;
    b.ByteSize = static_cast<uint8_t>(5 + s.dataBits);
    b.Parity = static_cast<uint8_t>(s.parity);
    b.StopBits = static_cast<uint8_t>(s.stopBits);
    b.XonChar = s.xonChar;
    b.XoffChar = s.xoffChar;
    b.ErrorChar = errorChar ? s.replaceChar : 0;
    b.EofChar = 0;
    b.EvtChar = s.eventChar;
    return b;
}

int BaudRateValue(TBaudRate rate, int customRate)
{
    static const int rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    if (rate == brCustom)
        return customRate;
    return rates[rate];
}

std::string ComErrorText(int code)
{
    if (code < 1 || code > 24)
        return {};
    return errorTexts[code - 1];
}

EComPort::EComPort(int code, long long systemNumber)
    : std::runtime_error(messageOf(code, systemNumber)),
      SystemCode(systemNumber > 0 ? static_cast<int>(systemNumber) : -1), PortCode(code)
{
}

ReadWait ReadWaitOf(const TCommTimeouts& t, int count)
{
    constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
    ReadWait w;
    w.anyByte = t.ReadIntervalTimeout == kAllOnes;
    w.immediate = w.anyByte && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    w.totalMs = uint64_t(t.ReadTotalTimeoutMultiplier) * uint64_t(count) + t.ReadTotalTimeoutConstant;
    // All ones in both the interval and the multiplier: wait up to the constant alone for a
    // first byte.
    if (w.anyByte && t.ReadTotalTimeoutMultiplier == kAllOnes && t.ReadTotalTimeoutConstant != kAllOnes)
        w.totalMs = t.ReadTotalTimeoutConstant;
    w.gapMs = w.anyByte ? 0 : t.ReadIntervalTimeout;
    return w;
}
