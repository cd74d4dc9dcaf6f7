#include "ControllerPort.h"

#include "SerialPort.h"

void configureControllerPort(TCustomComPort& port)
{
    port.SetBaudRate(br19200);
    TComParity parity;
    parity.SetBits(prNone);
    port.SetParity(parity);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    port.SetDiscardNull(true);
    port.SetEvents(TComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD,
                              evRx80Full});
    TComFlowControl flow;
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrEnable);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    port.SetFlowControl(flow);
    port.SetStoredProps(TStoredProps{spBasic});
    port.SetTriggersOnRxChar(true);
}
