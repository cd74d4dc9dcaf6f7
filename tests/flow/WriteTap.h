#pragma once

// Records the writes the program makes to terminals, one entry per write() call, so a test
// can see how a command was split into writes. Off until started.

#include <string>
#include <vector>

namespace writetap {
void start();
// The terminal writes since start(), in order; stops recording.
std::vector<std::string> stop();
} // namespace writetap
