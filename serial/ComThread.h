#pragma once

// TComThread: the event thread of a port. It waits on the device and its stop signal, turns
// each wake-up into a TComEvents set and has the port deliver it: handed over to the main
// thread (smThreadSync, and smWindowSync, which is delivered the same way here) or run on the
// event thread itself (smNone).
//
// One thread serves every opening of its port. Between a close and the next open it sleeps
// on its condition; Start() wakes it for a new session and Stop() ends the session. A port
// restarted many times a second (the program reopens its port through whole seconds) then
// costs no thread creation or join, and no new epoll set, at each reopen.
//
// Taking over a waiting session: while the thread blocks in its wait, with no delivery of
// the session pending, the main thread may end the session itself (TakeOver) instead of
// waking the thread and waiting for it. The thread then stays in that wait; a Start that
// follows points the wait at the new opening, and the thread serves the new session from
// its next wake-up. A reopen then wakes neither thread. A wake-up of a wait that was taken
// over is dropped unlooked-at; the bytes queued by then are announced again at once.
// The wait left blocking never holds the closed device: closing takes the descriptor out of
// the wait's set first (SerialDevice::close, where the invariant is written down), so the
// device is released before the close returns and the next open finds it free.
//
// The hand-over (DeliveryHandOver, one per session):
// - Who waits: the event thread queues a Delivery, posts a Qt event to the port and blocks
//   until the main thread has run it (done) or released it (abandon). The main thread runs
//   the queue from the port's event(), in whatever event loop is running, modal ones too.
// - Who cancels: only the main thread, in ClosePort. Unless it can take the session over,
//   it signals stop, then keeps running queued deliveries until the session has ended, so
//   neither waits for the other. Closing from inside one of this session's deliveries sets
//   abandon: the thread stops waiting for a delivery that cannot finish before ClosePort
//   returns.
// - What a close does to a pending delivery: one already queued runs inside ClosePort while
//   the port is still open; one running further up the main thread's stack has its cancel
//   flag set and skips its remaining steps. After ClosePort no handler of that port runs.
// - An exception from a delivery is caught on the main thread, passed back in the Delivery,
//   and ends the session.

#include "ComTypes.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

class TCustomComPort;
class DeviceWaiter;
class SerialDevice;

// One wake-up handed to the main thread.
struct Delivery {
    TComEvents events;
    bool done = false;
    std::exception_ptr error;
    // Set when the port closes while this delivery runs: its remaining steps are skipped.
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};

// What the event thread and the main thread share for the hand-over of one session.
struct DeliveryHandOver {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::shared_ptr<Delivery>> queue;
    bool sessionEnded = false;
    // The main thread closes the port from inside a delivery of this thread, so that
    // delivery cannot finish before the thread must end: the thread stops waiting for it.
    bool abandon = false;
};

class TComThread {
public:
    // Starts the thread, asleep until Start().
    explicit TComThread(TCustomComPort* port);
    // Ends the thread and waits for it. A session still running is stopped, but its pending
    // delivery would never be served: the port's ClosePort ends the session first, serving
    // hand-overs meanwhile.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Begins a session on the freshly opened device: sets the device's event mask from the
    // port's Events, watches the device and wakes the thread. Returns the session's hand-over.
    std::shared_ptr<DeliveryHandOver> Start();
    // Signals the session to stop; it ends at its next wait and marks its hand-over ended.
    void Stop();
    // Ends the session here when the thread is blocked waiting for it: true, and the thread
    // will not touch the device for it again; the caller finishes the session (event mask,
    // purge) before closing the device. False when the thread is busy: Stop() it instead.
    bool TakeOver(const DeliveryHandOver& handOver);
    // What the end of a session leaves on the device: no events asked for, nothing queued.
    static void ClearSession(SerialDevice& device);

private:
    class WaitGate;
    void run();
    // One session: waits and delivers until stopped, abandoned or failed. Returns the next
    // session when this one was taken over and the next has begun meanwhile.
    // `adopted`: begun while a wait taken over still blocked, whose wake-up was dropped.
    std::shared_ptr<DeliveryHandOver> serve(const std::shared_ptr<DeliveryHandOver>& handOver, bool adopted);
    // Delivers one wake-up; false when the main thread abandoned it.
    bool dispatch(DeliveryHandOver& handOver, TComEvents events);

    TCustomComPort* comPort_;
    TSyncMethod syncMethod_ = smThreadSync; // of the session running
    std::unique_ptr<DeviceWaiter> waiter_;
    TComEvents events_; // of the last wake-up

    // The session to serve, or the end of the thread; and where the thread's wait stands.
    std::mutex m_;
    std::condition_variable cv_;
    std::shared_ptr<DeliveryHandOver> current_;
    bool quit_ = false;
    bool blocked_ = false;                 // inside a wait's blocking call
    bool blockedForever_ = false;          // ... one without a timeout
    const DeliveryHandOver* waitingFor_{}; // the session of that wait; null once taken over
    std::condition_variable unblocked_;    // signalled when a blocking call wakes
    std::thread thread_;
};

// The Qt event type that wakes the main thread for a hand-over.
int DeliveryEventType();
// Qt passes a posted event to the main thread under a lock of its own, which ThreadSanitizer
// cannot see in a Qt not built with it. The event thread publishes each wake-up event before
// it posts it (a release), and the port takes what was published (an acquire) before it
// looks at an event, so the checker sees the event handed over as it is.
void PublishDeliveryEvent();
void TakeDeliveryEvents();
