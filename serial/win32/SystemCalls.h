#pragma once

// The Win32 calls beneath SerialDevice, behind one seam so that tests can script the device
// and record what the layer asks of it, on any system. Free of <windows.h>: the records
// passed here keep the layouts of the Windows ones (checked where the real calls live).
// Each call returns 0 or the error number that GetLastError gives.

#include "../ComTypes.h"

#include <cstdint>
#include <string>

using Handle = void*;
// INVALID_HANDLE_VALUE.
inline Handle invalidHandle() { return reinterpret_cast<Handle>(intptr_t(-1)); }

// The Windows error numbers the layer acts on.
enum WinError : int {
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorAccessDenied = 5,
    kErrorBadCommand = 22,
    kErrorGenFailure = 31,
    kErrorNotSupported = 50,
    kErrorInvalidParameter = 87,
    kErrorBusy = 170,
    kErrorOperationAborted = 995,
    kErrorIoIncomplete = 996,
    kErrorIoPending = 997,
    kErrorDeviceNotConnected = 1167,
    kErrorDeviceRemoved = 1617
};

// OVERLAPPED: the completion record of one background operation.
struct Overlapped {
    uintptr_t Internal = 0;
    uintptr_t InternalHigh = 0;
    uint32_t Offset = 0;
    uint32_t OffsetHigh = 0;
    Handle hEvent = nullptr;
};

// COMSTAT: the line's state; the flag bits are not used.
struct CommStatus {
    uint32_t flags = 0;
    uint32_t inQueue = 0;
    uint32_t outQueue = 0;
};

// EscapeCommFunction's functions, GetCommModemStatus's bits, PurgeComm's flags.
enum : uint32_t { kSetRts = 3, kClearRts = 4, kSetDtr = 5, kClearDtr = 6 };
enum : uint32_t { kCtsOn = 0x10, kDsrOn = 0x20, kRingOn = 0x40, kRlsdOn = 0x80 };
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class SystemCalls {
public:
    virtual ~SystemCalls() = default;
    // The calls of the running system.
    static SystemCalls& real();

    // CreateFileA: read and write, no sharing, an existing device, overlapped.
    virtual int createFile(const std::string& path, Handle& handle) = 0;
    virtual int closeHandle(Handle handle) = 0;
    virtual int getCommState(Handle handle, TDCB& dcb) = 0;
    virtual int setCommState(Handle handle, const TDCB& dcb) = 0;
    virtual int setupComm(Handle handle, uint32_t inputSize, uint32_t outputSize) = 0;
    virtual int setCommTimeouts(Handle handle, const TCommTimeouts& timeouts) = 0;
    virtual int setCommMask(Handle handle, uint32_t mask) = 0;
    virtual int escapeCommFunction(Handle handle, uint32_t function) = 0;
    // The overlapped operations: 0 when done at once, kErrorIoPending when it goes on (its
    // event is signalled at the end); `mask` and `buffer` must stay until then.
    virtual int waitCommEvent(Handle handle, uint32_t& mask, Overlapped& op) = 0;
    virtual int readFile(Handle handle, char* buffer, uint32_t count, Overlapped& op) = 0;
    virtual int writeFile(Handle handle, const char* buffer, uint32_t count, Overlapped& op) = 0;
    // kErrorIoIncomplete when not waiting and the operation goes on.
    virtual int getOverlappedResult(Handle handle, Overlapped& op, uint32_t& bytes, bool wait) = 0;
    // CancelIoEx: the one operation, or (null) every one of the handle, whichever thread began it.
    virtual int cancelIo(Handle handle, Overlapped* op) = 0;
    virtual int clearCommError(Handle handle, uint32_t& errors, CommStatus& status) = 0;
    virtual int getCommModemStatus(Handle handle, uint32_t& lines) = 0;
    virtual int purgeComm(Handle handle, uint32_t flags) = 0;
    virtual int createEvent(bool manualReset, bool signalled, Handle& event) = 0;
    virtual int setEvent(Handle event) = 0;
    virtual int resetEvent(Handle event) = 0;
    // WaitForMultipleObjects, any one: index of the signalled handle, -1 when timeoutMs
    // (kInfinite: none) ran out.
    virtual int waitForMultiple(const Handle* handles, int count, uint32_t timeoutMs, int& index) = 0;
    // GetTickCount64.
    virtual uint64_t tickMs() = 0;
};

// How the layer treats an error number.
enum class WinErrorKind {
    Gone,        // the device has gone away (adapter unplugged)
    Unsupported, // the driver lacks the feature (no modem lines)
    Other
};
WinErrorKind classifyWinError(int error);
