#include "logger_run.h"

namespace pelorin::logger {

// The registry gives the device path a number for the life of the process; a
// path that names a new device after a replug (a /dev/serial/by-id link) is
// opened anew under the same number.
int32_t SerialPortNumber(SerialPortRegistry& ports, const std::string& device) {
  return ports.NumberForNode(device);
}

}  // namespace pelorin::logger
