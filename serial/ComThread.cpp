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
    : FComPort(port), FSyncMethod(port->SyncMethod()),
      FWaiter(std::make_unique<DeviceWaiter>(*port->FDevice)), FHandOver(std::make_shared<DeliveryHandOver>())
{
    port->FDevice->setEventMask(port->Events());
    FThread = std::thread([this] { Run(); });
}

TComThread::~TComThread()
{
    Stop();
    if (FThread.joinable())
        FThread.join();
}

void TComThread::Stop() { FWaiter->stop(); }

void TComThread::Run()
{
    bool endedByError = false;
    bool inputWaiting = false;
    for (;;) {
        if (FWaiter->wait(FEvents, inputWaiting) != DeviceWaiter::Events)
            break;
        inputWaiting = false;
        if (FEvents.empty())
            continue;
        try {
            if (!Dispatch(FEvents))
                break;
            // Bytes beyond the input queue's size stay in the driver; once the handler has
            // made room for them they are announced again. A handler that reads nothing leaves
            // the queue full, so this never spins.
            inputWaiting = FEvents.contains(evRxChar) && FComPort->FDevice->inputWaiting();
        } catch (...) {
            // A failing step or handler ends delivery; nobody is told unless OnException is set.
            endedByError = true;
            if (FSyncMethod == smNone && FComPort->OnException)
                try {
                    FComPort->OnException(FComPort, std::current_exception());
                } catch (...) {
                }
            break;
        }
    }
    if (!endedByError) {
        SerialDevice& device = *FComPort->FDevice;
        device.setEventMask({});
        // A device that is gone cannot be purged; there is nothing to do about it here.
        device.purge(PurgeFlags::ClearOutput | PurgeFlags::ClearInput);
    }
    {
        std::lock_guard lock(FHandOver->m);
        FHandOver->threadEnded = true;
    }
    FHandOver->cv.notify_all();
}

bool TComThread::Dispatch(TComEvents events)
{
    if (FSyncMethod == smNone) {
        FComPort->ProcessEvents(events);
        return true;
    }
    auto d = std::make_shared<Delivery>();
    d->events = events;
    {
        std::lock_guard lock(FHandOver->m);
        if (FHandOver->abandon)
            return false;
        FHandOver->queue.push_back(d);
    }
    FHandOver->cv.notify_all();
    // The port lives on the main thread; its event() runs the queue, in any event loop.
    QCoreApplication::postEvent(FComPort, new QEvent(QEvent::Type(DeliveryEventType())));
    std::unique_lock lock(FHandOver->m);
    FHandOver->cv.wait(lock, [&] { return d->done || FHandOver->abandon; });
    if (!d->done)
        return false;
    if (d->error)
        std::rethrow_exception(d->error);
    return true;
}
