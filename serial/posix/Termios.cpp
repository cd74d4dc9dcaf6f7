#include "Termios.h"

#include <asm/termbits.h>

namespace {

// The termios constant of a standard rate; BOTHER for any other.
tcflag_t speedCode(uint32_t rate)
{
    struct Standard {
        uint32_t rate;
        tcflag_t code;
    };
    static const Standard standard[] = {
        {50, B50},          {75, B75},         {110, B110},         {134, B134},         {150, B150},
        {200, B200},        {300, B300},       {600, B600},         {1200, B1200},       {1800, B1800},
        {2400, B2400},      {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},  {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}};
    for (const auto& s : standard)
        if (s.rate == rate)
            return s.code;
    return BOTHER;
}

} // namespace

TermiosRequest termiosFor(const LineSettings& s)
{
    // Starts from nothing: raw input and output, no echo, no signals, no line editing, no
    // hang-up on close, no input translation; only what the settings ask is added.
    TermiosRequest t;
    t.cflag = CLOCAL | CREAD;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.cflag |= sizes[s.dataBits];
    switch (s.parity) {
    case prNone:
        break;
    case prOdd:
        t.cflag |= PARENB | PARODD;
        break;
    case prEven:
        t.cflag |= PARENB;
        break;
    case prMark:
        t.cflag |= PARENB | PARODD | CMSPAR;
        break;
    case prSpace:
        t.cflag |= PARENB | CMSPAR;
        break;
    }
    // Linux has no 1.5 stop bits; two stop bits at five data bits give 1.5 on UARTs.
    if (s.stopBits != sbOneStopBit)
        t.cflag |= CSTOPB;
    if (s.outCtsFlow || s.rts == rtsHandshake)
        t.cflag |= CRTSCTS;

    // A break or a framing error must not arrive as a NUL byte.
    t.iflag |= IGNBRK;
    // A checked line marks each byte with an error (0xFF 0x00 byte), so the byte can still be
    // delivered, or replaced, as on Windows; unchecked, bytes with a framing error are dropped.
    t.iflag |= s.parityCheck ? INPCK | PARMRK : IGNPAR;
    if (s.xonXoffOut)
        t.iflag |= IXON;
    if (s.xonXoffIn)
        t.iflag |= IXOFF;
    t.cc[VSTART] = static_cast<uint8_t>(s.xonChar);
    t.cc[VSTOP] = static_cast<uint8_t>(s.xoffChar);
    t.cc[VMIN] = 1;
    t.cc[VTIME] = 0;

    // Both directions always get the same rate.
    const tcflag_t code = speedCode(s.baudRate);
    t.cflag |= code | code << IBSHIFT;
    t.ispeed = t.ospeed = s.baudRate;
    return t;
}
