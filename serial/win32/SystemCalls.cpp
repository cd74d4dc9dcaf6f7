// The Win32 calls of SystemCalls.h, as the running system gives them.

#include "SystemCalls.h"

#include <cstddef>
#include <cstring>

#include <windows.h>

static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(CommStatus) == sizeof(COMSTAT));
static_assert(sizeof(TDCB) == sizeof(DCB));
static_assert(offsetof(TDCB, XonLim) == offsetof(DCB, XonLim));
static_assert(offsetof(TDCB, EvtChar) == offsetof(DCB, EvtChar));
static_assert(sizeof(TCommTimeouts) == sizeof(COMMTIMEOUTS));
static_assert(kSetRts == SETRTS && kClearRts == CLRRTS && kSetDtr == SETDTR && kClearDtr == CLRDTR);
static_assert(kCtsOn == MS_CTS_ON && kDsrOn == MS_DSR_ON && kRingOn == MS_RING_ON && kRlsdOn == MS_RLSD_ON);
static_assert(uint8_t(PurgeFlags::AbortOutput) == PURGE_TXABORT &&
              uint8_t(PurgeFlags::AbortInput) == PURGE_RXABORT &&
              uint8_t(PurgeFlags::ClearOutput) == PURGE_TXCLEAR &&
              uint8_t(PurgeFlags::ClearInput) == PURGE_RXCLEAR);
static_assert(kErrorIoPending == ERROR_IO_PENDING && kErrorIoIncomplete == ERROR_IO_INCOMPLETE &&
              kErrorOperationAborted == ERROR_OPERATION_ABORTED && kErrorBusy == ERROR_BUSY);

namespace {

int result(BOOL ok) { return ok ? 0 : int(GetLastError()); }

OVERLAPPED* os(Overlapped& op) { return reinterpret_cast<OVERLAPPED*>(&op); }

class RealCalls : public SystemCalls {
public:
    int createFile(const std::string& path, Handle& handle) override
    {
        handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        return handle == INVALID_HANDLE_VALUE ? int(GetLastError()) : 0;
    }
    int closeHandle(Handle handle) override { return result(CloseHandle(handle)); }
    int getCommState(Handle handle, TDCB& dcb) override
    {
        dcb.DCBlength = sizeof(DCB);
        return result(GetCommState(handle, reinterpret_cast<DCB*>(&dcb)));
    }
    int setCommState(Handle handle, const TDCB& dcb) override
    {
        DCB copy;
        static_assert(sizeof copy == sizeof dcb);
        memcpy(&copy, &dcb, sizeof copy);
        return result(SetCommState(handle, &copy));
    }
    int setupComm(Handle handle, uint32_t inputSize, uint32_t outputSize) override
    {
        return result(SetupComm(handle, inputSize, outputSize));
    }
    int setCommTimeouts(Handle handle, const TCommTimeouts& t) override
    {
        COMMTIMEOUTS c{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                       t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
        return result(SetCommTimeouts(handle, &c));
    }
    int setCommMask(Handle handle, uint32_t mask) override { return result(SetCommMask(handle, mask)); }
    int escapeCommFunction(Handle handle, uint32_t function) override
    {
        return result(EscapeCommFunction(handle, function));
    }
    int waitCommEvent(Handle handle, uint32_t& mask, Overlapped& op) override
    {
        static_assert(sizeof(DWORD) == sizeof(uint32_t));
        return result(WaitCommEvent(handle, reinterpret_cast<DWORD*>(&mask), os(op)));
    }
    int readFile(Handle handle, char* buffer, uint32_t count, Overlapped& op) override
    {
        return result(ReadFile(handle, buffer, count, nullptr, os(op)));
    }
    int writeFile(Handle handle, const char* buffer, uint32_t count, Overlapped& op) override
    {
        return result(WriteFile(handle, buffer, count, nullptr, os(op)));
    }
    int getOverlappedResult(Handle handle, Overlapped& op, uint32_t& bytes, bool wait) override
    {
        DWORD n = 0;
        const int e = result(GetOverlappedResult(handle, os(op), &n, wait));
        bytes = n;
        return e;
    }
    int cancelIo(Handle handle, Overlapped* op) override
    {
        return result(CancelIoEx(handle, op ? os(*op) : nullptr));
    }
    int clearCommError(Handle handle, uint32_t& errors, CommStatus& status) override
    {
        DWORD e = 0;
        const int r = result(ClearCommError(handle, &e, reinterpret_cast<COMSTAT*>(&status)));
        errors = e;
        return r;
    }
    int getCommModemStatus(Handle handle, uint32_t& lines) override
    {
        DWORD l = 0;
        const int r = result(GetCommModemStatus(handle, &l));
        lines = l;
        return r;
    }
    int purgeComm(Handle handle, uint32_t flags) override { return result(PurgeComm(handle, flags)); }
    int createEvent(bool manualReset, bool signalled, Handle& event) override
    {
        event = CreateEventA(nullptr, manualReset, signalled, nullptr);
        return event ? 0 : int(GetLastError());
    }
    int setEvent(Handle event) override { return result(SetEvent(event)); }
    int resetEvent(Handle event) override { return result(ResetEvent(event)); }
    int waitForMultiple(const Handle* handles, int count, uint32_t timeoutMs, int& index) override
    {
        const DWORD r = WaitForMultipleObjects(DWORD(count), handles, FALSE, timeoutMs);
        index = -1;
        if (r == WAIT_TIMEOUT)
            return 0;
        if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + DWORD(count)) {
            index = int(r - WAIT_OBJECT_0);
            return 0;
        }
        return r == WAIT_FAILED ? int(GetLastError()) : kErrorInvalidParameter;
    }
    uint64_t tickMs() override { return GetTickCount64(); }
};

} // namespace

SystemCalls& SystemCalls::real()
{
    static RealCalls calls;
    return calls;
}
