#include "SerialPort.h"

#include "ComThread.h"
#include "SerialDevice.h"

#include <QCoreApplication>
#include <QEvent>
#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace {

std::function<void(const std::exception&)>& applicationErrorHandler()
{
    static std::function<void(const std::exception&)> handler;
    return handler;
}

void reportUnhandled(const std::exception& e)
{
    if (applicationErrorHandler())
        applicationErrorHandler()(e);
    else
        qWarning("%s", e.what());
}

// The cancel flag of the delivery running on this thread, if any.
thread_local const std::atomic<bool>* tCancel = nullptr;

bool deliveryCancelled() { return tCancel && tCancel->load(); }

// Setter helper: stores the value and reports whether it changed.
template <typename T>
bool store(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

// --- value objects -------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent& source) { AssignError(source); }

void TPersistent::AssignError(const TPersistent& source) const
{
    throw std::invalid_argument(std::string("Cannot assign a ") + source.ClassName() + " to a " +
                                ClassName());
}

void ApplyChange(TCustomComPort* port, ApplyStep step)
{
    switch (step) {
    case ApplyStep::LineSettings:
        port->ApplyLineSettings();
        break;
    case ApplyStep::QueueSizes:
        port->ApplyQueueSizes();
        break;
    case ApplyStep::Timeouts:
        port->ApplyTimeoutSettings();
        break;
    }
}

TFlowControl TComFlowControl::FlowControl() const
{
    const ComFlowValues& v = values_;
    if (v.controlRTS == rtsHandshake && v.outCTSFlow && !v.xonXoffIn && !v.xonXoffOut)
        return fcHardware;
    if (v.controlRTS == rtsDisable && !v.outCTSFlow && v.xonXoffIn && v.xonXoffOut)
        return fcSoftware;
    if (v.controlRTS == rtsDisable && !v.outCTSFlow && !v.xonXoffIn && !v.xonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl v)
{
    if (v != fcCustom) {
        values_.controlRTS = v == fcHardware ? rtsHandshake : rtsDisable;
        values_.outCTSFlow = v == fcHardware;
        values_.xonXoffIn = v == fcSoftware;
        values_.xonXoffOut = v == fcSoftware;
    }
    Changed();
}

TCommTimeouts TComTimeouts::Platform() const
{
    // -1 is the platform's all-ones value; the casts keep every bit.
    const ComTimeoutValues& v = values_;
    return {static_cast<uint32_t>(v.readInterval), static_cast<uint32_t>(v.readTotalMultiplier),
            static_cast<uint32_t>(v.readTotalConstant), static_cast<uint32_t>(v.writeTotalMultiplier),
            static_cast<uint32_t>(v.writeTotalConstant)};
}

// --- the port ------------------------------------------------------------------------------

TCustomComPort::TCustomComPort(QObject* owner)
    : QObject(owner), device_(std::make_unique<SerialDevice>()), parity_(std::make_unique<TComParity>(this)),
      buffer_(std::make_unique<TComBuffer>(this)), flowControl_(std::make_unique<TComFlowControl>(this)),
      timeouts_(std::make_unique<TComTimeouts>(this))
{
}

TCustomComPort::~TCustomComPort()
{
    try {
        ClosePort();
    } catch (const std::exception& e) {
        // The port is going away whatever the device says: end the thread, drop the device.
        reportUnhandled(e);
        if (handOver_)
            stopEventThread();
        device_->close();
        connected_ = false;
    }
}

void TCustomComPort::SetApplicationErrorHandler(std::function<void(const std::exception&)> handler)
{
    applicationErrorHandler() = std::move(handler);
}

void TCustomComPort::SetConnected(bool v)
{
    if (loading_) {
        streamedConnected_ = v;
        return;
    }
    if (v == connected_)
        return;
    if (v)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::EndLoading()
{
    loading_ = false;
    if (streamedConnected_) {
        streamedConnected_ = false;
        try {
            OpenPort();
        } catch (const std::exception& e) {
            reportUnhandled(e);
        }
    }
}

void TCustomComPort::SetBaudRate(TBaudRate v)
{
    if (store(baudRate_, v))
        ApplyLineSettings();
}
void TCustomComPort::SetStopBits(TStopBits v)
{
    if (store(stopBits_, v))
        ApplyLineSettings();
}
void TCustomComPort::SetDataBits(TDataBits v)
{
    if (store(dataBits_, v))
        ApplyLineSettings();
}
void TCustomComPort::SetDiscardNull(bool v)
{
    if (store(discardNull_, v))
        ApplyLineSettings();
}
void TCustomComPort::SetEventChar(char v)
{
    if (store(eventChar_, v))
        ApplyLineSettings();
}
void TCustomComPort::SetCustomBaudRate(int v)
{
    if (store(customBaudRate_, v))
        ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& v)
{
    if (v == port_)
        return;
    if (connected_ && !loading_) {
        ClosePort();
        port_ = v;
        OpenPort();
    } else {
        port_ = v;
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod v)
{
    if (v == syncMethod_)
        return;
    if (connected_) {
        ReportPortError(CE_ConnChangeProp, 0);
        return;
    }
    syncMethod_ = v;
}

LineSettings TCustomComPort::DeviceLineSettings() const
{
    LineSettings s;
    s.baudRate = static_cast<uint32_t>(BaudRateValue(baudRate_, customBaudRate_));
    s.dataBits = dataBits_;
    s.parity = parity_->Bits();
    s.stopBits = stopBits_;
    s.parityCheck = parity_->Check();
    s.parityReplace = parity_->Replace();
    s.replaceChar = parity_->ReplaceChar();
    s.discardNull = discardNull_;
    s.eventChar = eventChar_;
    const TComFlowControl& f = *flowControl_;
    s.outCtsFlow = f.OutCTSFlow();
    s.outDsrFlow = f.OutDSRFlow();
    s.dtr = f.ControlDTR();
    s.rts = f.ControlRTS();
    s.dsrSensitivity = f.DSRSensitivity();
    s.txContinueOnXoff = f.TxContinueOnXoff();
    s.xonXoffOut = f.XonXoffOut();
    s.xonXoffIn = f.XonXoffIn();
    s.xonChar = f.XonChar();
    s.xoffChar = f.XoffChar();
    s.xonLimit = s.xoffLimit = static_cast<uint16_t>(buffer_->InputSize() / 4);
    return s;
}

// --- open and close ------------------------------------------------------------------------

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    DoBeforeOpen();
    OpenDevice();
    connected_ = true;
    try {
        ConfigurePort();
    } catch (...) {
        CloseDevice();
        connected_ = false;
        throw;
    }
    if (!events_.empty()) {
        // The thread outlives the opening: created at the first, it sleeps between them.
        if (!eventThread_)
            eventThread_ = std::make_unique<TComThread>(this);
        handOver_ = eventThread_->Start();
    }
    DoAfterOpen();
    TModemSignals s = ModemSignals();
    DoCTSChange(s.CTS);
    s = ModemSignals();
    DoDSRChange(s.DSR);
    s = ModemSignals();
    DoRLSDChange(s.RLSD);
}

void TCustomComPort::ClosePort()
{
    if (!connected_)
        return;
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    if (int e = device_->purge(PurgeFlags::AbortOutput | PurgeFlags::AbortInput)) {
        // A device that has gone away cannot be purged; closing it must still complete, or
        // the port could never be opened again when the device comes back.
        if (!SerialDevice::isGone(e))
            ReportPortError(CE_PurgeFailed, e);
    }
    if (handOver_)
        stopEventThread();
    CloseDevice();
    connected_ = false;
    DoAfterClose();
}

void TCustomComPort::stopEventThread()
{
    std::shared_ptr<DeliveryHandOver> h = handOver_;
    if (eventThread_->TakeOver(*h)) {
        // The thread was waiting, with nothing of this session pending: the session ends
        // here as the thread would end it, and the thread is not woken.
        TComThread::ClearSession(*device_);
        std::lock_guard lock(h->m);
        h->sessionEnded = true;
    } else {
        endSessionOnItsThread(h);
    }
    // Whatever of this port is still running further up the stack stops after its handler.
    for (auto& r : running_)
        *r.second = true;
    handOver_.reset();
}

void TCustomComPort::endSessionOnItsThread(const std::shared_ptr<DeliveryHandOver>& h)
{
    eventThread_->Stop();
    std::unique_lock lock(h->m);
    for (;;) {
        if (h->sessionEnded)
            break;
        bool insideOurDelivery = false;
        for (auto& r : running_)
            insideOurDelivery |= r.first == h.get();
        if (insideOurDelivery && !h->abandon) {
            // Closed from inside one of this thread's deliveries: that delivery cannot end
            // before we return, so release the thread from waiting for it.
            h->abandon = true;
            lock.unlock();
            h->cv.notify_all();
            lock.lock();
            continue;
        }
        if (!h->queue.empty()) {
            lock.unlock();
            runHandedOver(h);
            lock.lock();
            continue;
        }
        h->cv.wait(lock);
    }
}

bool TCustomComPort::event(QEvent* e)
{
    TakeDeliveryEvents();
    if (e->type() == QEvent::Type(DeliveryEventType())) {
        if (handOver_)
            runHandedOver(handOver_);
        return true;
    }
    return QObject::event(e);
}

void TCustomComPort::runHandedOver(std::shared_ptr<DeliveryHandOver> h)
{
    for (;;) {
        std::shared_ptr<Delivery> d;
        {
            std::lock_guard lock(h->m);
            if (h->queue.empty())
                return;
            d = h->queue.front();
            h->queue.pop_front();
        }
        running_.emplace_back(h.get(), d->cancelled);
        const std::atomic<bool>* outer = tCancel;
        tCancel = d->cancelled.get();
        try {
            ProcessEvents(d->events);
        } catch (...) {
            d->error = std::current_exception();
            if (OnException && !d->cancelled->load())
                try {
                    OnException(this, d->error);
                } catch (...) {
                }
        }
        tCancel = outer;
        auto it = std::find_if(running_.begin(), running_.end(),
                               [&](const auto& r) { return r.second == d->cancelled; });
        running_.erase(it);
        {
            std::lock_guard lock(h->m);
            d->done = true;
        }
        h->cv.notify_all();
    }
}

// --- device steps --------------------------------------------------------------------------

void TCustomComPort::OpenDevice()
{
    if (int e = device_->open(SerialDevice::pathOf(port_), DeviceLineSettings()))
        ReportPortError(CE_OpenFailed, e);
}

void TCustomComPort::CloseDevice()
{
    if (device_->isOpen())
        device_->close();
}

void TCustomComPort::ConfigurePort()
{
    ApplyQueueSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::ApplyQueueSizes()
{
    if (!canApply())
        return;
    if (int e = device_->setQueueSizes(buffer_->InputSize(), buffer_->OutputSize()))
        ReportPortError(CE_SetupComFailed, e);
}

void TCustomComPort::ApplyLineSettings()
{
    if (!canApply())
        return;
    if (int e = device_->setLineSettings(DeviceLineSettings()))
        ReportPortError(CE_SetStateFailed, e);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!canApply())
        return;
    if (int e = device_->setTimeouts(timeouts_->Platform()))
        ReportPortError(CE_TimeoutsFailed, e);
}

void TCustomComPort::ReportPortError(int Code, long long SystemNumber) { throw EComPort(Code, SystemNumber); }

// --- reads, writes, status -----------------------------------------------------------------

int TCustomComPort::ReadBytes(char* Buffer, int Count)
{
    if (!device_->isOpen()) {
        ReportPortError(CEPortNotOpen, 0);
        return 0;
    }
    if (Count <= 0)
        return 0;
    int got = 0;
    if (int e = device_->read(Buffer, Count, got))
        ReportPortError(CE_ReadFailed, e);
    return got;
}

int TCustomComPort::ReadText(std::string& S, int Count)
{
    S.clear();
    if (Count <= 0)
        return 0;
    S.resize(static_cast<size_t>(Count));
    int got = 0;
    try {
        got = ReadBytes(S.data(), Count);
    } catch (...) {
        S.clear();
        throw;
    }
    S.resize(static_cast<size_t>(got));
    return got;
}

int TCustomComPort::WriteText(const std::string& S)
{
    if (S.empty())
        return 0;
    if (!device_->isOpen()) {
        ReportPortError(CEPortNotOpen, 0);
        return 0;
    }
    int written = 0;
    if (int e = device_->write(S.data(), static_cast<int>(S.size()), written))
        ReportPortError(CE_WriteFailed, e);
    return written;
}

bool TCustomComPort::DeliveryWaiting() const
{
    if (!handOver_)
        return false;
    std::lock_guard lock(handOver_->m);
    return !handOver_->queue.empty();
}

int TCustomComPort::InputPending()
{
    int count = 0;
    if (!device_->isOpen()) {
        ReportPortError(CE_ClearComFailed, 0);
        return 0;
    }
    if (int e = device_->inputCount(count))
        ReportPortError(CE_ClearComFailed, e);
    return count;
}

TModemSignals TCustomComPort::ModemSignals()
{
    TModemSignals s;
    if (!device_->isOpen())
        ReportPortError(CE_ModemStatFailed, 0);
    else if (int e = device_->modemStatus(s))
        ReportPortError(CE_ModemStatFailed, e);
    return s;
}

TComErrors TCustomComPort::LineErrors()
{
    TComErrors errors;
    if (!device_->isOpen())
        ReportPortError(CE_ClearComFailed, 0);
    else if (int e = device_->takeLineErrors(errors))
        ReportPortError(CE_ClearComFailed, e);
    return ReportedErrors(errors, parity_->Check());
}

// --- event delivery ------------------------------------------------------------------------

void TCustomComPort::ProcessEvents(TComEvents Events)
{
    // Each step runs only while the port has not been closed under this delivery.
    if (Events.contains(evError) && !deliveryCancelled()) {
        TComErrors errors = LineErrors();
        if (!errors.empty())
            DoError(errors);
    }
    if (Events.contains(evRxChar) && !deliveryCancelled()) {
        int count = InputPending();
        if (count > 0 && !triggersOnRxChar_) {
            std::vector<char> buffer(static_cast<size_t>(count));
            int got = ReadBytes(buffer.data(), count);
            if (got > 0)
                DoRxBuf(buffer.data(), got);
            count = 0;
        }
        if (count > 0)
            DoRxChar(count);
    }
    if (Events.contains(evTxEmpty) && !deliveryCancelled())
        DoTxEmpty();
    if (Events.contains(evBreak) && !deliveryCancelled())
        DoBreak();
    if (Events.contains(evRing) && !deliveryCancelled())
        DoRing();
    if (Events.contains(evCTS) && !deliveryCancelled())
        DoCTSChange(ModemSignals().CTS);
    if (Events.contains(evDSR) && !deliveryCancelled())
        DoDSRChange(ModemSignals().DSR);
    if (Events.contains(evRxFlag) && !deliveryCancelled())
        DoRxFlag();
    if (Events.contains(evRLSD) && !deliveryCancelled())
        DoRLSDChange(ModemSignals().RLSD);
    if (Events.contains(evRx80Full) && !deliveryCancelled())
        DoRx80Full();
}

void TCustomComPort::DoAfterOpen()
{
    if (OnAfterOpen)
        OnAfterOpen(this);
}
void TCustomComPort::DoAfterClose()
{
    if (OnAfterClose)
        OnAfterClose(this);
}
void TCustomComPort::DoBeforeOpen()
{
    if (OnBeforeOpen)
        OnBeforeOpen(this);
}
void TCustomComPort::DoBeforeClose()
{
    if (OnBeforeClose)
        OnBeforeClose(this);
}
void TCustomComPort::DoRxChar(int Count)
{
    if (OnRxChar)
        OnRxChar(this, Count);
}
void TCustomComPort::DoRxBuf(const char* Buffer, int Count)
{
    if (OnRxBuf)
        OnRxBuf(this, Buffer, Count);
}
void TCustomComPort::DoTxEmpty()
{
    if (OnTxEmpty)
        OnTxEmpty(this);
}
void TCustomComPort::DoBreak()
{
    if (OnBreak)
        OnBreak(this);
}
void TCustomComPort::DoRing()
{
    if (OnRing)
        OnRing(this);
}
void TCustomComPort::DoCTSChange(bool OnOff)
{
    if (OnCTSChange)
        OnCTSChange(this, OnOff);
}
void TCustomComPort::DoDSRChange(bool OnOff)
{
    if (OnDSRChange)
        OnDSRChange(this, OnOff);
}
void TCustomComPort::DoRLSDChange(bool OnOff)
{
    if (OnRLSDChange)
        OnRLSDChange(this, OnOff);
}
void TCustomComPort::DoRxFlag()
{
    if (OnRxFlag)
        OnRxFlag(this);
}
void TCustomComPort::DoError(TComErrors Errors)
{
    if (OnError)
        OnError(this, Errors);
}
void TCustomComPort::DoRx80Full()
{
    if (OnRx80Full)
        OnRx80Full(this);
}
