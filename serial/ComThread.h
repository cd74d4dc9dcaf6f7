#pragma once

// TComThread: the event thread of an open port. It waits on the device and its stop signal,
// turns each wake-up into a TComEvents set and has the port deliver it: handed over to the
// main thread (smThreadSync, and smWindowSync, which is delivered the same way here) or run
// on the event thread itself (smNone).

#include "ComTypes.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

class TCustomComPort;
class DeviceWaiter;

// One wake-up handed to the main thread.
struct Delivery {
    TComEvents events;
    bool done = false;
    std::exception_ptr error;
    // Set when the port closes while this delivery runs: its remaining steps are skipped.
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};

// What the event thread and the main thread share for the hand-over.
struct DeliveryHandOver {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::shared_ptr<Delivery>> queue;
    bool threadEnded = false;
    // The main thread closes the port from inside a delivery of this thread, so that
    // delivery cannot finish before the thread must end: the thread stops waiting for it.
    bool abandon = false;
};

class TComThread {
public:
    // Sets the device's event mask from the port's Events and starts the thread.
    explicit TComThread(TCustomComPort* port);
    // Stops the thread and waits for its end. The port's ClosePort serves hand-overs before
    // this, so the wait cannot block on a pending delivery.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Signals stop; the thread ends at its next wait.
    void Stop();
    const std::shared_ptr<DeliveryHandOver>& HandOver() const { return FHandOver; }
    // The thread's id (for telling handler threads apart).
    std::thread::id Id() const { return FThread.get_id(); }

private:
    void Run();
    // Delivers one wake-up; false when the main thread abandoned it.
    bool Dispatch(TComEvents events);

    TCustomComPort* FComPort;
    TSyncMethod FSyncMethod;
    std::unique_ptr<DeviceWaiter> FWaiter;
    std::shared_ptr<DeliveryHandOver> FHandOver;
    TComEvents FEvents; // of the last wake-up
    std::thread FThread;
};

// The Qt event type that wakes the main thread for a hand-over.
int DeliveryEventType();
