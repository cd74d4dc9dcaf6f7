#include "QuitSignals.h"

// Windows ends a window program by closing its window, which runs the normal close already.
struct QuitSignals::Os {};

QuitSignals::QuitSignals() = default;

QuitSignals::~QuitSignals() = default;
