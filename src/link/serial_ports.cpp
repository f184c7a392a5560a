#include "serial_ports.h"

namespace pelorin {

int32_t SerialPortRegistry::NumberFor(std::string_view identity,
                                      std::string_view deviceNode) {
  std::lock_guard lock(mutex_);
  // A node belongs to one device at a time: a number whose device has gone must
  // not open whatever the kernel put at its old node since.
  for (Entry& entry : entries_) {
    if (entry.node == deviceNode && entry.identity != identity) entry.node.clear();
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].identity == identity) {
      entries_[i].node = deviceNode;
      return static_cast<int32_t>(i + 1);
    }
  }
  entries_.push_back(Entry{std::string(identity), std::string(deviceNode)});
  return static_cast<int32_t>(entries_.size());
}

std::optional<std::string> SerialPortRegistry::DeviceNode(int32_t number) const {
  std::lock_guard lock(mutex_);
  if (number < 1 || static_cast<size_t>(number) > entries_.size()) return std::nullopt;
  const Entry& entry = entries_[static_cast<size_t>(number - 1)];
  if (entry.node.empty()) return std::nullopt;
  return entry.node;
}

}  // namespace pelorin
