#pragma once

#include <cstdint>
#include <string>

namespace pelorin::logger {

// The operating system's own words for an error code that the link or the
// system gives (errno or a resolver's code on Linux, a Windows or Winsock
// error on Windows), in UTF-8 as every event line is, on one line.
std::string SystemMessage(int32_t code);

}  // namespace pelorin::logger
