#include "ComThread.h"

#include "SerialDevice.h"
#include "SerialPort.h"

#include <QCoreApplication>
#include <QEvent>

#include <atomic>

int DeliveryEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

namespace {
std::atomic<unsigned> deliveryEventsPosted{0};
} // namespace

void PublishDeliveryEvent() { deliveryEventsPosted.fetch_add(1, std::memory_order_release); }

void TakeDeliveryEvents() { (void)deliveryEventsPosted.load(std::memory_order_acquire); }

TComThread::TComThread(TCustomComPort* port)
    : comPort_(port), waiter_(std::make_unique<DeviceWaiter>(*port->device_)), thread_([this] { run(); })
{
}

TComThread::~TComThread()
{
    {
        std::lock_guard lock(m_);
        quit_ = true;
    }
    cv_.notify_all();
    // A session still running ends at its next wait.
    Stop();
    thread_.join();
}

// Tells the thread's state around the waiter's blocking call, so that TakeOver knows when
// the thread is blocked with nothing of its session pending.
class TComThread::WaitGate : public DeviceWaiter::Gate {
public:
    WaitGate(TComThread& thread, const DeliveryHandOver* session) : t_(thread), session_(session) {}
    void enter(bool noTimeout) override
    {
        std::lock_guard lock(t_.m_);
        t_.blocked_ = true;
        t_.blockedForever_ = noTimeout;
        t_.waitingFor_ = session_;
    }
    bool leave() override
    {
        bool ours;
        {
            std::lock_guard lock(t_.m_);
            ours = t_.waitingFor_ == session_;
            t_.blocked_ = false;
            t_.waitingFor_ = nullptr;
        }
        t_.unblocked_.notify_all();
        return ours;
    }

private:
    TComThread& t_;
    const DeliveryHandOver* session_;
};

std::shared_ptr<DeliveryHandOver> TComThread::Start()
{
    // The last session has ended (ClosePort waited for it or took it over), so the thread
    // does not look at the device: the waiter can be pointed at the new opening, also while
    // a wait that was taken over still blocks.
    comPort_->device_->setEventMask(comPort_->Events());
    auto handOver = std::make_shared<DeliveryHandOver>();
    {
        std::unique_lock lock(m_);
        waiter_->watch();
        if (blocked_ && !waitingFor_ && blockedForever_ && waiter_->polls()) {
            // That wait has no timeout, but this opening is looked at on intervals: it is
            // woken and let go first, then the stop signal is taken back.
            waiter_->stop();
            unblocked_.wait(lock, [&] { return !blocked_; });
            waiter_->watch();
        }
        syncMethod_ = comPort_->SyncMethod();
        current_ = handOver;
    }
    cv_.notify_all();
    return handOver;
}

void TComThread::Stop() { waiter_->stop(); }

void TComThread::ClearSession(SerialDevice& device)
{
    device.setEventMask({});
    // A device that is gone cannot be purged; there is nothing to do about it here.
    device.purge(PurgeFlags::ClearOutput | PurgeFlags::ClearInput);
}

bool TComThread::TakeOver(const DeliveryHandOver& handOver)
{
    std::lock_guard lock(m_);
    // Blocked in this session's wait, or in one taken over before, which would serve this
    // session from its next wake-up.
    const bool waiting = waitingFor_ == &handOver || (!waitingFor_ && current_.get() == &handOver);
    if (!blocked_ || !waiting)
        return false;
    waitingFor_ = nullptr;
    if (current_.get() == &handOver)
        current_.reset();
    return true;
}

void TComThread::run()
{
    for (;;) {
        std::shared_ptr<DeliveryHandOver> handOver;
        {
            std::unique_lock lock(m_);
            cv_.wait(lock, [&] { return quit_ || current_; });
            if (quit_)
                return;
            handOver = current_;
        }
        handOver = serve(handOver, false);
        // Sessions begun while a wait that was taken over still blocked: served from it.
        while (handOver)
            handOver = serve(handOver, true);
    }
}

std::shared_ptr<DeliveryHandOver> TComThread::serve(const std::shared_ptr<DeliveryHandOver>& handOver,
                                                    bool adopted)
{
    WaitGate gate(*this, handOver.get());
    bool endedByError = false;
    // What woke a wait that was taken over was dropped unlooked-at: bytes queued by then are
    // announced at once.
    bool inputWaiting = adopted && comPort_->device_->inputWaiting();
    for (;;) {
        const DeviceWaiter::Result result = waiter_->wait(events_, inputWaiting, &gate);
        if (result == DeviceWaiter::TakenOver) {
            std::lock_guard lock(m_);
            return quit_ ? nullptr : current_;
        }
        if (result != DeviceWaiter::Events)
            break;
        inputWaiting = false;
        if (events_.empty())
            continue;
        try {
            if (!dispatch(*handOver, events_))
                break;
            // Bytes beyond the input queue's size stay in the driver; once the handler has
            // made room for them they are announced again. A handler that reads nothing leaves
            // the queue full, so this never spins.
            inputWaiting = events_.contains(evRxChar) && comPort_->device_->inputWaiting();
        } catch (...) {
            // A failing step or handler ends delivery; nobody is told unless OnException is set.
            endedByError = true;
            if (syncMethod_ == smNone && comPort_->OnException)
                try {
                    comPort_->OnException(comPort_, std::current_exception());
                } catch (...) {
                }
            break;
        }
    }
    if (!endedByError)
        ClearSession(*comPort_->device_);
    {
        // Before the session is marked ended: the next one may be started right after.
        std::lock_guard lock(m_);
        if (current_ == handOver)
            current_.reset();
    }
    {
        std::lock_guard lock(handOver->m);
        handOver->sessionEnded = true;
    }
    handOver->cv.notify_all();
    return nullptr;
}

bool TComThread::dispatch(DeliveryHandOver& handOver, TComEvents events)
{
    if (syncMethod_ == smNone) {
        comPort_->ProcessEvents(events);
        return true;
    }
    auto d = std::make_shared<Delivery>();
    d->events = events;
    {
        std::lock_guard lock(handOver.m);
        if (handOver.abandon)
            return false;
        handOver.queue.push_back(d);
    }
    handOver.cv.notify_all();
    // The port lives on the main thread; its event() runs the queue, in any event loop.
    auto* wake = new QEvent(QEvent::Type(DeliveryEventType()));
    PublishDeliveryEvent();
    QCoreApplication::postEvent(comPort_, wake);
    std::unique_lock lock(handOver.m);
    handOver.cv.wait(lock, [&] { return d->done || handOver.abandon; });
    if (!d->done)
        return false;
    if (d->error)
        std::rethrow_exception(d->error);
    return true;
}
