#pragma once

// The log reader under arbitrary input: what must hold for any file content.

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace fuzz {

// Reads the bytes as a log (still being written and finished) and checks the results:
// every line is a row, skipped or blank; rows point at the starts of their lines; dates
// follow the name's; a merged export row has ten fields on one line and reads back as the
// same row. The first broken rule, or nothing.
std::optional<QString> checkLogReader(std::span<const std::uint8_t> data);

} // namespace fuzz
