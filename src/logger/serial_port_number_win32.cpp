#include "logger_run.h"

#include <cctype>
#include <charconv>

namespace pelorin::logger {

// Windows names a serial port COMn, and the link opens it by n; anything else
// is no port (0), which the link's open refuses.
int32_t SerialPortNumber(SerialPortRegistry&, const std::string& device) {
  if (device.size() < 4) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(device[i])) != "COM"[i]) return 0;
  }
  int32_t number = 0;
  const char* end = device.data() + device.size();
  const auto [stop, error] = std::from_chars(device.data() + 3, end, number);
  return error == std::errc() && stop == end && number > 0 ? number : 0;
}

}  // namespace pelorin::logger
