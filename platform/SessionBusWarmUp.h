#pragma once

#include <thread>

// Joins the desktop's session bus on a thread of its own. Where the platform reaches the
// accessibility services over that bus (X11, Wayland), Qt opens the connection the first
// time a control changes state, and the main thread waits for it; with no bus address in
// the environment it first tries to start a bus, which costs milliseconds. Begun once the
// application exists, the connection is made while the window is being built, and the main
// thread later finds it made (or known to fail). Elsewhere no thread is started (the
// result is not joinable). The thread is joined when the result is destroyed.
std::jthread joinSessionBusEarly();
