#pragma once

// Runs a received byte stream through the reception path the way the window does:
// each delivery is turned into text as Latin-1 and appended to the receive buffer,
// and every frame cut out of it goes through the checks, the decoding, the settings
// fields, the settings record and the log row. Used by the fuzz target and its tests.

#include "Frame.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fuzz {

// A buffer holding fewer than FrameTrigger lines holds at most this many characters:
// every counted line is at most WrapWidth characters plus its CR LF. A delivery that
// brings the buffer to FrameTrigger lines resets it, so this bound holds after every
// delivery, however large the delivery was.
inline constexpr qsizetype MaxBufferedChars =
    qsizetype(ReceiveBuffer::FrameTrigger - 1) * (ReceiveBuffer::WrapWidth + 2);

// The largest delivery: the serial line's input queue.
inline constexpr std::size_t MaxDelivery = 1024;

// Sizes of the deliveries that split a stream of `size` bytes: all between 1 and
// MaxDelivery, adding up to `size`. Drawn from a generator seeded by the stream's
// own bytes, so one input always splits the same way and a mutation of the input
// also tries other splits. Mixes single bytes, a few bytes, a line's worth and
// whole queue loads, as a serial line delivers them.
std::vector<std::size_t> deliverySizes(std::span<const std::uint8_t> stream);

struct ReceptionStats {
    int deliveries = 0;
    int frames = 0;              // frames cut out of the buffer
    int goodFrames = 0;          // of them, frames that passed the form checks
    int convertErrors = 0;       // good frames whose decoding stopped at a conversion error
    qsizetype largestBuffer = 0; // longest buffer text seen after a delivery
};

struct ReceptionResult {
    ReceptionStats stats;
    // What broke, when an invariant of the reception path did not hold.
    std::optional<QString> failure;
};

// Feeds the stream to a fresh receive buffer in deliveries of the given sizes (which
// must add up to the stream's size) and checks, after each delivery, that the buffer
// is bounded; for each frame, that its lines are wrapped and upper-cased and that the
// decoding, settings and log steps keep their forms. Stops at the first failure.
// Exceptions other than conversion errors are not caught: they are faults too.
ReceptionResult runReception(std::span<const std::uint8_t> stream, const std::vector<std::size_t>& sizes);

// The service's path: the stream through a RecordStream in these deliveries. Empty when it
// gives the very records it gives for the stream in one piece (how the bytes arrive changes
// nothing), each line at most RecordStream::kMaxLine characters, upper-cased and without a line
// break, and each record decodes, fills the settings fields and makes a log row of nine columns.
std::optional<QString> checkRecordStream(std::span<const std::uint8_t> stream,
                                         const std::vector<std::size_t>& sizes);

// The bound check alone: empty when the buffer after a delivery is within bounds.
std::optional<QString> checkBufferBound(const ReceiveBuffer& buffer);

} // namespace fuzz
