#pragma once

// The operating system beneath TComPort: one open serial device. Each call returns 0 on
// success or the platform's error number. The implementation is chosen by the build
// (serial/posix/ on Linux).

#include "ComTypes.h"

#include <cstdint>
#include <memory>
#include <string>

class SerialDevice {
public:
    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // The device path of a port name.
    static std::string PathOf(const std::string& port);
    // True for the error numbers that mean the device has gone away.
    static bool IsGone(int error);

    // Opens the device for exclusive use.
    int Open(const std::string& path);
    bool IsOpen() const;
    int Close();

    int SetQueueSizes(int inputSize, int outputSize);
    int SetLineSettings(const TDCB& dcb);
    int SetTimeouts(const TCommTimeouts& t);
    // Which EV_* bits the waiter reports.
    void SetEventMask(uint32_t mask);
    uint32_t EventMask() const;

    // Bytes waiting in the input queue (moves what the device holds into it first).
    int InputCount(int& count);
    // True when the driver still holds bytes that the input queue, now with room again, has
    // not taken: no new wake-up will announce them.
    bool InputWaiting();
    // Reads up to count bytes under the timeouts; got = bytes read.
    int Read(char* buffer, int count, int& got);
    // Writes under the write timeout; written = bytes the device took.
    int Write(const char* buffer, int count, int& written);
    // PURGE_* actions: aborting drops output not yet sent (there are no pending reads to
    // abort); clearing input also empties our input queue.
    int Purge(uint32_t actions);
    // Line-error flags (LE_*) since the last call; the device's record of them is cleared.
    int TakeLineErrors(uint32_t& flags);
    // Modem status bits (MS_*); lines the device does not have are reported off.
    int ModemStatus(uint32_t& status);

    struct Impl;

private:
    friend class DeviceWaiter;
    std::unique_ptr<Impl> d;
};

// Waits for line events on an open device, or for the stop signal.
class DeviceWaiter {
public:
    explicit DeviceWaiter(SerialDevice& device);
    ~DeviceWaiter();
    DeviceWaiter(const DeviceWaiter&) = delete;
    DeviceWaiter& operator=(const DeviceWaiter&) = delete;

    enum Result { Events, Stopped, Failed };
    // Blocks until something happens. Events: `events` holds the EV_* bits (within the
    // device's event mask; may be 0). A device that has hung up is no longer watched: later
    // waits end only on the stop signal. With inputWaiting the wait does not block: received
    // characters are reported at once unless the stop signal is set.
    Result Wait(uint32_t& events, bool inputWaiting = false);
    // Signals stop; stays signalled. Any thread.
    void Stop();
    bool Watching() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
