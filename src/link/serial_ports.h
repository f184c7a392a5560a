#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// Maps the COM numbers the program speaks of to serial device nodes. A device
// gets the next free number (from 1) the first time it is seen and keeps it for
// the life of the process. A device is known by its identity: the device node
// itself, or for a USB adapter its stable identity (vendor, product, serial
// number, interface), so that an adapter that comes back under a new node name
// keeps its number and the number follows it to the new node.
// Safe to use from any thread.
class SerialPortRegistry {
 public:
  // The number of the device with this identity, now found at deviceNode.
  int32_t NumberFor(std::string_view identity, std::string_view deviceNode);
  int32_t NumberForNode(std::string_view deviceNode) {
    return NumberFor(deviceNode, deviceNode);
  }

  // The device node that COM`number` currently opens, if any.
  std::optional<std::string> DeviceNode(int32_t number) const;

 private:
  struct Entry {
    std::string identity;
    std::string node;  // empty once another device has taken the node over
  };

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // entry i is COM(i + 1)
};

}  // namespace pelorin
