// Waiting for line events on Windows: WaitForMultipleObjects on the stop signal, the
// re-watch signal, the wake-up read (DeviceImpl.h) and WaitCommEvent.
//
// - evRxChar: the wake-up read has ended with a byte. It does not depend on WaitCommEvent,
//   which wine ends at once with an empty mask on a pseudo-terminal.
// - The other events: WaitCommEvent with the mask less EV_RXCHAR. A wait that ends with an
//   empty mask or cannot begin says the driver does not report them: they are not asked for
//   again until the next opening, so such a driver never makes the thread spin.
// - A wake-up read that fails means the device has gone: from then on only the stop signal
//   (or the next opening) ends a wait.

#include "../SerialDevice.h"
#include "DeviceImpl.h"

struct DeviceWaiter::Impl {
    explicit Impl(SerialDevice::Impl& device) : dev(device) {}
    SerialDevice::Impl& dev;
    Handle stop = nullptr;
    // Set by watch(): a wait that began before the opening it must now watch ends.
    Handle rewatch = nullptr;
    // Guarded by dev.m.
    bool watching = false;
    bool lineEvents = false; // the driver reports line events through WaitCommEvent
};

DeviceWaiter::DeviceWaiter(SerialDevice& device) : d_(std::make_unique<Impl>(*device.d_))
{
    d_->dev.sys.createEvent(true, false, d_->stop);
    d_->dev.sys.createEvent(true, false, d_->rewatch);
}

DeviceWaiter::~DeviceWaiter()
{
    for (Handle event : {d_->stop, d_->rewatch})
        if (event)
            d_->dev.sys.closeHandle(event);
}

void DeviceWaiter::watch()
{
    SerialDevice::Impl& dev = d_->dev;
    {
        std::lock_guard lock(dev.m);
        d_->watching = dev.handle != invalidHandle();
        d_->lineEvents = true;
    }
    // A stop left over from the last session is taken back.
    dev.sys.resetEvent(d_->stop);
    dev.sys.setEvent(d_->rewatch);
}

bool DeviceWaiter::polls() const { return false; }

DeviceWaiter::Result DeviceWaiter::wait(TComEvents& events, bool inputWaiting, Gate* gate)
{
    events = {};
    SerialDevice::Impl& dev = d_->dev;
    SystemCalls& sys = dev.sys;
    if (!d_->stop || !d_->rewatch)
        return Failed;
    const TComEvents mask = TComEvents::fromBits(dev.eventMask);
    Handle handles[4] = {d_->stop, d_->rewatch};
    int count = 2;
    {
        std::lock_guard lock(dev.m);
        sys.resetEvent(d_->rewatch);
        if (d_->watching && dev.armWake() != 0)
            d_->watching = false;
        if (d_->watching && dev.io->wake.pending)
            handles[count++] = dev.io->wake.op.hEvent;
        const uint32_t lineBits = EventMask(mask) & ~EV_RXCHAR;
        if (d_->watching && d_->lineEvents && lineBits && !dev.io->lineWait.pending) {
            const int e = sys.waitCommEvent(dev.handle, dev.io->lineMask, dev.io->lineWait.op);
            if (e == 0 || e == kErrorIoPending)
                dev.io->lineWait.pending = true;
            else
                d_->lineEvents = false;
        }
        if (d_->watching && dev.io->lineWait.pending)
            handles[count++] = dev.io->lineWait.op.hEvent;
    }
    if (gate)
        gate->enter(!inputWaiting);
    int index = -1;
    const int e = sys.waitForMultiple(handles, count, inputWaiting ? 0 : kInfinite, index);
    if (gate && !gate->leave())
        return TakenOver;
    if (e)
        return Failed;
    if (inputWaiting)
        events.insert(evRxChar);
    if (index == 0)
        return Stopped;
    std::lock_guard lock(dev.m);
    if (!d_->watching)
        return Events;
    // Either may have ended, whichever handle the wait named; the main thread may have
    // taken the wake-up read's byte already.
    int error = 0;
    const size_t queued = dev.queue.size();
    if (dev.io->wake.pending && dev.takeWake(&error) && error) {
        // The device has gone: from now on only the stop signal can end a wait.
        d_->watching = false;
        events = {};
        return Events;
    }
    if (dev.queue.size() > queued)
        events.insert(evRxChar);
    uint32_t bytes = 0;
    if (dev.io->lineWait.pending) {
        const int le = sys.getOverlappedResult(dev.handle, dev.io->lineWait.op, bytes, false);
        if (le != kErrorIoIncomplete) {
            dev.io->lineWait.pending = false;
            if (le != 0 || dev.io->lineMask == 0)
                d_->lineEvents = false;
            else
                events = TComEvents::fromBits(events.bits() |
                                              EventsFromMask(dev.io->lineMask & ~EV_RXCHAR).bits());
        }
    }
    events = TComEvents::fromBits(events.bits() & mask.bits());
    return Events;
}

void DeviceWaiter::stop() { d_->dev.sys.setEvent(d_->stop); }
