#pragma once

#include <cstdio>

namespace pelorin::logger {

// Whether the stream is a terminal that takes UTF-8 and cursor movements;
// on Windows it readies the console for both.
bool IsInteractiveTerminal(std::FILE* stream);

}  // namespace pelorin::logger
