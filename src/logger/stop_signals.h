#pragma once

#include <functional>

namespace pelorin::logger {

// Calls onStop, on a thread of its own, when the program is asked to end:
// SIGINT or SIGTERM on Linux; Ctrl+C, Ctrl+Break or a closed console on
// Windows. Call it before any other thread starts.
void WatchStopSignals(std::function<void()> onStop);

}  // namespace pelorin::logger
