#pragma once

// The termios request for a port's line settings, and the speed check after setting it.

#include "../ComTypes.h"
#include "SystemCalls.h"

// The request for `settings`, made from the device's present state `current`.
TermiosRequest termiosFor(const LineSettings& settings, const TermiosRequest& current);
