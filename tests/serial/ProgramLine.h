#pragma once

// The line settings of the main window's ComPort: 19200 bit/s, 8N1, DTR on, NULs dropped.

#include "ComTypes.h"

inline LineSettings programSettings()
{
    LineSettings s;
    s.baudRate = 19200;
    s.discardNull = true;
    s.dtr = dtrEnable;
    return s;
}
