#pragma once

#include "mqtt_message.h"
#include "node_report.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::mqtt {

// Home Assistant discovery for the node of a report: one retained config per
// channel under DISCOVERYPREFIX/COMPONENT/OBJECT_ID/config, all of them one
// device, reading their state from TOPICPREFIX/node/NODE and their
// availability from TOPICPREFIX/status. Digital inputs are binary sensors,
// analog channels sensors with their unit; a temperature channel also gets a
// problem sensor for a broken wire. Inputs take the names of the rows that
// name them. Channel types without a unit show nothing and get no entity.
std::vector<MqttMessage> DiscoveryMessages(const NodeReport& report, std::string_view discoveryPrefix,
                                           std::string_view topicPrefix,
                                           const std::array<std::string, kRowCount>& rowNames);

}  // namespace pelorin::mqtt
