// libFuzzer target: random byte streams through the record reception path.
// Each input is received twice: split into deliveries of mixed sizes, and as one delivery.

#include "ReceptionHarness.h"

#include <cstdio>
#include <cstdlib>

namespace {

void failIf(const fuzz::ReceptionResult& result, const char* how)
{
    if (!result.failure)
        return;
    std::fprintf(stderr, "reception fault (%s): %s\n", how, qPrintable(*result.failure));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> stream(data, size);
    failIf(fuzz::runReception(stream, fuzz::deliverySizes(stream)), "mixed deliveries");
    if (size > 0)
        failIf(fuzz::runReception(stream, {size}), "one delivery");
    if (const auto failure = fuzz::checkRecordStream(stream, fuzz::deliverySizes(stream))) {
        std::fprintf(stderr, "record stream fault: %s\n", qPrintable(*failure));
        std::abort();
    }
    return 0;
}
