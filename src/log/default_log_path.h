#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// The log path a window starts with: the program file's path with the
// extension of its file name replaced by ".csv" (appended when the name has
// none), so the log lies next to the program.
std::string DefaultLogPath(std::string_view programPath);

}  // namespace pelorin
