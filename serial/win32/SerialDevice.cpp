// The serial device on Windows: a COM port opened for overlapped I/O, an input queue of our
// own filled without waiting (DeviceImpl.h), and writes bounded by the driver's write
// timeout. Every call goes through SystemCalls, so tests can script the device.

#include "../SerialDevice.h"
#include "DeviceImpl.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

WinErrorKind classifyWinError(int error)
{
    switch (error) {
    case kErrorAccessDenied: // what several drivers answer once their adapter is unplugged
    case kErrorBadCommand:
    case kErrorGenFailure:
    case kErrorDeviceNotConnected:
    case kErrorDeviceRemoved:
        return WinErrorKind::Gone;
    case kErrorInvalidFunction:
    case kErrorNotSupported:
    case kErrorInvalidParameter:
        return WinErrorKind::Unsupported;
    default:
        return WinErrorKind::Other;
    }
}

int SerialDevice::Impl::status(CommStatus& st)
{
    uint32_t errors = 0;
    const int e = sys.clearCommError(handle, errors, st);
    errorFlags |= errors;
    return e;
}

int SerialDevice::Impl::armWake()
{
    if (io->wake.pending || queue.size() >= capacity || handle == invalidHandle())
        return 0;
    const int e = sys.readFile(handle, &io->wakeByte, 1, io->wake.op);
    if (e != 0 && e != kErrorIoPending)
        return e;
    io->wake.pending = true;
    return 0;
}

bool SerialDevice::Impl::takeWake(int* error)
{
    uint32_t got = 0;
    const int e = sys.getOverlappedResult(handle, io->wake.op, got, false);
    if (e == kErrorIoIncomplete)
        return false;
    io->wake.pending = false;
    if (e == 0 && got == 1)
        receive(io->wakeByte);
    // A purge aborts it; that is no fault of the device.
    *error = e == kErrorOperationAborted ? 0 : e;
    return true;
}

int SerialDevice::Impl::readNow(char* buffer, uint32_t count, uint32_t& got)
{
    got = 0;
    Overlapped op;
    op.hEvent = ioEvent;
    const int e = sys.readFile(handle, buffer, count, op);
    if (e != 0 && e != kErrorIoPending)
        return e;
    return sys.getOverlappedResult(handle, op, got, true);
}

int SerialDevice::Impl::drain()
{
    // The wake-up read was first in the driver's line: its byte goes first, and while it
    // still waits the driver holds nothing newer than it.
    if (io->wake.pending) {
        int e = 0;
        if (!takeWake(&e))
            return 0;
        if (e)
            return e;
    }
    while (queue.size() < capacity) {
        CommStatus st;
        if (int e = status(st))
            return e;
        char buf[512];
        const uint32_t want = uint32_t(std::min({sizeof buf, capacity - queue.size(), size_t(st.inQueue)}));
        if (want == 0)
            return 0;
        uint32_t got = 0;
        if (int e = readNow(buf, want, got))
            return e;
        for (uint32_t i = 0; i < got; ++i)
            receive(buf[i]);
        if (got < want || got == st.inQueue)
            return 0;
    }
    return 0;
}

void SerialDevice::Impl::receive(char c)
{
    // The driver drops NUL bytes as the line settings ask; a driver that does not (wine's)
    // is covered here.
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

SerialDevice::SerialDevice(SystemCalls* calls)
    : d_(std::make_unique<Impl>(calls ? *calls : SystemCalls::real()))
{
    d_->sys.createEvent(true, false, d_->ioEvent);
    d_->sys.createEvent(true, false, d_->io->wake.op.hEvent);
    d_->sys.createEvent(true, false, d_->io->lineWait.op.hEvent);
}

SerialDevice::~SerialDevice()
{
    close();
    for (Handle event : {d_->ioEvent, d_->io->wake.op.hEvent, d_->io->lineWait.op.hEvent})
        if (event)
            d_->sys.closeHandle(event);
}

std::string SerialDevice::pathOf(const std::string& port) { return "\\\\.\\" + port; }

bool SerialDevice::isGone(int error) { return classifyWinError(error) == WinErrorKind::Gone; }

int SerialDevice::open(const std::string& path, const LineSettings& lines)
{
    if (isOpen())
        return kErrorBusy;
    SystemCalls& sys = d_->sys;
    Handle h = invalidHandle();
    if (int e = sys.createFile(path, h))
        return e;
    // Only a communications device is a serial line: a file or NUL is refused before
    // anything is set on it.
    TDCB present;
    if (int e = sys.getCommState(h, present)) {
        sys.closeHandle(h);
        return e;
    }
    // The lines as asked, before the line settings come; a device without modem lines
    // refuses, which is no fault.
    sys.escapeCommFunction(h, lines.dtr != dtrDisable ? kSetDtr : kClearDtr);
    sys.escapeCommFunction(h, lines.rts == rtsEnable || lines.rts == rtsHandshake ? kSetRts : kClearRts);
    std::lock_guard lock(d_->m);
    d_->handle = h;
    d_->queue.clear();
    d_->errorFlags = 0;
    return 0;
}

bool SerialDevice::isOpen() const { return d_->handle != invalidHandle(); }

int SerialDevice::close()
{
    if (!isOpen())
        return 0;
    std::lock_guard lock(d_->m);
    SystemCalls& sys = d_->sys;
    Impl::Records& io = *d_->io;
    Impl::Background* pending[] = {&io.wake, &io.lineWait};
    if (io.wake.pending || io.lineWait.pending)
        sys.cancelIo(d_->handle, nullptr);
    const int e = sys.closeHandle(d_->handle);
    d_->handle = invalidHandle();
    d_->queue.clear();
    // The system writes into an operation's record until it has ended. A driver that does not
    // end a cancelled operation (seen after an unplug) must not hold the window, which waits
    // here under the lock: after a second its records are left to it.
    const uint64_t start = sys.tickMs();
    bool abandoned = false;
    for (Impl::Background* b : pending) {
        if (!b->pending)
            continue;
        const uint64_t spent = sys.tickMs() - start;
        const uint32_t left = spent >= Impl::kCloseWaitMs ? 0 : uint32_t(Impl::kCloseWaitMs - spent);
        int index = -1;
        if (sys.waitForMultiple(&b->op.hEvent, 1, left, index) != 0 || index != 0)
            abandoned = true;
        b->pending = false;
    }
    if (abandoned) {
        qWarning("serial port: the driver did not end its cancelled reads within %u ms; their "
                 "records are left to it",
                 unsigned(Impl::kCloseWaitMs));
        d_->renewRecords();
    }
    return e;
}

void SerialDevice::Impl::renewRecords()
{
    // Left for the rest of the run, where the system may still write into them.
    static std::mutex leftLock;
    static std::vector<std::unique_ptr<Records>> left;
    {
        std::lock_guard lock(leftLock);
        left.push_back(std::move(io));
    }
    io = std::make_unique<Records>();
    sys.createEvent(true, false, io->wake.op.hEvent);
    sys.createEvent(true, false, io->lineWait.op.hEvent);
}

int SerialDevice::setQueueSizes(int inputSize, int outputSize)
{
    if (inputSize < 0 || outputSize < 0)
        return kErrorInvalidParameter;
    std::lock_guard lock(d_->m);
    if (int e = d_->sys.setupComm(d_->handle, uint32_t(inputSize), uint32_t(outputSize)))
        return e;
    d_->capacity = size_t(std::max(inputSize, 1));
    return 0;
}

int SerialDevice::setLineSettings(const LineSettings& s)
{
    std::lock_guard lock(d_->m);
    if (int e = d_->sys.setCommState(d_->handle, DeviceControlBlockOf(s)))
        return e;
    d_->settings = s;
    return 0;
}

int SerialDevice::setTimeouts(const TCommTimeouts& t)
{
    // The driver's reads never time out: they ask only for bytes it holds, or wait for one
    // (the wake-up read). The read timeouts are kept here; the write timeouts are the driver's.
    std::lock_guard lock(d_->m);
    if (int e = d_->sys.setCommTimeouts(
            d_->handle, {0, 0, 0, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant}))
        return e;
    d_->timeouts = t;
    return 0;
}

void SerialDevice::setEventMask(TComEvents events)
{
    d_->eventMask = events.bits();
    std::lock_guard lock(d_->m);
    // Received characters come from the wake-up read; WaitCommEvent serves the line events.
    // A refusal leaves the line events unreported, nothing more.
    if (isOpen())
        d_->sys.setCommMask(d_->handle, EventMask(events) & ~EV_RXCHAR);
}

TComEvents SerialDevice::eventMask() const { return TComEvents::fromBits(d_->eventMask); }

int SerialDevice::inputCount(int& count)
{
    std::lock_guard lock(d_->m);
    const int e = d_->drain();
    count = int(d_->queue.size());
    // Like ClearCommError, this clears the line errors; the error step reads them first.
    d_->errorFlags = 0;
    return count > 0 ? 0 : e;
}

bool SerialDevice::inputWaiting()
{
    std::lock_guard lock(d_->m);
    if (!isOpen() || d_->io->wake.pending || d_->queue.size() >= d_->capacity)
        return false;
    CommStatus st;
    return d_->status(st) == 0 && st.inQueue > 0;
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
    const uint64_t start = immediate ? 0 : sys.tickMs();
    for (;;) {
        int e = 0;
        {
            std::lock_guard lock(d_->m);
            int took;
            do {
                e = d_->drain();
                took = d_->take(buffer + got, count - got);
                got += took;
            } while (took > 0 && got < count && e == 0);
            if (got == count || immediate || (anyByte && got > 0) || e)
                return got > 0 ? 0 : e;
            // Waiting for input is waiting for the wake-up read.
            if (int ae = d_->armWake())
                return ae;
        }
        uint64_t wait = kInfinite;
        if (totalMs) {
            const uint64_t spent = sys.tickMs() - start;
            wait = spent >= totalMs ? 0 : std::min<uint64_t>(totalMs - spent, kInfinite - 1);
        }
        if (gap && got > 0)
            wait = std::min<uint64_t>(wait, gap);
        if (wait == 0)
            return 0;
        int index = -1;
        Handle event = d_->io->wake.op.hEvent;
        if (int we = sys.waitForMultiple(&event, 1, uint32_t(wait), index))
            return we;
        if (index < 0 && gap && got > 0)
            return 0; // the gap between bytes ran out
    }
}

int SerialDevice::write(const char* buffer, int count, int& written)
{
    written = 0;
    SystemCalls& sys = d_->sys;
    Overlapped op;
    op.hEvent = d_->ioEvent;
    const int e = sys.writeFile(d_->handle, buffer, uint32_t(count), op);
    if (e != 0 && e != kErrorIoPending)
        return e;
    // The write timeout ends the transfer early, with the count sent so far and no error.
    uint32_t done = 0;
    const int r = sys.getOverlappedResult(d_->handle, op, done, true);
    written = int(done);
    return r;
}

int SerialDevice::purge(PurgeFlags what)
{
    std::lock_guard lock(d_->m);
    if (hasFlag(what, PurgeFlags::ClearInput))
        d_->queue.clear();
    return d_->sys.purgeComm(d_->handle, static_cast<uint32_t>(what));
}

int SerialDevice::takeLineErrors(TComErrors& errors)
{
    std::lock_guard lock(d_->m);
    CommStatus st;
    const int e = d_->status(st);
    // Every flag; the port drops a parity error while parity is not checked.
    errors = ErrorsFromFlags(d_->errorFlags, true);
    d_->errorFlags = 0;
    return e;
}

int SerialDevice::modemStatus(TModemSignals& lines)
{
    lines = {};
    uint32_t bits = 0;
    if (int e = d_->sys.getCommModemStatus(d_->handle, bits))
        return classifyWinError(e) == WinErrorKind::Unsupported ? 0 : e;
    lines.CTS = bits & kCtsOn;
    lines.DSR = bits & kDsrOn;
    lines.Ring = bits & kRingOn;
    lines.RLSD = bits & kRlsdOn;
    return 0;
}
