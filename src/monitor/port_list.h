#pragma once

#include "device_source.h"

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin::monitor {

struct PortEntry {
  std::string text;  // the device's friendly name
  int32_t port = 0;  // the number after "(COM"
};

// The serial ports of the list, in enumeration order; item i of the list is
// entry i. Holds at most 256 entries: further ports are left out.
struct PortList {
  static constexpr int32_t kCapacity = 256;
  std::array<PortEntry, kCapacity> entries;
  int32_t count = 0;
};

// Appends an entry when the name carries "(COM" followed by a port text and
// ")", where the port text is empty or starts with a digit; the port number
// is the text's leading digits (0 when there are none).
void AddPortFromName(PortList& list, std::string_view friendlyName);

// Fills the list from the present devices. The result is that of the last
// device looked at: false for no device set, no device, or when the last
// device had no readable description.
bool EnumeratePorts(DeviceSource& devices, SerialPortRegistry& ports, PortList& list);

// The item to select after a refresh: the first entry whose text contains
// "USB"; else the last entry with the remembered port number; else item 0.
int32_t ChooseSelection(const PortList& list, std::optional<int32_t> rememberedPort);

}  // namespace pelorin::monitor
