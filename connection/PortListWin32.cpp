// The system's serial ports on Windows: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in
// the order the registry gives them. Each value's data is a port name ("COM3"); the value
// names (the drivers' device names) are not used.

#include "PortList.h"

#include "ComTypes.h"

#include <windows.h>

QStringList serialPortNames(const QString&)
{
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
    // The key exists once a serial port driver has started: none means no port.
    if (r == ERROR_FILE_NOT_FOUND)
        return {};
    if (r != ERROR_SUCCESS)
        throw EComPort(CE_RegError, r);
    QStringList ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        r = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS) {
            RegCloseKey(key);
            throw EComPort(CE_RegError, r);
        }
        // The data ends with its zero, which the length counts.
        DWORD length = dataLength;
        while (length > 0 && data[length - 1] == 0)
            --length;
        ports << QString::fromLocal8Bit(reinterpret_cast<const char*>(data), int(length));
    }
    RegCloseKey(key);
    return ports;
}
