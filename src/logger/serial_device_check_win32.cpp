#include "logger_run.h"
#include "serial_device_check.h"

namespace pelorin::logger {

// Windows opens a serial port by its COM number; a port that is not there
// yet is waited for like any other.
std::string SerialDeviceProblem(const std::string& device) {
  SerialPortRegistry unused;
  if (SerialPortNumber(unused, device) != 0) return {};
  return "--serial: " + device + " is no serial port name; Windows names them COM1, COM2, …";
}

}  // namespace pelorin::logger
