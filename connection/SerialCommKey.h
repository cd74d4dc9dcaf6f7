#pragma once

#include <QStringList>

#include <cstdint>

// The registry calls that list the serial ports on Windows, behind a seam so that tests can
// script the key on any system. Each call returns 0 or the system's error number.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // RegQueryInfoKey: the number of values, the longest value name in characters (without its
    // zero) and the longest data in bytes.
    virtual long queryInfo(uint32_t& values, uint32_t& maxNameLength, uint32_t& maxDataLength) = 0;
    // RegEnumValueA of value `index`: nameLength and dataLength hold the buffers' sizes on the
    // way in (the name's with room for its zero) and what was stored on the way out.
    virtual long enumValue(uint32_t index, char* name, uint32_t& nameLength, uint32_t& type, uint8_t* data,
                           uint32_t& dataLength) = 0;
};

// The error numbers the listing acts on.
enum : long { kRegMoreData = 234, kRegNoMoreItems = 259 };
// REG_SZ, the type of a port name.
enum : uint32_t { kRegString = 1 };

// The port names the key's values hold ("COM3"), in the registry's order. Buffers are sized from
// the key, so no name or port is too long for them; an entry that cannot be read (changed while
// listed, not a text) is skipped and the rest are listed. Throws EComPort CE_RegError with the
// error number when the key cannot be queried.
QStringList portNamesOf(RegistryKey& key);
