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
    std::atomic<uint32_t> eventMask{0};

    std::mutex m; // guards everything below
    std::deque<char> queue;
    size_t capacity = 1024;
    LineSettings settings;
    TCommTimeouts timeouts;
    bool haveCounts = false;
    LineCounters counts;
    TComErrors pendingErrors;

    // Moves what the descriptor holds into the queue, up to its capacity.
    int drain();
    // Takes up to count bytes from the queue.
    int take(char* out, int count);
    // Adds the line errors the driver counted since the last look to pendingErrors.
    int collectErrors();
    // Raises or lowers a modem line; a device without modem lines is no error.
    int setModemLine(int line, bool on);
};
