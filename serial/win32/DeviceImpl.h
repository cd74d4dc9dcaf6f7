#pragma once

// The state of an open device on Windows, shared by the device and its waiter.
//
// Reception: the driver's bytes reach the port through an input queue of our own, as on
// Linux. The one thing that waits for bytes is the wake-up read, an overlapped read of one
// byte that ends when a byte arrives: the event thread keeps it going (a received-character
// event that also works where WaitCommEvent reports nothing, as under wine), and a read that
// must wait for input waits for it too. Whoever finds it ended puts its byte into the queue
// first; the driver's other bytes are read only then, and only as many as it holds, so every
// read on the handle returns at once and the bytes stay in their order.

#include "../SerialDevice.h"
#include "SystemCalls.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

struct SerialDevice::Impl {
    explicit Impl(SystemCalls& calls) : sys(calls) {}

    SystemCalls& sys;
    Handle handle = invalidHandle();
    std::atomic<uint32_t> eventMask{0};
    Handle ioEvent = nullptr; // the main thread's reads and writes

    // An overlapped operation that outlives the call that began it.
    struct Background {
        Overlapped op;
        bool pending = false;
    };

    std::mutex m; // guards everything below
    std::deque<char> queue;
    size_t capacity = 1024;
    LineSettings settings;
    TCommTimeouts timeouts;
    uint32_t errorFlags = 0; // line errors seen by a status read, not yet taken
    // What the system writes into while an operation goes on. A close that cannot see the
    // operations end within a second (a faulty driver after an unplug) leaves the records to
    // the system for the rest of the run and takes new ones (SerialDevice::close).
    struct Records {
        Background wake;
        char wakeByte = 0;
        Background lineWait; // WaitCommEvent, for the line events
        uint32_t lineMask = 0;
    };
    // How long a close waits for cancelled operations to end.
    static constexpr uint64_t kCloseWaitMs = 1000;
    std::unique_ptr<Records> io = std::make_unique<Records>();
    // New records with their own events, in place of ones left to the system.
    void renewRecords();

    // ClearCommError; the line errors it clears are kept in errorFlags.
    int status(CommStatus& st);
    // Begins the wake-up read unless it is going or the queue is full.
    int armWake();
    // Takes the wake-up read's result if it has ended: true, error in *error (0 for a byte
    // or an abort). False while it goes on.
    bool takeWake(int* error);
    // Moves what the driver holds into the queue, up to its capacity, without waiting.
    int drain();
    void receive(char c);
    int take(char* out, int count);
    // One read on the handle of at most what the driver holds, waited for.
    int readNow(char* buffer, uint32_t count, uint32_t& got);
};
