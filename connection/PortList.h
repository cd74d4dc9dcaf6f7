#pragma once

#include <QString>
#include <QStringList>

// The system's serial devices. On Windows: the port names of the registry's serial device map
// ("COM3"), in its order; the argument is not used.
// On Linux: in the kernel's order (by device number), as device paths:
// USB adapters (/dev/ttyUSB0), modems and CDC devices (/dev/ttyACM0) and the real
// /dev/ttyS* ports; placeholder UARTs that report an unknown type are skipped.
// sysfsRoot is "/sys" on a running system; tests give a fake tree.
// Throws EComPort code 23 with the error number when the device list cannot be read.
QStringList serialPortNames(const QString& sysfsRoot = QStringLiteral("/sys"));

