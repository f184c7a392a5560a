#include "gateway_topic_name.h"

namespace pelorin::mqtt {

namespace {

// Printable ASCII but the topic separators and wildcards; never empty, since
// an empty level would run two separators together.
std::string TopicLevel(std::string_view text) {
  std::string level;
  for (const char c : text) {
    const bool printable = c > ' ' && c < 0x7F;
    level += printable && c != '+' && c != '#' && c != '/' ? c : '_';
  }
  return level.empty() ? "_" : level;
}

}  // namespace

std::string TcpGatewayTopicName(std::string_view host, std::string_view port) {
  return TopicLevel(host) + '_' + TopicLevel(port);
}

// The file name is what tells a device apart: "/dev/" would be the same for
// every gateway. A trailing separator is no name of its own.
std::string SerialGatewayTopicName(std::string_view device) {
  while (!device.empty() && (device.back() == '/' || device.back() == '\\')) device.remove_suffix(1);
  const size_t separator = device.find_last_of("/\\");
  if (separator != std::string_view::npos) device.remove_prefix(separator + 1);
  return TopicLevel(device);
}

}  // namespace pelorin::mqtt
