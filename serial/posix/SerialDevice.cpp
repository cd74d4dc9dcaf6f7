// The serial device on Linux: a non-blocking tty descriptor held exclusively, an input queue
// of our own (so the count of waiting bytes and NUL discarding behave the same on every
// driver), and writes bounded by the write timeout. Every system call goes through
// SystemCalls, so tests can script the device.

#include "../SerialDevice.h"
#include "DeviceImpl.h"
#include "Termios.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A point on the clock of the calls, in 64 bits; none means no limit.
struct Deadline {
    bool limited = false;
    int64_t at = 0;

    static Deadline after(SystemCalls& sys, uint64_t ms)
    {
        if (ms == 0)
            return {};
        const int64_t now = sys.nowMs();
        const uint64_t room = uint64_t(INT64_MAX - now);
        return {true, now + int64_t(std::min(ms, room))};
    }
    // Milliseconds left, as poll takes them: never negative, at most INT_MAX; -1 without limit.
    int left(SystemCalls& sys) const
    {
        if (!limited)
            return -1;
        return int(std::clamp<int64_t>(at - sys.nowMs(), 0, INT_MAX));
    }
};

// A rate within 3 % of the one asked: what a UART's divisor gives and a receiver tolerates
// (56000 on a 115200 clock runs at 57600).
bool closeEnough(uint32_t taken, uint32_t asked)
{
    const uint64_t diff = taken > asked ? taken - asked : asked - taken;
    return diff * 100 <= uint64_t(asked) * 3;
}

} // namespace

int SerialDevice::Impl::drain()
{
    char buf[512];
    while (queue.size() < capacity) {
        const int want = int(std::min(sizeof buf, capacity - queue.size()));
        int n = 0;
        if (int e = sys.read(fd, buf, want, n))
            return e == EAGAIN ? 0 : e;
        if (n == 0)
            return EIO; // a hung-up tty reads as end of file
        // With DSR sensitivity, what arrives while DSR is off is dropped (where the driver
        // shows the line at all).
        int lines = 0;
        if (settings.dsrSensitivity && sys.modemLines(fd, lines) == 0 && !(lines & kLineDsr))
            continue;
        for (int i = 0; i < n; ++i)
            receive(buf[i]);
    }
    return 0;
}

void SerialDevice::Impl::receive(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (settings.parityCheck) {
        if (markState == 1) {
            markState = byte == 0 ? 2 : 0;
            if (byte == 0)
                return;
            if (byte != 0xFF)
                queue.push_back(char(0xFF)); // not a mark after all
        } else if (markState == 2) {
            // The byte received with a parity or framing error.
            markState = 0;
            c = settings.parityReplace ? settings.replaceChar : c;
        } else if (byte == 0xFF) {
            markState = 1;
            return;
        }
    }
    if (c != 0 || !settings.discardNull)
        queue.push_back(c);
}

int SerialDevice::Impl::take(char* out, int count)
{
    const int n = int(std::min<size_t>(size_t(count), queue.size()));
    std::copy_n(queue.begin(), n, out);
    queue.erase(queue.begin(), queue.begin() + n);
    return n;
}

TComErrors SerialDevice::Impl::collectErrors(int* error)
{
    LineCounters c;
    TComErrors fresh;
    if (int e = sys.counters(fd, c)) {
        // No counters (pseudo-terminals) is no error.
        if (error && classifyErrno(e) != ErrnoKind::Unsupported)
            *error = e;
        return fresh;
    }
    if (haveCounts) {
        auto note = [](int now, int before, auto& set, auto item) {
            if (now != before)
                set.insert(item);
        };
        note(c.frame, counts.frame, fresh, ceFrame);
        note(c.parity, counts.parity, fresh, ceRxParity);
        note(c.overrun, counts.overrun, fresh, ceOverrun);
        note(c.bufOverrun, counts.bufOverrun, fresh, ceRxOver);
        note(c.brk, counts.brk, fresh, ceBreak);
        note(c.cts, counts.cts, lineEvents, evCTS);
        note(c.dsr, counts.dsr, lineEvents, evDSR);
        note(c.dcd, counts.dcd, lineEvents, evRLSD);
        note(c.rng, counts.rng, lineEvents, evRing);
    }
    counts = c;
    haveCounts = true;
    pendingErrors = TComErrors::fromBits(pendingErrors.bits() | fresh.bits());
    return fresh;
}

void SerialDevice::Impl::compareLines()
{
    int lines = 0;
    if (sys.modemLines(fd, lines) != 0)
        return;
    if (lastLines >= 0) {
        const int changed = lines ^ lastLines;
        if (changed & kLineCts)
            lineEvents.insert(evCTS);
        if (changed & kLineDsr)
            lineEvents.insert(evDSR);
        if (changed & kLineCar)
            lineEvents.insert(evRLSD);
        if (changed & lastLines & kLineRng) // the ring signal has ended
            lineEvents.insert(evRing);
    }
    lastLines = lines;
}

int SerialDevice::Impl::setModemLine(int line, bool on)
{
    const int e = sys.setModemLines(fd, line, on);
    return classifyErrno(e) == ErrnoKind::Unsupported ? 0 : e;
}

SerialDevice::SerialDevice(SystemCalls* calls)
    : d_(std::make_unique<Impl>(calls ? *calls : SystemCalls::real()))
{
    d_->txEmptySignal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

SerialDevice::~SerialDevice()
{
    close();
    if (d_->txEmptySignal >= 0)
        ::close(d_->txEmptySignal);
}

std::string SerialDevice::pathOf(const std::string& port)
{
    if (!port.empty() && port[0] == '/')
        return port;
    return "/dev/" + port;
}

bool SerialDevice::isGone(int error) { return classifyErrno(error) == ErrnoKind::Gone; }

int SerialDevice::open(const std::string& path, const LineSettings& lines)
{
    if (d_->fd >= 0)
        return EBUSY;
    SystemCalls& sys = d_->sys;
    int fd = -1;
    if (int e = sys.open(path.c_str(), fd))
        return e;
    auto fail = [&](int e) {
        sys.close(fd);
        return e;
    };
    {
        // Linux raises DTR and RTS at every opening; lines that should be off go down at once.
        // HUPCL stays off (termiosFor), so closing leaves the lines where they are.
        std::lock_guard lock(d_->m);
        d_->fd = fd;
        d_->linesVisible = d_->sys.setModemLines(fd, kLineDtr, lines.dtr != dtrDisable) == 0;
        d_->setModemLine(kLineRts, lines.rts == rtsEnable || lines.rts == rtsHandshake);
        d_->fd = -1;
    }
    // Only a terminal is a serial line: a file, a FIFO or /dev/null is refused before
    // anything is written to it or set on it.
    TermiosRequest present;
    if (int e = sys.getTermios(fd, present))
        return fail(e);
    // TIOCEXCL keeps other users out, but not root; the lock covers root too.
    if (int e = sys.setExclusive(fd, true); e && classifyErrno(e) != ErrnoKind::Unsupported)
        return fail(e);
    if (int e = sys.lock(fd))
        return fail(e);
    std::lock_guard lock(d_->m);
    d_->fd = fd;
    d_->hungUp = false;
    d_->queue.clear();
    d_->haveCounts = false;
    d_->pendingErrors = {};
    d_->lineEvents = {};
    d_->lastLines = -1;
    d_->collectErrors();
    return 0;
}

bool SerialDevice::isOpen() const { return d_->fd >= 0; }

// Closing while the event thread may be waiting on the descriptor. The handshake's invariant:
// the descriptor is in the waiter's epoll set only while the device is open (watch() adds it,
// close() removes it before closing it), so no wait ever holds a closed device.
// Why the removal comes first: a thread in epoll_wait holds a reference to a device's file
// while it looks whether that device is ready. Had we closed the descriptor first and the
// look held the last reference, the file's final release (and the flock with it) would be
// left to that thread, to run only when it returns from epoll_wait; a waiter that found
// nothing ready goes back to sleep instead, with no timeout, and the port stays locked by
// this very process for good. The kernel serialises epoll_ctl with epoll_wait's look on the
// set's own lock, so once EPOLL_CTL_DEL returns no wait holds the file any longer; our close
// then drops the last reference on this thread, and the release is done when ::close
// returns. A reopen therefore never finds the port locked by us, and the waiter need not be
// woken: it sleeps on what is left in its set until the next opening is added to it.
int SerialDevice::close()
{
    if (d_->fd < 0)
        return 0;
    std::lock_guard lock(d_->m);
    if (d_->waitSet >= 0)
        epoll_ctl(d_->waitSet, EPOLL_CTL_DEL, d_->fd, nullptr); // ENOENT: not watched (hung up)
    // A pseudo-terminal keeps its exclusive flag after the last close, which would keep every
    // later open out but root's; give the line back as we found it.
    d_->sys.setExclusive(d_->fd, false);
    const int e = d_->sys.close(d_->fd);
    d_->fd = -1;
    d_->queue.clear();
    return e;
}

int SerialDevice::setQueueSizes(int inputSize, int outputSize)
{
    if (inputSize < 0 || outputSize < 0)
        return EINVAL;
    std::lock_guard lock(d_->m);
    d_->capacity = size_t(std::max(inputSize, 1));
    return 0;
}

int SerialDevice::setLineSettings(const LineSettings& s)
{
    if (s.baudRate == 0 || s.baudRate > 0x7FFFFFFF)
        return EINVAL;
    SystemCalls& sys = d_->sys;
    const int fd = d_->fd;
    if (int e = sys.setTermios(fd, termiosFor(s)))
        return e;
    // A driver keeps the nearest rate it can do and says so in the record; a rate it could
    // not come near was not taken.
    TermiosRequest taken;
    if (int e = sys.getTermios(fd, taken))
        return e;
    if (!closeEnough(taken.ispeed, s.baudRate) || !closeEnough(taken.ospeed, s.baudRate))
        return EINVAL;
    if (int e = d_->setModemLine(kLineDtr, s.dtr != dtrDisable))
        return e;
    if (int e = d_->setModemLine(kLineRts, s.rts == rtsEnable || s.rts == rtsHandshake))
        return e;
    std::lock_guard lock(d_->m);
    d_->settings = s;
    d_->markState = 0;
    return 0;
}

int SerialDevice::setTimeouts(const TCommTimeouts& t)
{
    std::lock_guard lock(d_->m);
    d_->timeouts = t;
    return 0;
}

void SerialDevice::setEventMask(TComEvents events) { d_->eventMask = events.bits(); }

TComEvents SerialDevice::eventMask() const { return TComEvents::fromBits(d_->eventMask); }

int SerialDevice::inputCount(int& count)
{
    std::lock_guard lock(d_->m);
    const int e = d_->drain();
    count = int(d_->queue.size());
    // Like reading the line status on Windows, this also clears the line errors; the event
    // thread's error step reads them first.
    d_->collectErrors();
    d_->pendingErrors = {};
    return count > 0 ? 0 : e;
}

bool SerialDevice::inputWaiting()
{
    std::lock_guard lock(d_->m);
    if (d_->fd < 0 || d_->queue.size() >= d_->capacity)
        return false;
    int n = 0;
    return d_->sys.inputQueued(d_->fd, n) == 0 && n > 0;
}

int SerialDevice::read(char* buffer, int count, int& got)
{
    got = 0;
    SystemCalls& sys = d_->sys;
    TCommTimeouts t;
    {
        std::lock_guard lock(d_->m);
        t = d_->timeouts;
    }
    const auto [anyByte, immediate, totalMs, gap] = ReadWaitOf(t, count);
    const Deadline total = Deadline::after(sys, totalMs);
    for (;;) {
        int e = 0;
        {
            // Refill the queue as it empties, so a read is not cut short by its size.
            std::lock_guard lock(d_->m);
            int took;
            do {
                e = d_->drain();
                took = d_->take(buffer + got, count - got);
                got += took;
            } while (took > 0 && got < count && e == 0);
        }
        if (got == count || immediate || (anyByte && got > 0))
            return got > 0 ? 0 : e;
        if (e)
            return got > 0 ? 0 : e;
        int wait = total.left(sys);
        if (gap && got > 0)
            wait = wait < 0 ? int(std::min<uint32_t>(gap, INT_MAX)) : std::min<int64_t>(wait, gap);
        if (wait == 0)
            return 0;
        bool ready = false, hungUp = false;
        if (int pe = sys.poll(d_->fd, false, wait, ready, hungUp))
            return pe;
        if (!ready && !hungUp && gap && got > 0)
            return 0; // the gap between bytes ran out
    }
}

int SerialDevice::write(const char* buffer, int count, int& written)
{
    written = 0;
    SystemCalls& sys = d_->sys;
    TCommTimeouts t;
    {
        std::lock_guard lock(d_->m);
        t = d_->timeouts;
    }
    const Deadline deadline = Deadline::after(sys, uint64_t(t.WriteTotalTimeoutMultiplier) * uint64_t(count) +
                                                       t.WriteTotalTimeoutConstant);
    while (written < count) {
        int n = 0;
        const int e = sys.write(d_->fd, buffer + written, count - written, n);
        if (e == 0 && n > 0) {
            written += n;
            continue;
        }
        if (e != 0 && e != EAGAIN)
            return e;
        const int wait = deadline.left(sys);
        if (wait == 0)
            return 0; // the write timeout ended the transfer
        bool ready = false, hungUp = false;
        if (int pe = sys.poll(d_->fd, true, wait, ready, hungUp))
            return pe;
        if (hungUp && !ready)
            return EIO;
    }
    // Wait until the bytes have left, but no longer than the write timeout allows.
    for (;;) {
        int queued = 0;
        if (sys.outputQueued(d_->fd, queued) != 0 || deadline.left(sys) == 0)
            return 0;
        if (queued <= 0)
            break;
        sys.sleepMs(1);
    }
    // The output queue is empty: tell the waiter (evTxEmpty).
    d_->txEmpty = true;
    const uint64_t one = 1;
    if (::write(d_->txEmptySignal, &one, sizeof one) < 0) {
        // The counter cannot overflow in practice; a lost wake-up only loses the event.
    }
    return 0;
}

int SerialDevice::purge(PurgeFlags what)
{
    std::lock_guard lock(d_->m);
    const bool output = hasFlag(what, PurgeFlags::AbortOutput) || hasFlag(what, PurgeFlags::ClearOutput);
    const bool input = hasFlag(what, PurgeFlags::ClearInput);
    if (input)
        d_->queue.clear();
    // Even a bare abort of input goes to the device, so a device that is gone shows.
    return d_->sys.flush(d_->fd, input, output || !input);
}

int SerialDevice::takeLineErrors(TComErrors& errors)
{
    std::lock_guard lock(d_->m);
    int e = 0;
    d_->collectErrors(&e);
    errors = d_->pendingErrors;
    d_->pendingErrors = {};
    return e;
}

int SerialDevice::modemStatus(TModemSignals& lines)
{
    lines = {};
    // A line that has hung up has lost its carrier and every other line with it: the lines
    // read off, so that the hang-up's evRLSD is delivered as a carrier drop, not as a failure.
    if (d_->hungUp)
        return 0;
    int bits = 0;
    if (int e = d_->sys.modemLines(d_->fd, bits))
        return classifyErrno(e) == ErrnoKind::Unsupported ? 0 : e;
    lines.CTS = bits & kLineCts;
    lines.DSR = bits & kLineDsr;
    lines.Ring = bits & kLineRng;
    lines.RLSD = bits & kLineCar;
    return 0;
}
