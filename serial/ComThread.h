#pragma once

// TComThread: the event thread of an open port. It waits on the device and its stop signal,
// turns each wake-up into a TComEvents set and has the port deliver it: handed over to the
// main thread (smThreadSync, and smWindowSync, which is delivered the same way here) or run
// on the event thread itself (smNone).
//
// The hand-over (DeliveryHandOver):
// - Who waits: the event thread queues a Delivery, posts a Qt event to the port and blocks
//   until the main thread has run it (done) or released it (abandon). The main thread runs
//   the queue from the port's event(), in whatever event loop is running, modal ones too.
// - Who cancels: only the main thread, in ClosePort. It signals stop, then keeps running
//   queued deliveries until the thread has ended, so neither waits for the other. Closing
//   from inside one of this thread's deliveries sets abandon: the thread stops waiting for a
//   delivery that cannot finish before ClosePort returns.
// - What a close does to a pending delivery: one already queued runs inside ClosePort while
//   the port is still open; one running further up the main thread's stack has its cancel
//   flag set and skips its remaining steps. After ClosePort no handler of that port runs.
// - An exception from a delivery is caught on the main thread, passed back in the Delivery,
//   and ends the event thread.

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
    const std::shared_ptr<DeliveryHandOver>& HandOver() const { return handOver_; }
    // The thread's id (for telling handler threads apart).
    std::thread::id Id() const { return thread_.get_id(); }

private:
    void run();
    // Delivers one wake-up; false when the main thread abandoned it.
    bool dispatch(TComEvents events);

    TCustomComPort* comPort_;
    TSyncMethod syncMethod_;
    std::unique_ptr<DeviceWaiter> waiter_;
    std::shared_ptr<DeliveryHandOver> handOver_;
    TComEvents events_; // of the last wake-up
    std::thread thread_;
};

// The Qt event type that wakes the main thread for a hand-over.
int DeliveryEventType();
