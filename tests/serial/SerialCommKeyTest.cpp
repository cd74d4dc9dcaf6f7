// The port list's walk through the registry's serial device map, over a scripted key.

#include "SerialCommKey.h"
#include "ComTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ScriptedKey : RegistryKey {
    struct Value {
        std::string name;
        std::string data; // stored with its zero
        uint32_t type = kRegString;
        long error = 0; // what reading it gives instead
    };
    std::vector<Value> values;
    long queryError = 0;
    int grows = 0; // the next reads find a value longer than the key said

    long queryInfo(uint32_t& count, uint32_t& maxName, uint32_t& maxData) override
    {
        count = uint32_t(values.size());
        maxName = maxData = 0;
        for (const Value& v : values) {
            maxName = std::max(maxName, uint32_t(v.name.size()));
            maxData = std::max(maxData, uint32_t(v.data.size() + 1));
        }
        return queryError;
    }
    long enumValue(uint32_t index, char* name, uint32_t& nameLength, uint32_t& type, uint8_t* data,
                   uint32_t& dataLength) override
    {
        if (index >= values.size())
            return kRegNoMoreItems;
        Value& v = values[index];
        if (v.error)
            return v.error;
        if (grows > 0) {
            --grows;
            v.data.insert(0, "COM"); // the name the key now holds, longer than it said before
        }
        if (nameLength < v.name.size() + 1 || dataLength < v.data.size() + 1)
            return kRegMoreData;
        std::memcpy(name, v.name.c_str(), v.name.size() + 1);
        std::memcpy(data, v.data.c_str(), v.data.size() + 1);
        nameLength = uint32_t(v.name.size());
        dataLength = uint32_t(v.data.size() + 1);
        type = v.type;
        return 0;
    }
};

TEST(SerialCommKey, ListsEveryReadableValueWhateverItsLength)
{
    const std::string longName = "\\Device\\" + std::string(300, 'x'); // longer than 255
    ScriptedKey key;
    key.values = {{"\\Device\\Serial0", "COM1"},
                  {longName, "COM12"},
                  {"\\Device\\Broken", "COM7", kRegString, 5}, // cannot be read
                  {"\\Device\\Binary", "COM8", 3},             // REG_BINARY: no port name
                  {"\\Device\\VCP0", "COM" + std::string(300, '9')},
                  {"\\Device\\Last", "COM3"}};
    const QStringList ports = portNamesOf(key);
    ASSERT_EQ(ports.size(), 4) << ports.join(",").toStdString();
    EXPECT_EQ(ports[0], "COM1");
    EXPECT_EQ(ports[1], "COM12");
    EXPECT_EQ(ports[2].size(), 303);
    EXPECT_EQ(ports[3], "COM3");
}

TEST(SerialCommKey, AValueThatGrowsWhileListedIsReadAgainOrSkipped)
{
    ScriptedKey key;
    key.values = {{"a", "1"}, {"b", "COM2"}};
    key.grows = 1; // read again with buffers of the new size
    EXPECT_EQ(portNamesOf(key), (QStringList{"COM1", "COM2"}));
    key.grows = 2; // grows twice: skipped, the next one is listed
    EXPECT_EQ(portNamesOf(key), (QStringList{"COM2"}));
}

TEST(SerialCommKey, AKeyThatCannotBeQueriedIsARegistryError)
{
    ScriptedKey key;
    key.queryError = 5;
    try {
        portNamesOf(key);
        ADD_FAILURE() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortCode, CE_RegError);
        EXPECT_EQ(e.SystemCode, 5);
    }
}

} // namespace
