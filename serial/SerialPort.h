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

class TComParity : public TPersistent {
public:
    explicit TComParity(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComParity& operator=(const TComParity& source);
    const char* ClassName() const override { return "TComParity"; }
    void Assign(const TPersistent& source) override;

    TParityBits Bits() const { return FBits; }
    void SetBits(TParityBits v);
    bool Check() const { return FCheck; }
    void SetCheck(bool v);
    bool Replace() const { return FReplace; }
    void SetReplace(bool v);
    char ReplaceChar() const { return FReplaceChar; }
    void SetReplaceChar(char v);

private:
    void Changed();
    TCustomComPort* FComPort;
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    char FReplaceChar = 0;
};

class TComFlowControl : public TPersistent {
public:
    explicit TComFlowControl(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComFlowControl& operator=(const TComFlowControl& source);
    const char* ClassName() const override { return "TComFlowControl"; }
    void Assign(const TPersistent& source) override;

    // Summary of the RTS, CTS and XON/XOFF fields; writing one sets those fields.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl v);

    bool OutCTSFlow() const { return FOutCTSFlow; }
    void SetOutCTSFlow(bool v);
    bool OutDSRFlow() const { return FOutDSRFlow; }
    void SetOutDSRFlow(bool v);
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    void SetControlDTR(TDTRFlowControl v);
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    void SetControlRTS(TRTSFlowControl v);
    bool XonXoffOut() const { return FXonXoffOut; }
    void SetXonXoffOut(bool v);
    bool XonXoffIn() const { return FXonXoffIn; }
    void SetXonXoffIn(bool v);
    bool DSRSensitivity() const { return FDSRSensitivity; }
    void SetDSRSensitivity(bool v);
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    void SetTxContinueOnXoff(bool v);
    char XonChar() const { return FXonChar; }
    void SetXonChar(char v);
    char XoffChar() const { return FXoffChar; }
    void SetXoffChar(char v);

private:
    void Changed();
    TCustomComPort* FComPort;
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    char FXonChar = 17;
    char FXoffChar = 19;
};

class TComTimeouts : public TPersistent {
public:
    explicit TComTimeouts(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComTimeouts& operator=(const TComTimeouts& source);
    const char* ClassName() const override { return "TComTimeouts"; }
    void Assign(const TPersistent& source) override;

    int ReadInterval() const { return FReadInterval; }
    void SetReadInterval(int v);
    int ReadTotalMultiplier() const { return FReadTotalMultiplier; }
    void SetReadTotalMultiplier(int v);
    int ReadTotalConstant() const { return FReadTotalConstant; }
    void SetReadTotalConstant(int v);
    int WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
    void SetWriteTotalMultiplier(int v);
    int WriteTotalConstant() const { return FWriteTotalConstant; }
    void SetWriteTotalConstant(int v);

    // The platform record (-1 becomes all ones).
    TCommTimeouts Platform() const;

private:
    void Changed();
    TCustomComPort* FComPort;
    int FReadInterval = -1;
    int FReadTotalMultiplier = 0;
    int FReadTotalConstant = 0;
    int FWriteTotalMultiplier = 100;
    int FWriteTotalConstant = 1000;
};

class TComBuffer : public TPersistent {
public:
    explicit TComBuffer(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComBuffer& operator=(const TComBuffer& source);
    const char* ClassName() const override { return "TComBuffer"; }
    void Assign(const TPersistent& source) override;

    int InputSize() const { return FInputSize; }
    // An odd positive size is stored minus one.
    void SetInputSize(int v);
    int OutputSize() const { return FOutputSize; }
    void SetOutputSize(int v);

private:
    void Changed();
    TCustomComPort* FComPort;
    int FInputSize = 1024;
    int FOutputSize = 1024;
};

// The four input line states.
struct TModemSignals {
    bool CTS = false;
    bool DSR = false;
    bool Ring = false;
    bool RLSD = false;
};

// The device control block of a set of line settings.
TDCB BuildDeviceControlBlock(TBaudRate baudRate, int customBaudRate, const TComParity& parity,
                             TStopBits stopBits, TDataBits dataBits, bool discardNull, char eventChar,
                             const TComFlowControl& flow, const TComBuffer& buffer);

class TCustomComPort : public QObject {
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // --- properties --------------------------------------------------------------------
    bool Connected() const { return FConnected; }
    void SetConnected(bool v);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate v);
    const std::string& Port() const { return FPort; }
    void SetPort(const std::string& v);
    TComParity& Parity() { return *FParity; }
    void SetParity(const TComParity& v) { FParity->Assign(v); }
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits v);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits v);
    bool DiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool v);
    char EventChar() const { return FEventChar; }
    void SetEventChar(char v);
    TComEvents Events() const { return FEvents; }
    void SetEvents(TComEvents v) { FEvents = v; }
    TComBuffer& Buffer() { return *FBuffer; }
    void SetBuffer(const TComBuffer& v) { FBuffer->Assign(v); }
    TComFlowControl& FlowControl() { return *FFlowControl; }
    void SetFlowControl(const TComFlowControl& v) { FFlowControl->Assign(v); }
    TComTimeouts& Timeouts() { return *FTimeouts; }
    void SetTimeouts(const TComTimeouts& v) { FTimeouts->Assign(v); }
    TStoredProps StoredProps() const { return FStoredProps; }
    void SetStoredProps(TStoredProps v) { FStoredProps = v; }
    bool TriggersOnRxChar() const { return FTriggersOnRxChar; }
    void SetTriggersOnRxChar(bool v) { FTriggersOnRxChar = v; }
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    // Refused with error 14 while the port is open.
    void SetSyncMethod(TSyncMethod v);
    int CustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(int v);
    uint32_t CodePage() const { return FCodePage; }
    void SetCodePage(uint32_t v) { FCodePage = v; }

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

    // The block ApplyLineSettings gives the device, from the properties alone.
    TDCB DeviceControlBlock() const;

    // Loading state: while loading, setters only store values and Connected only records.
    void BeginLoading() { FLoading = true; }
    void EndLoading();
    bool Loading() const { return FLoading; }

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
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;

    bool CanApply() const { return FConnected && !FLoading; }
    void DestroyEventThread();
    // Runs the deliveries the event thread has handed over (main thread).
    void RunHandedOver(std::shared_ptr<DeliveryHandOver> h);

    std::unique_ptr<SerialDevice> FDevice;
    std::unique_ptr<TComThread> FEventThread;
    bool FThreadCreated = false;
    std::shared_ptr<DeliveryHandOver> FHandOver;
    // Deliveries running on the main thread's stack: their hand-over and cancel flag.
    std::vector<std::pair<DeliveryHandOver*, std::shared_ptr<std::atomic<bool>>>> FRunning;

    bool FConnected = false;
    bool FLoading = false;
    bool FStreamedConnected = false;
    TBaudRate FBaudRate = br9600;
    std::string FPort = "COM1";
    std::unique_ptr<TComParity> FParity;
    TStopBits FStopBits = sbOneStopBit;
    TDataBits FDataBits = dbEight;
    bool FDiscardNull = false;
    char FEventChar = 0;
    TComEvents FEvents = TComEvents::all();
    std::unique_ptr<TComBuffer> FBuffer;
    std::unique_ptr<TComFlowControl> FFlowControl;
    std::unique_ptr<TComTimeouts> FTimeouts;
    TStoredProps FStoredProps{spBasic};
    std::atomic<bool> FTriggersOnRxChar{true};
    TSyncMethod FSyncMethod = smThreadSync;
    int FCustomBaudRate = 9600;
    uint32_t FCodePage = 0;
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    explicit TComPort(QObject* owner = nullptr) : TCustomComPort(owner) {}
};
