// The system's serial ports on Windows: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in
// the order the registry gives them (SerialCommKey.cpp). Each value's data is a port name
// ("COM3"); the value names (the drivers' device names) are not used.

#include "PortList.h"

#include "ComTypes.h"
#include "SerialCommKey.h"

#include <windows.h>

namespace {

class OpenKey : public RegistryKey {
public:
    explicit OpenKey(HKEY key) : key_(key) {}
    ~OpenKey() override { RegCloseKey(key_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    long queryInfo(uint32_t& values, uint32_t& maxNameLength, uint32_t& maxDataLength) override
    {
        DWORD count = 0;
        DWORD name = 0;
        DWORD data = 0;
        const LONG r = RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                        &name, &data, nullptr, nullptr);
        values = count;
        maxNameLength = name;
        maxDataLength = data;
        return r;
    }
    long enumValue(uint32_t index, char* name, uint32_t& nameLength, uint32_t& type, uint8_t* data,
                   uint32_t& dataLength) override
    {
        DWORD n = nameLength;
        DWORD t = 0;
        DWORD d = dataLength;
        const LONG r = RegEnumValueA(key_, index, name, &n, nullptr, &t, data, &d);
        nameLength = n;
        type = t;
        dataLength = d;
        return r;
    }

private:
    HKEY key_;
};

} // namespace

static_assert(kRegMoreData == ERROR_MORE_DATA && kRegNoMoreItems == ERROR_NO_MORE_ITEMS &&
              kRegString == REG_SZ);

QStringList serialPortNames(const QString&)
{
    HKEY key = nullptr;
    const LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
    // The key exists once a serial port driver has started: none means no port.
    if (r == ERROR_FILE_NOT_FOUND)
        return {};
    if (r != ERROR_SUCCESS)
        throw EComPort(CE_RegError, r);
    OpenKey open(key);
    return portNamesOf(open);
}
