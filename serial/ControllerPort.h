#pragma once

class TCustomComPort;

// The line to a Tarlo-02 controller: 19200 bit/s, 8N1, DTR on, RTS off, no flow control, NUL
// bytes dropped, all ten line events, OnRxChar triggered. The window and the headless service
// configure their port with this one function, so both read the controller alike.
void configureControllerPort(TCustomComPort& port);
