#pragma once

// The Linux calls beneath SerialDevice, behind one seam so that tests can script the
// device and record what the layer asks of it. Each call returns 0 or an errno.

#include <cstdint>

// The kernel's termios2 record (same layout): flags, line discipline, control characters
// and the two speeds in bits per second. Kept free of <asm/termbits.h>, which cannot share
// a translation unit with <termios.h>.
struct TermiosRequest {
    uint32_t iflag = 0;
    uint32_t oflag = 0;
    uint32_t cflag = 0;
    uint32_t lflag = 0;
    uint8_t line = 0;
    uint8_t cc[19] = {};
    uint32_t ispeed = 0;
    uint32_t ospeed = 0;
};

// The driver's running counts of line events and errors (TIOCGICOUNT).
struct LineCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// The modem lines (the TIOCM_* bits).
enum ModemLine : int {
    kLineDtr = 0x002,
    kLineRts = 0x004,
    kLineCts = 0x020,
    kLineCar = 0x040,
    kLineRng = 0x080,
    kLineDsr = 0x100
};

class SystemCalls {
public:
    virtual ~SystemCalls() = default;
    // The calls of the running system.
    static SystemCalls& real();

    // open(2) read and write, non-blocking, no controlling terminal, close-on-exec.
    virtual int open(const char* path, int& fd);
    virtual int close(int fd);
    // got 0 is end of file; EAGAIN when nothing is waiting.
    virtual int read(int fd, char* buffer, int count, int& got);
    virtual int write(int fd, const char* buffer, int count, int& written);
    // Waits up to timeoutMs (-1: no limit) for readable or writable; ready false on timeout.
    virtual int poll(int fd, bool forWriting, int timeoutMs, bool& ready, bool& hungUp);
    // An exclusive advisory lock that does not wait.
    virtual int lock(int fd);
    // TIOCEXCL and TIOCNXCL.
    virtual int setExclusive(int fd, bool on);
    virtual int getTermios(int fd, TermiosRequest& t);
    virtual int setTermios(int fd, const TermiosRequest& t);
    virtual int flush(int fd, bool input, bool output);
    virtual int modemLines(int fd, int& lines);
    virtual int setModemLines(int fd, int lines, bool on);
    virtual int counters(int fd, LineCounters& c);
    virtual int outputQueued(int fd, int& count);
    virtual int inputQueued(int fd, int& count);
    // A monotonic clock in milliseconds, and a pause.
    virtual int64_t nowMs();
    virtual void sleepMs(int ms);
};

// How the layer treats an error number.
enum class ErrnoKind {
    Gone,        // the device has gone away (unplugged, hung up)
    Unsupported, // the driver lacks the feature (pseudo-terminals: no modem lines)
    Other
};
ErrnoKind classifyErrno(int error);
