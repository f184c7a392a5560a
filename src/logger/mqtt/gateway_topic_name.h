#pragma once

#include <string>
#include <string_view>

namespace pelorin::mqtt {

// A gateway's name as one MQTT topic level, for the default prefix
// "pelorin/NAME": "192.168.0.10_10003" for a TCP gateway, the device's file
// name ("ttyUSB0", a by-id name, "COM3") for a serial one. A character that a
// topic level cannot hold or that a reader would not see (+ # / NUL, white
// space, control and non-ASCII bytes) becomes '_'.
std::string TcpGatewayTopicName(std::string_view host, std::string_view port);
std::string SerialGatewayTopicName(std::string_view device);

}  // namespace pelorin::mqtt
