#pragma once

#include <string>

namespace pelorin::mqtt {

// One message to publish: where, what, and whether the broker keeps it for
// those who subscribe later.
struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retain = true;
};

}  // namespace pelorin::mqtt
