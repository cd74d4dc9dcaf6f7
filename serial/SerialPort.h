#pragma once

// TComPort: the serial port component. Opens one serial device, configures it from its
// properties, reads and writes it, and (with its event thread, ComThread.h) delivers the
// line events to the handler slots, on the main thread by default.
//
// The main window's ComPort uses: BaudRate br19200, DiscardNull true, Events all ten,
// FlowControl.ControlDTR dtrEnable, FlowControl.ControlRTS rtsDisable, StoredProps {spBasic},
// TriggersOnRxChar true, OnRxChar bound. Everything else keeps its default.

#include "ComTypes.h"

#include <QObject>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TCustomComPort;
class TComThread;
class SerialDevice;
struct DeliveryHandOver;

// Base of the port's value objects: assigning copies values between objects of one class
// and refuses any other class.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const = 0;
    // Throws EConvertError-like std::invalid_argument "Cannot assign a X to a Y".
    virtual void Assign(const TPersistent& source);

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    [[noreturn]] void AssignError(const TPersistent& source) const;
};

// The apply step of the port that a value object's change runs while the port is open.
enum class ApplyStep { LineSettings, QueueSizes, Timeouts };
void ApplyChange(TCustomComPort* port, ApplyStep step);

// What the value objects share: their fields live in one Values struct, assignment from the
// same class copies all of them and applies, and a setter applies only a changed value.
template <typename Derived, typename Values, ApplyStep Step>
class TComValue : public TPersistent {
public:
    void Assign(const TPersistent& source) override
    {
        if (auto* same = dynamic_cast<const Derived*>(&source))
            *this = *same;
        else
            AssignError(source);
    }

    // Copies the values, not the owning port, and applies them to this object's port.
    TComValue& operator=(const TComValue& source)
    {
        values_ = source.values_;
        Changed();
        return *this;
    }

protected:
    explicit TComValue(TCustomComPort* port) : comPort_(port) {}
    TComValue(const TComValue& source) : TPersistent(source), comPort_(nullptr), values_(source.values_) {}
    template <typename T>
    void Set(T Values::*field, T value)
    {
        if (values_.*field == value)
            return;
        values_.*field = value;
        Changed();
    }
    void Changed()
    {
        if (comPort_)
            ApplyChange(comPort_, Step);
    }

    TCustomComPort* comPort_;
    Values values_;
};

struct ComParityValues {
    TParityBits bits = prNone;
    bool check = false;
    bool replace = false;
    char replaceChar = 0;
};

class TComParity : public TComValue<TComParity, ComParityValues, ApplyStep::LineSettings> {
public:
    explicit TComParity(TCustomComPort* port = nullptr) : TComValue(port) {}
    const char* ClassName() const override { return "TComParity"; }

    TParityBits Bits() const { return values_.bits; }
    void SetBits(TParityBits v) { Set(&ComParityValues::bits, v); }
    bool Check() const { return values_.check; }
    void SetCheck(bool v) { Set(&ComParityValues::check, v); }
    // With Check: bytes received with a parity or framing error read as ReplaceChar (Linux:
    // the driver marks them with PARMRK and the device layer replaces them).
    bool Replace() const { return values_.replace; }
    void SetReplace(bool v) { Set(&ComParityValues::replace, v); }
    char ReplaceChar() const { return values_.replaceChar; }
    void SetReplaceChar(char v) { Set(&ComParityValues::replaceChar, v); }
};

struct ComFlowValues {
    bool outCTSFlow = false;
    bool outDSRFlow = false;
    TDTRFlowControl controlDTR = dtrDisable;
    TRTSFlowControl controlRTS = rtsDisable;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    char xonChar = 17;
    char xoffChar = 19;
};

class TComFlowControl : public TComValue<TComFlowControl, ComFlowValues, ApplyStep::LineSettings> {
public:
    explicit TComFlowControl(TCustomComPort* port = nullptr) : TComValue(port) {}
    const char* ClassName() const override { return "TComFlowControl"; }

    // Summary of the RTS, CTS and XON/XOFF fields; writing one sets those fields.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl v);

    bool OutCTSFlow() const { return values_.outCTSFlow; }
    void SetOutCTSFlow(bool v) { Set(&ComFlowValues::outCTSFlow, v); }
    // Linux: no equivalent (termios has no DSR output flow); kept for the device control block.
    bool OutDSRFlow() const { return values_.outDSRFlow; }
    void SetOutDSRFlow(bool v) { Set(&ComFlowValues::outDSRFlow, v); }
    // Linux: dtrHandshake has no equivalent and holds DTR on.
    TDTRFlowControl ControlDTR() const { return values_.controlDTR; }
    void SetControlDTR(TDTRFlowControl v) { Set(&ComFlowValues::controlDTR, v); }
    // Linux: rtsHandshake is CRTSCTS; rtsToggle (RTS on while sending) has no equivalent and
    // holds RTS off.
    TRTSFlowControl ControlRTS() const { return values_.controlRTS; }
    void SetControlRTS(TRTSFlowControl v) { Set(&ComFlowValues::controlRTS, v); }
    bool XonXoffOut() const { return values_.xonXoffOut; }
    void SetXonXoffOut(bool v) { Set(&ComFlowValues::xonXoffOut, v); }
    bool XonXoffIn() const { return values_.xonXoffIn; }
    void SetXonXoffIn(bool v) { Set(&ComFlowValues::xonXoffIn, v); }
    // Linux: bytes read while DSR is off are dropped, where the driver reports DSR at all
    // (not on pseudo-terminals).
    bool DSRSensitivity() const { return values_.dsrSensitivity; }
    void SetDSRSensitivity(bool v) { Set(&ComFlowValues::dsrSensitivity, v); }
    // Linux: no equivalent; output never stops because the driver sent XOFF (as if true).
    bool TxContinueOnXoff() const { return values_.txContinueOnXoff; }
    void SetTxContinueOnXoff(bool v) { Set(&ComFlowValues::txContinueOnXoff, v); }
    char XonChar() const { return values_.xonChar; }
    void SetXonChar(char v) { Set(&ComFlowValues::xonChar, v); }
    char XoffChar() const { return values_.xoffChar; }
    void SetXoffChar(char v) { Set(&ComFlowValues::xoffChar, v); }
};

struct ComTimeoutValues {
    int readInterval = -1;
    int readTotalMultiplier = 0;
    int readTotalConstant = 0;
    int writeTotalMultiplier = 100;
    int writeTotalConstant = 1000;
};

class TComTimeouts : public TComValue<TComTimeouts, ComTimeoutValues, ApplyStep::Timeouts> {
public:
    explicit TComTimeouts(TCustomComPort* port = nullptr) : TComValue(port) {}
    const char* ClassName() const override { return "TComTimeouts"; }

    int ReadInterval() const { return values_.readInterval; }
    void SetReadInterval(int v) { Set(&ComTimeoutValues::readInterval, v); }
    int ReadTotalMultiplier() const { return values_.readTotalMultiplier; }
    void SetReadTotalMultiplier(int v) { Set(&ComTimeoutValues::readTotalMultiplier, v); }
    int ReadTotalConstant() const { return values_.readTotalConstant; }
    void SetReadTotalConstant(int v) { Set(&ComTimeoutValues::readTotalConstant, v); }
    int WriteTotalMultiplier() const { return values_.writeTotalMultiplier; }
    void SetWriteTotalMultiplier(int v) { Set(&ComTimeoutValues::writeTotalMultiplier, v); }
    int WriteTotalConstant() const { return values_.writeTotalConstant; }
    void SetWriteTotalConstant(int v) { Set(&ComTimeoutValues::writeTotalConstant, v); }

    // The platform record (-1 becomes all ones).
    TCommTimeouts Platform() const;
};

struct ComBufferValues {
    int inputSize = 1024;
    int outputSize = 1024;
};

class TComBuffer : public TComValue<TComBuffer, ComBufferValues, ApplyStep::QueueSizes> {
public:
    explicit TComBuffer(TCustomComPort* port = nullptr) : TComValue(port) {}
    const char* ClassName() const override { return "TComBuffer"; }

    // The input queue's size in bytes. Linux: XonLim and XoffLim (a quarter of it in the
    // device control block) have no equivalent; the driver's own thresholds apply.
    int InputSize() const { return values_.inputSize; }
    // An odd positive size is stored minus one (both sizes).
    void SetInputSize(int v) { Set(&ComBufferValues::inputSize, EvenSize(v)); }
    // Linux: the driver's output buffer has a fixed size; OutputSize is only stored.
    int OutputSize() const { return values_.outputSize; }
    void SetOutputSize(int v) { Set(&ComBufferValues::outputSize, EvenSize(v)); }

private:
    static int EvenSize(int v) { return v > 0 && v % 2 == 1 ? v - 1 : v; }
};

class TCustomComPort : public QObject {
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // --- properties --------------------------------------------------------------------
    bool Connected() const { return connected_; }
    void SetConnected(bool v);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate v);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& v);
    TComParity& Parity() { return *parity_; }
    void SetParity(const TComParity& v) { parity_->Assign(v); }
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits v);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits v);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool v);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char v);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents v) { events_ = v; }
    TComBuffer& Buffer() { return *buffer_; }
    void SetBuffer(const TComBuffer& v) { buffer_->Assign(v); }
    TComFlowControl& FlowControl() { return *flowControl_; }
    void SetFlowControl(const TComFlowControl& v) { flowControl_->Assign(v); }
    TComTimeouts& Timeouts() { return *timeouts_; }
    void SetTimeouts(const TComTimeouts& v) { timeouts_->Assign(v); }
    TStoredProps StoredProps() const { return storedProps_; }
    void SetStoredProps(TStoredProps v) { storedProps_ = v; }
    bool TriggersOnRxChar() const { return triggersOnRxChar_; }
    void SetTriggersOnRxChar(bool v) { triggersOnRxChar_ = v; }
    TSyncMethod SyncMethod() const { return syncMethod_; }
    // Refused with error 14 while the port is open.
    void SetSyncMethod(TSyncMethod v);
    int CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int v);
    uint32_t CodePage() const { return codePage_; }
    void SetCodePage(uint32_t v) { codePage_ = v; }

    // --- handler slots (Sender is the port) ----------------------------------------------
    std::function<void(QObject*Sender)> OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
    std::function<void(QObject* Sender, int Count)> OnRxChar;
    std::function<void(QObject* Sender, const char* Buffer, int Count)> OnRxBuf;
    std::function<void(QObject*Sender)> OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
    std::function<void(QObject*Sender, bool OnOff)> OnCTSChange, OnDSRChange, OnRLSDChange;
    std::function<void(QObject* Sender, TComErrors Errors)> OnError;
    // Receives the exception that ended event delivery (otherwise ended silently).
    std::function<void(QObject* Sender, std::exception_ptr E)> OnException;

    // --- operations ----------------------------------------------------------------------
    void OpenPort();
    void ClosePort();
    int ReadText(std::string& S, int Count);
    int ReadBytes(char* Buffer, int Count);
    int WriteText(const std::string& S);
    int InputPending();
    TModemSignals ModemSignals();
    TComErrors LineErrors();
    // Whether the event thread has handed the main thread a wake-up that has not run yet.
    bool DeliveryWaiting() const;

    // The line settings ApplyLineSettings gives the device, from the properties alone.
    LineSettings DeviceLineSettings() const;
    // The same as the Windows device control block.
    TDCB DeviceControlBlock() const { return DeviceControlBlockOf(DeviceLineSettings()); }

    // Loading state: while loading, setters only store values and Connected only records.
    void BeginLoading() { loading_ = true; }
    void EndLoading();
    bool Loading() const { return loading_; }

    // Where an error with no caller goes (a recorded Connected failing at EndLoading).
    // By default the message is logged with qWarning.
    static void SetApplicationErrorHandler(std::function<void(const std::exception&)> handler);

    // --- overridable steps ---------------------------------------------------------------
    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ConfigurePort();
    virtual void ApplyQueueSizes();
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ReportPortError(int Code, long long SystemNumber);

    // The delivery of one wake-up, and the event steps it runs.
    virtual void ProcessEvents(TComEvents Events);
    virtual void DoAfterOpen();
    virtual void DoAfterClose();
    virtual void DoBeforeOpen();
    virtual void DoBeforeClose();
    virtual void DoRxChar(int Count);
    virtual void DoRxBuf(const char* Buffer, int Count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoCTSChange(bool OnOff);
    virtual void DoDSRChange(bool OnOff);
    virtual void DoRLSDChange(bool OnOff);
    virtual void DoRxFlag();
    virtual void DoError(TComErrors Errors);
    virtual void DoRx80Full();

protected:
    bool event(QEvent* e) override;

private:
    friend class TComThread;

    bool canApply() const { return connected_ && !loading_; }
    // Ends the event thread's session: taken over when the thread waits for it, else on the
    // thread.
    void stopEventThread();
    // Signals the event thread to end the session and serves its hand-overs until it has.
    void endSessionOnItsThread(const std::shared_ptr<DeliveryHandOver>& h);
    // Runs the deliveries the event thread has handed over (main thread).
    void runHandedOver(std::shared_ptr<DeliveryHandOver> h);

    std::unique_ptr<SerialDevice> device_;
    std::unique_ptr<TComThread> eventThread_;
    // The hand-over of the event thread's session while the port is open with events.
    std::shared_ptr<DeliveryHandOver> handOver_;
    // Deliveries running on the main thread's stack: their hand-over and cancel flag.
    std::vector<std::pair<DeliveryHandOver*, std::shared_ptr<std::atomic<bool>>>> running_;

    bool connected_ = false;
    bool loading_ = false;
    bool streamedConnected_ = false;
    TBaudRate baudRate_ = br9600;
    std::string port_ = "COM1";
    std::unique_ptr<TComParity> parity_;
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = TComEvents::all();
    std::unique_ptr<TComBuffer> buffer_;
    std::unique_ptr<TComFlowControl> flowControl_;
    std::unique_ptr<TComTimeouts> timeouts_;
    TStoredProps storedProps_{spBasic};
    std::atomic<bool> triggersOnRxChar_{true};
    TSyncMethod syncMethod_ = smThreadSync;
    int customBaudRate_ = 9600;
    uint32_t codePage_ = 0;
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    explicit TComPort(QObject* owner = nullptr) : TCustomComPort(owner) {}
};
