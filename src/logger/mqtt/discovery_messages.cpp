#include "discovery_messages.h"

#include "channel_types.h"
#include "home_assistant_unit.h"
#include "models.h"

#include <nlohmann/json.hpp>

namespace pelorin::mqtt {

namespace {

using nlohmann::ordered_json;

// Home Assistant takes only these characters in an object ID, which is also
// a topic level; the topic prefix makes IDs unique across loggers.
std::string ObjectIdPart(std::string_view text) {
  std::string part;
  for (const char c : text) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
    part += kept ? c : '_';
  }
  return part;
}

std::string_view DeviceClass(std::string_view unit) {
  if (unit == "V") return "voltage";
  if (unit == "mA") return "current";
  return "temperature";
}

// What every config of the node shares: where it stands, whether the logger
// is there, and the node as one device.
struct NodeContext {
  std::string discoveryPrefix;
  std::string stateTopic;
  std::string availabilityTopic;
  std::string idStem;  // PREFIX_nodeN, object-ID safe
  ordered_json device;
};

// The name of an input: the row that names it, if one does and says something.
std::string InputName(const std::array<std::string, kRowCount>& rowNames, int32_t input,
                      std::string fallback) {
  if (input < kRowCount && !rowNames[static_cast<size_t>(input)].empty()) {
    return rowNames[static_cast<size_t>(input)];
  }
  return fallback;
}

MqttMessage Config(const NodeContext& node, std::string_view component, const std::string& idSuffix,
                   const std::string& name, ordered_json state) {
  const std::string objectId = node.idStem + '_' + idSuffix;
  ordered_json config = {
      {"name", name},
      {"unique_id", objectId},
      {"state_topic", node.stateTopic},
  };
  config.update(state);
  config.update(ordered_json{
      {"availability_topic", node.availabilityTopic},
      {"payload_available", "online"},
      {"payload_not_available", "offline"},
      {"device", node.device},
  });
  return {node.discoveryPrefix + '/' + std::string(component) + '/' + objectId + "/config",
          config.dump(-1, ' ', false, ordered_json::error_handler_t::replace), true};
}

ordered_json OnOff(std::string_view condition) {
  return {{"value_template", "{{ 'ON' if " + std::string(condition) + " else 'OFF' }}"},
          {"payload_on", "ON"},
          {"payload_off", "OFF"}};
}

}  // namespace

std::vector<MqttMessage> DiscoveryMessages(const NodeReport& report, std::string_view discoveryPrefix,
                                           std::string_view topicPrefix,
                                           const std::array<std::string, kRowCount>& rowNames) {
  const std::string nodeNumber = std::to_string(report.node);
  const std::string prefix(topicPrefix);
  NodeContext node{std::string(discoveryPrefix), prefix + "/node/" + nodeNumber, prefix + "/status",
                   ObjectIdPart(prefix) + "_node" + nodeNumber, {}};
  node.device = {
      {"identifiers", {node.idStem}},
      {"name", "Node " + nodeNumber + " (" + prefix + ")"},
      {"model", ModelName(report.model)},
      {"manufacturer", "Pelorin"},
  };

  std::vector<MqttMessage> messages;
  for (int32_t i = 0; i < report.digitalCount; ++i) {
    const std::string number = std::to_string(i + 1);
    const std::string value = "value_json.digital[" + std::to_string(i) + "]";
    messages.push_back(Config(node, "binary_sensor", "digital" + number,
                              InputName(rowNames, i, "Digital " + number), OnOff(value)));
  }
  for (int32_t j = 0; j < report.analogCount; ++j) {
    const ChannelType type = report.analog[static_cast<size_t>(j)].channelType;
    const ChannelTypeRow* row = FindChannelType(type);
    if (row == nullptr) continue;
    const std::string number = std::to_string(j + 1);
    const std::string channel = "value_json.analog[" + std::to_string(j) + "]";
    const std::string name = InputName(rowNames, report.digitalCount + j, "Analog " + number);
    const std::string_view unit = HomeAssistantUnit(row->unit);
    // A broken wire or a reading without a value leaves the state unknown.
    messages.push_back(Config(node, "sensor", "analog" + number, name,
                              {{"value_template", "{{ " + channel + ".value | default(None) }}"},
                               {"device_class", DeviceClass(unit)},
                               {"unit_of_measurement", unit},
                               {"state_class", "measurement"}}));
    if (IsWireBreak(type, 0x7FFFFFu)) {
      ordered_json problem = OnOff(channel + ".wire_break | default(false)");
      problem["device_class"] = "problem";
      messages.push_back(
          Config(node, "binary_sensor", "analog" + number + "_wire_break", name + " wire break", problem));
    }
  }
  return messages;
}

}  // namespace pelorin::mqtt
