#include "SerialCommKey.h"

#include "ComTypes.h"

#include <vector>

QStringList portNamesOf(RegistryKey& key)
{
    uint32_t values = 0;
    uint32_t maxName = 0;
    uint32_t maxData = 0;
    if (const long r = key.queryInfo(values, maxName, maxData))
        throw EComPort(CE_RegError, int(r));
    QStringList ports;
    for (uint32_t index = 0; index < values; ++index) {
        long r = kRegMoreData;
        std::vector<char> name;
        std::vector<uint8_t> data;
        uint32_t type = 0;
        uint32_t dataLength = 0;
        // A value that grew since the key was queried gets buffers of its new size, once.
        for (int attempt = 0; attempt < 2 && r == kRegMoreData; ++attempt) {
            if (attempt > 0) {
                uint32_t ignored = 0;
                if (key.queryInfo(ignored, maxName, maxData) != 0)
                    break;
            }
            name.assign(size_t(maxName) + 1, 0);
            data.assign(size_t(maxData) + 1, 0);
            uint32_t nameLength = uint32_t(name.size());
            dataLength = uint32_t(data.size());
            r = key.enumValue(index, name.data(), nameLength, type, data.data(), dataLength);
        }
        if (r == kRegNoMoreItems)
            break; // values were removed while listed
        if (r != 0 || type != kRegString || dataLength > data.size())
            continue;
        // The data ends with its zero, which the length counts.
        uint32_t length = dataLength;
        while (length > 0 && data[length - 1] == 0)
            --length;
        ports << QString::fromLocal8Bit(reinterpret_cast<const char*>(data.data()), int(length));
    }
    return ports;
}
