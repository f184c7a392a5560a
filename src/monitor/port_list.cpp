#include "port_list.h"

namespace pelorin::monitor {

void AddPortFromName(PortList& list, std::string_view friendlyName) {
  const size_t marker = friendlyName.find("(COM");
  if (marker == std::string_view::npos) return;
  const std::string_view rest = friendlyName.substr(marker + 4);
  const size_t close = rest.find(')');
  if (close == std::string_view::npos) return;
  const std::string_view portText = rest.substr(0, close);
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (!portText.empty() && !isDigit(portText.front())) return;
  if (list.count >= PortList::kCapacity) return;

  int64_t port = 0;
  for (size_t i = 0; i < portText.size() && isDigit(portText[i]) && port <= INT32_MAX; ++i) {
    port = port * 10 + (portText[i] - '0');
  }
  PortEntry& entry = list.entries[static_cast<size_t>(list.count)];
  entry.text = std::string(friendlyName);
  entry.port = port <= INT32_MAX ? static_cast<int32_t>(port) : INT32_MAX;
  ++list.count;
}

bool EnumeratePorts(DeviceSource& devices, SerialPortRegistry& ports, PortList& list) {
  list.count = 0;
  const auto present = devices.PresentDevices(ports);
  if (!present) return false;
  bool outcome = false;
  for (const DeviceRecord& device : *present) {
    outcome = false;
    if (!device.description) continue;
    if (device.friendlyName) AddPortFromName(list, *device.friendlyName);
    outcome = true;
  }
  return outcome;
}

int32_t ChooseSelection(const PortList& list, std::optional<int32_t> rememberedPort) {
  for (int32_t i = 0; i < list.count; ++i) {
    if (list.entries[static_cast<size_t>(i)].text.find("USB") != std::string::npos) return i;
  }
  int32_t selected = 0;
  if (rememberedPort) {
    for (int32_t i = 0; i < list.count; ++i) {
      if (list.entries[static_cast<size_t>(i)].port == *rememberedPort) selected = i;
    }
  }
  return selected;
}

}  // namespace pelorin::monitor
