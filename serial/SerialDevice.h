#pragma once

// The operating system beneath TComPort: one open serial device, described in the
// component's own terms (LineSettings, TComEvents, TComErrors, TModemSignals, PurgeFlags).
// Each call returns 0 on success or the platform's error number. The build picks the
// implementation: serial/posix/ on Linux, serial/win32/ on Windows.

#include "ComTypes.h"

#include <cstdint>
#include <memory>
#include <string>

// The platform calls beneath a device (serial/posix/SystemCalls.h); tests give their own.
class SystemCalls;

class SerialDevice {
public:
    // calls: the platform calls to use; null for the real ones.
    explicit SerialDevice(SystemCalls* calls = nullptr);
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // The device path of a port name.
    static std::string pathOf(const std::string& port);
    // True for the error numbers that mean the device has gone away.
    static bool isGone(int error);

    // Opens the device for exclusive use, and sets its DTR and RTS lines as `lines` asks
    // first thing, so that a line the system raises at opening is up as briefly as it can be.
    int open(const std::string& path, const LineSettings& lines = {});
    bool isOpen() const;
    int close();

    int setQueueSizes(int inputSize, int outputSize);
    int setLineSettings(const LineSettings& settings);
    int setTimeouts(const TCommTimeouts& timeouts);
    // Which events the waiter reports.
    void setEventMask(TComEvents events);
    TComEvents eventMask() const;

    // Bytes waiting in the input queue (moves what the device holds into it first). Like
    // reading the line status on Windows, this also clears the recorded line errors.
    int inputCount(int& count);
    // True when the driver still holds bytes that the input queue, now with room again, has
    // not taken: no new wake-up will announce them.
    bool inputWaiting();
    // Reads up to count bytes under the timeouts; got = bytes read.
    int read(char* buffer, int count, int& got);
    // Writes under the write timeout and waits for the bytes to leave; written = bytes the
    // device took.
    int write(const char* buffer, int count, int& written);
    // Aborting drops output not yet sent (there are no pending reads to abort); clearing
    // input also empties the input queue.
    int purge(PurgeFlags what);
    // Line errors since the last call; the record of them is cleared.
    int takeLineErrors(TComErrors& errors);
    // The input lines; lines the device does not have read as off.
    int modemStatus(TModemSignals& lines);

    struct Impl;

private:
    friend class DeviceWaiter;
    std::unique_ptr<Impl> d_;
};

// Waits for line events on an open device, or for the stop signal. One waiter serves every
// opening of its device; watch() points it at the one open now.
class DeviceWaiter {
public:
    explicit DeviceWaiter(SerialDevice& device);
    ~DeviceWaiter();
    DeviceWaiter(const DeviceWaiter&) = delete;
    DeviceWaiter& operator=(const DeviceWaiter&) = delete;

    // Watches the device as it is open now, and clears the stop signal. Called between
    // waits, or during a wait whose gate has let the device go.
    void watch();

    // Told by wait() around its blocking call, so that another thread may take the device
    // over while the wait blocks (see TComThread).
    class Gate {
    public:
        virtual ~Gate() = default;
        // Everything the wait depends on has been read. `noTimeout`: the wait blocks until
        // something happens.
        virtual void enter(bool noTimeout) = 0;
        // The wait woke; false when the device was taken over meanwhile.
        virtual bool leave() = 0;
    };

    enum Result { Events, Stopped, Failed, TakenOver };
    // Blocks until something happens. Events: `events` holds what happened, within the
    // device's event mask (may be empty). A device that has hung up is no longer watched:
    // later waits end only on the stop signal; the POSIX layer reports the hang-up itself as
    // evRLSD, the carrier lost, and its lines read off from then on. With inputWaiting the
    // wait does not block: received characters are reported at once unless the stop signal
    // is set. TakenOver: the gate's leave() said so; nothing that woke the wait has been
    // looked at or taken.
    Result wait(TComEvents& events, bool inputWaiting = false, Gate* gate = nullptr);
    // Whether a wait begun now would look at the lines at intervals rather than block until
    // something happens.
    bool polls() const;
    // Signals stop; stays signalled. Any thread.
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};
