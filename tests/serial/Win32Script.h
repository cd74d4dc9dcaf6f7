#pragma once

// A COM port driver answering the Windows layer from a script, on any system: what the line
// has delivered, which call fails with which error number, and a record of every call.
// Nothing waits: a wait reports what is signalled now, and a wait that would block for good
// is recorded and ends as if its time had run out.

#include "win32/SystemCalls.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct Win32Script : SystemCalls {
    std::vector<std::string> calls;
    std::map<std::string, int> failing; // call name -> error number
    std::string driver;                 // bytes the driver holds
    std::string written;
    uint32_t writeTakes = 0xFFFFFFFFu; // bytes a write takes before its timeout
    uint32_t modemLines = 0;
    uint32_t lineErrors = 0;
    uint64_t clock = 1000;
    std::vector<std::vector<Handle>> waits; // the handles of each wait
    int blockedForever = 0;
    TDCB dcb;
    TCommTimeouts timeouts;
    uint32_t commMask = 0;
    bool cancelEndsNothing = false; // a faulty driver: cancelled operations go on

    // An overlapped operation that has not ended yet.
    struct Op {
        Overlapped* op;
        char* buffer;
        uint32_t* mask;
        bool done = false;
        int error = 0;
        uint32_t bytes = 0;
    };
    std::vector<Op> ops;
    std::map<Handle, bool> events;
    intptr_t nextHandle = 0x100;

    Handle device() const { return reinterpret_cast<Handle>(intptr_t(0x42)); }

    int fails(const char* name)
    {
        const auto it = failing.find(name);
        return it == failing.end() ? 0 : it->second;
    }
    void log(const std::string& s) { calls.push_back(s); }
    // A format takes at least one argument: a plain name goes to the overload above, so no
    // text is ever used as a format without its arguments (-Wformat-security).
    template <typename A, typename... T>
    void log(const char* format, A first, T... args)
    {
        char text[128];
        std::snprintf(text, sizeof text, format, first, args...);
        calls.emplace_back(text);
    }
    Op* find(Overlapped& o)
    {
        for (Op& op : ops)
            if (op.op == &o)
                return &op;
        return nullptr;
    }
    void finish(Op& op, int error, uint32_t bytes)
    {
        op.done = true;
        op.error = error;
        op.bytes = bytes;
        events[op.op->hEvent] = true;
    }
    // A record begins a new operation: what it held before is forgotten.
    Op& begin(Overlapped& o, char* buffer, uint32_t* mask)
    {
        if (Op* old = find(o))
            ops.erase(ops.begin() + (old - ops.data()));
        events[o.hEvent] = false;
        return ops.emplace_back(Op{&o, buffer, mask});
    }
    Op* pendingRead()
    {
        for (Op& op : ops)
            if (op.buffer && !op.done)
                return &op;
        return nullptr;
    }

    // Bytes come down the line: a read that waits takes the first.
    void arrive(const std::string& bytes)
    {
        driver += bytes;
        if (Op* op = pendingRead(); op && !driver.empty()) {
            op->buffer[0] = driver[0];
            driver.erase(0, 1);
            finish(*op, 0, 1);
        }
    }
    // WaitCommEvent ends with `mask`.
    void lineEvent(uint32_t mask)
    {
        for (Op& op : ops)
            if (op.mask && !op.done) {
                *op.mask = mask;
                finish(op, 0, 0);
            }
    }
    // The pending read ends with an error.
    void readFails(int error)
    {
        if (Op* op = pendingRead())
            finish(*op, error, 0);
    }

    int createFile(const std::string& path, Handle& handle) override
    {
        log("CreateFile " + path);
        handle = device();
        if (int e = fails("CreateFile"))
            return handle = invalidHandle(), e;
        return 0;
    }
    int closeHandle(Handle handle) override
    {
        if (handle == device())
            log("CloseHandle");
        return handle == device() ? fails("CloseHandle") : 0;
    }
    int getCommState(Handle, TDCB&) override { return log("GetCommState"), fails("GetCommState"); }
    int setCommState(Handle, const TDCB& d) override
    {
        log("SetCommState");
        dcb = d;
        return fails("SetCommState");
    }
    int setupComm(Handle, uint32_t in, uint32_t out) override
    {
        log("SetupComm %u %u", in, out);
        return fails("SetupComm");
    }
    int setCommTimeouts(Handle, const TCommTimeouts& t) override
    {
        log("SetCommTimeouts %u %u %u %u %u", t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
            t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant);
        timeouts = t;
        return fails("SetCommTimeouts");
    }
    int setCommMask(Handle, uint32_t mask) override
    {
        log("SetCommMask 0x%04X", mask);
        commMask = mask;
        return fails("SetCommMask");
    }
    int escapeCommFunction(Handle, uint32_t function) override
    {
        log("EscapeCommFunction %u", function);
        return fails("EscapeCommFunction");
    }
    int waitCommEvent(Handle, uint32_t& mask, Overlapped& o) override
    {
        log("WaitCommEvent");
        if (int e = fails("WaitCommEvent"))
            return e;
        begin(o, nullptr, &mask);
        return kErrorIoPending;
    }
    int readFile(Handle, char* buffer, uint32_t count, Overlapped& o) override
    {
        log("ReadFile %u", count);
        if (int e = fails("ReadFile"))
            return e;
        Op& op = begin(o, buffer, nullptr);
        const uint32_t n = uint32_t(std::min<size_t>(count, driver.size()));
        if (n > 0) {
            driver.copy(buffer, n);
            driver.erase(0, n);
            finish(op, 0, n);
        }
        return kErrorIoPending;
    }
    int writeFile(Handle, const char* buffer, uint32_t count, Overlapped& o) override
    {
        log("WriteFile %u", count);
        if (int e = fails("WriteFile"))
            return e;
        const uint32_t n = std::min(count, writeTakes);
        written.append(buffer, n);
        finish(begin(o, nullptr, nullptr), 0, n);
        return kErrorIoPending;
    }
    int getOverlappedResult(Handle, Overlapped& o, uint32_t& bytes, bool wait) override
    {
        bytes = 0;
        Op* op = find(o);
        if (!op)
            return kErrorInvalidParameter;
        if (!op->done) {
            if (!wait)
                return kErrorIoIncomplete;
            ++blockedForever;
            return kErrorInvalidParameter;
        }
        bytes = op->bytes;
        const int e = op->error;
        ops.erase(ops.begin() + (op - ops.data()));
        if (e == 0)
            if (int f = fails("GetOverlappedResult"))
                return f;
        return e;
    }
    int cancelIo(Handle, Overlapped* o) override
    {
        log(o ? "CancelIoEx one" : "CancelIoEx all");
        if (cancelEndsNothing)
            return 0;
        for (Op& op : ops)
            if (!op.done && (!o || op.op == o))
                finish(op, kErrorOperationAborted, 0);
        return 0;
    }
    int clearCommError(Handle, uint32_t& errors, CommStatus& st) override
    {
        log("ClearCommError");
        if (int e = fails("ClearCommError"))
            return e;
        errors = lineErrors;
        lineErrors = 0;
        st.inQueue = uint32_t(driver.size());
        return 0;
    }
    int getCommModemStatus(Handle, uint32_t& lines) override
    {
        lines = modemLines;
        return fails("GetCommModemStatus");
    }
    int purgeComm(Handle, uint32_t flags) override
    {
        log("PurgeComm %u", flags);
        return fails("PurgeComm");
    }
    int createEvent(bool, bool signalled, Handle& event) override
    {
        event = reinterpret_cast<Handle>(nextHandle++);
        events[event] = signalled;
        return 0;
    }
    int setEvent(Handle event) override { return events[event] = true, 0; }
    int resetEvent(Handle event) override { return events[event] = false, 0; }
    int waitForMultiple(const Handle* handles, int count, uint32_t timeoutMs, int& index) override
    {
        waits.emplace_back(handles, handles + count);
        for (index = 0; index < count; ++index)
            if (events[handles[index]])
                return 0;
        index = -1;
        if (timeoutMs == kInfinite)
            ++blockedForever;
        else
            clock += timeoutMs;
        return 0;
    }
    uint64_t tickMs() override { return clock; }
};
