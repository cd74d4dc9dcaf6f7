// Waiting for line events on Linux: epoll on the device, edge-triggered so that a wake-up
// means new bytes, plus an eventfd as the stop signal.

#include "../SerialDevice.h"
#include "DeviceImpl.h"

#include <cerrno>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

struct DeviceWaiter::Impl {
    explicit Impl(SerialDevice::Impl& device) : dev(device) {}
    SerialDevice::Impl& dev;
    int epoll = -1;
    int stop = -1;
    std::atomic<bool> watching{false};
};

DeviceWaiter::DeviceWaiter(SerialDevice& device) : d_(std::make_unique<Impl>(*device.d_))
{
    d_->epoll = epoll_create1(EPOLL_CLOEXEC);
    d_->stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = d_->stop;
    epoll_ctl(d_->epoll, EPOLL_CTL_ADD, d_->stop, &ev);
    // Edge-triggered: a wake-up means new bytes, so bytes left queued do not wake us again.
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = d_->dev.fd;
    d_->watching = epoll_ctl(d_->epoll, EPOLL_CTL_ADD, d_->dev.fd, &ev) == 0;
}

DeviceWaiter::~DeviceWaiter()
{
    if (d_->epoll >= 0)
        ::close(d_->epoll);
    if (d_->stop >= 0)
        ::close(d_->stop);
}

DeviceWaiter::Result DeviceWaiter::wait(TComEvents& events, bool inputWaiting)
{
    events = {};
    if (d_->epoll < 0 || d_->stop < 0)
        return Failed;
    epoll_event ev[2];
    int n;
    do
        n = epoll_wait(d_->epoll, ev, 2, inputWaiting ? 0 : -1);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return Failed;
    if (inputWaiting)
        events.insert(evRxChar);
    for (int i = 0; i < n; ++i)
        if (ev[i].data.fd == d_->stop)
            return Stopped;
    for (int i = 0; i < n; ++i) {
        if (ev[i].events & (EPOLLHUP | EPOLLERR)) {
            // The device has gone: from now on only the stop signal can end a wait.
            epoll_ctl(d_->epoll, EPOLL_CTL_DEL, d_->dev.fd, nullptr);
            d_->watching = false;
            events = {};
            return Events;
        }
        if (ev[i].events & EPOLLIN) {
            events.insert(evRxChar);
            std::lock_guard lock(d_->dev.m);
            d_->dev.collectErrors();
            if (!d_->dev.pendingErrors.empty())
                events.insert(evError);
            if (d_->dev.pendingErrors.contains(ceBreak))
                events.insert(evBreak);
        }
    }
    events = TComEvents::fromBits(events.bits() & d_->dev.eventMask);
    return Events;
}

void DeviceWaiter::stop()
{
    uint64_t one = 1;
    while (::write(d_->stop, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool DeviceWaiter::watching() const { return d_->watching; }
