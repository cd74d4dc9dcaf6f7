#pragma once

// The state of an open device on Linux, shared by the device and its waiter.

#include "../SerialDevice.h"
#include "SystemCalls.h"

#include <atomic>
#include <deque>
#include <mutex>

struct SerialDevice::Impl {
    explicit Impl(SystemCalls& calls) : sys(calls) {}

    SystemCalls& sys;
    int fd = -1;
    // The epoll set of the waiter that watches this device (-1: none). close() takes the
    // descriptor out of it before closing it; see SerialDevice::close.
    int waitSet = -1;
    // The waiter saw the device hang up (EPOLLHUP/EPOLLERR); cleared by the next open.
    std::atomic<bool> hungUp{false};
    std::atomic<uint32_t> eventMask{0};
    // Wakes the waiter when a write has drained (evTxEmpty).
    int txEmptySignal = -1;
    std::atomic<bool> txEmpty{false};

    std::mutex m; // guards everything below
    std::deque<char> queue;
    size_t capacity = 1024;
    LineSettings settings;
    TCommTimeouts timeouts;
    bool haveCounts = false;
    LineCounters counts;
    TComErrors pendingErrors;
    // Modem-line changes seen by counters or by comparing line states, not yet reported.
    TComEvents lineEvents;
    int lastLines = -1;        // for drivers without counters; -1 before the first look
    bool linesVisible = false; // the driver has modem lines (not pseudo-terminals)
    // Where the decoding of the kernel's error marks (PARMRK: 0xFF 0x00 byte, 0xFF 0xFF for
    // a real 0xFF) stands between two reads: 0 none, 1 after 0xFF, 2 after 0xFF 0x00.
    int markState = 0;

    // Moves what the descriptor holds into the queue, up to its capacity.
    int drain();
    // Queues one received byte, decoding error marks and dropping NUL bytes as asked.
    void receive(char c);
    // Takes up to count bytes from the queue.
    int take(char* out, int count);
    // Adds the line errors the driver counted since the last look to pendingErrors (and the
    // modem-line changes to lineEvents); returns the errors new in this look. A failure other
    // than missing counters goes to *error.
    TComErrors collectErrors(int* error = nullptr);
    // Compares the modem lines with the last look, for drivers without counters.
    void compareLines();
    // Raises or lowers a modem line; a device without modem lines is no error.
    int setModemLine(int line, bool on);
};
