// libFuzzer target: arbitrary bytes as a measurement log, read as finished and as still
// being written, each row exported to a merged row and read back.

#include "LogReaderHarness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto failure = fuzz::checkLogReader({data, size})) {
        std::fprintf(stderr, "log reader fault: %s\n", qPrintable(*failure));
        std::abort();
    }
    return 0;
}
