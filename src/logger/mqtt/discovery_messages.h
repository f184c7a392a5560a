#pragma once
#include "mqtt_message.h"
#include "node_report.h"
#include <array>
#include <string>
#include <string_view>
#include <vector>
namespace pelorin::mqtt {
std::vector<MqttMessage> DiscoveryMessages(const NodeReport& report, std::string_view discoveryPrefix, std::string_view topicPrefix, const std::array<std::string, kRowCount>& rowNames);
}
