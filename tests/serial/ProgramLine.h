#pragma once

// The line settings the window and the service give their port.

#include "ControllerPort.h"
#include "SerialPort.h"

inline LineSettings programSettings()
{
    TComPort port;
    configureControllerPort(port);
    return port.DeviceLineSettings();
}
