#pragma once

#include <string>

namespace pelorin::logger {

// Why the --serial device cannot be a serial port, or an empty string. A
// device that is not there yet passes: a USB adapter may be plugged in later,
// and the link waits for it. Never blocks.
std::string SerialDeviceProblem(const std::string& device);

}  // namespace pelorin::logger
