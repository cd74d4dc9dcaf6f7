#include "SystemCalls.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <thread>

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

static_assert(sizeof(TermiosRequest) == sizeof(termios2));
static_assert(offsetof(TermiosRequest, cc) == offsetof(termios2, c_cc));
static_assert(offsetof(TermiosRequest, ispeed) == offsetof(termios2, c_ispeed));
static_assert(kLineDtr == TIOCM_DTR && kLineRts == TIOCM_RTS && kLineCts == TIOCM_CTS &&
              kLineCar == TIOCM_CAR && kLineRng == TIOCM_RNG && kLineDsr == TIOCM_DSR);

namespace {

int result(int r) { return r < 0 ? errno : 0; }

} // namespace

SystemCalls& SystemCalls::real()
{
    static SystemCalls calls;
    return calls;
}

int SystemCalls::open(const char* path, int& fd)
{
    fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? errno : 0;
}

int SystemCalls::close(int fd)
{
    // Linux releases the descriptor even when close reports an error.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

int SystemCalls::read(int fd, char* buffer, int count, int& got)
{
    ssize_t n;
    do
        n = ::read(fd, buffer, size_t(count));
    while (n < 0 && errno == EINTR);
    got = n > 0 ? int(n) : 0;
    return n < 0 ? errno : 0;
}

int SystemCalls::write(int fd, const char* buffer, int count, int& written)
{
    ssize_t n;
    do
        n = ::write(fd, buffer, size_t(count));
    while (n < 0 && errno == EINTR);
    written = n > 0 ? int(n) : 0;
    return n < 0 ? errno : 0;
}

int SystemCalls::poll(int fd, bool forWriting, int timeoutMs, bool& ready, bool& hungUp)
{
    pollfd p{fd, short(forWriting ? POLLOUT : POLLIN), 0};
    int r = ::poll(&p, 1, timeoutMs);
    ready = r > 0 && (p.revents & p.events);
    hungUp = r > 0 && (p.revents & (POLLHUP | POLLERR));
    return r < 0 && errno != EINTR ? errno : 0;
}

int SystemCalls::lock(int fd) { return result(::flock(fd, LOCK_EX | LOCK_NB)); }

int SystemCalls::setExclusive(int fd, bool on) { return result(::ioctl(fd, on ? TIOCEXCL : TIOCNXCL)); }

int SystemCalls::getTermios(int fd, TermiosRequest& t) { return result(::ioctl(fd, TCGETS2, &t)); }

int SystemCalls::setTermios(int fd, const TermiosRequest& t) { return result(::ioctl(fd, TCSETS2, &t)); }

int SystemCalls::flush(int fd, bool input, bool output)
{
    int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return result(::ioctl(fd, TCFLSH, queue));
}

int SystemCalls::modemLines(int fd, int& lines) { return result(::ioctl(fd, TIOCMGET, &lines)); }

int SystemCalls::setModemLines(int fd, int lines, bool on)
{
    return result(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines));
}

int SystemCalls::counters(int fd, LineCounters& c)
{
    serial_icounter_struct k{};
    if (::ioctl(fd, TIOCGICOUNT, &k) != 0)
        return errno;
    c = {k.cts, k.dsr, k.rng, k.dcd, k.frame, k.overrun, k.parity, k.brk, k.buf_overrun};
    return 0;
}

int SystemCalls::outputQueued(int fd, int& count) { return result(::ioctl(fd, TIOCOUTQ, &count)); }

int SystemCalls::inputQueued(int fd, int& count) { return result(::ioctl(fd, FIONREAD, &count)); }

int64_t SystemCalls::nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemCalls::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

ErrnoKind classifyErrno(int error)
{
    switch (error) {
    case EIO:
    case ENXIO:
    case ENODEV:
        return ErrnoKind::Gone;
    case ENOTTY:
    case EINVAL:
        return ErrnoKind::Unsupported;
    default:
        return ErrnoKind::Other;
    }
}
