// The serial device on Linux: a non-blocking tty descriptor held exclusively, an input queue
// of our own (so the count of waiting bytes and NUL discarding behave the same on every
// driver), writes bounded by the write timeout, and an epoll-based waiter.

#include "../SerialDevice.h"
#include "CustomBaud.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t AllOnes = 0xFFFFFFFFu;

// Milliseconds left until deadline (never negative); -1 when there is none.
int msLeft(const std::optional<Clock::time_point>& deadline)
{
    if (!deadline)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

std::optional<Clock::time_point> deadlineAfter(uint64_t ms)
{
    if (ms == 0)
        return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(ms);
}

speed_t standardSpeed(uint32_t rate)
{
    switch (rate) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B0;
    }
}

bool noSuchFeature(int e) { return e == ENOTTY || e == EINVAL; }

int setModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return 0;
    int e = errno;
    return noSuchFeature(e) ? 0 : e;
}

} // namespace

struct SerialDevice::Impl {
    int fd = -1;
    std::mutex m; // guards everything below
    std::deque<char> queue;
    size_t capacity = 1024;
    bool discardNull = false;
    TCommTimeouts timeouts;
    std::atomic<uint32_t> eventMask{0};
    bool haveCounts = false;
    serial_icounter_struct counts{};
    uint32_t pendingErrors = 0;

    // Moves what the descriptor holds into the queue, up to its capacity.
    int drain()
    {
        char buf[512];
        while (queue.size() < capacity) {
            size_t want = std::min(sizeof buf, capacity - queue.size());
            ssize_t n = ::read(fd, buf, want);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    if (buf[i] != 0 || !discardNull)
                        queue.push_back(buf[i]);
                continue;
            }
            if (n == 0)
                return EIO; // a hung-up tty reads as end of file
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return 0;
            return errno;
        }
        return 0;
    }

    int take(char* out, int count)
    {
        int n = static_cast<int>(std::min<size_t>(count, queue.size()));
        std::copy_n(queue.begin(), n, out);
        queue.erase(queue.begin(), queue.begin() + n);
        return n;
    }

    // Adds the line errors counted by the driver since the last look to pendingErrors.
    int collectErrors()
    {
        serial_icounter_struct c{};
        if (ioctl(fd, TIOCGICOUNT, &c) != 0) {
            int e = errno;
            return noSuchFeature(e) ? 0 : e;
        }
        if (haveCounts) {
            if (c.frame != counts.frame)
                pendingErrors |= LE_FRAME;
            if (c.parity != counts.parity)
                pendingErrors |= LE_RXPARITY;
            if (c.overrun != counts.overrun)
                pendingErrors |= LE_OVERRUN;
            if (c.buf_overrun != counts.buf_overrun)
                pendingErrors |= LE_RXOVER;
            if (c.brk != counts.brk)
                pendingErrors |= LE_BREAK;
        }
        counts = c;
        haveCounts = true;
        return 0;
    }
};

SerialDevice::SerialDevice() : d(std::make_unique<Impl>()) {}

SerialDevice::~SerialDevice() { Close(); }

std::string SerialDevice::PathOf(const std::string& port)
{
    if (!port.empty() && port[0] == '/')
        return port;
    return "/dev/" + port;
}

bool SerialDevice::IsGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

int SerialDevice::Open(const std::string& path)
{
    if (d->fd >= 0)
        return EBUSY;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // TIOCEXCL keeps other users out, but not root; the lock covers root too.
    if (ioctl(fd, TIOCEXCL) != 0 && !noSuchFeature(errno)) {
        int e = errno;
        ::close(fd);
        return e;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        ::close(fd);
        return e;
    }
    std::lock_guard lock(d->m);
    d->fd = fd;
    d->queue.clear();
    d->haveCounts = false;
    d->pendingErrors = 0;
    d->collectErrors();
    return 0;
}

bool SerialDevice::IsOpen() const { return d->fd >= 0; }

int SerialDevice::Close()
{
    if (d->fd < 0)
        return 0;
    std::lock_guard lock(d->m);
    // A pseudo-terminal keeps its exclusive flag after the last close, which would keep every
    // later open out but root's; give the line back as we found it.
    ioctl(d->fd, TIOCNXCL);
    // Linux releases the descriptor even when close reports an error.
    int e = ::close(d->fd) == 0 || errno == EINTR ? 0 : errno;
    d->fd = -1;
    d->queue.clear();
    return e;
}

int SerialDevice::SetQueueSizes(int inputSize, int outputSize)
{
    if (inputSize < 0 || outputSize < 0)
        return EINVAL;
    std::lock_guard lock(d->m);
    d->capacity = std::max(inputSize, 1);
    return 0;
}

int SerialDevice::SetLineSettings(const TDCB& dcb)
{
    int fd = d->fd;
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return errno;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (dcb.ByteSize) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        return EINVAL;
    }
    switch (dcb.Parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return EINVAL;
    }
    // Linux has no 1.5 stop bits; two stop bits at five data bits give 1.5 on UARTs.
    if (dcb.StopBits == 1 || dcb.StopBits == 2)
        t.c_cflag |= CSTOPB;
    else if (dcb.StopBits != 0)
        return EINVAL;
    if (dcb.has(TDCB::fOutxCtsFlow) || dcb.RtsControl() == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    // A break or a framing error must not arrive as a NUL byte.
    t.c_iflag |= IGNBRK;
    if (dcb.has(TDCB::fParity))
        t.c_iflag |= INPCK;
    else
        t.c_iflag |= IGNPAR;
    if (dcb.has(TDCB::fOutX))
        t.c_iflag |= IXON;
    if (dcb.has(TDCB::fInX))
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    speed_t speed = standardSpeed(dcb.BaudRate);
    if (dcb.BaudRate == 0 || dcb.BaudRate > 0x7FFFFFFF)
        return EINVAL;
    cfsetispeed(&t, speed == B0 ? B38400 : speed);
    cfsetospeed(&t, speed == B0 ? B38400 : speed);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        // Pseudo-terminals keep eight data bits without parity whatever they are asked;
        // glibc reports that as EINVAL. Accept it when nothing else was refused.
        int e = errno;
        termios now{};
        const tcflag_t format = CSIZE | PARENB;
        if (e != EINVAL || tcgetattr(fd, &now) != 0 || now.c_iflag != t.c_iflag ||
            (now.c_cflag & ~format) != (t.c_cflag & ~format) || cfgetospeed(&now) != cfgetospeed(&t))
            return e;
    }
    if (speed == B0)
        if (int e = SetCustomBaudRate(fd, static_cast<int>(dcb.BaudRate)))
            return e;

    if (int e = setModemLine(fd, TIOCM_DTR, dcb.DtrControl() != dtrDisable))
        return e;
    bool rtsOn = dcb.RtsControl() == rtsEnable || dcb.RtsControl() == rtsHandshake;
    if (int e = setModemLine(fd, TIOCM_RTS, rtsOn))
        return e;

    std::lock_guard lock(d->m);
    d->discardNull = dcb.has(TDCB::fNull);
    return 0;
}

int SerialDevice::SetTimeouts(const TCommTimeouts& t)
{
    std::lock_guard lock(d->m);
    d->timeouts = t;
    return 0;
}

void SerialDevice::SetEventMask(uint32_t mask) { d->eventMask = mask; }

uint32_t SerialDevice::EventMask() const { return d->eventMask; }

int SerialDevice::InputCount(int& count)
{
    std::lock_guard lock(d->m);
    int e = d->drain();
    count = static_cast<int>(d->queue.size());
    // Like reading the line status on Windows, this also clears the line errors; the event
    // thread's error step reads them first.
    d->collectErrors();
    d->pendingErrors = 0;
    return count > 0 ? 0 : e;
}

bool SerialDevice::InputWaiting()
{
    std::lock_guard lock(d->m);
    if (d->fd < 0 || d->queue.size() >= d->capacity)
        return false;
    int n = 0;
    return ioctl(d->fd, FIONREAD, &n) == 0 && n > 0;
}

int SerialDevice::Read(char* buffer, int count, int& got)
{
    got = 0;
    TCommTimeouts t;
    {
        std::lock_guard lock(d->m);
        t = d->timeouts;
    }
    bool immediate = t.ReadIntervalTimeout == AllOnes && t.ReadTotalTimeoutMultiplier == 0 &&
                     t.ReadTotalTimeoutConstant == 0;
    auto total =
        deadlineAfter(uint64_t(t.ReadTotalTimeoutMultiplier) * uint64_t(count) + t.ReadTotalTimeoutConstant);
    bool anyByte = t.ReadIntervalTimeout == AllOnes; // return once something has arrived
    uint32_t gap = anyByte ? 0 : t.ReadIntervalTimeout;
    for (;;) {
        int e = 0;
        {
            // Refill the queue as it empties, so a read is not cut short by its size.
            std::lock_guard lock(d->m);
            int took;
            do {
                e = d->drain();
                took = d->take(buffer + got, count - got);
                got += took;
            } while (took > 0 && got < count && e == 0);
        }
        if (got == count || immediate || (anyByte && got > 0))
            return got > 0 ? 0 : e;
        if (e)
            return got > 0 ? 0 : e;
        int wait = msLeft(total);
        if (gap && got > 0)
            wait = wait < 0 ? int(gap) : std::min<int>(wait, gap);
        if (wait == 0)
            return 0;
        pollfd p{d->fd, POLLIN, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR)
            return errno;
        if (r == 0 && gap && got > 0)
            return 0;
    }
}

int SerialDevice::Write(const char* buffer, int count, int& written)
{
    written = 0;
    TCommTimeouts t;
    {
        std::lock_guard lock(d->m);
        t = d->timeouts;
    }
    auto deadline = deadlineAfter(uint64_t(t.WriteTotalTimeoutMultiplier) * uint64_t(count) +
                                  t.WriteTotalTimeoutConstant);
    while (written < count) {
        ssize_t n = ::write(d->fd, buffer + written, count - written);
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return errno;
        int wait = msLeft(deadline);
        if (wait == 0)
            return 0; // the write timeout ended the transfer
        pollfd p{d->fd, POLLOUT, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR)
            return errno;
        if (r > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLOUT))
            return EIO;
    }
    // Wait until the bytes have left, but no longer than the write timeout allows.
    for (;;) {
        int queued = 0;
        if (ioctl(d->fd, TIOCOUTQ, &queued) != 0 || queued <= 0 || msLeft(deadline) == 0)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int SerialDevice::Purge(uint32_t actions)
{
    std::lock_guard lock(d->m);
    bool output = actions & (PURGE_TXABORT | PURGE_TXCLEAR);
    bool input = actions & PURGE_RXCLEAR;
    if (input)
        d->queue.clear();
    int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    // Even a bare abort of input goes to the device, so a device that is gone shows.
    if (tcflush(d->fd, queue) != 0)
        return errno;
    return 0;
}

int SerialDevice::TakeLineErrors(uint32_t& flags)
{
    std::lock_guard lock(d->m);
    int e = d->collectErrors();
    flags = d->pendingErrors;
    d->pendingErrors = 0;
    return e;
}

int SerialDevice::ModemStatus(uint32_t& status)
{
    status = 0;
    int lines = 0;
    if (ioctl(d->fd, TIOCMGET, &lines) != 0) {
        int e = errno;
        return noSuchFeature(e) ? 0 : e;
    }
    if (lines & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (lines & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (lines & TIOCM_RNG)
        status |= MS_RING_ON;
    if (lines & TIOCM_CAR)
        status |= MS_RLSD_ON;
    return 0;
}

// --- waiter -------------------------------------------------------------------------------

struct DeviceWaiter::Impl {
    SerialDevice::Impl& dev;
    int epoll = -1;
    int stop = -1;
    std::atomic<bool> watching{false};

    explicit Impl(SerialDevice::Impl& device) : dev(device) {}
};

DeviceWaiter::DeviceWaiter(SerialDevice& device) : d(std::make_unique<Impl>(*device.d))
{
    d->epoll = epoll_create1(EPOLL_CLOEXEC);
    d->stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = d->stop;
    epoll_ctl(d->epoll, EPOLL_CTL_ADD, d->stop, &ev);
    // Edge-triggered: a wake-up means new bytes, so bytes left queued do not wake us again.
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = d->dev.fd;
    d->watching = epoll_ctl(d->epoll, EPOLL_CTL_ADD, d->dev.fd, &ev) == 0;
}

DeviceWaiter::~DeviceWaiter()
{
    if (d->epoll >= 0)
        ::close(d->epoll);
    if (d->stop >= 0)
        ::close(d->stop);
}

DeviceWaiter::Result DeviceWaiter::Wait(uint32_t& events, bool inputWaiting)
{
    events = 0;
    if (d->epoll < 0 || d->stop < 0)
        return Failed;
    epoll_event ev[2];
    int n;
    do
        n = epoll_wait(d->epoll, ev, 2, inputWaiting ? 0 : -1);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return Failed;
    if (inputWaiting)
        events |= EV_RXCHAR;
    for (int i = 0; i < n; ++i)
        if (ev[i].data.fd == d->stop)
            return Stopped;
    uint32_t mask = d->dev.eventMask;
    for (int i = 0; i < n; ++i) {
        if (ev[i].events & (EPOLLHUP | EPOLLERR)) {
            // The device has gone: from now on only the stop signal can end a wait.
            epoll_ctl(d->epoll, EPOLL_CTL_DEL, d->dev.fd, nullptr);
            d->watching = false;
            events = 0;
            return Events;
        }
        if (ev[i].events & EPOLLIN) {
            events |= EV_RXCHAR;
            std::lock_guard lock(d->dev.m);
            d->dev.collectErrors();
            if (d->dev.pendingErrors)
                events |= EV_ERR;
            if (d->dev.pendingErrors & LE_BREAK)
                events |= EV_BREAK;
        }
    }
    events &= mask;
    return Events;
}

void DeviceWaiter::Stop()
{
    uint64_t one = 1;
    while (::write(d->stop, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool DeviceWaiter::Watching() const { return d->watching; }
