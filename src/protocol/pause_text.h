#pragma once

#include <chrono>
#include <string>

namespace pelorin::protocol {

// A pause as an event line gives it: "10 s", or "250 ms" when not whole
// seconds; the gateway's pauses and the broker's are told alike.
inline std::string Seconds(std::chrono::milliseconds pause) {
  const auto count = pause.count();
  return count % 1000 == 0 ? std::to_string(count / 1000) + " s" : std::to_string(count) + " ms";
}

}  // namespace pelorin::protocol
