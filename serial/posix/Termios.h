#pragma once

// The termios request for a port's line settings, and the speed check after setting it.

#include "../ComTypes.h"
#include "SystemCalls.h"

// The request for `settings`, from them alone: every flag is set or cleared here, so nothing
// that another program or an earlier setting left on the device survives.
TermiosRequest termiosFor(const LineSettings& settings);
