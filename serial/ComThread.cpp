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
    : comPort_(port), syncMethod_(port->SyncMethod()),
      waiter_(std::make_unique<DeviceWaiter>(*port->device_)), handOver_(std::make_shared<DeliveryHandOver>())
{
    port->device_->setEventMask(port->Events());
    thread_ = std::thread([this] { run(); });
}

TComThread::~TComThread()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void TComThread::Stop() { waiter_->stop(); }

void TComThread::run()
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
            if (!dispatch(events_))
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
        std::lock_guard lock(handOver_->m);
        handOver_->threadEnded = true;
    }
    handOver_->cv.notify_all();
}

bool TComThread::dispatch(TComEvents events)
{
    if (syncMethod_ == smNone) {
        comPort_->ProcessEvents(events);
        return true;
    }
    auto d = std::make_shared<Delivery>();
    d->events = events;
    {
        std::lock_guard lock(handOver_->m);
        if (handOver_->abandon)
            return false;
        handOver_->queue.push_back(d);
    }
    handOver_->cv.notify_all();
    // The port lives on the main thread; its event() runs the queue, in any event loop.
    QCoreApplication::postEvent(comPort_, new QEvent(QEvent::Type(DeliveryEventType())));
    std::unique_lock lock(handOver_->m);
    handOver_->cv.wait(lock, [&] { return d->done || handOver_->abandon; });
    if (!d->done)
        return false;
    if (d->error)
        std::rethrow_exception(d->error);
    return true;
}
