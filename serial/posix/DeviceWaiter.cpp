// Waiting for line events on Linux: epoll on the device, edge-triggered so that a wake-up
// means new bytes, an eventfd as the stop signal and one for a drained write (evTxEmpty).
//
// What Linux gives and what it does not:
// - evRxChar: new bytes (EPOLLIN); evTxEmpty: a write of ours has drained.
// - evCTS, evDSR, evRLSD, evRing, evBreak, evError: looked for every kLinePollMs while one of
//   them is in the mask, through the driver's counters (TIOCGICOUNT: catches short pulses,
//   and a break or framing error that delivers no byte), else by comparing the line states
//   (TIOCMGET: changes shorter than the poll are missed). A driver with neither
//   (pseudo-terminals) reports none of them, and the waiter then never polls.
// - A hang-up (EPOLLHUP, EPOLLERR: the far end closed, the adapter was unplugged) is reported
//   once, as evRLSD, and the device is not watched any more.
// - evRxFlag and evRx80Full are not reported: the bytes are looked at only when the main
//   thread takes them.

#include "../SerialDevice.h"
#include "DeviceImpl.h"

#include <cerrno>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kLinePollMs = 20;
const TComEvents kLineEvents{evCTS, evDSR, evRLSD, evRing, evBreak, evError};

} // namespace

struct DeviceWaiter::Impl {
    explicit Impl(SerialDevice::Impl& device) : dev(device) {}
    SerialDevice::Impl& dev;
    int epoll = -1;
    int stop = -1;
    std::atomic<bool> watching{false};
    bool linesVisible = false; // the driver has counters or modem lines

    void add(int fd, uint32_t events)
    {
        epoll_event ev{};
        ev.events = events;
        ev.data.fd = fd;
        epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
    }
};

DeviceWaiter::DeviceWaiter(SerialDevice& device) : d_(std::make_unique<Impl>(*device.d_))
{
    d_->epoll = epoll_create1(EPOLL_CLOEXEC);
    d_->stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    d_->add(d_->stop, EPOLLIN);
    d_->add(d_->dev.txEmptySignal, EPOLLIN);
    d_->dev.waitSet = d_->epoll;
}

void DeviceWaiter::watch()
{
    // A stop left over from the last session is taken back.
    uint64_t count;
    while (::read(d_->stop, &count, sizeof count) < 0 && errno == EINTR) {
    }
    // Edge-triggered: a wake-up means new bytes, so bytes left queued do not wake us again.
    // Closing the last device removed it from the set; a descriptor still there is replaced.
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = d_->dev.fd;
    bool ok = epoll_ctl(d_->epoll, EPOLL_CTL_ADD, d_->dev.fd, &ev) == 0;
    if (!ok && errno == EEXIST)
        ok = epoll_ctl(d_->epoll, EPOLL_CTL_MOD, d_->dev.fd, &ev) == 0;
    d_->watching = ok;
    // What the device showed when it opened: counters, or modem lines to compare.
    d_->linesVisible = d_->dev.haveCounts || d_->dev.linesVisible;
}

DeviceWaiter::~DeviceWaiter()
{
    d_->dev.waitSet = -1;
    if (d_->epoll >= 0)
        ::close(d_->epoll);
    if (d_->stop >= 0)
        ::close(d_->stop);
}

bool DeviceWaiter::polls() const
{
    return d_->linesVisible && d_->watching && (d_->dev.eventMask & kLineEvents.bits());
}

DeviceWaiter::Result DeviceWaiter::wait(TComEvents& events, bool inputWaiting, Gate* gate)
{
    events = {};
    if (d_->epoll < 0 || d_->stop < 0)
        return Failed;
    const TComEvents mask = TComEvents::fromBits(d_->dev.eventMask);
    const bool pollLines = polls();
    const int timeout = inputWaiting ? 0 : pollLines ? kLinePollMs : -1;
    if (gate)
        gate->enter(timeout < 0);
    epoll_event ev[3];
    int n;
    do
        n = epoll_wait(d_->epoll, ev, 3, timeout);
    while (n < 0 && errno == EINTR);
    if (gate && !gate->leave())
        return TakenOver;
    if (n < 0)
        return Failed;
    if (inputWaiting)
        events.insert(evRxChar);
    for (int i = 0; i < n; ++i)
        if (ev[i].data.fd == d_->stop)
            return Stopped;
    SerialDevice::Impl& dev = d_->dev;
    for (int i = 0; i < n; ++i) {
        if (ev[i].data.fd == dev.txEmptySignal) {
            uint64_t count;
            if (::read(dev.txEmptySignal, &count, sizeof count) > 0 && dev.txEmpty.exchange(false))
                events.insert(evTxEmpty);
            continue;
        }
        if (ev[i].events & (EPOLLHUP | EPOLLERR)) {
            // The device has gone: from now on only the stop signal can end a wait. The
            // hang-up is told as what it is on a modem line, the carrier lost (the lines read
            // off from now on); bytes that came with it cannot be read any more.
            epoll_ctl(d_->epoll, EPOLL_CTL_DEL, dev.fd, nullptr);
            d_->watching = false;
            dev.hungUp = true;
            events = mask.contains(evRLSD) ? TComEvents{evRLSD} : TComEvents{};
            return Events;
        }
        if (ev[i].events & EPOLLIN)
            events.insert(evRxChar);
    }
    if (d_->watching && d_->linesVisible) {
        std::lock_guard lock(dev.m);
        const TComErrors fresh = dev.collectErrors();
        if (!dev.haveCounts)
            dev.compareLines();
        if (!fresh.empty())
            events.insert(evError);
        if (fresh.contains(ceBreak))
            events.insert(evBreak);
        events = TComEvents::fromBits(events.bits() | dev.lineEvents.bits());
        dev.lineEvents = {};
    }
    events = TComEvents::fromBits(events.bits() & mask.bits());
    return Events;
}

void DeviceWaiter::stop()
{
    uint64_t one = 1;
    while (::write(d_->stop, &one, sizeof one) < 0 && errno == EINTR) {
    }
}
