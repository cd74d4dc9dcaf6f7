#include "ComThread.h"

#include "SerialDevice.h"
#include "SerialPort.h"

#include <QCoreApplication>
#include <QEvent>

int DeliveryEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

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

std::shared_ptr<DeliveryHandOver> TComThread::Start()
{
    // The last session has ended (ClosePort waited for it), so the thread is not waiting on
    // the device and its waiter can be pointed at the new opening.
    comPort_->device_->setEventMask(comPort_->Events());
    waiter_->watch();
    auto handOver = std::make_shared<DeliveryHandOver>();
    {
        std::lock_guard lock(m_);
        syncMethod_ = comPort_->SyncMethod();
        next_ = handOver;
    }
    cv_.notify_all();
    return handOver;
}

void TComThread::Stop() { waiter_->stop(); }

void TComThread::run()
{
    for (;;) {
        std::shared_ptr<DeliveryHandOver> handOver;
        {
            std::unique_lock lock(m_);
            cv_.wait(lock, [&] { return quit_ || next_; });
            if (quit_)
                return;
            handOver = std::move(next_);
        }
        serve(handOver);
    }
}

void TComThread::serve(const std::shared_ptr<DeliveryHandOver>& handOver)
{
    bool endedByError = false;
    bool inputWaiting = false;
    for (;;) {
        if (waiter_->wait(events_, inputWaiting) != DeviceWaiter::Events)
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
    if (!endedByError) {
        SerialDevice& device = *comPort_->device_;
        device.setEventMask({});
        // A device that is gone cannot be purged; there is nothing to do about it here.
        device.purge(PurgeFlags::ClearOutput | PurgeFlags::ClearInput);
    }
    {
        std::lock_guard lock(handOver->m);
        handOver->sessionEnded = true;
    }
    handOver->cv.notify_all();
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
    QCoreApplication::postEvent(comPort_, new QEvent(QEvent::Type(DeliveryEventType())));
    std::unique_lock lock(handOver.m);
    handOver.cv.wait(lock, [&] { return d->done || handOver.abandon; });
    if (!d->done)
        return false;
    if (d->error)
        std::rethrow_exception(d->error);
    return true;
}
